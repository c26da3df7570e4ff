#include <gtest/gtest.h>

#include <windows.h>

#include "core/reporting_files.h"
#include "core/tests/fake_dialogue.h"

namespace zk {
namespace {

// A file whose every call fails with a chosen system error (0: fails
// without one, as a seek that lands elsewhere does).
class FailingFile : public IByteFile {
public:
    explicit FailingFile(DWORD error) : m_nError(error) {}
    int64_t Read(void*, uint32_t) override { return Fail(), -1; }
    int64_t Write(const void*, uint32_t) override { return Fail(), -1; }
    bool SeekTo(uint64_t) override { return Fail(), false; }
    std::u16string LastErrorText() const override { return u"inner"; }

private:
    void Fail() const
    {
        if (m_nError) SetLastError(m_nError);
    }
    DWORD m_nError;
};

class FailingHash : public IFileHash {
public:
    int Begin() override { return SetLastError(ERROR_INVALID_HANDLE), 1; }
    int Update(const uint8_t*, uint32_t) override { return 0; }
    int End(uint8_t*) override { return 0; }
    std::u16string LastErrorText() const override { return u""; }
};

class FailingVolumes : public IVolumeFiles {
public:
    std::unique_ptr<IByteFile> CreateVolume(const std::u16string&) override
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    std::unique_ptr<IByteFile> OpenVolume(const std::u16string&) override
    {
        return std::make_unique<FailingFile>(ERROR_HANDLE_EOF);
    }
    std::u16string LastErrorText() const override { return u""; }
};

TEST(ReportingFiles, EverySystemFailureIsToldOnceAsASystemMessage)
{
    test::FakeDialogue user;
    auto file = ReportingByteFile(std::make_unique<FailingFile>(ERROR_DISK_FULL), user);
    char byte = 0;
    EXPECT_EQ(file->Read(&byte, 1), -1);
    EXPECT_EQ(file->Write(&byte, 1), -1);
    SetLastError(0);
    auto quiet = ReportingByteFile(std::make_unique<FailingFile>(0), user);
    EXPECT_FALSE(quiet->SeekTo(7)); // no system error: nothing to tell
    EXPECT_EQ(file->LastErrorText(), u"inner");

    auto hash = ReportingHash(std::make_unique<FailingHash>(), user);
    EXPECT_EQ(hash->Begin(), 1);
    EXPECT_EQ(hash->Update(nullptr, 0), 0);

    auto volumes = ReportingVolumeFiles(std::make_unique<FailingVolumes>(), user);
    EXPECT_EQ(volumes->CreateVolume(u"a"), nullptr);
    auto opened = volumes->OpenVolume(u"b");
    ASSERT_NE(opened, nullptr);
    EXPECT_FALSE(opened->SeekTo(0)); // the opened volume reports too

    const auto messages = user.Messages();
    const std::vector<std::wstring> prefixes{L"[Error:112] ", L"[Error:112] ", L"[Error:6] ", L"[Error:5] ",
                                             L"[Error:38] "};
    ASSERT_EQ(messages.size(), prefixes.size());
    for (size_t i = 0; i < prefixes.size(); ++i) {
        EXPECT_EQ(messages[i].m_nSource, SOURCE_SYSTEM);
        EXPECT_EQ(messages[i].m_strText.rfind(prefixes[i], 0), 0u) << messages[i].m_strText;
    }
}

// A file that takes or gives one byte less than asked: a write stops short
// only on a full disk, a read at the end of the file.
class ShortFile : public IByteFile {
public:
    int64_t Read(void*, uint32_t count) override { return SetLastError(0), count - 1; }
    int64_t Write(const void*, uint32_t count) override { return SetLastError(ERROR_DISK_FULL), count - 1; }
    bool SeekTo(uint64_t) override { return true; }
    std::u16string LastErrorText() const override { return u""; }
};

TEST(ReportingFiles, AWriteCutShortIsToldAReadCutShortIsNot)
{
    test::FakeDialogue user;
    auto file = ReportingByteFile(std::make_unique<ShortFile>(), user);
    char bytes[2] = {};
    EXPECT_EQ(file->Read(bytes, 2), 1);
    EXPECT_TRUE(user.Messages().empty());
    EXPECT_EQ(file->Write(bytes, 2), 1);
    ASSERT_EQ(user.Count(), 1u);
    EXPECT_EQ(user.Messages()[0].m_strText.rfind(L"[Error:112] ", 0), 0u);
}

} // namespace
} // namespace zk
