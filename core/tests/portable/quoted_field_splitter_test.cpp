#include "core/quoted_field_splitter.h"

#include <gtest/gtest.h>

#include <random>

#include <string>
#include <vector>

namespace zk {
namespace {

using Splitter = QuotedFieldSplitter<char16_t>;

// Splits a copy of text with blank and '"' and returns the fields.
std::vector<std::u16string> SplitAll(Splitter& s, std::u16string text, int* result = nullptr)
{
    const int n = s.Split(text.data(), -1, u' ', u'"');
    if (result) *result = n;
    std::vector<std::u16string> fields;
    for (int i = 0; i < s.Count(); ++i)
        fields.emplace_back(s.Field(i), s.FieldLength(i));
    return fields;
}

TEST(QuotedFieldSplitter, Table)
{
    using F = std::vector<std::u16string>;
    const struct {
        std::u16string text;
        int result;
        F fields;
    } cases[] = {
        {u"\"C:\\My Files\\a.txt\" word \"say \"\"hi\"\"\"", 3,
         F{u"C:\\My Files\\a.txt", u"word", u"say \"hi\""}},
        {u"a  b", 3, F{u"a", u"", u"b"}},
        {u" a", 2, F{u"", u"a"}},
        {u"a ", 1, F{u"a"}},
        {u"", 0, F{}},
        {u"\"\" x", 2, F{u"", u"x"}},
        {u"\"\"", 1, F{u""}},
        // A quote that is not followed by a separator belongs to the field.
        {u"\"a\"b\" c", 2, F{u"a\"b", u"c"}},
        {u"ab\"c d", 2, F{u"ab\"c", u"d"}},
        // CR and LF vanish before splitting, also inside quoted fields.
        {u"one\r\ntwo \"th\nree\"\r\n", 2, F{u"onetwo", u"three"}},
        {u"\r\n", 0, F{}},
        // Unterminated: -1, fields before it kept.
        {u"keep \"open field", -1, F{u"keep"}},
        {u"\"", -1, F{}},
        {u"a \"x\"\"", -1, F{u"a"}},
    };
    Splitter s;
    for (const auto& c : cases) {
        int result = 0;
        const auto fields = SplitAll(s, c.text, &result);
        EXPECT_EQ(result, c.result) << std::string(c.text.begin(), c.text.end());
        EXPECT_EQ(fields, c.fields) << std::string(c.text.begin(), c.text.end());
    }
}

TEST(QuotedFieldSplitter, GrowsSlotsAndFieldBuffers)
{
    Splitter s;
    EXPECT_EQ(s.SlotCount(), Splitter::INITIAL_SLOTS);
    std::u16string text;
    for (int i = 0; i < 45; ++i)
        text += (i ? u" f" : u"f") + std::u16string(1, static_cast<char16_t>(u'A' + i % 26));
    const std::u16string longField(1000, u'x');
    text += u" \"" + longField + u"\"";
    const auto fields = SplitAll(s, text);
    ASSERT_EQ(fields.size(), 46u);
    EXPECT_EQ(fields[0], u"fA");
    EXPECT_EQ(fields[44], u"fS");
    EXPECT_EQ(fields[45], longField);
    EXPECT_EQ(s.SlotCount(), Splitter::INITIAL_SLOTS + 2 * Splitter::GROW_SLOTS);

    // A later, shorter split reuses the slots and only shows its own fields.
    EXPECT_EQ(SplitAll(s, u"x y"), (std::vector<std::u16string>{u"x", u"y"}));
    EXPECT_EQ(s.Field(2), nullptr);
    EXPECT_EQ(s.Field(-1), nullptr);
}

TEST(QuotedFieldSplitter, LengthBoundsTheTextAndWorksInPlace)
{
    Splitter s;
    // Only the first 6 characters count; nothing beyond them is read or written.
    std::u16string text = u"a\r b\"c d e";
    ASSERT_EQ(s.Split(text.data(), 6, u' ', u'"'), 2);
    EXPECT_EQ(std::u16string(s.Field(1)), u"b\"c");
    EXPECT_EQ(text.substr(0, 5), std::u16string(u"a b\"c", 5)) << "CR removed in place";
    EXPECT_EQ(text[5], u'\0') << "terminated where the removed CR made room";
    EXPECT_EQ(text.substr(6), u" d e");

    // Exactly filled (no CR/LF removed): no terminator is written past the length.
    char16_t exact[3] = {u'a', u'"', u'x'};
    ASSERT_EQ(s.Split(exact, 2, u' ', u'"'), 1);
    EXPECT_EQ(exact[2], u'x');
    EXPECT_EQ(std::u16string(s.Field(0)), u"a\"");

    EXPECT_EQ(s.Split(nullptr, -1, u' ', u'"'), 0);
    EXPECT_EQ(s.Count(), 0);
}

TEST(QuotedFieldSplitter, OtherSeparatorAndQuote)
{
    QuotedFieldSplitter<wchar_t> s;
    std::wstring text = L"'a,b',c,,'it''s'";
    ASSERT_EQ(s.Split(text.data(), -1, L',', L'\''), 4);
    EXPECT_STREQ(s.Field(0), L"a,b");
    EXPECT_STREQ(s.Field(1), L"c");
    EXPECT_STREQ(s.Field(2), L"");
    EXPECT_STREQ(s.Field(3), L"it's");
}

TEST(QuotedFieldSplitter, QuotedFieldsRoundTrip)
{
    // Any fields, each quoted with its quotes doubled and joined by blanks,
    // come back unchanged.
    std::mt19937 rng(12345);
    const char16_t alphabet[] = {u'a', u' ', u'"', u'\\', u'\u3042', u','};
    Splitter s;
    for (int round = 0; round < 500; ++round) {
        std::vector<std::u16string> fields(rng() % 40);
        std::u16string line;
        for (auto& f : fields) {
            const size_t len = rng() % (round % 50 == 0 ? 600 : 8);
            for (size_t i = 0; i < len; ++i)
                f += alphabet[rng() % 6];
            if (&f != &fields[0]) line += u' ';
            line += u'"';
            for (char16_t c : f)
                line += c == u'"' ? u"\"\"" : std::u16string(1, c);
            line += u'"';
        }
        int result = 0;
        EXPECT_EQ(SplitAll(s, line, &result), fields);
        EXPECT_EQ(result, static_cast<int>(fields.size()));
    }
}

TEST(QuotedFieldSplitter, AnyTextStaysInBounds)
{
    // Hostile shapes: the sanitizers check every access, the test the counts.
    std::mt19937 rng(777);
    const char16_t alphabet[] = {u'a', u' ', u'"', u'\r', u'\n'};
    Splitter s;
    for (int round = 0; round < 3000; ++round) {
        const size_t len = rng() % 24;
        std::vector<char16_t> text(len);
        for (auto& c : text)
            c = alphabet[rng() % 5];
        const int result = s.Split(text.data(), static_cast<ptrdiff_t>(len), u' ', u'"');
        ASSERT_GE(result, -1);
        ASSERT_LE(s.Count(), static_cast<int>(len));
        if (result >= 0) {
            EXPECT_EQ(result, s.Count());
        }
        EXPECT_EQ(s.Field(s.Count()), nullptr);
        for (int i = 0; i < s.Count(); ++i)
            ASSERT_LE(s.FieldLength(i), len);
    }
}

} // namespace
} // namespace zk
