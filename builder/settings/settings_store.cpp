#include "builder/settings/settings_store.h"

#include <windows.h>

#include <climits>
#include <functional>

#include "core/file_io.h"
#include "core/long_path.h"

namespace {

class FileSource : public zk::SerialByteSource {
public:
    FileSource(HANDLE file, uint64_t size) : m_file(file), m_size(size) {}
    uint64_t Size() const override { return m_size; }
    size_t Read(uint8_t* p, size_t n) override
    {
        int64_t got = zk::ReadFully(m_file, p, n);
        return got < 0 ? 0 : static_cast<size_t>(got);
    }

private:
    HANDLE m_file;
    uint64_t m_size;
};

class FileSink : public zk::ByteSink {
public:
    explicit FileSink(HANDLE file) : m_file(file) {}
    bool Write(const uint8_t* p, size_t n) override { return zk::WriteFully(m_file, p, n); }

private:
    HANDLE m_file;
};

// Opened read-only and shared with nobody, so that no other instance
// rewrites the file while it is read.
int LoadFile(const std::wstring& path, const std::function<int(zk::SerialArchive&)>& load)
{
    zk::FileHandle file(zk::OpenFileShared(path.c_str(), zk::OPENMODE_READ, 0));
    if (!file) return 1;
    int64_t size = zk::FileSizeOf(file.Get());
    if (size < 0 || static_cast<uint64_t>(size) > MAX_SETTINGS_FILE_SIZE) return 1;
    FileSource source(file.Get(), static_cast<uint64_t>(size));
    zk::SerialArchive ar(source, SystemCodePageDecoder());
    return load(ar);
}

int SaveFile(const std::wstring& path, const std::function<void(zk::SerialArchive&)>& store)
{
    const std::wstring temp = path + L".tmp";
    bool ok = false;
    {
        zk::FileHandle file(zk::OpenFile(temp.c_str(), zk::OPENMODE_CREATE));
        if (!file) return 1;
        FileSink sink(file.Get());
        zk::SerialArchive ar(sink);
        store(ar);
        // On disk before it replaces the old file: a crash in between must
        // not leave an empty settings file behind.
        ok = ar.Flush() && FlushFileBuffers(file.Get());
    }
    if (ok) {
        ok = MoveFileExW(zk::LongPathForm(temp).c_str(), zk::LongPathForm(path).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }
    if (!ok) zk::DeleteFileOrDefer(temp.c_str(), false);
    return ok ? 0 : 1;
}

} // namespace

zk::AnsiDecoder SystemCodePageDecoder()
{
    return [](const uint8_t* bytes, size_t size, std::u16string& out) {
        if (size > INT_MAX) return false;
        const char* text = reinterpret_cast<const char*>(bytes);
        int n = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(size), nullptr, 0);
        if (n <= 0) return false;
        out.resize(static_cast<size_t>(n));
        return MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(size),
                                   reinterpret_cast<wchar_t*>(out.data()), n) == n;
    };
}

int LoadEnv(const std::wstring& programFolder, CVosmireEnv& env)
{
    const std::wstring path = programFolder + ENV_FILE_NAME;
    if (!zk::PathExists(path.c_str())) {
        env.SetDefaults();
        return 0;
    }
    return LoadFile(path, [&env](zk::SerialArchive& ar) { return env.Load(ar); });
}

int SaveEnv(const std::wstring& programFolder, const CVosmireEnv& env)
{
    return SaveFile(programFolder + ENV_FILE_NAME, [&env](zk::SerialArchive& ar) { env.Store(ar); });
}

int LoadPrm(const std::wstring& programFolder, CVosmirePrm& prm)
{
    return LoadFile(programFolder + PRM_FILE_NAME, [&prm](zk::SerialArchive& ar) { return prm.Load(ar); });
}

int SavePrm(const std::wstring& programFolder, const CVosmirePrm& prm)
{
    return SaveFile(programFolder + PRM_FILE_NAME, [&prm](zk::SerialArchive& ar) { prm.Store(ar); });
}
