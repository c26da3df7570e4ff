#pragma once
// Thin wrappers over the file calls. Paths go through their long form.
// On failure every wrapper keeps the system's error code and text for this
// thread (LastErrorCode, LastErrorText); telling the user is the caller's
// choice (core/reporting_files.h, IUserDialogue::ReportSystemError).
//
// Paths are wide texts in Windows form on every platform: "\" separates
// components. Elsewhere the layer turns each "\" into "/" and the wide
// characters into UTF-8 at the system call, and the long form of a path is
// the path itself. A native name holding "\" therefore cannot be named;
// Windows cannot hold such a name either, and a build that meets one fails.

#include "core/unique_handle.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

namespace zk {

// Open modes of OpenFile.
enum : int {
    OPENMODE_READ = 0,          // read, others may read, existing file, sequential scan
    OPENMODE_CREATE = 1,        // read/write, no sharing, create always (truncates)
    OPENMODE_OPEN_ALWAYS = 2,   // read/write, no sharing, open or create
    OPENMODE_EXISTING = 3,      // read/write, no sharing, existing file
    OPENMODE_BACKUP = 4,        // read/write, others may read, existing, backup semantics (folders)
    OPENMODE_BACKUP_SHARED = 5, // as 4, others may read and write
    OPENMODE_CREATE_NEW = 6,    // read/write, no sharing, only a file that does not exist yet
};

// Share modes of OpenFileShared (the system's FILE_SHARE_* values).
enum : uint32_t {
    SHARE_READ = 1,
    SHARE_WRITE = 2,
    SHARE_DELETE = 4,
};

// Origins of SeekFile (the system's FILE_BEGIN, FILE_CURRENT, FILE_END).
enum : uint32_t {
    FROM_BEGIN = 0,
    FROM_CURRENT = 1,
    FROM_END = 2,
};

// File attributes as archives store them: the values Windows gives them.
// Elsewhere a listing reports READONLY (no write permission for the owner),
// HIDDEN (a name starting with "."), DIRECTORY and ARCHIVE (other files).
enum : uint32_t {
    ATTR_READONLY = 0x1,
    ATTR_HIDDEN = 0x2,
    ATTR_SYSTEM = 0x4,
    ATTR_DIRECTORY = 0x10,
    ATTR_ARCHIVE = 0x20,
    ATTR_NORMAL = 0x80,
    ATTR_TEMPORARY = 0x100,
    ATTR_OFFLINE = 0x1000,
    ATTR_NOT_CONTENT_INDEXED = 0x2000,
    ATTRS_INVALID = 0xFFFFFFFF,
};

// What a folder listing tells of one entry: attributes, the three file
// times (100-ns units since 1601, UTC), size and name (without folder).
struct FileListing {
    uint32_t m_nAttributes = 0;
    uint64_t m_nCreationTime = 0;
    uint64_t m_nAccessTime = 0;
    uint64_t m_nWriteTime = 0;
    uint64_t m_nSize = 0;
    std::wstring m_strName;
    // A symbolic link, reported as itself and never followed (only outside
    // Windows; Windows lists links as what they point to, as it always did).
    bool m_bSymbolicLink = false;
};

// The entries of one folder in the system's order, "." and ".." included
// where the system lists them. Open reads nothing yet; Next gives one entry
// at a time.
class FolderLister {
public:
    FolderLister();
    ~FolderLister();
    FolderLister(const FolderLister&) = delete;
    FolderLister& operator=(const FolderLister&) = delete;

