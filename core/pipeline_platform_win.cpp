#include "core/pipeline_platform.h"

#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "core/file_io.h"
#include "core/last_error.h"
#include "core/text_convert.h"

namespace zk {

namespace {

std::u16string LastErrorTextU16()
{
    return ToU16(zk::LastErrorText());
}

class Win32File : public IByteFile {
public:
    Win32File(HANDLE h, bool owns) : m_h(h), m_bOwns(owns) {}
    ~Win32File() override
    {
        if (m_bOwns) CloseFile(m_h);
    }
    Win32File(const Win32File&) = delete;
    Win32File& operator=(const Win32File&) = delete;

    int64_t Read(void* dst, uint32_t count) override
    {
        return Keep(ReadFileBytes(m_h, dst, count));
    }
    int64_t Write(const void* src, uint32_t count) override
    {
        // A write may stop short without an error; the rest is written on,
        // so that a full disk fails the next call with the system's own error.
        // A call that makes no progress without an error (a full disk on some
        // systems) is kept as a full disk, never passed over in silence.
        const uint8_t* bytes = static_cast<const uint8_t*>(src);
        uint32_t done = 0;
        while (done < count) {
            const int64_t n = Keep(WriteFileBytes(m_h, bytes + done, count - done));
            if (n < 0) return done == 0 ? -1 : done;
            if (n == 0) {
                SetLastError(ERROR_DISK_FULL);
                RecordFailure();
                m_strError = LastErrorTextU16();
                break;
            }
            done += static_cast<uint32_t>(n);
        }
        return done;
    }
    bool SeekTo(uint64_t pos) override
    {
        const int64_t at = Keep(SeekFile(m_h, static_cast<int64_t>(pos), FILE_BEGIN));
        return at >= 0 && static_cast<uint64_t>(at) == pos;
    }
    std::u16string LastErrorText() const override { return m_strError; }

private:
    int64_t Keep(int64_t result)
    {
        if (result < 0) m_strError = LastErrorTextU16();
        return result;
    }

    HANDLE m_h;
    bool m_bOwns;
    std::u16string m_strError;
};

class Win32VolumeFiles : public IVolumeFiles {
public:
    Win32VolumeFiles() {}

    std::unique_ptr<IByteFile> CreateVolume(const std::u16string& path) override
    {
        return Wrap(OpenFileShared(ToWide(path).c_str(), OPENMODE_CREATE, FILE_SHARE_READ));
    }
    std::unique_ptr<IByteFile> OpenVolume(const std::u16string& path) override
    {
        return Wrap(OpenFileShared(ToWide(path).c_str(), OPENMODE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE));
    }
    std::u16string LastErrorText() const override { return m_strError; }

private:
    std::unique_ptr<IByteFile> Wrap(HANDLE h)
    {
        if (!h) {
            m_strError = LastErrorTextU16();
            return nullptr;
        }
        return std::make_unique<Win32File>(h, true);
    }
    std::u16string m_strError;
};

// The provider is acquired at the first Begin and kept until the object goes:
// acquiring it costs milliseconds (far more than hashing a small file), and a
// build or an extraction hashes thousands of files with one object. Each file
// still gets a hash object of its own.
class CryptSha256 : public IFileHash {
public:
    CryptSha256() {}
    ~CryptSha256() override
    {
        ReleaseHash();
        if (m_prov) CryptReleaseContext(m_prov, 0);
    }
    CryptSha256(const CryptSha256&) = delete;
    CryptSha256& operator=(const CryptSha256&) = delete;

    int Begin() override
    {
        ReleaseHash();
        if (!m_prov && AcquireProvider() != 0) return 1;
        if (!CryptCreateHash(m_prov, CALG_SHA_256, 0, 0, &m_hash)) {
            m_hash = 0;
            return Failed();
        }
        return 0;
    }

    int Update(const uint8_t* bytes, uint32_t count) override
    {
        if (!m_hash) {
            SetLastError(ERROR_INVALID_HANDLE);
            return Failed();
        }
        return CryptHashData(m_hash, bytes, count, 0) ? 0 : Failed();
    }

    int End(uint8_t digest[32]) override
    {
        int result = 1;
        DWORD size = 0;
        if (!m_hash) {
            SetLastError(ERROR_INVALID_HANDLE);
            Failed();
        } else if (!CryptGetHashParam(m_hash, HP_HASHVAL, nullptr, &size, 0)) {
            Failed();
        } else if (size != 32) {
            SetLastError(static_cast<DWORD>(NTE_BAD_HASH));
            Failed();
        } else if (!CryptGetHashParam(m_hash, HP_HASHVAL, digest, &size, 0)) {
            Failed();
        } else {
            result = 0;
        }
        ReleaseHash();
        return result;
    }

    std::u16string LastErrorText() const override { return m_strError; }

private:
    int Failed()
    {
        RecordFailure();
        m_strError = LastErrorTextU16();
        return 1;
    }
    int AcquireProvider()
    {
        if (CryptAcquireContextW(&m_prov, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return 0;
        m_prov = 0;
        if (GetLastError() != static_cast<DWORD>(NTE_BAD_KEYSET)) return Failed();
        if (CryptAcquireContextW(&m_prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET)) return 0;
        m_prov = 0;
        return Failed();
    }
    void ReleaseHash()
    {
        if (m_hash) CryptDestroyHash(m_hash);
        m_hash = 0;
    }

    HCRYPTPROV m_prov = 0;
    HCRYPTHASH m_hash = 0;
    std::u16string m_strError;
};

} // namespace

std::unique_ptr<IByteFile> WrapFileHandle(void* handle, bool owns)
{
    return std::make_unique<Win32File>(static_cast<HANDLE>(handle), owns);
}

std::unique_ptr<IVolumeFiles> MakeVolumeFiles()
{
    return std::make_unique<Win32VolumeFiles>();
}

std::unique_ptr<IFileHash> MakeSystemSha256()
{
    return std::make_unique<CryptSha256>();
}

} // namespace zk
