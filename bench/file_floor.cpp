// The least any Windows program spends per file on this platform, so that
// the archive benchmark can tell the platform's per-file cost from ours.
//
//   file_floor.exe SOURCE DESTINATION [THREADS]
//
// Reading: walks SOURCE (FindFirstFile), opens each file, reads it whole
// and closes it, as a builder must at the least. Writing: recreates the
// same tree under DESTINATION (folders, then each file created, written with
// its size, its times set through the open handle, closed), as an extractor
// must at the least. Nothing is compressed, hashed or shown. Prints the
// counts, the seconds of each phase and the cost per file.
//
// With THREADS above 1, the files are then read, and written (into
// DESTINATION1 and DESTINATIONn), once on one thread and once shared out
// among THREADS threads (file k to thread k mod THREADS): how much of the
// per-file cost threads can hide at all, which bounds what any program
// overlapping its file work can gain here.

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
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
                HANDLE h = CreateFileW((root + e.m_strRelative).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
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

bool ReadFileWhole(const std::wstring& path, std::vector<char>& buffer)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD got = 0;
    bool ok = true;
    do {
        ok = ::ReadFile(h, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) != 0;
    } while (ok && got != 0);
    CloseHandle(h);
    return ok;
}

bool WriteFileWhole(const std::wstring& root, const Entry& e, const std::vector<char>& buffer)
{
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
    return true;
}

// Folders first: the listing is depth-first, so a folder always comes
// before what it holds.
bool MakeFolders(const std::wstring& root, const std::vector<Entry>& entries)
{
    CreateDirectoryW(root.c_str(), nullptr);
    for (const Entry& e : entries) {
        if (e.m_bFolder && !CreateDirectoryW((root + e.m_strRelative).c_str(), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return true;
}

bool WriteTree(const std::wstring& root, const std::vector<Entry>& entries, const std::vector<char>& buffer)
{
    if (!MakeFolders(root, entries)) return false;
    for (const Entry& e : entries) {
        if (!e.m_bFolder && !WriteFileWhole(root, e, buffer)) return false;
    }
    return true;
}

// Every file read (write: created) once, file k on thread k mod threads, each
// thread with a buffer of its own. Seconds, or a negative number on failure.
double Shared(const std::wstring& root, const std::vector<Entry>& entries, unsigned threads, bool write)
{
    if (write && !MakeFolders(root, entries)) return -1;
    std::vector<int> failed(threads, 0);
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            std::vector<char> buffer(1 << 20, 'z');
            size_t k = 0;
            for (const Entry& e : entries) {
                if (e.m_bFolder || k++ % threads != t) continue;
                const bool ok =
                    write ? WriteFileWhole(root, e, buffer) : ReadFileWhole(root + e.m_strRelative, buffer);
                if (!ok) failed[t] = 1;
            }
        });
    }
    for (std::thread& th : pool)
        th.join();
    for (int f : failed)
        if (f) return -1;
    return Seconds(start);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const unsigned threads = argc == 4 ? static_cast<unsigned>(_wtoi(argv[3])) : 1;
    if ((argc != 3 && argc != 4) || threads == 0 || threads > 64) {
        std::fprintf(stderr, "usage: file_floor SOURCE DESTINATION [THREADS]\n");
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
    if (threads < 2) return 0;

    // The same work with the files shared out, against one thread doing it
    // the same way: the walk above also lists, which the shared runs do not.
    double read[2] = {}, write[2] = {};
    const unsigned counts[2] = {1, threads};
    for (int i = 0; i < 2; ++i) {
        read[i] = Shared(argv[1], entries, counts[i], false);
        write[i] = Shared(std::wstring(argv[2]) + std::to_wstring(counts[i]), entries, counts[i], true);
        if (read[i] < 0 || write[i] < 0) {
            std::fprintf(stderr, "file_floor: the shared run failed\n");
            return 1;
        }
    }
    std::printf("read only: 1 thread %.3f s, %u threads %.3f s (%.2fx)\n", read[0], threads, read[1],
                read[0] / read[1]);
    std::printf("write: 1 thread %.3f s, %u threads %.3f s (%.2fx)\n", write[0], threads, write[1],
                write[0] / write[1]);
    return 0;
}
