#pragma once
// Owning wrappers for system handles: copy deleted, move allowed. Each kind
// says which values mean "no handle" and how to close. The file handle is
// portable; the Windows-only kinds are in core/unique_handle_win.h.

#include <utility>

namespace zk {

template <class Traits> class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle h) : m_h(Traits::IsValid(h) ? h : Traits::Empty()) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_h(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Handle Get() const { return m_h; }
    bool IsValid() const { return Traits::IsValid(m_h); }
    explicit operator bool() const { return IsValid(); }

    // Gives up ownership without closing.
    Handle Release() { return std::exchange(m_h, Traits::Empty()); }

    // Closes the current handle (if any) and takes h.
    void Reset(Handle h = Traits::Empty())
    {
        if (Traits::IsValid(m_h)) Traits::Close(m_h);
        m_h = Traits::IsValid(h) ? h : Traits::Empty();
    }

private:
    Handle m_h = Traits::Empty();
};

// An open file of the system, opaque to the code above the platform layer:
// a HANDLE on Windows, a descriptor elsewhere. Null is no file.
using SysHandle = void*;

// Closes an open file handle; does nothing for none (core/file_io.h).
void CloseFile(SysHandle h);
bool IsOpenHandle(SysHandle h);

struct FileHandleTraits {
    using Handle = SysHandle;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return IsOpenHandle(h); }
    static void Close(Handle h) { CloseFile(h); }
};

// Files, folders opened with backup semantics, mappings, threads, events.
using FileHandle = UniqueHandle<FileHandleTraits>;

} // namespace zk
