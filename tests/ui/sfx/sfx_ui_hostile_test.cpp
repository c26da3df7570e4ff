// Damaged and malicious archives run through the real extractor, quiet and
// windowed: each must end with its clear message, within a time bound, and
// leave nothing outside the destination but the extractor's own log.

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/byte_io.h"
#include "core/tests/test_archive.h"
#include "sfx_ui_archives.h"
#include "ui_driver.h"

namespace {

using zk::test::TestArchive;
using zk::test::TestArchiveOptions;
using zk::test::TestEntry;
using namespace zkui;

constexpr wchar_t BAD_NAME[] = L"書庫に不正なファイル名が含まれているため中止します";
constexpr wchar_t UNREADABLE[] = L"書庫データが格納されていません";
constexpr wchar_t DAMAGED[] = L"書庫データが壊れています";
constexpr DWORD RUN_LIMIT_MS = 20000;

// Text that compresses well, so a short stream decodes to much more.
std::vector<uint8_t> Filler(size_t n)
{
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<uint8_t>("abcdefgh\r\n"[i % 10]);
    return out;
}

// Distinct bytes, so that stored data is not squeezed below a volume.
std::vector<uint8_t> Noise(size_t n)
{
    std::vector<uint8_t> out(n);
    uint32_t s = 7;
    for (uint8_t& b : out) {
        s = s * 1103515245u + 12345u;
        b = static_cast<uint8_t>(s >> 16);
    }
    return out;
}

// Relative paths of everything below root.
void ListTree(const std::wstring& root, const std::wstring& rel, std::vector<std::wstring>& out)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((root + (rel.empty() ? L"" : L"\\" + rel) + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring child = rel.empty() ? name : rel + L"\\" + name;
        out.push_back(child);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ListTree(root, child, out);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

// Visible dialogs of the process: its main window and any message boxes.
std::vector<HWND> DialogsOf(DWORD pid)
{
    struct Search {
        DWORD pid;
        std::vector<HWND> found;
    } s{pid, {}};
    EnumWindows(
        [](HWND wnd, LPARAM lp) WINAPI -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD owner = 0;
            GetWindowThreadProcessId(wnd, &owner);
            if (owner == s->pid && IsWindowVisible(wnd) && ClassName(wnd) == L"#32770")
                s->found.push_back(wnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

struct Box {
    std::wstring m_strCaption, m_strText;
    bool operator==(const Box&) const = default;
};

struct RunResult {
    bool m_bExited = false;
    DWORD m_nStartError = 0;  // the system's code when the extractor could not be started
    DWORD m_nElapsedMs = 0;   // from the start until the run was looked at last
    bool m_bMainShown = false; // the main window came up
    std::vector<Box> m_boxes;
    std::vector<std::wstring> m_outside; // written outside the destination
    std::vector<std::wstring> m_all;     // everything in the run's folder
};

constexpr int IDC_DEST = 1001, IDC_PROGRESS = 1006;

// The extractor opens its error log in Notepad. A viewer left running would
// hold this test program's output open after it ends (Wine passes the
// handles on), so every viewer is ended once a run is over.
void EndLogViewers()
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32W pe{};
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32FirstW(snap, &pe); ok; ok = Process32NextW(snap, &pe)) {
        if (lstrcmpiW(pe.szExeFile, L"notepad.exe") != 0) continue;
        HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pe.th32ProcessID);
        if (!h) continue;
        TerminateProcess(h, 0);
        WaitForSingleObject(h, 5000);
        CloseHandle(h);
    }
    CloseHandle(snap);
}

// Runs archive (volume 0 named "h.exe", further volumes "h.exe.1" ...) in a
// fresh folder under the temporary folder. Quiet archives extract into
// "h" beside themselves; windowed ones are sent to "box\out", so a name
// that climbs one level lands in "box" where it is seen. Every message box
// is read and answered (cancel where offered, else no, else OK); the
// window is closed once an error was reported.
RunResult RunHostile(const TestArchive& arc, bool windowed, const std::vector<size_t>& dropVolumes = {})
{
    RunResult r;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    static int s_nCount = 0;
    const std::wstring dir = std::wstring(temp) + L"zk_hostile_" + std::to_wstring(GetCurrentProcessId()) +
                             L"_" + std::to_wstring(++s_nCount);
    CreateDirectoryW(dir.c_str(), nullptr);
    CreateDirectoryW((dir + L"\\box").c_str(), nullptr);
    std::vector<std::wstring> expected = {L"h.exe", L"h.log", L"box"};
    for (size_t k = 0; k < arc.m_volumes.size(); ++k) {
        std::wstring name = k == 0 ? L"h.exe" : L"h.exe." + std::to_wstring(k);
        expected.push_back(name);
        if (std::find(dropVolumes.begin(), dropVolumes.end(), k) == dropVolumes.end())
            WriteBytes(dir + L"\\" + name, arc.m_volumes[k]);
    }
    const std::wstring destRel = windowed ? L"box\\out" : L"h";

    {
        Program p(dir + L"\\h.exe", L"");
        r.m_nStartError = p.StartError();
        if (!p.Started()) return r;
        const DWORD pid = GetProcessId(p.Process());
        bool clicked = false, closing = false;
        const Stopwatch watch;
        while (p.Running() && watch.ElapsedMs() < RUN_LIMIT_MS) {
            HWND main = nullptr;
            bool boxOpen = false;
            for (HWND w : DialogsOf(pid)) {
                if (GetDlgItem(w, IDC_PROGRESS)) {
                    main = w;
                    r.m_bMainShown = true;
                    continue;
                }
                boxOpen = true;
                std::wstring text = MessageBoxText(w);
                if (text.empty()) continue; // not yet filled in
                r.m_boxes.push_back({zkui::Text(w), text});
                int answer = GetDlgItem(w, IDCANCEL) ? IDCANCEL : GetDlgItem(w, IDNO) ? IDNO : IDOK;
                Answer(w, answer);
                WaitFor([&] { return !IsWindow(w) || !IsWindowVisible(w); }, 5000);
            }
            if (windowed && main && !boxOpen && !closing) {
                HWND cancel = GetDlgItem(main, IDCANCEL), start = GetDlgItem(main, IDOK);
                if (!r.m_boxes.empty() && Enabled(cancel)) {
                    Click(cancel);
                    closing = true;
                } else if (!clicked && Enabled(start)) {
                    SetText(GetDlgItem(main, IDC_DEST), dir + L"\\" + destRel);
                    Click(start);
                    clicked = true;
                }
            }
            Sleep(20);
        }
        r.m_bExited = p.WaitExit(0);
        r.m_nElapsedMs = watch.ElapsedMs();
    } // a process still running here is ended by Program
    EndLogViewers();

    std::vector<std::wstring>& all = r.m_all;
    ListTree(dir, L"", all);
    std::sort(all.begin(), all.end());
    for (const std::wstring& path : all) {
        if (std::find(expected.begin(), expected.end(), path) != expected.end()) continue;
        if (path == destRel || path.rfind(destRel + L"\\", 0) == 0) continue;
        r.m_outside.push_back(path);
    }
    RemoveTree(dir);
    return r;
}

// An entry's tree record and info record (positions in the first file), for damage.
uint8_t* TreeRecord(TestArchive& a, size_t entry)
{
    return a.m_volumes[0].data() + a.m_treePos[entry];
}
uint8_t* InfoRecord(TestArchive& a, size_t entry)
{
    return a.m_volumes[0].data() + a.m_infoPos[entry];
}

TEST(HostileSfx, EndsWithItsMessageAndWritesOnlyTheDestination)
{
    struct Case {
        const char* m_pWhat;
        std::u16string m_strName; // of the middle entry
        std::function<void(TestArchive&)> m_damage;
        std::wstring m_strMessage; // the one box the run shows
        std::wstring m_strTarget;  // a name the defect would plant outside
        uint16_t m_nVolumeMB = 0;
        std::vector<size_t> m_drop = {}; // volumes not written
        std::wstring m_strCaption = L"エラー";
    } cases[] = {
        {"name ..", u"..", {}, BAD_NAME, L""},
        {"name climbing with a backslash", u"..\\evil.txt", {}, BAD_NAME, L"evil.txt"},
        {"alternate stream", u"a.txt:ads", {}, BAD_NAME, L"a.txt"},
        {"device CON", u"CON", {}, BAD_NAME, L""},
        {"device nul.txt", u"nul.txt", {}, BAD_NAME, L""},
        // Tree records are 13 bytes; a stored link of 0 means "none", so the
        // loop runs from the last entry back to the middle one.
        {"sibling link back to an earlier entry", u"victim.txt",
         [](TestArchive& a) { zk::StoreU32(TreeRecord(a, 2) + 1, 13); }, UNREADABLE, L""},
        {"info offset outside the table", u"victim.txt",
         [](TestArchive& a) { zk::StoreU32(TreeRecord(a, 1) + 9, 0xFFFFFF00); }, UNREADABLE, L""},
        {"stored size beyond the file", u"victim.txt",
         [](TestArchive& a) {
             size_t name = zk::RoundUp16(static_cast<uint32_t>(a.m_info[1].m_name.size()));
             zk::StoreU64(InfoRecord(a, 1) + 39 + name, 1ull << 40);
         },
         DAMAGED, L""},
        {"archive cut inside the data", u"victim.txt",
         [](TestArchive& a) { a.m_volumes[0].resize(a.m_volumes[0].size() - 300); }, DAMAGED, L""},
        // The system's own reason, where the volume was to be opened; no
        // message of the archive's follows, as none of its errors is set.
        {"second volume missing",
         u"victim.txt",
         {},
         L"[Error:2] " + SystemErrorText(ERROR_FILE_NOT_FOUND),
         L"",
         1,
         {1},
         L"Error Message"},
    };
    const std::vector<uint8_t> image = ExtractorImage();
    ASSERT_FALSE(image.empty());
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);

    for (const Case& c : cases) {
        for (bool windowed : {false, true}) {
            TestArchiveOptions o;
            o.m_prefix = image;
            o.m_nSfxFlags = windowed ? 0 : zk::SF_NO_UI;
            o.m_nVolumeSizeMB = c.m_nVolumeMB;
            // Split archives need more than a volume of stored data.
            std::vector<uint8_t> data = c.m_nVolumeMB ? Noise(1600000) : Filler(200000);
            TestArchive arc = zk::test::BuildTestArchive(
                {TestEntry::File(u"first.txt", Bytes("first")),
                 TestEntry::File(c.m_strName, std::move(data),
                                 c.m_nVolumeMB ? zk::METHOD_STORED : zk::METHOD_LZ4),
                 TestEntry::File(u"last.txt", Bytes("last"))},
                o);
            const std::string what = std::string(c.m_pWhat) + (windowed ? " (windowed)" : " (quiet)");
            ASSERT_TRUE(arc.m_bOk) << what;
            ASSERT_EQ(arc.m_volumes.size() > 1, c.m_nVolumeMB != 0) << what;
            if (c.m_damage) c.m_damage(arc);

            RunResult r = RunHostile(arc, windowed, c.m_drop);
            EXPECT_TRUE(r.m_bExited) << what << ": still running after " << r.m_nElapsedMs << " ms (start error "
                                << r.m_nStartError << ")";
            EXPECT_EQ(r.m_boxes, (std::vector<Box>{{c.m_strCaption, c.m_strMessage}}))
                << what << ": " << r.m_boxes.size() << " boxes";
            for (const std::wstring& path : r.m_outside)
                ADD_FAILURE() << what << ": written outside the destination: " << Narrow(path);
            if (!c.m_strTarget.empty()) {
                EXPECT_EQ(GetFileAttributesW((std::wstring(temp) + c.m_strTarget).c_str()),
                          INVALID_FILE_ATTRIBUTES)
                    << what << ": " << Narrow(c.m_strTarget) << " planted in the temporary folder";
            }
        }
    }
}

// The four texts of the parameter section follow its u32 flags, each a u16
// length and that many bytes: destination, title, run-after command, comment.
uint8_t* TextField(TestArchive& a, int index)
{
    uint8_t* p = a.m_volumes[0].data() + a.m_nParameterPos + 4;
    for (int i = 0; i < index; ++i)
        p += 2 + zk::LoadU16(p);
    return p;
}

TEST(HostileSfx, OversizedParameterTextsEndBeforeTheWindow)
{
    struct Case {
        const char* m_pWhat;
        int m_nField;
        uint16_t m_nLength;
        size_t m_nData; // bytes of the one stored file
    } cases[] = {
        {"destination longer than any text field", 0, 0xFFF0, 100},
        {"title one block longer than a text field", 1, 4112, 100},
        {"comment reaching into the tables and data", 3, 4096, 64000},
        {"title running past the end of the file", 1, 4096, 100},
    };
    const std::vector<uint8_t> image = ExtractorImage();
    ASSERT_FALSE(image.empty());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_pWhat);
        TestArchiveOptions o;
        o.m_prefix = image;
        o.m_strTitle = u"題";
        TestArchive arc = zk::test::BuildTestArchive(
            {TestEntry::File(u"first.txt", Noise(c.m_nData), zk::METHOD_STORED)}, o);
        ASSERT_TRUE(arc.m_bOk);
        uint8_t* field = TextField(arc, c.m_nField);
        // A field that fits must be one that reads past what follows it.
        if (c.m_nLength <= 4096) {
            ASSERT_EQ(field + 2 + c.m_nLength > arc.m_volumes[0].data() + arc.m_volumes[0].size(),
                      c.m_nData < 1000);
        }
        zk::StoreU16(field, c.m_nLength);

        RunResult r = RunHostile(arc, true);
        EXPECT_TRUE(r.m_bExited) << "still running after " << RUN_LIMIT_MS << " ms";
        EXPECT_FALSE(r.m_bMainShown);
        EXPECT_EQ(r.m_boxes, (std::vector<Box>{{L"エラー", UNREADABLE}})) << r.m_boxes.size() << " boxes";
        // Nothing written: the run's folder holds the archive and the
        // folder the test made.
        EXPECT_EQ(r.m_all, (std::vector<std::wstring>{L"box", L"h.exe"}));
    }
}

