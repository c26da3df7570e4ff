// The file calls over POSIX. Handles carry the descriptor plus one, so that
// null stays "no file".

#include "core/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <string>
#include <vector>

#include "core/last_error.h"
#include "core/long_path.h"
#include "core/native_text_posix.h"
#include "core/text_convert.h"

namespace zk {

namespace {

// 100-ns units between 1601-01-01 and 1970-01-01.
constexpr uint64_t EPOCH_DIFFERENCE = 116444736000000000ull;

int Fd(SysHandle h)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(h)) - 1;
}

SysHandle FromFd(int fd)
{
    return fd < 0 ? nullptr : reinterpret_cast<SysHandle>(static_cast<intptr_t>(fd) + 1);
}

template <class T> T Fail(int error, T result)
{
    errno = error;
    RecordFailure();
    return result;
}

uint64_t FileTimeOf(const struct timespec& ts)
{
    if (ts.tv_sec < 0) return 0;
    return static_cast<uint64_t>(ts.tv_sec) * 10000000ull + static_cast<uint64_t>(ts.tv_nsec) / 100 +
           EPOCH_DIFFERENCE;
}

struct timespec TimespecOf(uint64_t fileTime)
{
    struct timespec ts {};
    if (fileTime < EPOCH_DIFFERENCE) return ts;
    const uint64_t units = fileTime - EPOCH_DIFFERENCE;
    ts.tv_sec = static_cast<time_t>(units / 10000000ull);
    ts.tv_nsec = static_cast<long>((units % 10000000ull) * 100);
    return ts;
}

std::wstring LastPart(const std::wstring& path)
{
    std::wstring name = path;
    while (name.size() > 1 && (name.back() == L'\\' || name.back() == L'/'))
        name.pop_back();
    const size_t slash = name.find_last_of(L"\\/");
    return slash == std::wstring::npos ? name : name.substr(slash + 1);
}

// The listing record of what st describes. The creation time is the write
// time, as Wine reports it: a birth time cannot be set (no copy, checkout or
// "touch" gives two trees the same one), so recording it would make two
// archives of the same files differ, and a tree packed here differ from the
// same tree packed by the Windows builder.
void FillListing(const struct stat& st, const std::wstring& name, FileListing* out)
{
    out->m_strName = name;
    out->m_bSymbolicLink = S_ISLNK(st.st_mode);
    uint32_t attrs = S_ISDIR(st.st_mode) ? ATTR_DIRECTORY : ATTR_ARCHIVE;
    if (!S_ISDIR(st.st_mode) && (st.st_mode & S_IWUSR) == 0) attrs |= ATTR_READONLY;
    if (!name.empty() && name[0] == L'.' && name != L"." && name != L"..") attrs |= ATTR_HIDDEN;
    out->m_nAttributes = attrs;
    out->m_nSize = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    out->m_nAccessTime = FileTimeOf(st.st_atim);
    out->m_nWriteTime = FileTimeOf(st.st_mtim);
    out->m_nCreationTime = out->m_nWriteTime;
}

// lstat; dirFd and name as for fstatat.
bool StatEntry(int dirFd, const char* name, struct stat* st)
{
    return fstatat(dirFd, name, st, AT_SYMLINK_NOFOLLOW) == 0;
}

SysHandle OpenNative(const wchar_t* path, int flags)
{
    const int fd = open(NativePath(path).c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) {
        RecordFailure();
        return nullptr;
    }
    return FromFd(fd);
}

} // namespace

bool IsOpenHandle(SysHandle h)
{
    return h != nullptr;
}

// Sharing is a Windows matter: POSIX files are shared by default.
SysHandle OpenFile(const wchar_t* path, int mode)
{
    if (!path) return Fail<SysHandle>(EINVAL, nullptr);
    switch (mode) {
    case OPENMODE_READ:
        return OpenNative(path, O_RDONLY);
    case OPENMODE_CREATE:
        return OpenNative(path, O_RDWR | O_CREAT | O_TRUNC);
    case OPENMODE_OPEN_ALWAYS:
        return OpenNative(path, O_RDWR | O_CREAT);
    case OPENMODE_EXISTING:
        return OpenNative(path, O_RDWR);
    case OPENMODE_BACKUP:
    case OPENMODE_BACKUP_SHARED: {
        // Read and write, as on Windows (the builder writes the archive's
        // first volume through it); a folder can only be opened for reading,
        // which is enough to read it and set its times.
        const int fd = open(NativePath(path).c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0) return FromFd(fd);
        if (errno != EISDIR) {
            RecordFailure();
            return nullptr;
        }
        return OpenNative(path, O_RDONLY | O_DIRECTORY);
    }
    case OPENMODE_CREATE_NEW:
        return OpenNative(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW);
    default:
        return Fail<SysHandle>(EINVAL, nullptr);
    }
}

SysHandle OpenFileShared(const wchar_t* path, int mode, uint32_t)
{
    if (mode == OPENMODE_BACKUP_SHARED) return Fail<SysHandle>(EINVAL, nullptr);
    return OpenFile(path, mode);
}

