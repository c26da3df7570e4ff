// Builds that meet faults: sources that vanish or get locked after they were
// collected, disks that fill up, targets and volumes that cannot be created,
// and aborts in every phase. Whatever happens the build ends with its
// message or the system's error, every source keeps every byte, the work
// file goes, no archive is left that a reader would take for complete, and
// the error log holds the failure.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "builder/engine/build_engine.h"
#include "builder/tests/build_harness.h"
#include "core/tests/win/test_disk.h"

namespace zk::test {
namespace {

constexpr wchar_t PHASE_COLLECT[] = L"ファイル情報を収集中．．．";
constexpr wchar_t PHASE_WRITE[] = L"書庫ファイルを作成中．．．";
constexpr wchar_t PHASE_FINISH[] = L"最終処理を実行中．．．";

// ---- what a source tree holds ------------------------------------------

struct FileState {
    DWORD attrs = 0;
    uint64_t writeTime = 0;
    std::string bytes;
    bool operator==(const FileState&) const = default;
};
using Snapshot = std::map<std::wstring, FileState>;

void AddToSnapshot(const std::wstring& folder, const std::wstring& rel, Snapshot& out)
{
    WIN32_FIND_DATAW d;
    HANDLE f = FindFirstFileW((folder + L"*").c_str(), &d);
    if (f == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = d.cFileName;
        if (name == L"." || name == L"..") continue;
        FileState& st = out[rel + name];
        st.attrs = d.dwFileAttributes;
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            AddToSnapshot(folder + name + L"\\", rel + name + L"\\", out);
        } else {
            st.writeTime = TimeOf(d.ftLastWriteTime);
            st.bytes = ScratchFolder::ReadAll(folder + name);
        }
    } while (FindNextFileW(f, &d));
    FindClose(f);
}

// Every entry below a folder (with its trailing backslash): attributes,
// write time and the whole content.
Snapshot SnapshotOf(const std::wstring& folder)
{
    Snapshot s;
    AddToSnapshot(folder, L"", s);
    return s;
}

void ExpectSameSnapshot(const Snapshot& before, const Snapshot& after)
{
    EXPECT_EQ(before.size(), after.size()) << "entries appeared or vanished";
    for (const auto& [rel, state] : before) {
        auto it = after.find(rel);
        std::string name(rel.begin(), rel.end());
        if (it == after.end()) {
            ADD_FAILURE() << name << " is gone";
            continue;
        }
        EXPECT_EQ(it->second.attrs, state.attrs) << name;
        EXPECT_EQ(it->second.writeTime, state.writeTime) << name;
        EXPECT_TRUE(it->second.bytes == state.bytes) << name << " changed its content";
    }
}

// ---- what a failed build leaves ----------------------------------------

DecodedArchive ReadBack(const std::wstring& path)
{
    DecodedArchive a;
    EXPECT_TRUE(ReadArchive(path, L"", a)) << a.strError;
    return a;
}

// The lines of the builder's error log, without the byte-order mark and the
// line ends.
std::vector<std::wstring> LogLines(const std::wstring& path)
{
    std::string raw = ScratchFolder::ReadAll(path);
    if (raw.size() >= 2 && raw[0] == '\xFF' && raw[1] == '\xFE') raw.erase(0, 2);
    std::wstring text(raw.size() / 2, L'\0');
    std::memcpy(text.data(), raw.data(), text.size() * 2);
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start != text.size()) lines.push_back(text.substr(start) + L"<no line end>");
    return lines;
}

// The log of a failed build: the failing path and the message (any text
// when message is null).
void ExpectLog(const BuildScene& s, const std::wstring& failingPath, const wchar_t* message)
{
    const std::vector<std::wstring> lines = LogLines(s.prog + L"Zelkora.log");
    ASSERT_EQ(lines.size(), 2u) << "one failure, two lines";
    EXPECT_EQ(lines[0], L"ファイルパス：" + failingPath);
    if (message)
        EXPECT_EQ(lines[1], std::wstring(L"メッセージ　：") + message);
    else
        EXPECT_EQ(lines[1].compare(0, 7, L"メッセージ　："), 0) << "second line";
}

