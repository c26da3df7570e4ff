#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/block_size.h"
#include "core/pipeline.h"
#include "core/pipeline_platform.h"
#include "core/text_convert.h"

namespace zk {
namespace {

constexpr uint64_t MiB = 1048576;

std::string Hex(const uint8_t* p, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

TEST(SystemSha256, KnownDigests)
{
    auto hash = MakeSystemSha256();
    uint8_t digest[32];

    ASSERT_EQ(hash->Begin(), 0);
    ASSERT_EQ(hash->Update(reinterpret_cast<const uint8_t*>("a"), 1), 0);
    ASSERT_EQ(hash->Update(reinterpret_cast<const uint8_t*>("bc"), 2), 0);
    ASSERT_EQ(hash->End(digest), 0);
    EXPECT_EQ(Hex(digest, 32), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    // One million "a" in uneven pieces: the state carries across updates.
    std::vector<uint8_t> a(1000000, 'a');
    ASSERT_EQ(hash->Begin(), 0);
    size_t pos = 0;
    for (uint32_t n : {1u, 63u, 65u, 999871u}) {
        ASSERT_EQ(hash->Update(a.data() + pos, n), 0);
        pos += n;
    }
    ASSERT_EQ(pos, a.size());
    ASSERT_EQ(hash->End(digest), 0);
    EXPECT_EQ(Hex(digest, 32), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

    // Update after End (released) fails instead of touching a freed hash.
    EXPECT_EQ(hash->Update(a.data(), 1), 1);
}

// A build or an extraction hashes file after file with one object: every
// file starts from a clean state, also after a hash that was begun and
// abandoned (a failed read ends an entry without End).
TEST(SystemSha256, OneObjectHashesFileAfterFile)
{
    struct Case {
        const char* text;
        const char* digest;
    };
    const Case cases[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    };
    auto hash = MakeSystemSha256();
    for (int round = 0; round < 3; ++round) {
        for (const Case& c : cases) {
            if (round == 1) {
                ASSERT_EQ(hash->Begin(), 0);
                ASSERT_EQ(hash->Update(reinterpret_cast<const uint8_t*>("left over"), 9), 0);
            }
            uint8_t digest[32];
            ASSERT_EQ(hash->Begin(), 0);
            ASSERT_EQ(
                hash->Update(reinterpret_cast<const uint8_t*>(c.text), static_cast<uint32_t>(strlen(c.text))),
                0);
            ASSERT_EQ(hash->End(digest), 0);
            EXPECT_EQ(Hex(digest, 32), c.digest) << "round " << round << ", input \"" << c.text << "\"";
        }
    }
}

// A fresh folder under the temporary folder, removed with its files.
class TempFolder {
public:
    TempFolder()
    {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        m_path = std::wstring(base) + L"zk_pipeline_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                 std::to_wstring(GetTickCount());
        CreateDirectoryW(m_path.c_str(), nullptr);
        m_path += L"\\";
    }
    ~TempFolder()
    {
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((m_path + L"*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    DeleteFileW((m_path + fd.cFileName).c_str());
            } while (FindNextFileW(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryW(m_path.c_str());
    }
    std::wstring Path(const wchar_t* name) const { return m_path + name; }

private:
    std::wstring m_path;
};

int64_t SizeOnDisk(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d)) return -1;
    return (static_cast<int64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

HANDLE CreateForWrite(const std::wstring& path)
{
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed)
{
    std::vector<uint8_t> v(n);
    std::mt19937 rng(seed);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

TEST(VolumeFiles, TwelveMibInFiveMibVolumesOnDisk)
{
    TempFolder dir;
    const std::wstring archive = dir.Path(L"pack.exe");
    HANDLE h0 = CreateForWrite(archive);
    ASSERT_NE(h0, INVALID_HANDLE_VALUE);
    auto volume0 = WrapFileHandle(h0, true);
    const uint32_t head = 200000; // stands for the extractor program and the head
    std::vector<uint8_t> headBytes(head, 0x5A);
    ASSERT_EQ(volume0->Write(headBytes.data(), head), head);

    auto files = MakeVolumeFiles();
    FailureInfo failure;
    VolumeWriter writer;
    writer.Start(VolumeSet{files.get(), ToU16(archive), 5 * MiB, head}, volume0.get(), &failure);
    const auto data = RandomBytes(12 * MiB - head, 3);
    for (size_t pos = 0; pos < data.size(); pos += 700000) {
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(700000, data.size() - pos));
        ASSERT_EQ(WriteStream(writer, data.data() + pos, n), 0);
    }
    writer.CloseExtraVolume();

    EXPECT_EQ(SizeOnDisk(archive), static_cast<int64_t>(5 * MiB));
    EXPECT_EQ(SizeOnDisk(archive + L".1"), static_cast<int64_t>(5 * MiB));
    EXPECT_EQ(SizeOnDisk(archive + L".2"), static_cast<int64_t>(2 * MiB));
    EXPECT_EQ(SizeOnDisk(archive + L".3"), -1);

    // Read back a run that crosses both boundaries while volume 0 is still open.
    const uint64_t offset = 5 * MiB - head - 1000;
    const uint32_t count = static_cast<uint32_t>(5 * MiB + 2000);
    uint8_t start = 0;
    ASSERT_TRUE(StartVolume(head, offset, 5 * MiB, &start));
    SpannedReader reader(writer.m_set, start, offset, count, &failure);
    std::vector<uint8_t> back(count);
    ASSERT_EQ(ReadSpanned(reader, back.data(), count), 0);
    EXPECT_EQ(std::memcmp(back.data(), data.data() + offset, count), 0);
    EXPECT_EQ(reader.VolumeIndex(), 2u);
}

TEST(VolumeFiles, MissingVolumeIsNamedWithTheSystemText)
{
    TempFolder dir;
    const std::wstring archive = dir.Path(L"pack.zka");
    auto files = MakeVolumeFiles();
    FailureInfo failure;
    VolumeSet set{files.get(), ToU16(archive), MiB, 0};
    SpannedReader reader(set, 2, 2 * MiB, 10, &failure);
    uint8_t b[10];
    EXPECT_EQ(ReadSpanned(reader, b, 10), 1);
    EXPECT_EQ(failure.m_strPath, ToU16(archive + L".2"));
    EXPECT_FALSE(failure.m_strMessage.empty());
}

// Both codecs on real files: a hashed source on disk, 1 MiB volumes, the
// system's block size, incompressible data.
TEST(PipelineOnDisk, EncodeVerifyDecodeAcrossOneMibVolumes)
{
    for (uint8_t method : {1, 2}) {
        TempFolder dir;
        const std::wstring archive = dir.Path(L"pack.zka");
        const std::wstring sourcePath = dir.Path(L"source.bin");
        const auto data = RandomBytes(3 * MiB + 12345, method);
        {
            HANDLE s = CreateForWrite(sourcePath);
            DWORD done = 0;
            WriteFile(s, data.data(), static_cast<DWORD>(data.size()), &done, nullptr);
            CloseHandle(s);
        }
        HANDLE h0 = CreateForWrite(archive);
        auto volume0 = WrapFileHandle(h0, true);
        std::vector<uint8_t> head(1000, 0);
        volume0->Write(head.data(), 1000);

        auto files = MakeVolumeFiles();
        auto buffers = PipelineBuffers::Allocate(SystemBlockSize());
        ASSERT_NE(buffers, nullptr);
        auto hash = MakeSystemSha256();
        PipelineContext ctx;
        VolumeWriter writer;
        writer.Start(VolumeSet{files.get(), ToU16(archive), MiB, 1000}, volume0.get(), &ctx.m_failure);
        ctx.m_pBuffers = buffers.get();
        ctx.m_pWriter = &writer;
        ctx.m_pHash = hash.get();
        ctx.m_strSourcePath = ToU16(sourcePath);
        HANDLE hs = CreateFileW(sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        auto source = WrapFileHandle(hs, true);
        ctx.m_pSource = source.get();

        PipelineEntry e;
        e.m_nUncompressedSize = data.size();
        ASSERT_EQ(HashBegin(ctx), 0);
        ASSERT_EQ(method == 1 ? Lz4EncodeEntry(ctx, e) : DeflateEncodeEntry(ctx, e), 0);
        ASSERT_EQ(method == 1 ? Lz4VerifyEntry(ctx, e) : DeflateVerifyEntry(ctx, e), 0);
        uint8_t digest[32];
        ASSERT_EQ(HashEnd(ctx, digest), 0);
        ASSERT_EQ(hash->Begin(), 0);
        hash->Update(data.data(), static_cast<uint32_t>(data.size()));
        uint8_t expected[32];
        hash->End(expected);
        EXPECT_EQ(std::memcmp(digest, expected, 32), 0);

        writer.CloseExtraVolume();
        EXPECT_EQ(SizeOnDisk(archive), static_cast<int64_t>(MiB));
        for (uint32_t k = 1; k < writer.m_nVolumeIndex; ++k)
            EXPECT_EQ(SizeOnDisk(archive + L"." + std::to_wstring(k)), static_cast<int64_t>(MiB)) << k;
        EXPECT_EQ(static_cast<uint64_t>(writer.m_nVolumeIndex) * MiB +
                      SizeOnDisk(archive + L"." + std::to_wstring(writer.m_nVolumeIndex)),
                  1000 + e.m_nStoredSize);

        // A damaged byte in volume 1 fails verify.
        HANDLE v1 = CreateFileW((archive + L".1").c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr);
        SetFilePointer(v1, 5000, nullptr, FILE_BEGIN);
        uint8_t x = 0;
        DWORD n = 0;
        ReadFile(v1, &x, 1, &n, nullptr);
        x ^= 0x10;
        SetFilePointer(v1, 5000, nullptr, FILE_BEGIN);
        WriteFile(v1, &x, 1, &n, nullptr);
        CloseHandle(v1);
        EXPECT_EQ(method == 1 ? Lz4VerifyEntry(ctx, e) : DeflateVerifyEntry(ctx, e), 1);
    }
}

TEST(PipelineOnDisk, SourceThatCannotBeReadFailsWithTheSystemText)
{
    TempFolder dir;
    const std::wstring sourcePath = dir.Path(L"locked.bin");
    HANDLE s = CreateForWrite(sourcePath);
    std::vector<uint8_t> data(5000, 1);
    DWORD done = 0;
    WriteFile(s, data.data(), 5000, &done, nullptr);
    CloseHandle(s);
    // Opened for writing only: every read fails with access denied.
    HANDLE w =
        CreateFileW(sourcePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    auto source = WrapFileHandle(w, true);

    const std::wstring archive = dir.Path(L"pack.zka");
    auto volume0 = WrapFileHandle(CreateForWrite(archive), true);
    auto files = MakeVolumeFiles();
    auto buffers = PipelineBuffers::Allocate(SystemBlockSize());
    PipelineContext ctx;
    VolumeWriter writer;
    writer.Start(VolumeSet{files.get(), ToU16(archive), 0, 0}, volume0.get(), &ctx.m_failure);
    ctx.m_pBuffers = buffers.get();
    ctx.m_pWriter = &writer;
    ctx.m_pSource = source.get();
    ctx.m_strSourcePath = ToU16(sourcePath);
    PipelineEntry e;
    e.m_nUncompressedSize = 5000;
    EXPECT_EQ(Lz4EncodeEntry(ctx, e), 1);
    EXPECT_EQ(ctx.m_failure.m_strPath, ToU16(sourcePath));
    EXPECT_FALSE(ctx.m_failure.m_strMessage.empty());
    EXPECT_EQ(e.m_nStoredSize, 0u);
}

} // namespace
} // namespace zk
