#include "core/file_io.h"

#include "core/last_error.h"
#include "core/long_path.h"
#include "core/os_info.h"

#include <algorithm>
#include <string>

namespace zk {

namespace {

bool IsOpen(HANDLE h)
{
    return h != nullptr && h != INVALID_HANDLE_VALUE;
}

// Fails a wrapper that was given something it cannot work on.
template <class T> T Fail(DWORD error, T result)
{
    SetLastError(error);
    RecordFailure();
    return result;
}

HANDLE Open(const wchar_t* path, int mode, DWORD share)
{
    if (!path) return Fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);

    DWORD access = GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = OPEN_EXISTING;
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
    switch (mode) {
    case OPENMODE_READ:
        access = GENERIC_READ;
        flags |= FILE_FLAG_SEQUENTIAL_SCAN;
        break;
    case OPENMODE_CREATE:
        disposition = CREATE_ALWAYS;
        break;
    case OPENMODE_OPEN_ALWAYS:
        disposition = OPEN_ALWAYS;
        break;
    case OPENMODE_EXISTING:
        break;
    case OPENMODE_BACKUP:
    case OPENMODE_BACKUP_SHARED:
        flags |= FILE_FLAG_BACKUP_SEMANTICS;
        break;
    default:
        return Fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
    }

    const std::wstring longPath = LongPathForm(path);
    if (longPath.empty()) return Fail<HANDLE>(ERROR_INVALID_NAME, nullptr);
    HANDLE h = CreateFileW(longPath.c_str(), access, share, nullptr, disposition, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        RecordFailure();
        return nullptr;
    }
    return h;
}

} // namespace

HANDLE OpenFile(const wchar_t* path, int mode)
{
    DWORD share = 0;
    if (mode == OPENMODE_READ || mode == OPENMODE_BACKUP) share = FILE_SHARE_READ;
    if (mode == OPENMODE_BACKUP_SHARED) share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    return Open(path, mode, share);
}

HANDLE OpenFileShared(const wchar_t* path, int mode, DWORD shareMode)
{
    if (mode == OPENMODE_BACKUP_SHARED) return Fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
    return Open(path, mode, shareMode);
}

void CloseFile(HANDLE h)
{
    if (IsOpen(h)) CloseHandle(h);
}

int64_t ReadFileBytes(HANDLE h, void* buffer, uint32_t size)
{
    if (!IsOpen(h)) return Fail<int64_t>(ERROR_INVALID_HANDLE, -1);
    DWORD done = 0;
    if (!ReadFile(h, buffer, size, &done, nullptr)) {
        RecordFailure();
        return -1;
    }
    return done;
}

int64_t WriteFileBytes(HANDLE h, const void* buffer, uint32_t size)
{
    if (!IsOpen(h)) return Fail<int64_t>(ERROR_INVALID_HANDLE, -1);
    DWORD done = 0;
    if (!WriteFile(h, buffer, size, &done, nullptr)) {
        RecordFailure();
        return -1;
    }
    return done;
}

int64_t SeekFile(HANDLE h, int64_t offset, DWORD method)
{
    if (!IsOpen(h)) return Fail<int64_t>(ERROR_INVALID_HANDLE, -1);
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER position{};
    if (!SetFilePointerEx(h, distance, &position, method)) {
        RecordFailure();
        return -1;
    }
    return position.QuadPart;
}

int64_t FileSizeOf(HANDLE h)
{
    if (!IsOpen(h)) return Fail<int64_t>(ERROR_INVALID_HANDLE, -1);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h, &size)) {
        RecordFailure();
        return -1;
    }
    return size.QuadPart;
}

int64_t ReadFully(HANDLE h, void* buffer, size_t size)
{
    uint8_t* p = static_cast<uint8_t*>(buffer);
    size_t total = 0;
    while (total < size) {
        const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(size - total, 0x40000000u));
        const int64_t got = ReadFileBytes(h, p + total, piece);
        if (got < 0) return -1;
        if (got == 0) break;
        total += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(total);
}

