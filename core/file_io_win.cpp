#include "core/file_io.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include "core/file_time_win.h"

#include "core/last_error.h"
#include "core/long_path.h"
#include "core/os_info.h"
#include "core/unique_handle_win.h"

#include <algorithm>
#include <string>

namespace zk {

namespace {

bool IsOpen(HANDLE h)
{
    return IsOpenHandle(h);
}

void FillListing(const WIN32_FIND_DATAW& data, FileListing* out)
{
    out->m_nAttributes = data.dwFileAttributes;
    out->m_nCreationTime = FileTimeValue(data.ftCreationTime);
    out->m_nAccessTime = FileTimeValue(data.ftLastAccessTime);
    out->m_nWriteTime = FileTimeValue(data.ftLastWriteTime);
    out->m_nSize = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    out->m_strName = data.cFileName;
    out->m_bSymbolicLink = false;
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
    case OPENMODE_CREATE_NEW:
        disposition = CREATE_NEW;
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

HANDLE OpenFileShared(const wchar_t* path, int mode, uint32_t shareMode)
{
    if (mode == OPENMODE_BACKUP_SHARED) return Fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
    return Open(path, mode, shareMode);
}

bool IsOpenHandle(SysHandle h)
{
    return h != nullptr && h != INVALID_HANDLE_VALUE;
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

int64_t SeekFile(HANDLE h, int64_t offset, uint32_t method)
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

uint32_t GetFileAttrs(const wchar_t* path)
{
    if (!path) return Fail<uint32_t>(ERROR_INVALID_PARAMETER, INVALID_FILE_ATTRIBUTES);
    const DWORD attrs = GetFileAttributesW(LongPathForm(path).c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) RecordFailure();
    return attrs;
}

bool SetFileAttrs(const wchar_t* path, uint32_t attrs)
{
    if (!path) return Fail<bool>(ERROR_INVALID_PARAMETER, false);
    if (!SetFileAttributesW(LongPathForm(path).c_str(), attrs)) {
        RecordFailure();
        return false;
    }
    return true;
}

bool FindFileData(const wchar_t* path, FileListing* out)
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
    FillListing(data, out);
    return true;
}

struct FolderLister::Impl {
    FindHandle find;
    WIN32_FIND_DATAW first{};
    bool bHaveFirst = false;
};

FolderLister::FolderLister() : m_pImpl(std::make_unique<Impl>()) {}
FolderLister::~FolderLister() = default;

bool FolderLister::Open(const std::wstring& folder)
{
    std::wstring pattern = folder;
    if (pattern.empty() || pattern.back() != L'\\') pattern += L'\\';
    pattern += L"*.*";
    m_pImpl->find.Reset(FindFirstFileW(LongPathForm(pattern).c_str(), &m_pImpl->first));
    m_pImpl->bHaveFirst = static_cast<bool>(m_pImpl->find);
    return m_pImpl->bHaveFirst;
}

bool FolderLister::Next(FileListing* out)
{
    if (!m_pImpl->find) return Fail<bool>(ERROR_INVALID_HANDLE, false);
    if (m_pImpl->bHaveFirst) {
        m_pImpl->bHaveFirst = false;
        FillListing(m_pImpl->first, out);
        return true;
    }
    WIN32_FIND_DATAW data{};
    if (!FindNextFileW(m_pImpl->find.Get(), &data)) return false;
    FillListing(data, out);
    return true;
}

bool FolderLister::IsOpen() const
{
    return static_cast<bool>(m_pImpl->find);
}

// A find handle opens nothing relative to it.
SysHandle FolderLister::OpenEntry(const std::wstring& path) const
{
    return OpenFile(path.c_str(), OPENMODE_READ);
}

bool PathIsSymbolicLink(const wchar_t*)
{
    return false;
}

bool FileIdentity(const std::wstring& path, std::pair<uint32_t, uint64_t>& identity)
{
    FileHandle h(OpenFileShared(path.c_str(), OPENMODE_BACKUP, SHARE_READ | SHARE_WRITE | SHARE_DELETE));
    if (!h) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h.Get(), &info)) return false;
    identity = {info.dwVolumeSerialNumber,
                (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    return true;
}

bool CreateFolder(const wchar_t* path)
{
    if (!path) return Fail<bool>(ERROR_INVALID_PARAMETER, false);
    return CreateDirectoryW(path, nullptr) != FALSE;
}

bool SetFileTimes(SysHandle h, uint64_t creation, uint64_t access, uint64_t write)
{
    const FILETIME c = ToFileTime(creation);
    const FILETIME a = ToFileTime(access);
    const FILETIME w = ToFileTime(write);
    return SetFileTime(h, &c, &a, &w) != FALSE;
}

FILE* CreateNewStream(const std::wstring& path)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd == -1) {
        CloseHandle(h);
        return nullptr;
    }
    FILE* out = _wfdopen(fd, L"wb");
    if (!out) _close(fd);
    return out;
}

FILE* OpenStreamForWrite(const std::wstring& path)
{
    return _wfopen(path.c_str(), L"wb");
}

bool ProbeCreate(const std::wstring& path)
{
    HANDLE probe =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return false;
    CloseHandle(probe);
    return true;
}

bool SetStreamTimesAndAttributes(FILE* stream, uint32_t attributes, uint64_t creation, uint64_t access,
                                 uint64_t write)
{
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (h == INVALID_HANDLE_VALUE) return false;
    FILE_BASIC_INFO basic{};
    basic.CreationTime.QuadPart = static_cast<LONGLONG>(creation);
    basic.LastAccessTime.QuadPart = static_cast<LONGLONG>(access);
    basic.LastWriteTime.QuadPart = static_cast<LONGLONG>(write);
    basic.FileAttributes = attributes;
    return SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic) != FALSE;
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

bool FlushFile(SysHandle h)
{
    return FlushFileBuffers(h) != FALSE;
}

} // namespace zk
