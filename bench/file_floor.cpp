// The least any Windows program spends per file on this platform, so that
// the archive benchmark can tell the platform's per-file cost from ours.
//
//   file_floor.exe SOURCE DESTINATION
//
// Reading: walks SOURCE (FindFirstFile), opens each file, reads it whole
// and closes it, as a builder must at the least. Writing: recreates the
// same tree under DESTINATION (folders, then each file created, written with
// its size, its times set through the open handle, closed), as an extractor
// must at the least. Nothing is compressed, hashed or shown. Prints the
// counts, the seconds of each phase and the cost per file.

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Entry {
    std::wstring m_strRelative;
    bool m_bFolder = false;
    uint64_t m_nSize = 0;
    FILETIME m_ftWrite{};
};

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Lists the tree depth-first and reads every file through; false when a
// file cannot be read.
bool ReadTree(const std::wstring& root, std::vector<Entry>& entries, std::vector<char>& buffer)
{
    std::vector<std::wstring> pending{L""};
    while (!pending.empty()) {
        std::wstring relative = pending.back();
        pending.pop_back();
        WIN32_FIND_DATAW fd;
        HANDLE find = FindFirstFileW((root + relative + L"\\*").c_str(), &fd);
        if (find == INVALID_HANDLE_VALUE) continue;
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            Entry e;
            e.m_strRelative = relative + L"\\" + name;
            e.m_bFolder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            e.m_nSize = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
            e.m_ftWrite = fd.ftLastWriteTime;
            if (e.m_bFolder) {
                pending.push_back(e.m_strRelative);
            } else {
                HANDLE h = CreateFileW((root + e.m_strRelative).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
                if (h == INVALID_HANDLE_VALUE) return false;
                DWORD got = 0;
                do {
                    if (!::ReadFile(h, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
                        CloseHandle(h);
                        return false;
                    }
                } while (got != 0);
                CloseHandle(h);
            }
            entries.push_back(std::move(e));
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }
    return true;
}

bool WriteTree(const std::wstring& root, const std::vector<Entry>& entries, const std::vector<char>& buffer)
{
    CreateDirectoryW(root.c_str(), nullptr);
    // Folders first: the listing is depth-first, so a folder always comes
    // before what it holds.
    for (const Entry& e : entries) {
        if (e.m_bFolder) {
            if (!CreateDirectoryW((root + e.m_strRelative).c_str(), nullptr) &&
                GetLastError() != ERROR_ALREADY_EXISTS)
                return false;
            continue;
        }
        HANDLE h = CreateFileW((root + e.m_strRelative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        uint64_t left = e.m_nSize;
        while (left != 0) {
            DWORD chunk = static_cast<DWORD>(left < buffer.size() ? left : buffer.size());
            DWORD wrote = 0;
            if (!::WriteFile(h, buffer.data(), chunk, &wrote, nullptr) || wrote != chunk) {
                CloseHandle(h);
                return false;
            }
            left -= chunk;
        }
        SetFileTime(h, nullptr, nullptr, &e.m_ftWrite);
        CloseHandle(h);
    }
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: file_floor SOURCE DESTINATION\n");
        return 2;
    }
    std::vector<char> buffer(1 << 20, 'z');
    std::vector<Entry> entries;
    Clock::time_point start = Clock::now();
    if (!ReadTree(argv[1], entries, buffer)) {
        std::fprintf(stderr, "file_floor: reading failed (error %lu)\n", GetLastError());
        return 1;
    }
    const double readSeconds = Seconds(start);
    size_t files = 0;
    for (const Entry& e : entries)
        files += e.m_bFolder ? 0 : 1;

    start = Clock::now();
    if (!WriteTree(argv[2], entries, buffer)) {
        std::fprintf(stderr, "file_floor: writing failed (error %lu)\n", GetLastError());
        return 1;
    }
    const double writeSeconds = Seconds(start);
    const double perFile = files ? 1e6 / static_cast<double>(files) : 0.0;
    std::printf("files %zu folders %zu\n", files, entries.size() - files);
    std::printf("read %.3f s (%.0f us per file)\n", readSeconds, readSeconds * perFile);
    std::printf("write %.3f s (%.0f us per file)\n", writeSeconds, writeSeconds * perFile);
    return 0;
}
