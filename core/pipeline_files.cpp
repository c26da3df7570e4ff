// Files and volume files of the pipeline over core's file calls; the hash
// is the platform's own (pipeline_platform_*.cpp).

#include <string>

#include "core/file_io.h"
#include "core/last_error.h"
#include "core/pipeline_platform.h"
#include "core/text_convert.h"

namespace zk {

namespace {

std::u16string LastErrorTextU16()
{
    return ToU16(zk::LastErrorText());
}

class SystemFile : public IByteFile {
public:
    SystemFile(SysHandle h, bool owns) : m_h(h), m_bOwns(owns) {}
    ~SystemFile() override
    {
        if (m_bOwns) CloseFile(m_h);
    }
    SystemFile(const SystemFile&) = delete;
    SystemFile& operator=(const SystemFile&) = delete;

    int64_t Read(void* dst, uint32_t count) override { return Keep(ReadFileBytes(m_h, dst, count)); }
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
            // Both arms 64-bit: an unsigned count would turn the failure
            // into a write of four thousand million bytes.
            if (n < 0) return done == 0 ? int64_t{-1} : int64_t{done};
            if (n == 0) {
                SetSystemError(SYSERR_DISK_FULL);
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
        const int64_t at = Keep(SeekFile(m_h, static_cast<int64_t>(pos), FROM_BEGIN));
        return at >= 0 && static_cast<uint64_t>(at) == pos;
    }
    std::u16string LastErrorText() const override { return m_strError; }

private:
    int64_t Keep(int64_t result)
    {
        if (result < 0) m_strError = LastErrorTextU16();
        return result;
    }

    SysHandle m_h;
    bool m_bOwns;
    std::u16string m_strError;
};

class SystemVolumeFiles : public IVolumeFiles {
public:
    SystemVolumeFiles() {}

    std::unique_ptr<IByteFile> CreateVolume(const std::u16string& path) override
    {
        return Wrap(OpenFileShared(ToWide(path).c_str(), OPENMODE_CREATE, SHARE_READ));
    }
    std::unique_ptr<IByteFile> OpenVolume(const std::u16string& path) override
    {
        return Wrap(OpenFileShared(ToWide(path).c_str(), OPENMODE_READ, SHARE_READ | SHARE_WRITE));
    }
    std::u16string LastErrorText() const override { return m_strError; }

private:
    std::unique_ptr<IByteFile> Wrap(SysHandle h)
    {
        if (!h) {
            m_strError = LastErrorTextU16();
            return nullptr;
        }
        return std::make_unique<SystemFile>(h, true);
    }
    std::u16string m_strError;
};

} // namespace

std::unique_ptr<IByteFile> WrapFileHandle(void* handle, bool owns)
{
    return std::make_unique<SystemFile>(static_cast<SysHandle>(handle), owns);
}

std::unique_ptr<IVolumeFiles> MakeVolumeFiles()
{
    return std::make_unique<SystemVolumeFiles>();
}

} // namespace zk
