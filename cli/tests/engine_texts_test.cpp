#include <gtest/gtest.h>

#include <cstdarg>
#include <cwchar>

#include "builder/engine/build_messages.h"
#include "cli/engine_texts.h"
#include "core/pipeline.h"
#include "core/text_convert.h"
#include "sfx/engine/notice_texts.h"

namespace zk {
namespace {

// A text made from an engine format as the engine makes it.
std::wstring Made(const wchar_t* format, ...)
{
    wchar_t text[1024];
    va_list args;
    va_start(args, format);
    std::vswprintf(text, 1024, format, args);
    va_end(args);
    return text;
}

TEST(EngineTexts, FormatsMatchWithTheirArgumentsCarriedOver)
{
    const std::vector<TextTranslation> table = {
        {L"%ls\nファイル：%ls", L"%ls (file: %ls)"},
        {L"中止\nパス：%ls", L"stopped (path: %ls)"},
        {L"%u MB 以上", L"%u MB or more"},
        {L"内側", L"inner"},
        {L"%d%%", L"%d percent"},
    };
    struct Case {
        std::wstring m_strIn;
        std::wstring m_strOut;
    };
    const Case cases[] = {
        {L"[Error:5] Permission denied\nファイル：/a/b", L"[Error:5] Permission denied (file: /a/b)"},
        {L"内側\nファイル：/x", L"inner (file: /x)"}, // an engine text inside another
        {L"中止\nパス：", L"stopped (path: )"},
        {L"12 MB 以上", L"12 MB or more"},
        {L"x MB 以上", L"x MB 以上"},      // not a number: no match
        {L"中止\nパ", L"中止\nパ"},        // cut short
        {L"前中止\nパス：a", L"前中止\nパス：a"}, // text before the literal start
        {L"50%", L"50 percent"},
        {L"", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TranslateText(c.m_strIn, table), c.m_strOut);
}

// Every entry of the real table: the engine's own text, made as the engine
// makes it, comes out in English with its arguments.
TEST(EngineTexts, TheEnginesFailuresReadInEnglish)
{
    const std::wstring sizeChanged = ToWide(TEXT_SOURCE_SIZE_CHANGED);
    struct Case {
        std::wstring m_strEngine;
        std::wstring m_strTool;
    };
    const Case cases[] = {
        {Made(MSG_SOURCE_FAILED, sizeChanged.c_str(), L"/src/a.txt"),
         L"the file's size changed while it was read (file: /src/a.txt)"},
        {Made(MSG_TOO_MANY_VOLUMES, 7u),
         L"too many volume files (the archive's data must end within the 256th); set the volume size to 7 MB or "
         L"more"},
        {Made(MSG_PATH_TOO_LONG, L"/deep/path"),
         L"a path is too long to store (at most 2047 characters); stopped (path: /deep/path)"},
        {MSG_NOTHING, L"there were no files or folders to store"},
        {Made(TEXT_SIZE_DIFFERS, 10ull, 12ull), L"the archive records 10 bytes for this file, but 12 were extracted"},
        {ToWide(TEXT_VERIFY_MISMATCH), L"the verify pass found data that differs from the source"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ToolText(c.m_strEngine), c.m_strTool);
    for (const TextTranslation& t : EngineTextTable()) {
        const std::wstring tool = t.m_pTool;
        EXPECT_EQ(tool.find(L'\n'), std::wstring::npos) << t.m_pEngine;
        for (wchar_t c : tool)
            EXPECT_LT(c, 0x80) << t.m_pEngine; // English, plain ASCII
    }
}

} // namespace
} // namespace zk
