#include "cli/engine_texts.h"

#include <cwctype>

#include "builder/engine/build_messages.h"
#include "core/error_log.h"
#include "core/pipeline.h"
#include "core/text_convert.h"
#include "sfx/engine/notice_texts.h"

namespace zk {

namespace {

// A format cut at its conversions: the literal pieces around them, and
// whether each conversion takes digits only.
struct Pattern {
    std::vector<std::wstring> m_listLiterals; // one more than conversions
    std::vector<bool> m_listNumeric;
};

Pattern Parse(std::wstring_view format)
{
    Pattern p;
    p.m_listLiterals.emplace_back();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != L'%' || i + 1 == format.size()) {
            p.m_listLiterals.back() += format[i];
            continue;
        }
        if (format[i + 1] == L'%') {
            p.m_listLiterals.back() += L'%';
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < format.size() && (format[j] == L'l' || format[j] == L'h')) ++j;
        const wchar_t kind = j < format.size() ? format[j] : L's';
        p.m_listNumeric.push_back(kind != L's');
        p.m_listLiterals.emplace_back();
        i = j;
    }
    return p;
}

bool AllDigits(std::wstring_view s)
{
    if (!s.empty() && s[0] == L'-') s.remove_prefix(1);
    if (s.empty()) return false;
    for (wchar_t c : s)
        if (c < L'0' || c > L'9') return false;
    return true;
}

// The arguments text was made with from pattern, or false. Each argument
// ends where its following literal first occurs; the last one, when nothing
// follows it, runs to the end of the text.
bool Match(const Pattern& p, std::wstring_view text, std::vector<std::wstring>* args)
{
    const std::wstring& head = p.m_listLiterals[0];
    if (text.substr(0, head.size()) != head) return false;
    size_t pos = head.size();
    const size_t count = p.m_listNumeric.size();
    for (size_t k = 0; k < count; ++k) {
        const std::wstring& next = p.m_listLiterals[k + 1];
        size_t end = text.size();
        if (!next.empty()) {
            end = text.find(next, pos);
            if (end == std::wstring_view::npos) return false;
        } else if (k + 1 < count) {
            return false; // two conversions side by side cannot be told apart
        }
        const std::wstring_view arg = text.substr(pos, end - pos);
        if (p.m_listNumeric[k] && !AllDigits(arg)) return false;
        args->emplace_back(arg);
        pos = end + next.size();
    }
    return pos == text.size();
}

// pattern's literals with the arguments between them.
std::wstring Fill(const Pattern& p, const std::vector<std::wstring>& args)
{
    std::wstring out = p.m_listLiterals[0];
    for (size_t k = 0; k < p.m_listNumeric.size() && k < args.size(); ++k)
        out += args[k] + p.m_listLiterals[k + 1];
    return out;
}

} // namespace

std::wstring TranslateText(std::wstring_view text, const std::vector<TextTranslation>& table)
{
    for (const TextTranslation& t : table) {
        const Pattern engine = Parse(t.m_pEngine);
        std::vector<std::wstring> args;
        if (!Match(engine, text, &args)) continue;
        const Pattern tool = Parse(t.m_pTool);
        if (tool.m_listNumeric.size() != args.size()) continue;
        // A system text or an engine text may stand inside another.
        for (size_t k = 0; k < args.size(); ++k)
            if (!engine.m_listNumeric[k]) args[k] = TranslateText(args[k], table);
        return Fill(tool, args);
    }
    return std::wstring(text);
}

const std::vector<TextTranslation>& EngineTextTable()
{
    static const std::wstring sizeChanged = ToWide(TEXT_SOURCE_SIZE_CHANGED);
    static const std::wstring verifyMismatch = ToWide(TEXT_VERIFY_MISMATCH);
    static const std::wstring storedBroken = ToWide(TEXT_STORED_DATA_BROKEN);
    static const std::wstring internalFailure = ToWide(TEXT_INTERNAL_FAILURE);
    // Formats that differ only in their words come before shorter ones they
    // contain; "%ls\nファイル：%ls" is the locked file's and the failed
    // source's alike.
    static const std::vector<TextTranslation> table = {
        {MSG_NO_SFX, L"ZelkoraSfx.exe is not in the program's folder"},
        {MSG_PREPARE_FAILED, L"the archive file could not be prepared"},
        {MSG_CREATE_FAILED, L"the archive file could not be created"},
        {MSG_WORK_FAILED, L"the work file could not be created"},
        {MSG_NOTHING, L"there were no files or folders to store"},
        {MSG_LOG_ITEM, L"the error log could not be registered with the shell"},
        {MSG_TOO_MANY_VOLUMES, L"too many volume files (the archive's data must end within the 256th); "
                               L"set the volume size to %u MB or more"},
        {MSG_SOURCE_CHANGED, L"a file or folder changed after the files were listed; stopped (path: %ls)"},
        {MSG_INFO_TABLE_FULL, L"the space for file information is full; stopped"},
        {MSG_FOLDER_CYCLE, L"a folder link points at a folder that holds it; stopped (folder: %ls)"},
        {MSG_PATH_TOO_LONG, L"a path is too long to store (at most 2047 characters); stopped (path: %ls)"},
        {MSG_LOCKED, L"%ls (file: %ls)"},
        {MSG_FOLDER_LIST_FAILED, L"%ls (folder: %ls)"},
        {LOG_CREATE_FAILED_TEXT, L"the error log could not be created"},
        {sizeChanged.c_str(), L"the file's size changed while it was read"},
        {verifyMismatch.c_str(), L"the verify pass found data that differs from the source"},
        {storedBroken.c_str(), L"the data written to the archive is damaged"},
        {internalFailure.c_str(), L"an internal error occurred"},
        {TEXT_SIZE_DIFFERS, L"the archive records %llu bytes for this file, but %llu were extracted"},
    };
    return table;
}

std::wstring ToolText(std::wstring_view text)
{
    return TranslateText(text, EngineTextTable());
}

} // namespace zk
