#pragma once
// Owning wrappers for system handles: copy deleted, move allowed. Each kind
// says which values mean "no handle" (file handles use both null and
// INVALID_HANDLE_VALUE, find handles INVALID_HANDLE_VALUE) and how to close.

#include <windows.h>

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

struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { FindClose(h); }
};

struct ModuleHandleTraits {
    using Handle = HMODULE;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { FreeLibrary(h); }
};

// Files, folders opened with backup semantics, mappings, threads, events.
using FileHandle = UniqueHandle<FileHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using ModuleHandle = UniqueHandle<ModuleHandleTraits>;

} // namespace zk