void CloseFile(SysHandle h)
{
    if (h) close(Fd(h));
}

int64_t ReadFileBytes(SysHandle h, void* buffer, uint32_t size)
{
    if (!h) return Fail<int64_t>(EBADF, -1);
    for (;;) {
        const ssize_t n = read(Fd(h), buffer, size);
        if (n >= 0) return n;
        if (errno != EINTR) break;
    }
    RecordFailure();
    return -1;
}

int64_t WriteFileBytes(SysHandle h, const void* buffer, uint32_t size)
{
    if (!h) return Fail<int64_t>(EBADF, -1);
    for (;;) {
        const ssize_t n = write(Fd(h), buffer, size);
        if (n >= 0) return n;
        if (errno != EINTR) break;
    }
    RecordFailure();
    return -1;
}

int64_t SeekFile(SysHandle h, int64_t offset, uint32_t method)
{
    if (!h) return Fail<int64_t>(EBADF, -1);
    const int whence = method == FROM_BEGIN ? SEEK_SET : method == FROM_CURRENT ? SEEK_CUR : SEEK_END;
    const off_t at = lseek(Fd(h), static_cast<off_t>(offset), whence);
    if (at < 0) {
        RecordFailure();
        return -1;
    }
    return at;
}

bool FlushFile(SysHandle h)
{
    if (!h) return Fail<bool>(EBADF, false);
    if (fsync(Fd(h)) == 0) return true;
    RecordFailure();
    return false;
}

int64_t FileSizeOf(SysHandle h)
{
    if (!h) return Fail<int64_t>(EBADF, -1);
    struct stat st;
    if (fstat(Fd(h), &st) != 0) {
        RecordFailure();
        return -1;
    }
    return st.st_size;
}

uint32_t GetFileAttrs(const wchar_t* path)
{
    if (!path) return Fail<uint32_t>(EINVAL, ATTRS_INVALID);
    FileListing listing;
    if (!FindFileData(path, &listing)) return ATTRS_INVALID;
    return listing.m_nAttributes;
}

bool SetFileAttrs(const wchar_t* path, uint32_t attrs)
{
    if (!path) return Fail<bool>(EINVAL, false);
    const std::string native = NativePath(path);
    struct stat st;
    if (lstat(native.c_str(), &st) != 0) {
        RecordFailure();
        return false;
    }
    // A link's own permissions mean nothing; its target is not ours to change.
    if (S_ISLNK(st.st_mode)) return Fail<bool>(ELOOP, false);
    // A folder without write permission would refuse the files still to be
    // made in it: folders keep theirs.
    if (S_ISDIR(st.st_mode)) return true;
    const mode_t mode =
        (attrs & ATTR_READONLY) ? (st.st_mode & ~static_cast<mode_t>(0222)) : (st.st_mode | S_IWUSR);
    if (chmod(native.c_str(), mode & 07777) != 0) {
        RecordFailure();
        return false;
    }
    return true;
}

bool FindFileData(const wchar_t* path, FileListing* out)
{
    if (!path || !out) return Fail<bool>(EINVAL, false);
    const std::string native = NativePath(path);
    struct stat st;
    if (!StatEntry(AT_FDCWD, native.c_str(), &st)) {
        RecordFailure();
        return false;
    }
    FillListing(st, LastPart(path), out);
    return true;
}

namespace {

// UTF-16 code units with ASCII letters folded to lower case.
std::u16string FoldedName(const std::string& name)
{
    std::u16string folded = ToU16(WideFromUtf8(name));
    for (char16_t& c : folded)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
    return folded;
}

} // namespace

// A folder's names are read at once and handed out in the order Windows
// lists them (names compared as UTF-16 without regard to case, ties by
// the exact name), not in the order the file system happens to keep:
// archives then come out the same from one tree wherever they are built.
// Only ASCII letters are folded; names that differ only in the case of
// other letters may sort apart from Windows.
struct FolderLister::Impl {
    ~Impl()
    {
        if (dir) closedir(dir);
    }
    DIR* dir = nullptr;
    std::vector<std::string> names;
    size_t next = 0;
};

FolderLister::FolderLister() : m_pImpl(std::make_unique<Impl>()) {}
FolderLister::~FolderLister() = default;

bool FolderLister::Open(const std::wstring& folder)
{
    if (m_pImpl->dir) closedir(m_pImpl->dir);
    m_pImpl->names.clear();
    m_pImpl->next = 0;
    m_pImpl->dir = opendir(NativePath(folder).c_str());
    if (!m_pImpl->dir) {
        RecordFailure();
        return false;
    }
    std::vector<std::pair<std::u16string, std::string>> keyed;
    for (;;) {
        errno = 0;
        const struct dirent* entry = readdir(m_pImpl->dir);
        if (!entry) break;
        keyed.emplace_back(FoldedName(entry->d_name), entry->d_name);
    }
    if (errno != 0) {
        RecordFailure();
        closedir(m_pImpl->dir);
        m_pImpl->dir = nullptr;
        return false;
    }
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        if (a.first != b.first) return a.first < b.first;
        return ToU16(WideFromUtf8(a.second)) < ToU16(WideFromUtf8(b.second));
    });
    m_pImpl->names.reserve(keyed.size());
    for (auto& k : keyed)
        m_pImpl->names.push_back(std::move(k.second));
    return true;
}

