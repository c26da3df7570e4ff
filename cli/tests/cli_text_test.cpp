#include <gtest/gtest.h>

#include "cli/cli_text.h"

namespace zk {
namespace {

TEST(CliText, Utf8RoundTripsAndRepairsBrokenInput)
{
    struct Case {
        const char* m_pUtf8;
        std::wstring m_strWide;
    };
    const Case cases[] = {
        {"plain", L"plain"},
        {"\xE6\x97\xA5\xE6\x9C\xAC", L"\u65E5\u672C"},
        {"\xF0\x9F\x98\x80", std::wstring(L"\U0001F600")},
        {"a\xFF"
         "b",
         L"a\uFFFDb"},                           // not a lead byte
        {"\xE6\x97", L"\uFFFD\uFFFD"},           // cut short
        {"\xC0\xAF", L"\uFFFD\uFFFD"},           // overlong "/": never a separator
        {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"}, // a surrogate is no character
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8ToWide(c.m_pUtf8), c.m_strWide) << c.m_pUtf8;
        if (c.m_strWide.find(L'\uFFFD') == std::wstring::npos) {
            EXPECT_EQ(WideToUtf8(c.m_strWide), c.m_pUtf8);
        }
    }
}

TEST(CliText, JsonStringEscapesWhatJsonRequires)
{
    struct Case {
        std::wstring m_strText;
        const char* m_pJson;
    };
    const Case cases[] = {
        {L"a\"b\\c", "\"a\\\"b\\\\c\""},
        {L"line\nnext\ttab\r", "\"line\\nnext\\ttab\\r\""},
        {std::wstring(L"x\x01y\x1F", 4) + L"\x7F", "\"x\\u0001y\\u001f\\u007f\""},
        {L"\u65E5/\U0001F600", "\"\xE6\x97\xA5/\xF0\x9F\x98\x80\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(JsonString(c.m_strText), c.m_pJson);
}

TEST(CliText, JsonWriterNestsWithCommas)
{
    CJsonWriter json;
    json.BeginObject();
    json.String("name", L"a\"b");
    json.Number("size", 18446744073709551615ull);
    json.BeginArray("entries");
    json.BeginObject();
    json.Bool("folder", true);
    json.EndObject();
    json.BeginObject();
    json.EndObject();
    json.EndArray();
    json.BeginArray("empty");
    json.EndArray();
    json.EndObject();
    EXPECT_EQ(json.Text(), "{\n  \"name\": \"a\\\"b\",\n  \"size\": 18446744073709551615,\n  \"entries\": [\n"
                           "    {\n      \"folder\": true\n    },\n    {}\n  ],\n  \"empty\": []\n}\n");
}

TEST(CliText, SizesAndTimes)
{
    EXPECT_EQ(FormatSize(0), "0 B");
    EXPECT_EQ(FormatSize(1023), "1023 B");
    EXPECT_EQ(FormatSize(1024), "1.0 KiB");
    EXPECT_EQ(FormatSize(1536 * 1024), "1.5 MiB");
    EXPECT_EQ(FormatSize(5ull << 40), "5.0 TiB");

    struct Case {
        uint64_t m_nFileTime;
        const char* m_pText;
    };
    const Case cases[] = {
        {0, "1601-01-01 00:00:00"},
        {116444736000000000ull, "1970-01-01 00:00:00"},
        {116444736000000000ull + 951782400ull * 10000000, "2000-02-29 00:00:00"}, // leap day
        {116444736000000000ull + 1735689599ull * 10000000 + 9999999, "2024-12-31 23:59:59"},
        {0xFFFFFFFFFFFFFFFFull, "-"}, // past year 9999
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatFileTime(c.m_nFileTime), c.m_pText) << c.m_nFileTime;
    EXPECT_EQ(FormatFileTime(116444736000000000ull, true), "1970-01-01T00:00:00Z");
    EXPECT_EQ(FormatAttributes(0x21), "R--A-");
    EXPECT_EQ(FormatAttributes(0x17), "RHS-D");
}

TEST(CliText, NamesWindowsCannotHold)
{
    struct Case {
        std::wstring m_strName;
        bool m_bRefused;
    };
    const Case cases[] = {
        {L"report.txt", false},
        {L"\u65E5\u672C\u8A9E.txt", false},
        {L".hidden", false},
        {L"a b", false},
        {L"a:b", true},
        {L"a?b", true},
        {L"a*b", true},
        {L"a\"b", true},
        {L"a<b", true},
        {L"a>b", true},
        {L"a|b", true},
        {L"a\\b", true},
        {L"tab\there", true},
        {L"dot.", true},
        {L"blank ", true},
        {L"CON", true},
        {L"nul.txt", true},
        {L"com1", true},
        {L"LPT9.log", true},
        {L"console", false},
        {L"", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(!WindowsNameProblem(c.m_strName).empty(), c.m_bRefused) << WideToUtf8(c.m_strName);
}

TEST(CliText, ArchiveTextsCannotSteerTheTerminal)
{
    EXPECT_EQ(PrintableText(L"a\x1B[2Jb\r\n\x9B"
                            L"c\u65E5"),
              "a?[2Jb???c\xE6\x97\xA5");
}

TEST(CliText, EntryPathsSplitOnEitherSlash)
{
    struct Case {
        std::wstring m_strPath;
        std::vector<std::wstring> m_listParts;
    };
    const Case cases[] = {
        {L"src/a.txt", {L"src", L"a.txt"}},
        {L"src\\sub\\deep\\", {L"src", L"sub", L"deep"}},
        {L"//a//b", {L"a", L"b"}},
        {L"", {}},
        {L"\u65E5\u672C/x", {L"\u65E5\u672C", L"x"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitEntryPath(c.m_strPath), c.m_listParts) << WideToUtf8(c.m_strPath);
}

TEST(CliText, ProgressLineFillsItsWidth)
{
    struct Case {
        uint64_t m_nDone, m_nTotal;
        int m_nWidth;
        size_t m_nFilled, m_nBar; // '#' and the bar's whole width
        const char* m_pTail;
    };
    const Case cases[] = {
        {0, 0, 40, 0, 23, " 0 B / 0 B"},
        {512, 1024, 40, 8, 17, " 512 B / 1.0 KiB"},
        {1024, 1024, 40, 15, 15, " 1.0 KiB / 1.0 KiB"},
        {5000, 1024, 40, 15, 15, " 4.9 KiB / 1.0 KiB"}, // more than announced: full, never beyond
        {1, 2, 5, 2, 5, " 1 B / 2 B"},                  // too narrow: the bar keeps 5
    };
    for (const Case& c : cases) {
        const std::string line = ProgressLineText("test", c.m_nDone, c.m_nTotal, c.m_nWidth);
        const std::string bar =
            "test [" + std::string(c.m_nFilled, '#') + std::string(c.m_nBar - c.m_nFilled, '.') + "]";
        EXPECT_EQ(line, bar + c.m_pTail);
        if (c.m_nWidth >= 20) {
            EXPECT_EQ(line.size(), static_cast<size_t>(c.m_nWidth));
        }
    }
}

} // namespace
} // namespace zk