// The system's own error box for one code ("[Error:%d] %s"); its text after
// the code is what the log must carry.
std::wstring SystemBoxText(const BoxAnswers::Box& box, DWORD code)
{
    const std::wstring prefix = L"[Error:" + std::to_wstring(code) + L"] ";
    EXPECT_EQ(box.caption, L"Error Message");
    EXPECT_EQ(box.text.compare(0, prefix.size(), prefix), 0) << "expected the system box for " << code;
    std::wstring text = box.text.size() > prefix.size() ? box.text.substr(prefix.size()) : L"";
    // The log keeps the text without the line break the system ends it with.
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n'))
        text.pop_back();
    return text;
}

// The boxes shown, for failure messages.
std::string Describe(const std::vector<BoxAnswers::Box>& boxes)
{
    std::string out;
    for (const BoxAnswers::Box& b : boxes) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, b.text.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string text(n > 0 ? n - 1 : 0, '\0');
        if (n > 0) WideCharToMultiByte(CP_UTF8, 0, b.text.c_str(), -1, text.data(), n, nullptr, nullptr);
        out += "\n  box: " + text;
    }
    return out;
}

// Nothing a reader would take for a finished archive: no file at all, or
// one without the magic where the archive begins.
void ExpectNoCompleteArchive(const std::wstring& target)
{
    if (GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(LoadWholeFile(target, bytes));
    std::vector<uint8_t> sfx;
    size_t headerPos = 0;
    const bool exe = target.size() > 4 && _wcsicmp(target.c_str() + target.size() - 4, L".exe") == 0;
    if (exe && LoadWholeFile(ZK_SFX_EXE, sfx)) headerPos = sfx.size();
    if (bytes.size() >= headerPos + 4) {
        EXPECT_NE(std::memcmp(bytes.data() + headerPos, "ZELK", 4), 0)
            << "the unfinished archive has its magic";
    }
    DecodedArchive a;
    EXPECT_FALSE(ReadArchive(target, L"", a)) << "an unfinished archive reads as complete";
}

// The common end of every failed build.
void ExpectEndedCleanly(const BuildScene& s, uint8_t result, const std::wstring& workFolder)
{
    EXPECT_EQ(s.Result(), result);
    EXPECT_EQ(s.owner.m_nBuildState.load(), BUILD_STATE_FINISHED);
    EXPECT_FALSE(s.owner.m_bStatsSet) << "a failed build shows no statistics";
    EXPECT_EQ(s.owner.m_nTimerStops, 1);
    EXPECT_EQ(BuildScene::WorkFilesIn(workFolder), 0) << "the work file is left behind";
}

// A tree with files of several pieces, nested folders, an empty folder and
// a file at the top level.
void MakeTree(BuildScene& s)
{
    s.Folder(L"tree");
    s.Folder(L"tree\\sub");
    s.Folder(L"tree\\empty");
    s.File(L"tree\\a.bin", Bytes(2 * 1048576 + 4321, 21, true));
    s.File(L"tree\\sub\\b.txt", Bytes(70000, 22, false));
    s.File(L"tree\\sub\\c.txt", "c");
    s.File(L"lone.txt", Bytes(5000, 23, false));
    s.Sources({s.src + L"tree", s.src + L"lone.txt"});
}

#define REQUIRE_DISK(disk)                                                                                   \
    if (!(disk).Available()) GTEST_SKIP() << (disk).Why()

// ---- sources that change after collection ------------------------------

TEST(BuildFaults, SourceVanishingOrChangingAfterCollectionEndsTheBuild)
{
    struct Case {
        const char* name;
        const wchar_t* changed; // relative to the source folder
        enum { DELETE_FILE, DELETE_FOLDER, FILE_TO_FOLDER } change;
        DWORD code; // the system error shown, or 0 for the build's own message
    };
    const Case cases[] = {
        {"file inside a folder deleted", L"tree\\sub\\b.txt", Case::DELETE_FILE, ERROR_FILE_NOT_FOUND},
        {"top-level file deleted", L"lone.txt", Case::DELETE_FILE, ERROR_FILE_NOT_FOUND},
        {"folder removed with its files", L"tree\\sub", Case::DELETE_FOLDER, 0},
        {"file replaced by a folder", L"tree\\sub\\c.txt", Case::FILE_TO_FOLDER, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildScene s;
        MakeTree(s);
        const std::wstring target = s.scratch.Path() + L"out.zka";
        s.Target(target);
        s.owner.m_env.m_bShowLogOnError = 1;
        const std::wstring changed = s.src + c.changed;
        Snapshot before;
        // Collection has ended when the head is about to be written.
        s.owner.m_onPhase = [&](const std::wstring& phase) {
            if (phase != PHASE_WRITE) return;
            if (c.change == Case::DELETE_FILE) {
                DeleteFileW(changed.c_str());
            } else if (c.change == Case::DELETE_FOLDER) {
                RemoveTree(changed + L"\\");
            } else {
                DeleteFileW(changed.c_str());
                CreateDirectoryW(changed.c_str(), nullptr);
            }
            before = SnapshotOf(s.src);
        };
        BoxAnswers boxes;
        s.Build();
        ExpectEndedCleanly(s, BUILD_RESULT_FAILED, s.scratch.Path());
        ExpectNoCompleteArchive(target);
        ExpectSameSnapshot(before, SnapshotOf(s.src));
        const auto all = boxes.Boxes();
        ASSERT_EQ(all.size(), 1u) << Describe(all);
        if (c.change == Case::FILE_TO_FOLDER) {
            EXPECT_NE(all[0].text.find(L"ファイル情報の収集後にファイルまたはフォルダが変わりました"),
                      std::wstring::npos);
            EXPECT_NE(all[0].text.find(changed), std::wstring::npos);
            ExpectLog(s, changed, all[0].text.c_str());
        } else if (c.code != 0) {
            const std::wstring text = SystemBoxText(all[0], c.code);
            ExpectLog(s, changed, text.c_str());
        } else {
            // A missing folder is "file not found" or "path not found",
            // depending on how the system looks it up.
            EXPECT_EQ(all[0].caption, L"Error Message");
            EXPECT_EQ(all[0].text.compare(0, 7, L"[Error:"), 0);
            ExpectLog(s, changed, nullptr);
        }
    }
}

TEST(BuildFaults, SourceLockedAfterCollectionAsksAndCancelKeepsEverything)
{
    for (bool retry : {false, true}) {
        SCOPED_TRACE(retry ? "retry once the lock is gone" : "cancel");
        BuildScene s;
        MakeTree(s);
        const std::wstring target = s.scratch.Path() + L"out.exe";
        s.Target(target);
        s.owner.m_env.m_bShowLogOnError = 1;
        const std::wstring locked = s.src + L"tree\\sub\\b.txt";
        const Snapshot before = SnapshotOf(s.src);
        HANDLE lock = INVALID_HANDLE_VALUE;
        // Another program opens the file without sharing once it has been
        // collected.
        s.owner.m_onPhase = [&](const std::wstring& phase) {
            if (phase == PHASE_WRITE)
                lock = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        };
        BoxAnswers boxes([&](const BoxAnswers::Box& box) {
            if ((box.flags & MB_TYPEMASK) != MB_RETRYCANCEL) return IDOK;
            if (!retry) return IDCANCEL;
            CloseHandle(lock);
            lock = INVALID_HANDLE_VALUE;
            return IDRETRY;
        });
        s.Build();
        if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
        ExpectSameSnapshot(before, SnapshotOf(s.src));

        const auto all = boxes.Boxes();
        ASSERT_EQ(all.size(), 1u) << "asked once";
        EXPECT_EQ(all[0].caption, L"確認");
        EXPECT_EQ(all[0].flags & MB_TYPEMASK, static_cast<UINT>(MB_RETRYCANCEL));
        const std::wstring tail = L"\nファイル：" + locked;
        ASSERT_GT(all[0].text.size(), tail.size());
        EXPECT_EQ(all[0].text.substr(all[0].text.size() - tail.size()), tail);
        if (retry) {
            ASSERT_EQ(s.Result(), BUILD_RESULT_OK);
            ExpectMatchesSources(ReadBack(target), s.sources, true);
            EXPECT_EQ(BuildScene::WorkFilesIn(s.scratch.Path()), 0);
            EXPECT_TRUE(LogLines(s.prog + L"Zelkora.log").empty()) << "a successful build logs nothing";
            continue;
        }
        ExpectEndedCleanly(s, BUILD_RESULT_FAILED, s.scratch.Path());
        ExpectNoCompleteArchive(target);
        // The log carries the system's text for the sharing violation, the
        // first line of the question.
        std::wstring reason = all[0].text.substr(0, all[0].text.size() - tail.size());
        while (!reason.empty() && (reason.back() == L'\r' || reason.back() == L'\n'))
            reason.pop_back();
        ExpectLog(s, locked, reason.c_str());
    }
}

// ---- disks that fill up --------------------------------------------------

TEST(BuildFaults, TargetDiskFillingUpInTheDataPhase)
{
    struct Case {
        const char* name;
        const wchar_t* file;
        int splitMB;
    };
    for (const Case c : {Case{"plain archive", L"out.zka", 0}, Case{"self-extractor", L"out.exe", 0},
                         Case{"volumes of 1 MB", L"out.zka", 1}}) {
        SCOPED_TRACE(c.name);
        TestDisk disk(L"small");
        REQUIRE_DISK(disk);
        BuildScene s;
        MakeTree(s);
        // More than the disk holds, incompressible.
        s.File(L"tree\\big.bin", Bytes(2 * 1048576 + 100000, 24, true));
        const std::wstring target = disk.Folder() + c.file;
        s.Target(target);
        s.owner.m_prm.m_nSplitMB = c.splitMB;
        s.owner.m_env.m_bShowLogOnError = 1;
        const Snapshot before = SnapshotOf(s.src);
        BoxAnswers boxes;
        s.Build();
        ExpectEndedCleanly(s, BUILD_RESULT_FAILED, disk.Folder());
        ExpectNoCompleteArchive(target);
        ExpectSameSnapshot(before, SnapshotOf(s.src));
        EXPECT_GT(s.owner.m_nCompressDone, 0u) << "the disk filled in the data phase";

        // The volume being written when the disk ran full is the failing path.
        std::wstring last = target;
        for (int k = 1;
             GetFileAttributesW((target + L"." + std::to_wstring(k)).c_str()) != INVALID_FILE_ATTRIBUTES; ++k)
            last = target + L"." + std::to_wstring(k);
        if (c.splitMB) {
            EXPECT_NE(last, target) << "volume files were written";
        }
        const auto all = boxes.Boxes();
        ASSERT_EQ(all.size(), 1u) << Describe(all);
        const std::wstring text = SystemBoxText(all[0], ERROR_DISK_FULL);
        ExpectLog(s, last, text.c_str());
    }
}

// A few hundred entries with long names: a work file and tables of tens of
// kilobytes, with little data.
void ManyEntries(BuildScene& s)
{
    s.Folder(L"many");
    const std::wstring pad(90, L'n');
    for (int i = 0; i < 300; ++i)
        s.File(L"many\\" + std::to_wstring(i) + pad + L".txt", i % 3 ? "" : "x");
    s.Sources({s.src + L"many"});
}

TEST(BuildFaults, DiskFillingUpWithTheWorkFileOrTheHead)
{
    for (bool workFile : {true, false}) {
        SCOPED_TRACE(workFile ? "work file during collection" : "tables' place in the head");
        TestDisk disk(L"small");
        REQUIRE_DISK(disk);
        BuildScene s;
        ManyEntries(s);
        // The work file on the small disk and the archive elsewhere, or the
        // other way round.
        const std::wstring target = (workFile ? s.scratch.Path() : disk.Folder()) + L"out.zka";
        s.Target(target);
        s.owner.m_env.m_bUseWorkFolder = 1;
        s.owner.m_env.m_strWorkFolder = workFile ? disk.Folder() : s.scratch.Path();
        s.owner.m_env.m_bShowLogOnError = 1;
        ASSERT_TRUE(disk.Fill(16384));
        ASSERT_LT(disk.FreeBytes(), 40000u);
        const Snapshot before = SnapshotOf(s.src);
        BoxAnswers boxes;
        s.Build();
        ExpectEndedCleanly(s, BUILD_RESULT_FAILED, disk.Folder());
        EXPECT_EQ(BuildScene::WorkFilesIn(s.scratch.Path()), 0);
        ExpectNoCompleteArchive(target);
        ExpectSameSnapshot(before, SnapshotOf(s.src));
        EXPECT_EQ(s.owner.m_nCompressDone, 0u) << "no data was written";

        const auto all = boxes.Boxes();
        ASSERT_EQ(all.size(), 1u) << Describe(all);
        const std::wstring text = SystemBoxText(all[0], ERROR_DISK_FULL);
        if (workFile) {
            EXPECT_EQ(s.owner.m_counters.nFileCount, 0u) << "collection never ended";
            // The entry whose record did not fit.
            const std::vector<std::wstring> lines = LogLines(s.prog + L"Zelkora.log");
            ASSERT_EQ(lines.size(), 2u);
            EXPECT_EQ(lines[0].compare(0, 7 + s.src.size() + 5, L"ファイルパス：" + s.src + L"many\\"), 0);
            EXPECT_EQ(lines[1], L"メッセージ　：" + text);
        } else {
            EXPECT_EQ(s.owner.m_counters.nFileCount, 300u) << "collection ended";
            ExpectLog(s, target, text.c_str());
        }
    }
}

TEST(BuildFaults, SelfExtractorThatDoesNotFitTheDisk)
{
    TestDisk disk(L"small");
    REQUIRE_DISK(disk);
    BuildScene s;
    MakeTree(s);
    const std::wstring target = disk.Folder() + L"out.exe";
    s.Target(target);
    s.owner.m_env.m_bShowLogOnError = 1;
    ASSERT_TRUE(disk.Fill(4096));
    const Snapshot before = SnapshotOf(s.src);
    BoxAnswers boxes;
    s.Build();
    ExpectEndedCleanly(s, BUILD_RESULT_FAILED, disk.Folder());
    ExpectNoCompleteArchive(target);
    ExpectSameSnapshot(before, SnapshotOf(s.src));
    const auto all = boxes.Boxes();
    ASSERT_EQ(all.size(), 2u) << "the copy's system error, then the build's message" << Describe(all);
    const std::wstring text = SystemBoxText(all[0], ERROR_DISK_FULL);
    EXPECT_EQ(all[1].text, L"書庫ファイルの準備に失敗しました");
    ExpectLog(s, target, text.c_str());
}

// ---- targets and volumes that cannot be created ------------------------

TEST(BuildFaults, VolumeNameTakenByAFolder)
{
    BuildScene s;
    MakeTree(s);
    const std::wstring target = s.scratch.Path() + L"out.zka";
    s.Target(target);
    s.owner.m_prm.m_nSplitMB = 1;
    s.owner.m_env.m_bShowLogOnError = 1;
    // Somebody's folder with the name the first volume needs.
    const std::wstring taken = target + L".1";
    CreateDirectoryW(taken.c_str(), nullptr);
    const std::string kept = Bytes(1000, 25, false);
    {
        HANDLE h = CreateFileW((taken + L"\\keep.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                               nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD done = 0;
        WriteFile(h, kept.data(), static_cast<DWORD>(kept.size()), &done, nullptr);
        CloseHandle(h);
    }
    const Snapshot before = SnapshotOf(s.src);
    BoxAnswers boxes;
    s.Build();
    ExpectEndedCleanly(s, BUILD_RESULT_FAILED, s.scratch.Path());
    ExpectNoCompleteArchive(target);
    ExpectSameSnapshot(before, SnapshotOf(s.src));
    EXPECT_NE(GetFileAttributesW(taken.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u) << "the folder stays";
    EXPECT_EQ(ScratchFolder::ReadAll(taken + L"\\keep.txt"), kept);
    const auto all = boxes.Boxes();
    ASSERT_EQ(all.size(), 1u) << Describe(all);
    const std::wstring text = SystemBoxText(all[0], ERROR_ACCESS_DENIED);
    ExpectLog(s, taken, text.c_str());
}

TEST(BuildFaults, ReadOnlyDiskTakesNeitherTheArchiveNorTheWorkFile)
{
    struct Case {
        const char* name;
        const wchar_t* target; // on the read-only disk unless null
        bool workOnDisk;
        const wchar_t* message;
    };
    for (const Case c : {Case{"new archive", L"new.zka", false, L"書庫ファイルの作成に失敗しました"},
                         Case{"existing archive", L"old.zka", false, L"書庫ファイルの作成に失敗しました"},
                         Case{"self-extractor", L"new.exe", false, L"書庫ファイルの準備に失敗しました"},
                         Case{"work folder", nullptr, true, L"作業用ファイルの作成に失敗しました"}}) {
        SCOPED_TRACE(c.name);
        TestDisk disk(L"readonly");
        REQUIRE_DISK(disk);
        BuildScene s;
        MakeTree(s);
        const std::wstring target = c.target ? disk.Folder() + c.target : s.scratch.Path() + L"out.zka";
        s.Target(target);
        if (c.workOnDisk) {
            s.owner.m_env.m_bUseWorkFolder = 1;
            s.owner.m_env.m_strWorkFolder = disk.Folder();
        }
        s.owner.m_env.m_bShowLogOnError = 1;
        const Snapshot before = SnapshotOf(s.src);
        const std::string old = ScratchFolder::ReadAll(disk.Folder() + L"old.zka");
        BoxAnswers boxes;
        s.Build();
        ExpectEndedCleanly(s, BUILD_RESULT_FAILED, s.scratch.Path());
        ExpectNoCompleteArchive(target);
        ExpectSameSnapshot(before, SnapshotOf(s.src));
        EXPECT_EQ(ScratchFolder::ReadAll(disk.Folder() + L"old.zka"), old);
        EXPECT_EQ(old, "old archive\n");

        const auto all = boxes.Boxes();
        ASSERT_FALSE(all.empty());
        EXPECT_EQ(all.back().text, c.message);
        // The log names the file or folder and the system's reason.
        const std::wstring failing = c.workOnDisk ? disk.Folder() : target;
        const std::vector<std::wstring> lines = LogLines(s.prog + L"Zelkora.log");
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], L"ファイルパス：" + failing);
        EXPECT_GT(lines[1].size(), 7u) << "the system's text";
        EXPECT_NE(lines[1], std::wstring(L"メッセージ　：") + c.message)
            << "the reason, not the message again";
    }
}

// ---- abort in every phase ------------------------------------------------

TEST(BuildFaults, AbortInEveryPhaseStopsAtOnceAndKeepsTheSources)
{
    enum Phase { COLLECTION, HEAD, DATA, VERIFY, TABLES };
    struct Case {
        const char* name;
        Phase phase;
    };
    for (const Case c : {Case{"collection", COLLECTION}, Case{"head", HEAD}, Case{"data", DATA},
                         Case{"verify", VERIFY}, Case{"tables", TABLES}}) {
        SCOPED_TRACE(c.name);
        BuildScene s;
        MakeTree(s);
        const std::wstring target = s.scratch.Path() + L"out.exe";
        s.Target(target);
        s.owner.m_prm.m_strPassword = L"secret";
        s.owner.m_env.m_bShowLogOnError = 1;
        const Snapshot before = SnapshotOf(s.src);
        auto abort = [&] { s.owner.m_nBuildResult.store(BUILD_RESULT_ABORTED); };
        std::vector<std::wstring> phasesAfterAbort;
        bool aborted = false;
        s.owner.m_onPhase = [&](const std::wstring& phase) {
            if (aborted) phasesAfterAbort.push_back(phase);
            if ((c.phase == COLLECTION && phase == PHASE_COLLECT) ||
                (c.phase == HEAD && phase == PHASE_WRITE) || (c.phase == TABLES && phase == PHASE_FINISH)) {
                abort();
                aborted = true;
            }
        };
        // In the middle of the first file of several pieces.
        uint64_t abortedAt = 0;
        s.owner.m_onCompress = [&](uint64_t done) {
            if (c.phase == DATA && done > 0 && !aborted) {
                abort();
                aborted = true;
                abortedAt = done;
            }
        };
        s.owner.m_onVerify = [&](uint64_t done) {
            if (c.phase == VERIFY && done > 0 && !aborted) {
                abort();
                aborted = true;
                abortedAt = s.owner.m_nCompressDone;
            }
        };
        BoxAnswers boxes;
        s.Build();
        EXPECT_TRUE(aborted);
        ExpectEndedCleanly(s, BUILD_RESULT_ABORTED, s.scratch.Path());
        ExpectNoCompleteArchive(target);
        ExpectSameSnapshot(before, SnapshotOf(s.src));
        EXPECT_TRUE(boxes.Boxes().empty()) << "an abort asks nothing and reports nothing";
        EXPECT_TRUE(phasesAfterAbort.empty()) << "no further phase or file after the abort";
        if (c.phase == DATA || c.phase == VERIFY) {
            EXPECT_EQ(s.owner.m_nCompressDone, abortedAt) << "nothing more was read";
        }
        if (c.phase == TABLES) {
            EXPECT_EQ(s.owner.m_nVerifyDone, s.owner.m_nTotal) << "every file was verified";
        }
        // The two lines of a failure; an abort has no system error to name.
        const std::vector<std::wstring> lines = LogLines(s.prog + L"Zelkora.log");
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].compare(0, 7, L"ファイルパス："), 0);
        EXPECT_EQ(lines[1].compare(0, 7, L"メッセージ　："), 0);
    }
}

} // namespace
} // namespace zk::test