TEST(HostileSfx, MissingVolumeReportedThenSuppliedForTheNextRun)
{
    Scratch dir;
    TestArchiveOptions o;
    o.m_nVolumeSizeMB = 1;
    o.m_strTitle = u"分割";
    const std::vector<uint8_t> big = Noise(1200000);
    TestArchive a = BuildSfx({TestEntry::File(u"first.txt", Bytes("first")),
                              TestEntry::File(u"big.bin", big, zk::METHOD_STORED),
                              TestEntry::File(u"last.txt", Bytes("last"))},
                             o);
    ASSERT_TRUE(a.m_bOk);
    ASSERT_EQ(a.m_volumes.size(), 2u);
    ASSERT_TRUE(dir.Write(L"split.exe", a.m_volumes[0]));

    Program p(dir / L"split.exe", L"");
    HWND dialog = WaitMainWindow(p, L" 分割");
    ASSERT_TRUE(dialog);
    const std::wstring out = dir / L"out";
    StartExtraction(dialog, out);
    Question q = NextQuestion(p, L"Error Message");
    ASSERT_TRUE(q.m_hBox);
    EXPECT_EQ(q.m_strText, L"[Error:2] " + SystemErrorText(ERROR_FILE_NOT_FOUND));
    Reply(q.m_hBox, IDOK);
    ASSERT_TRUE(WaitRunOver(dialog));
    EXPECT_EQ(ProgressLine(dialog), L"解凍失敗");
    EXPECT_FALSE(p.FindWindowOf(L"#32770", L"エラー"));
    // The file cut at the volume's end is not left under its name.
    EXPECT_EQ(dir.List(L"out"), std::vector<std::wstring>{L"first.txt"});
    EXPECT_TRUE(EndLogViewer(p));
    // The log line ends once, after the system's text.
    EXPECT_EQ(ReadLog(dir / L"split.log"), L"ファイルパス：" + out + L"\\big.bin\r\nメッセージ　：" +
                                               Trimmed(SystemErrorText(ERROR_FILE_NOT_FOUND)) + L"\r\n");

    // The volume arrives: the same window extracts everything.
    ASSERT_TRUE(dir.Write(L"split.exe.1", a.m_volumes[1]));
    Click(GetDlgItem(dialog, IDOK));
    q = NextQuestion(p);
    ASSERT_TRUE(q.m_hBox);
    Reply(q.m_hBox, IDOK); // into the folder that exists
    q = NextQuestion(p);
    ASSERT_TRUE(q.m_hBox);
    EXPECT_NE(q.m_strText.find(L"first.txt"), std::wstring::npos);
    Reply(q.m_hBox, IDYES);
    ASSERT_TRUE(WaitRunOver(dialog));
    EXPECT_EQ(ProgressLine(dialog).rfind(L"完了 [", 0), 0u) << Narrow(ProgressLine(dialog));
    EXPECT_TRUE(ReadWholeFile(out + L"\\big.bin") == std::string(big.begin(), big.end()));
    EXPECT_EQ(Content(out + L"\\first.txt"), "first");
    EXPECT_EQ(Content(out + L"\\last.txt"), "last");
    Click(GetDlgItem(dialog, IDCANCEL));
    EXPECT_TRUE(p.WaitExit(10000));
}

} // namespace
