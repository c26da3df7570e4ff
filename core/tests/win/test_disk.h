#pragma once
// The small file systems the fault tests' CTest fixture mounts
// (scripts/test-disks) and passes on in ZK_TEST_DISKS: "small", 2 MiB that a
// run can fill, and "readonly", which holds "old.zka" and the read-only
// "locked.txt" and takes nothing.

#include <windows.h>

#include <cstdint>
#include <string>

namespace zk::test {

inline void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW d;
    HANDLE f = FindFirstFileW((folder + L"*").c_str(), &d);
    if (f != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = d.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path + L"\\");
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(f, &d));
        FindClose(f);
    }
    RemoveDirectoryW(folder.c_str());
}

// One of the small file systems the test fixture mounts ("small": 2 MiB that
// a build can fill; "readonly": holds "old.zka" and the read-only
// "locked.txt" and takes nothing). A test
// gets a fresh folder on the small disk, removed when the test ends.
class TestDisk {
public:
    explicit TestDisk(const wchar_t* which)
    {
        wchar_t base[MAX_PATH] = {};
        if (GetEnvironmentVariableW(L"ZK_TEST_DISKS", base, MAX_PATH) == 0) {
            m_why = "ZK_TEST_DISKS is not set: run this program through ctest, whose fixture mounts the test "
                    "disks";
            return;
        }
        m_root = std::wstring(base) + L"\\" + which + L"\\";
        if (GetFileAttributesW((m_root + L"zk-test-disk").c_str()) == INVALID_FILE_ATTRIBUTES) {
            m_why = "no test disk is mounted at " + std::string(m_root.begin(), m_root.end()) +
                    " (mounting needs root; scripts/test-disks said why)";
            m_root.clear();
            return;
        }
        if (std::wstring(which) == L"small") {
            static int counter = 0;
            m_folder = m_root + L"t" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                       std::to_wstring(++counter) + L"\\";
            CreateDirectoryW(m_folder.c_str(), nullptr);
        } else {
            m_folder = m_root;
        }
    }
    ~TestDisk()
    {
        if (!m_folder.empty() && m_folder != m_root) RemoveTree(m_folder);
    }
    TestDisk(const TestDisk&) = delete;
    TestDisk& operator=(const TestDisk&) = delete;

    bool Available() const { return !m_root.empty(); }
    const std::string& Why() const { return m_why; }
    const std::wstring& Folder() const { return m_folder; }

    uint64_t FreeBytes() const
    {
        ULARGE_INTEGER avail{}, total{}, free{};
        GetDiskFreeSpaceExW(m_root.c_str(), &avail, &total, &free);
        return avail.QuadPart;
    }

    // Writes a filler file so that about `leave` bytes stay free (the file
    // system counts whole pages).
    bool Fill(uint64_t leave) const
    {
        const uint64_t avail = FreeBytes();
        if (avail <= leave) return true;
        HANDLE h = CreateFileW((m_folder + L"filler").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        std::string zeros(65536, '\0');
        uint64_t left = avail - leave;
        bool ok = true;
        while (left != 0 && ok) {
            const DWORD n = static_cast<DWORD>(left < zeros.size() ? left : zeros.size());
            DWORD done = 0;
            ok = WriteFile(h, zeros.data(), n, &done, nullptr) && done == n;
            left -= n;
        }
        CloseHandle(h);
        return ok;
    }

private:
    std::wstring m_root;
    std::wstring m_folder;
    std::string m_why;
};

// Skips the test, saying why, when the disk is not mounted.
#define REQUIRE_DISK(disk)                                                                                   \
    if (!(disk).Available()) GTEST_SKIP() << (disk).Why()

} // namespace zk::test
