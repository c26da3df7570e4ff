#include "builder/build_files.h"

#include <wincrypt.h>

#include "core/file_io.h"
#include "core/last_error.h"
#include "core/unique_handle.h"

namespace zk {

namespace {

std::u16string LastText()
{
    const wchar_t* t = LastErrorText();
    return std::u16string(t, t + wcslen(t));
}

// Every failure shows the system error box, as the file routines do.
class HandleFile : public IByteFile {
public:
    explicit HandleFile(HANDLE h) : m_h(h) {}
    int64_t Read(void* dst, uint32_t count) override { return ReadFileBytes(m_h, dst, count, true); }
    int64_t Write(const void* src, uint32_t count) override { return WriteFileBytes(m_h, src, count, true); }
    bool SeekTo(uint64_t pos) override
    {
        return SeekFile(m_h, static_cast<int64_t>(pos), FILE_BEGIN, true) == static_cast<int64_t>(pos);
    }
    std::u16string LastErrorText() const override { return LastText(); }

private:
    HANDLE m_h;
};

class OwnedFile : public HandleFile {
public:
    explicit OwnedFile(HANDLE h) : HandleFile(h), m_owned(h) {}

private:
    FileHandle m_owned;
};

class VolumeFiles : public IVolumeFiles {
public:
    std::unique_ptr<IByteFile> CreateVolume(const std::u16string& path) override
    {
        std::wstring p(path.begin(), path.end());
        HANDLE h = OpenFileShared(p.c_str(), OPENMODE_CREATE, FILE_SHARE_READ, true);
        if (!h) return nullptr;
        return std::make_unique<OwnedFile>(h);
    }
    std::unique_ptr<IByteFile> OpenVolume(const std::u16string& path) override
    {
        std::wstring p(path.begin(), path.end());
        HANDLE h = OpenFileShared(p.c_str(), OPENMODE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, true);
        if (!h) return nullptr;
        return std::make_unique<OwnedFile>(h);
    }
    std::u16string LastErrorText() const override { return LastText(); }
};

class CryptoHash : public IFileHash {
public:
    ~CryptoHash() override { Release(); }
    int Begin() override
    {
        Release();
        if (!CryptAcquireContextW(&m_prov, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
            if (GetLastError() != static_cast<DWORD>(NTE_BAD_KEYSET) ||
                !CryptAcquireContextW(&m_prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET))
                return Failed();
        }
        if (!CryptCreateHash(m_prov, CALG_SHA_256, 0, 0, &m_hash)) return Failed();
        return 0;
    }
    int Update(const uint8_t* bytes, uint32_t count) override
    {
        if (!m_hash || !CryptHashData(m_hash, bytes, count, 0)) return Failed();
        return 0;
    }
    int End(uint8_t digest[32]) override
    {
        int result = 0;
        DWORD size = 0;
        DWORD sizeLength = sizeof size;
        if (!m_hash || !CryptGetHashParam(m_hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &sizeLength, 0) ||
            size != 32) {
            result = Failed();
        } else {
            DWORD length = 32;
            if (!CryptGetHashParam(m_hash, HP_HASHVAL, digest, &length, 0)) result = Failed();
        }
        Release();
        return result;
    }
    std::u16string LastErrorText() const override { return LastText(); }

private:
    int Failed()
    {
        ReportLastError();
        return 1;
    }
    void Release()
    {
        if (m_hash) CryptDestroyHash(m_hash);
        if (m_prov) CryptReleaseContext(m_prov, 0);
        m_hash = 0;
        m_prov = 0;
    }
    HCRYPTPROV m_prov = 0;
    HCRYPTHASH m_hash = 0;
};

} // namespace

std::unique_ptr<IByteFile> WrapFile(HANDLE h) { return std::make_unique<HandleFile>(h); }
std::unique_ptr<IVolumeFiles> MakeVolumeFiles() { return std::make_unique<VolumeFiles>(); }
std::unique_ptr<IFileHash> MakeFileHash() { return std::make_unique<CryptoHash>(); }

} // namespace zk
