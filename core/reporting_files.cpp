#include "core/reporting_files.h"

#include "core/last_error.h"

namespace zk {

namespace {

// The failing call left its code as the system's error; record it for this
// thread and tell it (nothing for code 0).
void ReportFailure(IUserDialogue& dialogue)
{
    if (GetLastErrorText() != 0) dialogue.ReportSystemError();
}

class ReportingFile : public IByteFile {
public:
    ReportingFile(std::unique_ptr<IByteFile> inner, IUserDialogue& dialogue)
        : m_inner(std::move(inner)), m_dialogue(dialogue)
    {
    }
    int64_t Read(void* dst, uint32_t count) override { return Check(m_inner->Read(dst, count)); }
    int64_t Write(const void* src, uint32_t count) override
    {
        // A write stops short only on a failure the file recorded (a full
        // disk that takes no more bytes): that one is the user's to see too.
        const int64_t result = m_inner->Write(src, count);
        if (result < 0 || static_cast<uint64_t>(result) < count) ReportFailure(m_dialogue);
        return result;
    }
    bool SeekTo(uint64_t pos) override
    {
        SetSystemError(SYSERR_NONE);
        if (m_inner->SeekTo(pos)) return true;
        // A seek that lands elsewhere leaves no system error: not a system
        // failure, so nothing to tell.
        ReportFailure(m_dialogue);
        return false;
    }
    std::u16string LastErrorText() const override { return m_inner->LastErrorText(); }

private:
    int64_t Check(int64_t result)
    {
        if (result < 0) ReportFailure(m_dialogue);
        return result;
    }
    std::unique_ptr<IByteFile> m_inner;
    IUserDialogue& m_dialogue;
};

class ReportingVolumes : public IVolumeFiles {
public:
    ReportingVolumes(std::unique_ptr<IVolumeFiles> inner, IUserDialogue& dialogue)
        : m_inner(std::move(inner)), m_dialogue(dialogue)
    {
    }
    std::unique_ptr<IByteFile> CreateVolume(const std::u16string& path) override
    {
        return Wrap(m_inner->CreateVolume(path));
    }
    std::unique_ptr<IByteFile> OpenVolume(const std::u16string& path) override
    {
        return Wrap(m_inner->OpenVolume(path));
    }
    std::u16string LastErrorText() const override { return m_inner->LastErrorText(); }

private:
    std::unique_ptr<IByteFile> Wrap(std::unique_ptr<IByteFile> file)
    {
        if (!file) {
            ReportFailure(m_dialogue);
            return nullptr;
        }
        return ReportingByteFile(std::move(file), m_dialogue);
    }
    std::unique_ptr<IVolumeFiles> m_inner;
    IUserDialogue& m_dialogue;
};

class ReportingSha256 : public IFileHash {
public:
    ReportingSha256(std::unique_ptr<IFileHash> inner, IUserDialogue& dialogue)
        : m_inner(std::move(inner)), m_dialogue(dialogue)
    {
    }
    int Begin() override { return Check(m_inner->Begin()); }
    int Update(const uint8_t* bytes, uint32_t count) override { return Check(m_inner->Update(bytes, count)); }
    int End(uint8_t digest[32]) override { return Check(m_inner->End(digest)); }
    std::u16string LastErrorText() const override { return m_inner->LastErrorText(); }

private:
    int Check(int result)
    {
        if (result != 0) ReportFailure(m_dialogue);
        return result;
    }
    std::unique_ptr<IFileHash> m_inner;
    IUserDialogue& m_dialogue;
};

} // namespace

std::unique_ptr<IByteFile> ReportingByteFile(std::unique_ptr<IByteFile> inner, IUserDialogue& dialogue)
{
    return std::make_unique<ReportingFile>(std::move(inner), dialogue);
}

std::unique_ptr<IVolumeFiles> ReportingVolumeFiles(std::unique_ptr<IVolumeFiles> inner,
                                                   IUserDialogue& dialogue)
{
    return std::make_unique<ReportingVolumes>(std::move(inner), dialogue);
}

std::unique_ptr<IFileHash> ReportingHash(std::unique_ptr<IFileHash> inner, IUserDialogue& dialogue)
{
    return std::make_unique<ReportingSha256>(std::move(inner), dialogue);
}

} // namespace zk
