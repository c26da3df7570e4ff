#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/memory_files.h"
#include "core/record_window.h"

namespace zk {
namespace {

// Counts the calls that reach the file.
class CountingFile : public IByteFile {
public:
    explicit CountingFile(MemoryFile& file) : m_file(file) {}
    int64_t Read(void* dst, uint32_t count) override { return ++m_nReads, m_file.Read(dst, count); }
    int64_t Write(const void* src, uint32_t count) override { return ++m_nWrites, m_file.Write(src, count); }
    bool SeekTo(uint64_t pos) override { return m_file.SeekTo(pos); }
    std::u16string LastErrorText() const override { return m_file.LastErrorText(); }
    int m_nReads = 0;
    int m_nWrites = 0;

private:
    MemoryFile& m_file;
};

struct Op {
    char kind; // 'W' writes n bytes at pos, 'R' reads n bytes at pos, 'F' flushes
    size_t pos;
    size_t n;
};

struct Script {
    const char* name;
    std::vector<Op> ops;
};

// Every script runs against a window of 64 bytes that jumps with 16, and
// against a plain byte string that says what the file must hold.
TEST(RecordWindow, ReadsAndWritesLikeTheFileItself)
{
    const std::vector<Script> scripts = {
        {"appends written back in pieces",
         {{'W', 0, 20}, {'W', 20, 20}, {'W', 40, 20}, {'W', 60, 20}, {'W', 80, 50}, {'W', 130, 7}}},
        {"fields of a record across the window's end",
         {{'W', 0, 60},
          {'W', 60, 60},
          {'W', 120, 60},
          {'F', 0, 0},
          {'R', 50, 9},
          {'R', 59, 8},
          {'R', 67, 2},
          {'R', 69, 40},
          {'R', 109, 30}}},
        {"rewrite in place keeps its neighbours",
         {{'W', 0, 60},
          {'W', 60, 60},
          {'W', 120, 60},
          {'R', 40, 20},
          {'W', 40, 20},
          {'R', 30, 40},
          {'W', 110, 20},
          {'R', 100, 40}}},
        {"jumps outside the window",
         {{'W', 0, 60},
          {'W', 60, 60},
          {'W', 120, 60},
          {'F', 0, 0},
          {'R', 170, 10},
          {'R', 3, 12},
          {'W', 100, 9},
          {'R', 0, 60},
          {'R', 150, 30}}},
        {"more than the window at once",
         {{'W', 0, 30}, {'W', 20, 100}, {'R', 0, 150}, {'W', 10, 5}, {'R', 0, 64}, {'R', 0, 120}}},
        {"at and past the end", {{'W', 0, 50}, {'R', 40, 20}, {'R', 50, 4}, {'W', 70, 10}, {'R', 45, 40}}},
    };
    for (const Script& script : scripts) {
        SCOPED_TRACE(script.name);
        auto data = std::make_shared<std::vector<uint8_t>>();
        MemoryFile file(data);
        RecordWindow window(file, 0, 64, 16);
        std::vector<uint8_t> model;
        uint8_t stamp = 0;
        for (size_t i = 0; i < script.ops.size(); ++i) {
            const Op& op = script.ops[i];
            SCOPED_TRACE(testing::Message() << "step " << i);
            window.Seek(op.pos);
            if (op.kind == 'F') {
                ASSERT_TRUE(window.Flush());
            } else if (op.kind == 'W') {
                std::vector<uint8_t> bytes(op.n);
                for (uint8_t& b : bytes)
                    b = ++stamp | 1; // never 0, so that a gap's zeros show
                ASSERT_TRUE(window.Write(bytes.data(), bytes.size()));
                if (model.size() < op.pos + op.n) model.resize(op.pos + op.n);
                std::copy(bytes.begin(), bytes.end(), model.begin() + static_cast<ptrdiff_t>(op.pos));
            } else {
                std::vector<uint8_t> got(op.n, 0xEE);
                const int64_t n = window.Read(got.data(), got.size());
                const size_t expected = op.pos >= model.size() ? 0 : std::min(op.n, model.size() - op.pos);
                ASSERT_EQ(n, static_cast<int64_t>(expected));
                got.resize(expected);
                EXPECT_EQ(got,
                          std::vector<uint8_t>(model.begin() + static_cast<ptrdiff_t>(op.pos),
                                               model.begin() + static_cast<ptrdiff_t>(op.pos + expected)));
            }
            EXPECT_EQ(window.Position(),
                      op.kind == 'R' ? std::min<uint64_t>(op.pos + op.n, model.size()) : op.pos + op.n);
            EXPECT_EQ(window.Size(), model.size());
        }
        ASSERT_TRUE(window.Flush());
        EXPECT_EQ(*data, model);
    }
}

// The point of the window: thousands of records in a handful of calls.
TEST(RecordWindow, RecordsInFileOrderCostAFewCalls)
{
    auto data = std::make_shared<std::vector<uint8_t>>();
    MemoryFile memory(data);
    CountingFile file(memory);
    RecordWindow window(file, 0);
    std::vector<uint8_t> record(100);
    for (int i = 0; i < 5000; ++i) {
        record[0] = static_cast<uint8_t>(i);
        ASSERT_TRUE(window.Write(record.data(), record.size()));
    }
    ASSERT_TRUE(window.Flush());
    EXPECT_EQ(data->size(), 500000u);
    EXPECT_LE(file.m_nWrites, 2);
    EXPECT_EQ(file.m_nReads, 0);

    // The data phase: every record read, then rewritten where it lies.
    file.m_nWrites = 0;
    for (int i = 0; i < 5000; ++i) {
        window.Seek(uint64_t{100} * i);
        ASSERT_TRUE(window.ReadExact(record.data(), record.size()));
        ASSERT_EQ(record[0], static_cast<uint8_t>(i));
        record[1] = 0x5A;
        window.Seek(uint64_t{100} * i);
        ASSERT_TRUE(window.Write(record.data(), record.size()));
    }
    ASSERT_TRUE(window.Flush());
    EXPECT_LE(file.m_nReads, 4);
    EXPECT_LE(file.m_nWrites, 3);
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ((*data)[100 * i + 1], 0x5A);
}

TEST(RecordWindow, FailuresOfTheFileAreSurfaced)
{
    {
        SCOPED_TRACE("a full disk: the write that moves the window on, then Flush");
        auto data = std::make_shared<std::vector<uint8_t>>();
        MemoryFile file(data);
        file.LimitSize(90);
        RecordWindow window(file, 0, 64, 16);
        std::vector<uint8_t> bytes(60, 7);
        EXPECT_TRUE(window.Write(bytes.data(), 60)); // held
        EXPECT_TRUE(window.Write(bytes.data(), 60)); // the first 60 go out
        EXPECT_FALSE(window.Write(bytes.data(), 60)) << "bytes 60 to 120 do not fit";
        EXPECT_FALSE(window.Flush()) << "what is held still does not fit";
    }
    {
        SCOPED_TRACE("a read that fails");
        auto data = std::make_shared<std::vector<uint8_t>>(200, 1);
        MemoryFile file(data);
        file.FailReadsAfter(100);
        RecordWindow window(file, 200, 64, 16);
        uint8_t out[20];
        window.Seek(90);
        EXPECT_EQ(window.Read(out, 20), -1);
        EXPECT_FALSE(window.ReadExact(out, 20));
        window.Seek(0);
        EXPECT_EQ(window.Read(out, 10), 10) << "the bytes before the damage still read";
    }
}

} // namespace
} // namespace zk
