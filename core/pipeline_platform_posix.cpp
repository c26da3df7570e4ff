#include "core/pipeline_platform.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <cerrno>
#include <string>

#include "core/last_error.h"
#include "core/text_convert.h"

namespace zk {

namespace {

// SHA-256 from OpenSSL's libcrypto: one digest context for the object's
// life, started again for every file.
class OpenSslSha256 : public IFileHash {
public:
    OpenSslSha256() = default;
    ~OpenSslSha256() override { EVP_MD_CTX_free(m_ctx); }
    OpenSslSha256(const OpenSslSha256&) = delete;
    OpenSslSha256& operator=(const OpenSslSha256&) = delete;

    int Begin() override
    {
        if (!m_ctx) m_ctx = EVP_MD_CTX_new();
        if (!m_ctx || EVP_DigestInit_ex(m_ctx, EVP_sha256(), nullptr) != 1) return Failed();
        m_bStarted = true;
        return 0;
    }

    int Update(const uint8_t* bytes, uint32_t count) override
    {
        if (!m_bStarted || EVP_DigestUpdate(m_ctx, bytes, count) != 1) return Failed();
        return 0;
    }

    int End(uint8_t digest[32]) override
    {
        unsigned int size = 0;
        const bool ok = m_bStarted && EVP_DigestFinal_ex(m_ctx, digest, &size) == 1 && size == 32;
        m_bStarted = false;
        return ok ? 0 : Failed();
    }

    std::u16string LastErrorText() const override { return m_strError; }

private:
    int Failed()
    {
        const unsigned long code = ERR_get_error();
        char text[256] = "SHA-256 failed";
        if (code != 0) ERR_error_string_n(code, text, sizeof text);
        const std::string narrow(text);
        m_strError = ToU16(std::wstring(narrow.begin(), narrow.end()));
        errno = EINVAL;
        RecordFailure();
        return 1;
    }

    EVP_MD_CTX* m_ctx = nullptr;
    bool m_bStarted = false;
    std::u16string m_strError;
};

} // namespace

std::unique_ptr<IFileHash> MakeSystemSha256()
{
    return std::make_unique<OpenSslSha256>();
}

} // namespace zk
