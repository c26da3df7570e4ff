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

std::unique_ptr<IFileHash> MakeSystemSha256()
{
    return std::make_unique<CryptSha256>();
}

} // namespace zk
