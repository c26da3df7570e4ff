// Both engines over the POSIX platform layer: archives built from a folder
// by the build engine and extracted by the extraction engine come back byte
// for byte, with their times and read-only state; symbolic links are never
// stored and never written through.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "builder/engine/build_engine.h"
#include "core/archive_key.h"
#include "core/archive_names.h"
#include "core/native_text_posix.h"
#include "sfx/tests/engine_fakes.h"

namespace zk::test {
namespace {

namespace fs = std::filesystem;

// The engines take paths in Windows form: "\" separates components.
std::wstring EnginePath(const fs::path& path)
{
    std::wstring text = WideFromUtf8(path.string());
    for (wchar_t& c : text)
        if (c == L'/') c = L'\\';
    return text;
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Pattern(size_t n, uint32_t seed, bool compressible)
{
    std::string out(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        out[i] = compressible ? static_cast<char>('a' + (i / 64) % 26) : static_cast<char>(seed >> 16);
    }
    return out;
}

// Every path below root, relative, "/" separated.
std::set<std::string> Tree(const fs::path& root)
{
    std::set<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        out.insert(fs::relative(e.path(), root).string());
    return out;
}

// Write time of a file in the archive's units (100 ns since 1601).
uint64_t WriteTimeOf(const fs::path& path)
{
    FileListing listing;
    return FindFileData(EnginePath(path).c_str(), &listing) ? listing.m_nWriteTime : 0;
}

class RecordingProgress : public BuildProgress {
public:
    void ShowSkippedLink(const std::wstring& path) override { m_listLinks.push_back(path); }
    std::vector<std::wstring> m_listLinks;
};

// A scratch folder with a source tree: folders (one empty), a Japanese
// name, a file over two volumes of 1 MiB, an empty file, a read-only file
// with a chosen write time, and two symbolic links (to a file, to a folder).
struct EngineScene {
    fs::path root;
    fs::path src;
    RecordingProgress progress;
    FakeDialogue dialogue;
    std::wstring failingPath; // of the last build

    EngineScene()
    {
        char name[] = "/tmp/zk_engine_XXXXXX";
        root = mkdtemp(name);
        src = root / "src";
        fs::create_directories(src / "docs" / "sub");
        fs::create_directories(src / "nothing");
        WriteFile(src / "docs" / "写真.txt", Pattern(200000, 1, true));
        WriteFile(src / "docs" / "sub" / "big.bin", Pattern(2500000, 2, false));
        WriteFile(src / "docs" / "empty.txt", "");
        WriteFile(src / "readme.txt", "read me");
        const struct timespec times[2] = {{1577934245, 123456700}, {1577934245, 123456700}};
        utimensat(AT_FDCWD, (src / "readme.txt").c_str(), times, 0);
        chmod((src / "readme.txt").c_str(), 0444);
        fs::create_symlink(src / "readme.txt", src / "docs" / "link.txt");
        fs::create_directory_symlink(src / "docs", src / "linked");
    }
    ~EngineScene() { fs::remove_all(root); }

    // Builds src's items into target; the build's result.
    uint8_t Build(const fs::path& target, uint8_t kind, uint8_t level, const std::wstring& password,
                  uint32_t splitMB, bool narrowNames)
    {
        BuildFlags flags;
        BuildJob job;
        BuildSettings& s = job.settings;
        s.m_strProgramFolder = EnginePath(root) + L"\\";
        s.m_strArchivePath = EnginePath(target);
        s.m_strPassword = password;
        s.m_bVerify = s.m_bHash = true;
        s.m_bShiftJisNames = narrowNames;
        s.m_nCompressKind = kind;
        s.m_nCompressLevel = level;
        s.m_nSplitMB = splitMB;
        for (const char* item : {"docs", "readme.txt", "nothing", "linked"})
            s.m_listSources.push_back(EnginePath(src / item));
        job.pDialogue = &dialogue;
        job.pProgress = &progress;
        job.pFlags = &flags;
        BuildWorker(job);
        failingPath = job.strFailingPath;
        return flags.m_nResult.load();
    }
};

const std::set<std::string> EXTRACTED = {"docs",           "docs/sub",   "docs/sub/big.bin", "docs/写真.txt",
                                         "docs/empty.txt", "readme.txt", "nothing"};

TEST(EngineRoundTrip, FolderComesBackUnchanged)
{
    struct Case {
        uint8_t kind, level;
        const wchar_t* password;
        uint32_t splitMB;
        bool narrowNames;
    } cases[] = {
        {0, 0, L"", 0, false},
        {1, 1, L"パスワード 1234567890", 1, true},
        {0, 1, L"pass", 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << int(c.kind) << " split " << c.splitMB);
        EngineScene scene;
        const fs::path archive = scene.root / "pack.zka";
        ASSERT_EQ(scene.Build(archive, c.kind, c.level, c.password, c.splitMB, c.narrowNames),
                  BUILD_RESULT_OK);
        EXPECT_TRUE(scene.dialogue.Messages().empty());
        // Links are left out and said so; nothing follows them.
        EXPECT_EQ(scene.progress.m_listLinks,
                  (std::vector<std::wstring>{EnginePath(scene.src / "docs" / "link.txt"),
                                             EnginePath(scene.src / "linked")}));
        EXPECT_EQ(fs::exists(scene.root / "pack.zka.2"), c.splitMB != 0);

        OpenedArchive a(EnginePath(archive), c.password);
        ASSERT_TRUE(a.m_bOpened);
        const fs::path out = scene.root / "out";
        EXPECT_EQ(a.ExtractAll(EnginePath(out)), 0);
        EXPECT_TRUE(a.m_callback.m_dialogue.Messages().empty());
        EXPECT_EQ(Tree(out), EXTRACTED);
        for (const char* rel : {"docs/写真.txt", "docs/sub/big.bin", "docs/empty.txt", "readme.txt"}) {
            EXPECT_EQ(ReadFile(out / rel), ReadFile(scene.src / rel)) << rel;
            EXPECT_EQ(WriteTimeOf(out / rel), WriteTimeOf(scene.src / rel)) << rel;
        }
        EXPECT_EQ(fs::status(out / "readme.txt").permissions() & fs::perms::owner_write, fs::perms::none);
        EXPECT_NE(fs::status(out / "docs/empty.txt").permissions() & fs::perms::owner_write, fs::perms::none);
    }
}

// A name Windows cannot hold, which the path form cannot name either: the
// build fails rather than store another file under it.
TEST(EngineRoundTrip, NameWithABackslashFailsTheBuild)
{
    EngineScene scene;
    WriteFile(scene.src / "docs" / "a\\b.txt", "x");
    EXPECT_EQ(scene.Build(scene.root / "pack.zka", 0, 0, L"", 0, false), BUILD_RESULT_FAILED);
    EXPECT_EQ(scene.failingPath, EnginePath(scene.src / "docs") + L"\\a\\b.txt");
}

// A link already in the destination, at a folder's or a file's place and
// pointing outside: the run fails there, and nothing reaches the outside,
// whether everything is extracted or a folder's selected entries (whose
// folders above are made under the destination).
TEST(EngineRoundTrip, LinksInTheDestinationAreNotWrittenThrough)
{
    EngineScene scene;
    const fs::path archive = scene.root / "pack.zka";
    ASSERT_EQ(scene.Build(archive, 0, 0, L"", 0, false), BUILD_RESULT_OK);
    const fs::path outside = scene.root / "outside";
    fs::create_directories(outside);
    WriteFile(outside / "victim.txt", "keep");
    struct Case {
        const char* link;
        bool selected; // docs\sub selected in the list's folder docs
    } cases[] = {{"docs", false}, {"readme.txt", false}, {"docs", true}};
    int run = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.link << (c.selected ? " selected" : ""));
        const fs::path out = scene.root / ("out" + std::to_string(++run));
        fs::create_directories(out);
        if (std::string(c.link) == "docs")
            fs::create_directory_symlink(outside, out / c.link);
        else
            fs::create_symlink(outside / "victim.txt", out / c.link);
        OpenedArchive a(EnginePath(archive));
        ASSERT_TRUE(a.m_bOpened);
        if (c.selected) {
            EntryNode* docs = a.Find(L"docs");
            ASSERT_NE(docs, nullptr);
            EntryNode* sub = a.Find(L"sub", docs);
            ASSERT_NE(sub, nullptr);
            sub->m_bSelected = true;
            ExtractSession& session = a.m_session;
            session.m_request.m_strDestination = EnginePath(out);
            session.m_request.m_pFolder = docs;
            session.m_request.m_listFolderChain = {docs};
            session.m_ctx.Clear();
            session.m_ctx.m_nRunning = 1;
            EXPECT_NE(ExtractSelectedWorker(session), 0);
        } else {
            EXPECT_NE(a.ExtractAll(EnginePath(out)), 0);
        }
        EXPECT_EQ(Tree(outside), (std::set<std::string>{"victim.txt"}));
        EXPECT_EQ(ReadFile(outside / "victim.txt"), "keep");
        EXPECT_TRUE(fs::is_symlink(out / c.link));
    }
}

// Narrow names and the key's bytes go through the archive code page: 932
// unless another is chosen, exactly as Windows converts them.
TEST(EngineCodePage, NamesAndKeysUseTheArchiveCodePage)
{
    EXPECT_EQ(ArchiveCodePage(), 932u);
    struct Case {
        uint32_t codePage; // 0: the default
        std::u16string name;
        std::string bytes;
        bool lossy;
    } cases[] = {
        // The second byte of 表 is the backslash byte; it stays in the name.
        {0, u"表.txt", "\x95\x5C.txt", false},
        {0, u"ｶﾅ", "\xB6\xC5", false},
        {0, u"café", "caf?", true},
        {1252, u"café", "caf\xE9", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        SetArchiveCodePage(c.codePage);
        std::vector<uint8_t> bytes;
        bool lossy = !c.lossy;
        EXPECT_TRUE(EncodeEntryName(c.name, true, &bytes, &lossy));
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.bytes);
        EXPECT_EQ(lossy, c.lossy);
        std::u16string back;
        EXPECT_TRUE(DecodeEntryName(bytes, true, &back));
        if (!c.lossy) EXPECT_EQ(back, c.name);

        uint8_t fromText[PASSWORD_CHECK_SIZE], fromBytes[PASSWORD_CHECK_SIZE];
        EXPECT_EQ(SetArchiveKey(ToWide(c.name).c_str()), 0);
        MakeCheckBlock(fromText);
        SetArchiveKeyBytes(c.bytes.c_str());
        MakeCheckBlock(fromBytes);
        EXPECT_EQ(std::memcmp(fromText, fromBytes, sizeof fromText), 0);
    }
    SetArchiveCodePage(0);
    // A lead byte without its trail byte becomes the replacement character.
    std::u16string name;
    EXPECT_TRUE(DecodeEntryName({'a', 0x81}, true, &name));
    EXPECT_EQ(name, u"a\u30FB");
}

} // namespace
} // namespace zk::test
