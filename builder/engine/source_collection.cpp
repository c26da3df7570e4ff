#include "builder/engine/source_collection.h"

#include <cstring>
#include <cwchar>
#include <memory>

#include "builder/engine/build_context.h"
#include "builder/engine/build_messages.h"
#include "core/archive_names.h"
#include "core/file_io.h"
#include "core/last_error.h"
#include "core/long_path.h"
#include "core/text_convert.h"
#include "core/text_format.h"
#include "core/unique_handle.h"

namespace zk {

namespace {

bool IsDotName(const wchar_t* name)
{
    return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0;
}

// Links a new node below its parent, after the node kept before it.
SourceNode* AppendNode(SourceNode& parent, SourceNode*& last, const FileListing& entry)
{
    SourceNode* node = new SourceNode;
    node->nKind = (entry.m_nAttributes & ATTR_DIRECTORY) ? NODE_FOLDER : NODE_FILE;
    if (last)
        last->pNext = node;
    else
        parent.pFirstChild = node;
    last = node;
    return node;
}

// Writes the record of a newly found entry and counts the entry.
int StoreEntry(BuildContext& ctx, const FileListing& entry, SourceNode* node)
{
    BuildRecord record = NewInfoRecord(ctx, entry);
    record.pNode = node;
    if (WriteInfoRecord(ctx, record) != 0) return 1;
    if (node->nKind == NODE_FOLDER) {
        ++ctx.nFolderCount;
    } else {
        ++ctx.nFileCount;
        if (record.info.m_nSize != 0) {
            ++ctx.nContentCount;
            ctx.nTotalSize += record.info.m_nSize;
        }
    }
    return 0;
}

// Reads a work-file record through the format's parser.
// A read the system refuses is told; a record cut short is not.
class WorkFileSource : public ByteSource {
public:
    WorkFileSource(RecordWindow& window, IUserDialogue& dialogue) : m_window(window), m_dialogue(dialogue) {}
    bool ReadExact(uint8_t* buffer, size_t n) override
    {
        const int64_t got = m_window.Read(buffer, n);
        if (got < 0) m_dialogue.ReportSystemError();
        return got == static_cast<int64_t>(n);
    }

private:
    RecordWindow& m_window;
    IUserDialogue& m_dialogue;
};

} // namespace

void FreeTree(SourceNode* pNode)
{
    if (!pNode) return;
    // A worklist instead of recursion: sibling lists can be very long.
    std::vector<SourceNode*> pending;
    if (pNode->pFirstChild) pending.push_back(pNode->pFirstChild);
    pNode->pFirstChild = nullptr;
    while (!pending.empty()) {
        SourceNode* node = pending.back();
        pending.pop_back();
        while (node) {
            SourceNode* next = node->pNext;
            if (node->pFirstChild) pending.push_back(node->pFirstChild);
            delete node;
            node = next;
        }
    }
}

int ClassifyEntry(const BuildContext& ctx, const FileListing& entry)
{
    if (entry.m_bSymbolicLink) return ENTRY_LINK;
    if (!ctx.bIncludeHidden && (entry.m_nAttributes & ATTR_HIDDEN)) return ENTRY_SKIP;
    if (!ctx.bIncludeHidden && (entry.m_nAttributes & ATTR_TEMPORARY)) return ENTRY_SKIP;
    const bool folder = (entry.m_nAttributes & ATTR_DIRECTORY) != 0;
    if (folder && IsDotName(entry.m_strName.c_str())) return ENTRY_SKIP;
    return folder ? ENTRY_FOLDER : ENTRY_FILE;
}

BuildRecord NewInfoRecord(const BuildContext& ctx, const FileListing& entry)
{
    BuildRecord record;
    InfoRecord& info = record.info;
    info.m_nAttributes = entry.m_nAttributes;
    info.m_nCreationTime = entry.m_nCreationTime;
    info.m_nAccessTime = entry.m_nAccessTime;
    info.m_nWriteTime = entry.m_nWriteTime;
    info.m_nSize = entry.m_nSize;
    info.m_nDataOffset = ctx.nStreamBytes;
    // Nothing is written to the stream during collection; a start volume
    // that does not fit stays 0 here and fails the build in the data phase.
    StartVolume(ctx.nDataOffset, info.m_nDataOffset, ctx.nVolumeSize, &info.m_nStartVolume);
    record.strName = entry.m_strName;
    return record;
}

bool IsBuildOutput(const BuildContext& ctx, const std::wstring& path)
{
    // The paths may come in their long form ("\\?\") or not.
    const std::wstring candidate = ShortPathForm(path);
    const std::wstring archive = ShortPathForm(ctx.strArchivePath);
    if (EqualsNoCase(candidate, archive)) return true;
    // The work file lies beside the archive by default, so inside the source
    // folder whenever the archive does; it is being written while collected.
    if (!ctx.strWorkPath.empty() && EqualsNoCase(candidate, ShortPathForm(ctx.strWorkPath))) return true;
    // Volume files: the archive path, a dot and a decimal number. A stale
    // one from an earlier build would be overwritten while being stored.
    const size_t n = archive.size();
    if (n == 0 || candidate.size() < n + 2 || candidate[n] != L'.') return false;
    if (!EqualsNoCase(candidate.substr(0, n), archive)) return false;
    for (size_t i = n + 1; i < candidate.size(); ++i)
        if (candidate[i] < L'0' || candidate[i] > L'9') return false;
    return true;
}

int WriteInfoRecord(BuildContext& ctx, BuildRecord& record)
{
    RecordWindow& window = WorkRecords(ctx);
    const uint64_t pos = window.Position();
    if (pos >= NO_INFO_OFFSET) {
        FailWithMessage(ctx, ctx.strWorkPath, MSG_INFO_TABLE_FULL);
        return 1;
    }
    if (record.pNode) record.pNode->nInfoOffset = static_cast<uint32_t>(pos);
    if (ctx.Cancelled()) return 1;

    const std::wstring name = LastComponent(record.strName);
    if (!EncodeEntryName(ToU16(name), ctx.bShiftJisNames, &record.info.m_name)) {
        RecordFailure();
        ctx.dialogue.ReportSystemError();
        return 1;
    }
    std::vector<uint8_t> bytes;
    ByteWriter w(bytes);
    if (PutInfoRecord(w, record.info) != FormatStatus::Ok) {
        SetSystemError(SYSERR_FILENAME_EXCED_RANGE);
        RecordFailure();
        ctx.dialogue.ReportSystemError();
        return 1;
    }
    // A rewritten record has to fit exactly where the collected one lies;
    // anything else would overwrite the records behind it.
    if (record.nEncodedSize != 0 && record.nEncodedSize != bytes.size()) {
        SetSystemError(SYSERR_INVALID_DATA);
        RecordFailure();
        ctx.dialogue.ReportSystemError();
        return 1;
    }
    if (!window.Write(bytes.data(), bytes.size())) {
        ctx.dialogue.ReportSystemError();
        return 1;
    }
    record.nEncodedSize = static_cast<uint32_t>(bytes.size());
    return 0;
}

int ReadInfoRecord(BuildContext& ctx, uint32_t nInfoOffset, BuildRecord& record)
{
    SeekWork(ctx, nInfoOffset);
    ArchiveHeader header;
    header.m_nFlags = ctx.bShiftJisNames ? AF_NARROW_NAMES : 0;
    RecordWindow& window = WorkRecords(ctx);
    WorkFileSource source(window, ctx.dialogue);
    BuildRecord out;
    if (ParseInfoRecord(source, header, &out.info) != FormatStatus::Ok) return 1;
    std::u16string name;
    if (!DecodeEntryName(out.info.m_name, ctx.bShiftJisNames, &name)) return 1;
    out.strName = ToWide(name);
    out.nEncodedSize = static_cast<uint32_t>(window.Position() - nInfoOffset);
    record = std::move(out);
    return 0;
}

int CollectSources(BuildContext& ctx, const std::vector<std::wstring>& sources, SourceNode& root)
{
    ctx.topNodes.assign(sources.size(), nullptr);
    SourceNode* last = nullptr;
    for (size_t i = 0; i < sources.size(); ++i) {
        if (ctx.Cancelled()) return 1;
        const std::wstring& path = sources[i];
        FileListing entry;
        if (!FindFileData(path.c_str(), &entry)) {
            SystemFailure(ctx, path);
            return 1;
        }
        if (IsBuildOutput(ctx, path)) continue;
        const int kind = ClassifyEntry(ctx, entry);
        if (kind == ENTRY_SKIP) continue;
        if (kind == ENTRY_LINK) {
            ctx.progress.ShowSkippedLink(path);
            continue;
        }
        if (path.size() > MAX_PATH_UNITS) {
            FailWithMessage(ctx, path, FormatText(MSG_PATH_TOO_LONG, path.c_str()));
            return 1;
        }
        SourceNode* node = AppendNode(root, last, entry);
        ctx.topNodes[i] = node;
        if (StoreEntry(ctx, entry, node) != 0) {
            Fail(ctx, path);
            return 1;
        }
        if (node->nKind == NODE_FOLDER && CollectFolder(ctx, path, *node) != 0) return 1;
    }
    // Every record is in the work file before collection is done: its size
    // is the info table's.
    return FlushWork(ctx);
}

namespace {

// One folder of the walk: its open listing and where its next kept entry
// goes. The walk keeps these on the heap, so that a deep tree needs no
// more stack than a flat one.
struct CollectFrame {
    std::wstring path; // as the folder was named, for messages
    std::wstring base; // path with a trailing "\"
    SourceNode* node = nullptr;
    SourceNode* last = nullptr;
    FolderLister lister;
    FileListing entry;       // the entry to take next
    bool bHaveEntry = false; // entry holds one not yet taken
    bool bOnStack = false;   // its identity is on the context's folder stack
};

enum class FolderOpen { LISTED, IGNORED, FAILED };

// Starts the listing of a folder: refuses a folder link back into a folder
// being collected, then reads the first entry, asking Abort / Retry / Ignore
// while the folder cannot be listed.
FolderOpen OpenFolder(BuildContext& ctx, CollectFrame& frame)
{
    // A folder link that leads back to a folder being collected would make
    // the walk endless.
    std::pair<uint32_t, uint64_t> identity;
    const bool known = FileIdentity(frame.path, identity);
    if (known) {
        for (const auto& open : ctx.folderStack) {
            if (open == identity) {
                FailWithMessage(ctx, frame.path, FormatText(MSG_FOLDER_CYCLE, frame.path.c_str()));
                return FolderOpen::FAILED;
            }
        }
    }

    for (;;) {
        if (frame.lister.Open(frame.base) && frame.lister.Next(&frame.entry)) break;
        GetLastErrorText();
        const std::wstring question = FormatText(MSG_FOLDER_LIST_FAILED, LastErrorText(), frame.path.c_str());
        const Answer answer =
            AskUser(ctx, BUILD_TOPIC_FOLDER_UNREADABLE, BUTTONS_ABORT_RETRY_IGNORE, question);
        if (answer == ANSWER_RETRY) {
            if (ctx.Cancelled()) return FolderOpen::FAILED;
            continue;
        }
        // Ignored: the folder stays in the archive, empty.
        if (answer == ANSWER_IGNORE) return FolderOpen::IGNORED;
        SystemFailure(ctx, frame.path);
        return FolderOpen::FAILED;
    }
    frame.bHaveEntry = true;
    if (known) ctx.folderStack.push_back(identity);
    frame.bOnStack = known;
    return FolderOpen::LISTED;
}

} // namespace

int CollectFolder(BuildContext& ctx, const std::wstring& folderPath, SourceNode& folderNode)
{
    // Whichever way the walk ends, the folders it entered are left again.
    struct StackLevel {
        BuildContext& ctx;
        size_t depth;
        ~StackLevel() { ctx.folderStack.resize(depth); }
    } level{ctx, ctx.folderStack.size()};

    std::vector<std::unique_ptr<CollectFrame>> frames;
    // Lists a folder into a new frame (an ignored folder gets none); false
    // when the walk has to end.
    auto enter = [&](const std::wstring& path, SourceNode& node) {
        auto frame = std::make_unique<CollectFrame>();
        frame->path = path;
        frame->base = path;
        AddTrailingSlash(frame->base);
        frame->node = &node;
        const FolderOpen opened = OpenFolder(ctx, *frame);
        if (opened == FolderOpen::LISTED) frames.push_back(std::move(frame));
        return opened != FolderOpen::FAILED;
    };

    if (!enter(folderPath, folderNode)) return 1;
    while (!frames.empty()) {
        CollectFrame& frame = *frames.back();
        if (!frame.bHaveEntry) {
            if (!ctx.findNextFile(frame.lister, &frame.entry)) {
                // Only the end of the listing ends it: any other error (a
                // share that went away) would leave the archive without
                // the entries not listed yet.
                if (SystemErrorCode() != SYSERR_NO_MORE_FILES) {
                    GetLastErrorText();
                    SystemFailure(ctx, frame.path);
                    return 1;
                }
                if (frame.bOnStack) ctx.folderStack.pop_back();
                frames.pop_back();
                continue;
            }
        }
        frame.bHaveEntry = false;
        if (ctx.Cancelled()) return 1;
        const FileListing& entry = frame.entry;
        const int kind = ClassifyEntry(ctx, entry);
        if (kind == ENTRY_SKIP) continue;
        const std::wstring fullPath = frame.base + entry.m_strName;
        if (kind == ENTRY_LINK) {
            ctx.progress.ShowSkippedLink(fullPath);
            continue;
        }
        if (kind == ENTRY_FILE && IsBuildOutput(ctx, fullPath)) continue;
        if (fullPath.size() > MAX_PATH_UNITS) {
            FailWithMessage(ctx, fullPath, FormatText(MSG_PATH_TOO_LONG, fullPath.c_str()));
            return 1;
        }
        // Only a POSIX folder lists a name holding "\": it would be stored
        // as its last part and read back from another path.
        if (entry.m_strName.find(L'\\') != std::wstring::npos) {
            SystemFailure(ctx, fullPath, SYSERR_INVALID_NAME);
            return 1;
        }
        SourceNode* node = AppendNode(*frame.node, frame.last, entry);
        if (StoreEntry(ctx, entry, node) != 0) {
            Fail(ctx, fullPath);
            return 1;
        }
        if (kind == ENTRY_FOLDER && !enter(fullPath, *node)) return 1;
    }
    return 0;
}

} // namespace zk
