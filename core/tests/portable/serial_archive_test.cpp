#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/serial_archive.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Latin-1 stands in for the system code page: one byte, one character.
bool Latin1(const uint8_t* p, size_t n, std::u16string& out)
{
    out.assign(p, p + n);
    return true;
}

Bytes Store(const std::u16string& s)
{
    zk::MemorySink sink;
    zk::SerialArchive ar(sink);
    ar.WriteString(s);
    EXPECT_TRUE(ar.Flush());
    return sink.m_bytes;
}

// A source that hands out at most `step` bytes per call, to drive the
// archive's buffer refills through every boundary.
class TrickleSource : public zk::SerialByteSource {
public:
    TrickleSource(const Bytes& b, size_t step, uint64_t claimedSize)
        : m_bytes(b), m_step(step), m_claimed(claimedSize)
    {
    }
    uint64_t Size() const override { return m_claimed; }
    size_t Read(uint8_t* p, size_t n) override
    {
        size_t take = std::min({n, m_step, m_bytes.size() - m_pos});
        std::copy_n(m_bytes.begin() + m_pos, take, p);
        m_pos += take;
        return take;
    }

private:
    const Bytes& m_bytes;
    size_t m_step;
    uint64_t m_claimed;
    size_t m_pos = 0;
};

class RecordingSink : public zk::ByteSink {
public:
    bool Write(const uint8_t* p, size_t n) override
    {
        m_writes.push_back(n);
        m_bytes.insert(m_bytes.end(), p, p + n);
        return m_writes.size() <= m_failAfter;
    }
    std::vector<size_t> m_writes;
    Bytes m_bytes;
    size_t m_failAfter = SIZE_MAX;
};

TEST(SerialArchiveString, LengthFormsAtEveryBoundary)
{
    struct Case {
        size_t length;
        Bytes head; // the bytes before the characters
    };
    const Case cases[] = {
        {0, {0xFF, 0xFE, 0xFF, 0x00}},
        {1, {0xFF, 0xFE, 0xFF, 0x01}},
        {254, {0xFF, 0xFE, 0xFF, 0xFE}},
        {255, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0x00}},
        {300, {0xFF, 0xFE, 0xFF, 0xFF, 0x2C, 0x01}},
        {65533, {0xFF, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF}},
        {65534, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {70000, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::u16string text(c.length, u'\0');
        for (size_t i = 0; i < c.length; ++i)
            text[i] = static_cast<char16_t>(0x3042 + i % 80);
        Bytes bytes = Store(text);
        ASSERT_EQ(bytes.size(), c.head.size() + 2 * c.length);
        EXPECT_TRUE(std::equal(c.head.begin(), c.head.end(), bytes.begin()));
        if (c.length != 0) {
            EXPECT_EQ(bytes[c.head.size()], 0x42);
            EXPECT_EQ(bytes[c.head.size() + 1], 0x30);
        }

        zk::MemorySource src(bytes);
        zk::SerialArchive in(src, Latin1);
        EXPECT_EQ(in.ReadString(), text);
        EXPECT_TRUE(in.Ok());
        EXPECT_EQ(in.BytesLeft(), 0u);
    }
}

TEST(SerialArchiveString, UnmarkedStringsGoThroughTheDecoderWithTheSameLengthForms)
{
    Bytes longForm = {0xFF, 0x2C, 0x01};
    longForm.insert(longForm.end(), 300, 'x');
    Bytes hugeForm = {0xFF, 0xFF, 0xFF, 0x03, 0x00, 0x00, 0x00, 'a', 'b', 'c'};
    struct Case {
        Bytes bytes;
        std::u16string expected;
    };
    const Case cases[] = {
        {{0x00}, u""},
        {{0x03, 'a', 0xE9, 'z'}, u"a\u00e9z"},
        {longForm, std::u16string(300, u'x')},
        {hugeForm, u"abc"},
    };
    for (const Case& c : cases) {
        zk::MemorySource src(c.bytes);
        zk::SerialArchive in(src, Latin1);
        EXPECT_EQ(in.ReadString(), c.expected);
        EXPECT_TRUE(in.Ok());
        EXPECT_EQ(in.BytesLeft(), 0u);
    }
}

TEST(SerialArchiveString, DecoderRefusalFailsTheRead)
{
    Bytes bytes = {0x02, 0x81, 0x82};
    zk::MemorySource src(bytes);
    zk::SerialArchive in(src, [](const uint8_t*, size_t, std::u16string&) { return false; });
    EXPECT_EQ(in.ReadString(), u"");
    EXPECT_FALSE(in.Ok());
}

TEST(SerialArchiveString, HostileLengthsFailWithoutReadingPastTheEnd)
{
    const Bytes cases[] = {
        {},                                                           // no length at all
        {0xFF},                                                       // cut inside the 16-bit length
        {0xFF, 0xFE, 0xFF},                                           // mark without length
        {0xFF, 0xFE, 0xFF, 0x02, 0x41, 0x00},                         // one of two characters
        {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, // 4 G characters
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a'},              // 2 G bytes of ANSI text
        {0x05, 'a', 'b'},                                             // short ANSI text
    };
    for (const Bytes& b : cases) {
        zk::MemorySource src(b);
        zk::SerialArchive in(src, Latin1);
        EXPECT_EQ(in.ReadString(), u"");
        EXPECT_FALSE(in.Ok());
        // The failure sticks: later reads give nothing even if bytes remain.
        EXPECT_EQ(in.ReadU8(), 0);
        EXPECT_EQ(in.BytesLeft(), 0u);
    }
}

TEST(SerialArchive, BuffersWritesIn4096ByteBlocksAndRefillsReadsAcrossThem)
{
    std::vector<std::u16string> texts;
    for (int i = 0; i < 40; ++i)
        texts.push_back(std::u16string(100 + 37 * i, static_cast<char16_t>(u'A' + i)));

    RecordingSink sink;
    zk::SerialArchive out(sink);
    for (const auto& t : texts)
        out.WriteString(t);
    ASSERT_TRUE(out.Flush());
    ASSERT_GT(sink.m_bytes.size(), 3 * zk::SerialArchive::BUFFER_SIZE);
    for (size_t i = 0; i + 1 < sink.m_writes.size(); ++i)
        EXPECT_EQ(sink.m_writes[i], 4096u);

    for (size_t step : {size_t{1}, size_t{7}, size_t{4096}, size_t{100000}}) {
        TrickleSource src(sink.m_bytes, step, sink.m_bytes.size());
        zk::SerialArchive in(src, Latin1);
        for (const auto& t : texts)
            EXPECT_EQ(in.ReadString(), t);
        EXPECT_TRUE(in.Ok());
    }
}

TEST(SerialArchive, SourceShorterThanItsSizeFailsTheRead)
{
    Bytes bytes = Store(u"abcdef");
    bytes.resize(bytes.size() - 2);
    TrickleSource src(bytes, 3, bytes.size() + 2);
    zk::SerialArchive in(src, Latin1);
    EXPECT_EQ(in.ReadString(), u"");
    EXPECT_FALSE(in.Ok());
}

TEST(SerialArchive, FailedSinkWriteIsReported)
{
    RecordingSink sink;
    sink.m_failAfter = 0;
    zk::SerialArchive out(sink);
    out.WriteString(std::u16string(3000, u'x')); // more than one buffer
    EXPECT_FALSE(out.Flush());
    EXPECT_FALSE(out.Ok());
}

} // namespace