bool WriteFully(HANDLE h, const void* buffer, size_t size)
{
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    size_t total = 0;
    while (total < size) {
        const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(size - total, 0x40000000u));
        const int64_t done = WriteFileBytes(h, p + total, piece);
        if (done < 0) return false;
        if (done == 0) return Fail<bool>(ERROR_WRITE_FAULT, false);
        total += static_cast<size_t>(done);
    }
    return true;
}

int64_t ReadFullyAt(HANDLE h, uint64_t offset, void* buffer, size_t size)
{
    if (SeekFile(h, static_cast<int64_t>(offset), FILE_BEGIN) < 0) return -1;
    return ReadFully(h, buffer, size);
}

bool WriteFullyAt(HANDLE h, uint64_t offset, const void* buffer, size_t size)
{
    if (SeekFile(h, static_cast<int64_t>(offset), FILE_BEGIN) < 0) return false;
    return WriteFully(h, buffer, size);
}

DWORD GetFileAttrs(const wchar_t* path)
{
    if (!path) return Fail<DWORD>(ERROR_INVALID_PARAMETER, INVALID_FILE_ATTRIBUTES);
    const DWORD attrs = GetFileAttributesW(LongPathForm(path).c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) RecordFailure();
    return attrs;
}

bool SetFileAttrs(const wchar_t* path, DWORD attrs)
{
    if (!path) return Fail<bool>(ERROR_INVALID_PARAMETER, false);
    if (!SetFileAttributesW(LongPathForm(path).c_str(), attrs)) {
        RecordFailure();
        return false;
    }
    return true;
}

bool ClearReadOnly(const wchar_t* path)
{
    const DWORD attrs = GetFileAttrs(path);
    if (attrs == INVALID_FILE_ATTRIBUTES) return false;
    return SetFileAttrs(path, attrs & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

bool FindFileData(const wchar_t* path, WIN32_FIND_DATAW* out)
{
    if (!path || !out) return Fail<bool>(ERROR_INVALID_PARAMETER, false);
    const std::wstring longPath = LongPathForm(path);
    WIN32_FIND_DATAW data{};
    const int osCode = OsVersionCode();
    FindHandle find;
    if (osCode >= OS_CODE_WIN7) {
        // The basic level skips the short 8.3 name, which nothing here uses.
        find.Reset(
            FindFirstFileExW(longPath.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    } else if (osCode >= OS_CODE_VISTA) {
        find.Reset(
            FindFirstFileExW(longPath.c_str(), FindExInfoStandard, &data, FindExSearchNameMatch, nullptr, 0));
    } else {
        find.Reset(FindFirstFileW(longPath.c_str(), &data));
    }
    if (!find) {
        RecordFailure();
        return false;
    }
    *out = data;
    return true;
}

bool CopyFileTo(const wchar_t* source, const wchar_t* target)
{
    if (!source || !target) return Fail<bool>(ERROR_INVALID_PARAMETER, false);
    if (!PathExists(source)) return true;
    if (!CopyFileW(LongPathForm(source).c_str(), LongPathForm(target).c_str(), FALSE)) {
        RecordFailure();
        return false;
    }
    return true;
}

bool DeleteFileOrDefer(const wchar_t* path, bool defer)
{
    if (!path) return Fail<bool>(ERROR_INVALID_PARAMETER, false);
    if (!PathExists(path)) return true;
    const std::wstring longPath = LongPathForm(path);
    if (!defer) {
        if (DeleteFileW(longPath.c_str())) return true;
        if (!ClearReadOnly(path)) return false;
        if (DeleteFileW(longPath.c_str())) return true;
    }
    if (!MoveFileExW(longPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        RecordFailure();
        return false;
    }
    return true;
}

int64_t TotalPhysicalMemory()
{
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status)) return -1;
    return static_cast<int64_t>(status.ullTotalPhys);
}

} // namespace zk