    // Starts listing folder (with or without its trailing "\"). False with
    // this thread's last error set when the folder cannot be listed.
    bool Open(const std::wstring& folder);
    // The next entry. False at the end, with the system error
    // SYSERR_NO_MORE_FILES, or on a failure, with another.
    bool Next(FileListing* out);
    bool IsOpen() const;
    // Opens for reading (OPENMODE_READ) path, an entry of the folder being
    // listed. Where the system allows, the open starts at the open listing
    // instead of walking the whole path again, which a tree of small files
    // pays once per file; otherwise, and when nothing is listed, path itself
    // is opened. Null on failure, with this thread's last error set.
    SysHandle OpenEntry(const std::wstring& path) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};

// Null on failure (never INVALID_HANDLE_VALUE), also for an unknown mode.
SysHandle OpenFile(const wchar_t* path, int mode);

// As OpenFile with the caller's share mode (SHARE_*); modes 0 to 4.
SysHandle OpenFileShared(const wchar_t* path, int mode, uint32_t shareMode);

// One ReadFile / WriteFile: the count done, or -1 on failure or for no handle.
int64_t ReadFileBytes(SysHandle h, void* buffer, uint32_t size);
int64_t WriteFileBytes(SysHandle h, const void* buffer, uint32_t size);

// Moves the file pointer (method FROM_BEGIN, FROM_CURRENT or FROM_END);
// the new position, or -1 on failure.
int64_t SeekFile(SysHandle h, int64_t offset, uint32_t method);

// Writes the system's buffers of an open file to disk.
bool FlushFile(SysHandle h);

// Size of an open file, or -1 on failure.
int64_t FileSizeOf(SysHandle h);

// Reads until size bytes are read or the file ends: the count read (less
// than size only at the end of the file), or -1 on failure.
int64_t ReadFully(SysHandle h, void* buffer, size_t size);
// Writes all size bytes; false on failure (a write that makes no progress
// fails with ERROR_WRITE_FAULT).
bool WriteFully(SysHandle h, const void* buffer, size_t size);
// The same at an absolute 64-bit offset (the file pointer ends after the data).
int64_t ReadFullyAt(SysHandle h, uint64_t offset, void* buffer, size_t size);
bool WriteFullyAt(SysHandle h, uint64_t offset, const void* buffer, size_t size);

// The attributes of a file or folder: ATTRS_INVALID on failure. Outside
// Windows a symbolic link is not followed, and only ATTR_READONLY is
// stored (as the owner's write permission; folders keep theirs).
uint32_t GetFileAttrs(const wchar_t* path);
bool SetFileAttrs(const wchar_t* path, uint32_t attrs);
// Writes the attributes back without ATTR_READONLY.
bool ClearReadOnly(const wchar_t* path);

// The listing record of one path (the first match of a pattern on Windows):
// the fastest information level the running system offers.
bool FindFileData(const wchar_t* path, FileListing* out);

// Whether path itself is a symbolic link. Always false on Windows, where
// the extractor's own checks and the system's create flags keep writes
// inside the destination.
bool PathIsSymbolicLink(const wchar_t* path);

// Volume and file number of a file or folder (a link and its target share
// them). False when it cannot be opened.
bool FileIdentity(const std::wstring& path, std::pair<uint32_t, uint64_t>& identity);

// Creates one folder, the path taken as given; false when it fails (also
// when it exists: SYSERR_ALREADY_EXISTS).
bool CreateFolder(const wchar_t* path);

// Sets the three file times of an open file or folder (100-ns units since
// 1601). Outside Windows the creation time cannot be set and is left.
bool SetFileTimes(SysHandle h, uint64_t creation, uint64_t access, uint64_t write);

// Output streams of the extractor, binary. CreateNewStream: only a file
// that does not exist yet (never through a symbolic link); null otherwise.
// OpenStreamForWrite: creates or truncates. ProbeCreate creates or
// truncates the file without sharing and closes it again, to learn why a
// stream could not be opened (the system error then says).
FILE* CreateNewStream(const std::wstring& path);
FILE* OpenStreamForWrite(const std::wstring& path);
bool ProbeCreate(const std::wstring& path);
// Times and attributes of a stream's file, through the open stream.
bool SetStreamTimesAndAttributes(FILE* stream, uint32_t attributes, uint64_t creation, uint64_t access,
                                 uint64_t write);

// Copies source over target (an existing target is replaced). Succeeds
// without copying when the source does not exist.
bool CopyFileTo(const wchar_t* source, const wchar_t* target);

// Deletes a file; succeeds when it does not exist. A failed delete is tried
// once more after clearing the read-only attribute. When that still fails,
// or with defer set, the file is deleted at the next restart.
bool DeleteFileOrDefer(const wchar_t* path, bool defer);

// Bytes of physical memory, or -1 when the system does not say.
int64_t TotalPhysicalMemory();

} // namespace zk