bool FolderLister::Next(FileListing* out)
{
    if (!m_pImpl->dir) return Fail<bool>(EBADF, false);
    if (m_pImpl->next >= m_pImpl->names.size()) {
        errno = static_cast<int>(SYSERR_NO_MORE_FILES);
        return false;
    }
    const std::string& name = m_pImpl->names[m_pImpl->next++];
    struct stat st;
    if (!StatEntry(dirfd(m_pImpl->dir), name.c_str(), &st)) {
        RecordFailure();
        return false;
    }
    FillListing(st, WideFromUtf8(name), out);
    return true;
}

bool FolderLister::IsOpen() const
{
    return m_pImpl->dir != nullptr;
}

SysHandle FolderLister::OpenEntry(const std::wstring& path) const
{
    if (!m_pImpl->dir) return OpenFile(path.c_str(), OPENMODE_READ);
    const std::wstring_view name = std::wstring_view(path).substr(path.find_last_of(L"\\/") + 1);
    const int fd = openat(dirfd(m_pImpl->dir), NativePath(name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        RecordFailure();
        return nullptr;
    }
    return FromFd(fd);
}

bool PathIsSymbolicLink(const wchar_t* path)
{
    if (!path) return false;
    struct stat st;
    return lstat(NativePath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool FileIdentity(const std::wstring& path, std::pair<uint32_t, uint64_t>& identity)
{
    struct stat st;
    if (stat(NativePath(path).c_str(), &st) != 0) return false;
    const uint64_t device = static_cast<uint64_t>(st.st_dev);
    identity = {static_cast<uint32_t>(device ^ (device >> 32)), static_cast<uint64_t>(st.st_ino)};
    return true;
}

bool CreateFolder(const wchar_t* path)
{
    if (!path) return Fail<bool>(EINVAL, false);
    return mkdir(NativePath(path).c_str(), 0777) == 0;
}

// POSIX keeps no settable creation time: it is left as the system made it.
bool SetFileTimes(SysHandle h, uint64_t, uint64_t access, uint64_t write)
{
    if (!h) return Fail<bool>(EBADF, false);
    const struct timespec times[2] = {TimespecOf(access), TimespecOf(write)};
    return futimens(Fd(h), times) == 0;
}

// The extractor's streams never follow a link at the file's own name: a
// new file is created exclusively, which fails on a link whatever it points
// at. The C library opens that in one call ("x": exclusive, "e": closed on
// exec), where a stream over an opened descriptor costs one more per file.
FILE* CreateNewStream(const std::wstring& path)
{
#if defined(__GLIBC__)
    return std::fopen(NativePath(path).c_str(), "wbxe");
#else
    const int fd = open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    FILE* out = fdopen(fd, "wb");
    if (!out) close(fd);
    return out;
#endif
}

FILE* OpenStreamForWrite(const std::wstring& path)
{
    const int fd =
        open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    FILE* out = fdopen(fd, "wb");
    if (!out) close(fd);
    return out;
}

bool ProbeCreate(const std::wstring& path)
{
    const int fd =
        open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    close(fd);
    return true;
}

bool SetStreamTimesAndAttributes(FILE* stream, uint32_t attributes, uint64_t, uint64_t access, uint64_t write)
{
    const int fd = fileno(stream);
    if (fd < 0) return false;
    const struct timespec times[2] = {TimespecOf(access), TimespecOf(write)};
    if (futimens(fd, times) != 0) return false;
    if (!(attributes & ATTR_READONLY)) return true;
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    return fchmod(fd, st.st_mode & 07555) == 0;
}

bool CopyFileTo(const wchar_t* source, const wchar_t* target)
{
    if (!source || !target) return Fail<bool>(EINVAL, false);
    if (!PathExists(source)) return true;
    FileHandle in(OpenFile(source, OPENMODE_READ));
    if (!in) return false;
    FileHandle out(OpenFile(target, OPENMODE_CREATE));
    if (!out) return false;
    std::string buffer(1 << 20, '\0');
    for (;;) {
        const int64_t got = ReadFileBytes(in.Get(), buffer.data(), static_cast<uint32_t>(buffer.size()));
        if (got < 0) return false;
        if (got == 0) return true;
        if (!WriteFully(out.Get(), buffer.data(), static_cast<size_t>(got))) return false;
    }
}

// Nothing is deleted at a restart outside Windows: the delete is done now.
bool DeleteFileOrDefer(const wchar_t* path, bool)
{
    if (!path) return Fail<bool>(EINVAL, false);
    if (unlink(NativePath(path).c_str()) == 0 || errno == ENOENT) return true;
    RecordFailure();
    return false;
}

int64_t TotalPhysicalMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return -1;
    return static_cast<int64_t>(pages) * pageSize;
}

} // namespace zk
