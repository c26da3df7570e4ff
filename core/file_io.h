#pragma once
// Thin wrappers over the file calls. Paths go through their long form.
// On failure every wrapper keeps the system's error code and text for this
// thread (LastErrorCode, LastErrorText); telling the user is the caller's
// choice (core/reporting_files.h, IUserDialogue::ReportSystemError).

#include "core/unique_handle.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace zk {

// Open modes of OpenFile.
enum : int {
    OPENMODE_READ = 0,          // read, others may read, existing file, sequential scan
    OPENMODE_CREATE = 1,        // read/write, no sharing, create always (truncates)
    OPENMODE_OPEN_ALWAYS = 2,   // read/write, no sharing, open or create
    OPENMODE_EXISTING = 3,      // read/write, no sharing, existing file
    OPENMODE_BACKUP = 4,        // read/write, others may read, existing, backup semantics (folders)
    OPENMODE_BACKUP_SHARED = 5, // as 4, others may read and write
};

// Null on failure (never INVALID_HANDLE_VALUE), also for an unknown mode.
HANDLE OpenFile(const wchar_t* path, int mode);

// As OpenFile with the caller's share mode (FILE_SHARE_*); modes 0 to 4.
HANDLE OpenFileShared(const wchar_t* path, int mode, DWORD shareMode);

// Closes a handle that is neither null nor INVALID_HANDLE_VALUE.
void CloseFile(HANDLE h);

// One ReadFile / WriteFile: the count done, or -1 on failure or for no handle.
int64_t ReadFileBytes(HANDLE h, void* buffer, uint32_t size);
int64_t WriteFileBytes(HANDLE h, const void* buffer, uint32_t size);

// Moves the file pointer (method FILE_BEGIN, FILE_CURRENT or FILE_END);
// the new position, or -1 on failure.
int64_t SeekFile(HANDLE h, int64_t offset, DWORD method);

// Size of an open file, or -1 on failure.
int64_t FileSizeOf(HANDLE h);

// Reads until size bytes are read or the file ends: the count read (less
// than size only at the end of the file), or -1 on failure.
int64_t ReadFully(HANDLE h, void* buffer, size_t size);
// Writes all size bytes; false on failure (a write that makes no progress
// fails with ERROR_WRITE_FAULT).
bool WriteFully(HANDLE h, const void* buffer, size_t size);
// The same at an absolute 64-bit offset (the file pointer ends after the data).
int64_t ReadFullyAt(HANDLE h, uint64_t offset, void* buffer, size_t size);
bool WriteFullyAt(HANDLE h, uint64_t offset, const void* buffer, size_t size);

// GetFileAttributesW: INVALID_FILE_ATTRIBUTES on failure.
DWORD GetFileAttrs(const wchar_t* path);
bool SetFileAttrs(const wchar_t* path, DWORD attrs);
// Writes the attributes back without FILE_ATTRIBUTE_READONLY.
bool ClearReadOnly(const wchar_t* path);

// The find record of one path (the first match of a pattern): the fastest
// information level the running system offers; the search is closed.
bool FindFileData(const wchar_t* path, WIN32_FIND_DATAW* out);

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
