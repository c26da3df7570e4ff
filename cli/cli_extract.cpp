#include "cli/cli_run.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "cli/cli_session.h"
#include "cli/engine_texts.h"
#include "core/exit_codes.h"
#include "core/entry_name.h"
#include "core/pipeline_platform.h"
#include "core/reporting_files.h"
#include "core/text_convert.h"
#include "sfx/engine/entry_decoder.h"
#include "sfx/engine/entry_loader.h"
#include "sfx/engine/extract_engine.h"

namespace fs = std::filesystem;

namespace zk {

namespace {

#ifdef _WIN32
constexpr char NULL_DEVICE[] = "NUL";
#else
constexpr char NULL_DEVICE[] = "/dev/null";
#endif

// ---- test -----------------------------------------------------------------

// Decodes one file entry into nothing and checks its hash. 0 / 1 with the
// failure recorded.
int TestEntry(ExtractSession& s, const ListedEntry& e, FILE* sink)
{
    const EntryInfo& info = *e.m_pNode->m_pInfo;
    if (!IsSafeEntryName(ToU16(info.m_strName)))
        return RecordFailure(s.m_ctx, s.m_state, ERR_BAD_NAME, e.m_strPath);
    if (e.m_pNode->IsFolder() || info.m_nSize == 0) return 0;
    IFileHash* hash = nullptr;
    if (s.m_state.m_header.m_nFlags & AF_HASH) {
        if (!s.m_pHash) s.m_pHash = ReportingHash(MakeSystemSha256(), *s.m_pCallback);
        hash = s.m_pHash.get();
        if (hash->Begin() != 0) return RecordFailure(s.m_ctx, s.m_state, 0, e.m_strPath);
    }
    const EntryDataResult result = DecodeEntryData(s, info, sink, hash);
    uint8_t digest[32] = {};
    if (hash && hash->End(digest) != 0) return RecordFailure(s.m_ctx, s.m_state, 0, e.m_strPath);
    switch (result) {
    case EntryDataResult::OK:
        break;
    case EntryDataResult::DAMAGED:
        return RecordFailure(s.m_ctx, s.m_state, ERR_DAMAGED, e.m_strPath);
    default:
        return RecordFailure(s.m_ctx, s.m_state, ERR_READ, e.m_strPath);
    }
    if (hash && std::memcmp(digest, info.m_hash, sizeof digest) != 0)
        return RecordFailure(s.m_ctx, s.m_state, ERR_HASH, e.m_strPath);
    return 0;
}

int TestOpened(const CliOptions& o, CCliDialogue& dialogue, ArchiveState& st)
{
    ExtractSession s(st, &dialogue);
    std::vector<ListedEntry> entries;
    if (LoadWholeTree(o, dialogue, s, &entries) != 0) return EXIT_CODE_FAILED;
    FILE* sink = std::fopen(NULL_DEVICE, "wb");
    if (!sink) {
        CliError("cannot open the null device");
        return EXIT_CODE_FAILED;
    }
    s.m_progress.m_nTotal = st.m_nTotalSize;
    uint32_t failures = 0;
    {
        CProgressLine bar(o, "testing", [&](uint64_t* done, uint64_t* total) {
            *done = s.m_progress.m_nDone;
            *total = s.m_progress.m_nTotal;
        });
        for (const ListedEntry& e : entries) {
            s.m_ctx.ClearResults();
            st.m_nErrorFlags = 0;
            if (TestEntry(s, e, sink) == 0) continue;
            ++failures;
            bar.Stop();
            dialogue.PrintSystemTexts();
            const char* cause = CliErrorText(st.m_nErrorFlags);
            CliError(PrintableText(e.m_strPath) + ": " + (cause ? cause : "failed"));
            // Without the volume nothing further can be read.
            const std::wstring missing = MissingVolume(st, entries);
            if (!missing.empty()) {
                CliError("volume " + ShownPath(missing) +
                         " is missing: keep every volume beside the archive");
                break;
            }
        }
    }
    std::fclose(sink);
    s.m_pVolumes.reset();
    if (failures) {
        CliError(std::to_string(failures) + " of " + std::to_string(entries.size()) + " entries failed");
        return EXIT_CODE_FAILED;
    }
    CliNote(o, "all " + std::to_string(entries.size()) + " entries are sound");
    return EXIT_CODE_DONE;
}

// ---- extract ----------------------------------------------------------------

// The archive's name without its extension, beside it.
std::wstring DefaultDestination(const std::wstring& archivePath)
{
    fs::path p = FsPath(archivePath);
    p.replace_extension();
    return WideOf(p);
}

struct SelectionGroup {
    EntryNode* m_pFolder = nullptr;
    std::vector<EntryNode*> m_listChain; // from the top level down to m_pFolder
    std::vector<EntryNode*> m_listSelected;
};

// The entries named on the command line, grouped by the folder that holds
// them. 0, or 1 after naming a path the archive does not hold.
int ResolveSelection(const CliOptions& o, ArchiveState& st, std::vector<SelectionGroup>* groups)
{
    for (const std::wstring& path : o.m_listPaths) {
        const std::vector<std::wstring> parts = SplitEntryPath(path);
        EntryNode* folder = &st.m_root;
        std::vector<EntryNode*> chain;
        EntryNode* found = nullptr;
        for (size_t i = 0; i < parts.size(); ++i) {
            found = nullptr;
            for (EntryNode* c = folder->m_pFirstChild; c; c = c->m_pNextSibling)
                if (c->m_pInfo && c->m_pInfo->m_strName == parts[i]) found = c;
            if (!found || (i + 1 < parts.size() && !found->IsFolder())) {
                found = nullptr;
                break;
            }
            if (i + 1 < parts.size()) {
                chain.push_back(found);
                folder = found;
            }
        }
        if (!found) {
            CliError(ShownPath(path) + ": not in the archive");
            return EXIT_CODE_FAILED;
        }
        auto group = std::find_if(groups->begin(), groups->end(),
                                  [&](const SelectionGroup& g) { return g.m_pFolder == folder; });
        if (group == groups->end()) {
            groups->push_back({folder, chain, {}});
            group = groups->end() - 1;
        }
        if (std::find(group->m_listSelected.begin(), group->m_listSelected.end(), found) ==
            group->m_listSelected.end())
            group->m_listSelected.push_back(found);
    }
    return 0;
}

int ExtractOpened(const CliOptions& o, CCliDialogue& dialogue, ArchiveState& st)
{
    ExtractSession s(st, &dialogue);
    std::vector<ListedEntry> entries;
    if (LoadWholeTree(o, dialogue, s, &entries) != 0) return EXIT_CODE_FAILED;
    std::vector<SelectionGroup> groups;
    if (ResolveSelection(o, st, &groups) != 0) return EXIT_CODE_FAILED;
    const std::wstring destination =
        FullPath(o.m_strDestination.empty() ? DefaultDestination(st.m_strArchivePath) : o.m_strDestination);
    bool failed = false;
    {
        CProgressLine bar(o, "extracting", [&](uint64_t* done, uint64_t* total) {
            *done = s.m_progress.m_nDone;
            *total = s.m_progress.m_nTotal;
        });
        if (groups.empty()) {
            s.m_request.m_strDestination = destination;
            s.m_ctx.Clear();
            s.m_ctx.m_nRunning = 1;
            ExtractAllWorker(s);
            failed = s.m_ctx.m_nFailed != 0 || s.m_ctx.m_nAbort != 0;
        }
        for (const SelectionGroup& g : groups) {
            if (LoadChildrenInfo(s, *g.m_pFolder) != 0) {
                failed = true;
                break;
            }
            for (EntryNode* n : g.m_listSelected)
                n->m_bSelected = 1;
            s.m_request.m_strDestination = destination;
            s.m_request.m_pFolder = g.m_pFolder;
            s.m_request.m_listFolderChain = g.m_listChain;
            s.m_ctx.Clear();
            s.m_ctx.m_nRunning = 1;
            ExtractSelectedWorker(s);
            if (s.m_ctx.m_nFailed || s.m_ctx.m_nAbort) {
                failed = true;
                break;
            }
        }
    }
    for (const ErrorLogRecord& notice : s.m_ctx.m_listNotices)
        CliError("note: " + PrintableText(notice.m_strPath) + ": " + PrintableText(ToolText(notice.m_strMessage)));
    if (failed) {
        TellRunFailure(o, dialogue, s, entries);
        return EXIT_CODE_FAILED;
    }
    CliNote(o, "extracted into " + ShownPath(destination));
    return EXIT_CODE_DONE;
}

} // namespace

int RunTest(const CliOptions& o)
{
    CCliDialogue dialogue(o);
    return WithOpenArchive(o, dialogue, [&](ArchiveState& st) { return TestOpened(o, dialogue, st); });
}

int RunExtract(const CliOptions& o)
{
    CCliDialogue dialogue(o);
    return WithOpenArchive(o, dialogue, [&](ArchiveState& st) { return ExtractOpened(o, dialogue, st); });
}

} // namespace zk
