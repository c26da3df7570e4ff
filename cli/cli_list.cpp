#include "cli/cli_run.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "cli/cli_session.h"
#include "core/exit_codes.h"
#include "sfx/engine/entry_loader.h"

namespace zk {

namespace {

const char* MethodText(uint8_t method)
{
    switch (method) {
    case METHOD_LZ4:
        return "lz4";
    case METHOD_DEFLATE:
        return "deflate";
    default:
        return "stored";
    }
}

// ---- list -------------------------------------------------------------------

std::string PadRight(std::string text, size_t width)
{
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

std::string PadLeft(const std::string& text, size_t width)
{
    return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

int PrintList(const CliOptions& o, ArchiveState& st, const std::vector<ListedEntry>& entries)
{
    const uint32_t flags = st.m_header.m_nFlags;
    const bool split = st.m_nVolumeSize != 0;
    const std::wstring method = (flags & AF_DEFLATE) ? L"deflate" : L"lz4";
    if (o.m_bJson) {
        CJsonWriter json;
        json.BeginObject();
        json.String("archive", o.m_strArchive);
        json.Number("format_version", st.m_header.m_nVersion);
        json.String("method", method);
        json.Bool("password", (flags & AF_PASSWORD) != 0);
        json.Bool("hashes", (flags & AF_HASH) != 0);
        json.Bool("hidden_files", (flags & AF_HIDDEN) != 0);
        json.Bool("narrow_names", (flags & AF_NARROW_NAMES) != 0);
        json.Number("volume_size", st.m_nVolumeSize);
        json.String("created", Utf8ToWide(FormatFileTime(st.m_header.m_nTimeStamp, true)));
        json.String("title", st.m_strTitle);
        json.String("comment", st.m_strComment);
        json.String("default_destination", st.m_strDestFolder);
        json.Bool("show_list", (st.m_nSfxFlags & SF_SHOW_LIST) != 0);
        json.Bool("no_ui", (st.m_nSfxFlags & SF_NO_UI) != 0);
        json.Number("files", st.m_nFileCount);
        json.Number("folders", st.m_nFolderCount);
        json.Number("total_size", st.m_nTotalSize);
        json.BeginArray("entries");
        for (const ListedEntry& e : entries) {
            const EntryInfo& info = *e.m_pNode->m_pInfo;
            json.BeginObject();
            json.String("path", e.m_strPath);
            json.String("type", e.m_pNode->IsFolder() ? L"folder" : L"file");
            json.Number("size", info.m_nSize);
            json.Number("stored_size", info.m_nStoredSize);
            json.String("method", Utf8ToWide(MethodText(info.m_nMethod)));
            json.String("modified", Utf8ToWide(FormatFileTime(info.m_nWriteTime, true)));
            json.String("attributes", Utf8ToWide(FormatAttributes(info.m_nAttributes)));
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
        WriteOut(json.Text());
        return EXIT_CODE_DONE;
    }
    std::string out;
    out += "Archive:      " + ShownPath(o.m_strArchive) + "\n";
    out += "Format:       version " + std::to_string(st.m_header.m_nVersion) + "\n";
    out += "Method:       " + WideToUtf8(method) + "\n";
    out += std::string("Password:     ") + ((flags & AF_PASSWORD) ? "yes" : "no") + "\n";
    out += std::string("Hashes:       ") + ((flags & AF_HASH) ? "SHA-256" : "none") + "\n";
    out += "Volumes:      " +
           (split ? "split, " + FormatSize(st.m_nVolumeSize) + " each" : std::string("one file")) + "\n";
    out += "Created:      " + FormatFileTime(st.m_header.m_nTimeStamp) + " UTC\n";
    if (!st.m_strTitle.empty()) out += "Title:        " + PrintableText(st.m_strTitle) + "\n";
    if (!st.m_strComment.empty()) out += "Comment:      " + PrintableText(st.m_strComment) + "\n";
    if (!st.m_strDestFolder.empty()) out += "Destination:  " + PrintableText(st.m_strDestFolder) + "\n";
    std::string flagText;
    if (st.m_nSfxFlags & SF_SHOW_LIST) flagText += " show-list";
    if (st.m_nSfxFlags & SF_NO_UI) flagText += " no-ui";
    if (flags & AF_HIDDEN) flagText += " hidden-files";
    if (flags & AF_NARROW_NAMES) flagText += " narrow-names";
    out += "Flags:       " + (flagText.empty() ? std::string(" none") : flagText) + "\n";
    out += "Contents:     " + std::to_string(st.m_nFileCount) + " files, " +
           std::to_string(st.m_nFolderCount) + " folders, " + FormatSize(st.m_nTotalSize) + "\n\n";
    out += "        Size       Stored  Modified (UTC)       Attr   Path\n";
    for (const ListedEntry& e : entries) {
        const EntryInfo& info = *e.m_pNode->m_pInfo;
        const bool folder = e.m_pNode->IsFolder();
        out += PadLeft(folder ? "" : std::to_string(info.m_nSize), 12) + " ";
        out += PadLeft(folder ? "" : std::to_string(info.m_nStoredSize), 12) + "  ";
        out += PadRight(FormatFileTime(info.m_nWriteTime), 19) + "  ";
        out += FormatAttributes(info.m_nAttributes) + "  ";
        out += PrintableText(e.m_strPath) + (folder ? "/" : "") + "\n";
    }
    WriteOut(out);
    return EXIT_CODE_DONE;
}

} // namespace

int RunList(const CliOptions& o)
{
    CCliDialogue dialogue(o);
    return WithOpenArchive(o, dialogue, [&](ArchiveState& st) {
        ExtractSession s(st, &dialogue);
        std::vector<ListedEntry> entries;
        if (LoadWholeTree(o, dialogue, s, &entries) != 0) return EXIT_CODE_FAILED;
        return PrintList(o, st, entries);
    });
}

} // namespace zk
