#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/decode_ahead.h"

namespace zk {
namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t BLOCK = 64;

long long MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The bytes entry e puts: its pieces, one after the other, of a pattern no
// other entry shares.
struct EntryPlan {
    std::vector<uint32_t> listPieces; // sizes of the Put calls
    int nResult = 0;
    bool bThrows = false;
};

std::vector<uint8_t> Bytes(size_t entry, const EntryPlan& plan)
{
    std::vector<uint8_t> out;
    for (uint32_t n : plan.listPieces)
        for (uint32_t i = 0; i < n; ++i)
            out.push_back(static_cast<uint8_t>(entry * 31 + out.size() * 7));
    return out;
}

DecodeAhead::Job JobFor(size_t entry, const EntryPlan& plan, std::atomic<int>* ran = nullptr)
{
    return [entry, plan, ran](IDecodeSink& sink) {
        const std::vector<uint8_t> bytes = Bytes(entry, plan);
        size_t at = 0;
        for (uint32_t n : plan.listPieces) {
            if (sink.Put(bytes.data() + at, n) != 0) return 99;
            at += n;
        }
        if (ran) ++*ran;
        if (plan.bThrows) throw std::runtime_error("decoder broke");
        return plan.nResult;
    };
}

struct Collect : IDecodeSink {
    int Put(const uint8_t* b, uint32_t n) override
    {
        // A writer slower than the decoder, which therefore fills the ring.
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        if (n > BLOCK) ++m_nOversized;
        m_bytes.insert(m_bytes.end(), b, b + n);
        return ++m_nPuts == m_nRefuseAt ? 1 : 0;
    }
    std::vector<uint8_t> m_bytes;
    int m_nPuts = 0;
    int m_nRefuseAt = 0; // refuse that Put (1-based); 0 never
    int m_nOversized = 0;
};

// What the writing side does with an entry.
enum Take { DELIVER, SKIP, REFUSE_SECOND_PIECE };

struct Case {
    const char* name;
    std::vector<EntryPlan> entries;
    std::vector<Take> takes; // DELIVER when shorter
};

// Entries of no, one and many blocks, larger than the ring, failing, skipped
// and refused, more of them than may wait at once: each delivered entry
// comes whole and alone, with its own result, in the order it was added.
TEST(DecodeAhead, DeliversEveryEntryWholeAndInOrder)
{
    const std::vector<uint32_t> many = {BLOCK, 1, 3 * BLOCK + 5, BLOCK - 1, 40, BLOCK};
    const std::vector<uint32_t> huge(40, BLOCK); // ten rings
    const Case cases[] = {
        {"empty entry", {{{}, 0}}, {}},
        {"one byte", {{{1}, 0}}, {}},
        {"many pieces", {{many, 0}, {{7}, 0}}, {}},
        {"ten rings of whole blocks", {{huge, 0}, {{BLOCK}, 0}}, {}},
        {"damaged third of five", {{many, 0}, {{5}, 0}, {many, 3}, {{BLOCK}, 0}, {{}, 0}}, {}},
        {"skipped large entry", {{{9}, 0}, {huge, 0}, {many, 0}}, {DELIVER, SKIP, DELIVER}},
        {"skipped empty entry", {{{}, 0}, {{3}, 0}}, {SKIP, DELIVER}},
        {"refused in the middle", {{huge, 0}, {many, 0}}, {REFUSE_SECOND_PIECE, DELIVER}},
        {"threw", {{{4}, 0, true}, {{4}, 0}}, {}},
        {"more entries than may wait", std::vector<EntryPlan>(23, EntryPlan{{5, BLOCK}, 0}), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<DecodeAhead> ahead = DecodeAhead::Create(BLOCK, 4, 3, nullptr);
        ASSERT_TRUE(ahead);
        size_t added = 0;
        for (size_t e = 0; e < c.entries.size(); ++e) {
            while (added < c.entries.size() && ahead->HasRoom()) {
                ahead->Add(JobFor(added, c.entries[added]));
                ++added;
            }
            EXPECT_LE(ahead->Waiting(), 3u);
            const Take take = e < c.takes.size() ? c.takes[e] : DELIVER;
            if (take == SKIP) {
                ahead->Skip();
                continue;
            }
            Collect sink;
            if (take == REFUSE_SECOND_PIECE) sink.m_nRefuseAt = 2;
            int result = -5;
            const DecodeAhead::DeliverResult r = ahead->Deliver(sink, &result);
            EXPECT_EQ(sink.m_nOversized, 0);
            if (take == REFUSE_SECOND_PIECE) {
                EXPECT_EQ(r, DecodeAhead::DELIVER_REFUSED) << e;
                EXPECT_EQ(sink.m_nPuts, 2) << e;
                continue;
            }
            ASSERT_EQ(r, DecodeAhead::DELIVER_DONE) << e;
            EXPECT_EQ(sink.m_bytes, Bytes(e, c.entries[e])) << e;
            EXPECT_EQ(result, c.entries[e].bThrows ? DecodeAhead::JOB_THREW : c.entries[e].nResult) << e;
        }
        EXPECT_EQ(ahead->Waiting(), 0u);
        Collect none;
        int result = 0;
        EXPECT_EQ(ahead->Deliver(none, &result), DecodeAhead::DELIVER_CANCELLED);
    }
}

// The point of it: later entries are decoded, and a damaged one found,
// while the first still waits to be written; its failure still comes last.
TEST(DecodeAhead, DecodesAheadButReportsAFailureOnlyInItsTurn)
{
    std::unique_ptr<DecodeAhead> ahead = DecodeAhead::Create(BLOCK, 8, 8, nullptr);
    ASSERT_TRUE(ahead);
    std::atomic<int> ran{0};
    const std::vector<EntryPlan> plans = {{{BLOCK}, 0}, {{10, 20}, 0}, {{BLOCK, 3}, 7}, {{2}, 0}};
    for (size_t e = 0; e < plans.size(); ++e)
        ahead->Add(JobFor(e, plans[e], &ran));
    const Clock::time_point start = Clock::now();
    while (ran.load() < 4 && MillisecondsSince(start) < 2000)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(ran.load(), 4);
    for (size_t e = 0; e < plans.size(); ++e) {
        Collect sink;
        int result = -5;
        ASSERT_EQ(ahead->Deliver(sink, &result), DecodeAhead::DELIVER_DONE);
        EXPECT_EQ(sink.m_bytes, Bytes(e, plans[e])) << e;
        EXPECT_EQ(result, plans[e].nResult) << e;
    }
}

// An entry that never ends (a decoder reading a huge file): the abort flag
// releases the writer waiting for it, and Stop the decoder, well within the
// time a user waits for a stop, whichever side was waiting.
TEST(DecodeAhead, AbortAndStopEndBothSidesPromptly)
{
    for (const bool writerBusy : {false, true}) {
        SCOPED_TRACE(writerBusy ? "decoder waits for room" : "writer waits for bytes");
        std::atomic<int32_t> abort{0};
        std::unique_ptr<DecodeAhead> ahead = DecodeAhead::Create(BLOCK, 2, 4, &abort);
        ASSERT_TRUE(ahead);
        std::atomic<bool> ended{false};
        std::atomic<bool> release{false};
        ahead->Add([&](IDecodeSink& sink) {
            uint8_t piece[BLOCK] = {};
            // A slow decoder: the writer waits for it unless it is itself busy.
            while (sink.Put(piece, BLOCK) == 0)
                if (!writerBusy) std::this_thread::sleep_for(std::chrono::milliseconds(40));
            ended = true;
            return 0;
        });
        struct Slow : IDecodeSink {
            Slow(bool busy, std::atomic<bool>& release) : m_bBusy(busy), m_release(release) {}
            int Put(const uint8_t*, uint32_t) override
            {
                while (m_bBusy && !m_release)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                m_bBusy = false;
                return 0;
            }
            bool m_bBusy;
            std::atomic<bool>& m_release;
        } sink(writerBusy, release);
        Clock::time_point asked{};
        std::thread button([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            asked = Clock::now();
            abort = 1;
            release = true;
        });
        int result = 0;
        EXPECT_EQ(ahead->Deliver(sink, &result), DecodeAhead::DELIVER_CANCELLED);
        button.join();
        EXPECT_LT(MillisecondsSince(asked), 100);
        ahead->Stop();
        EXPECT_LT(MillisecondsSince(asked), 100);
        EXPECT_TRUE(ended.load());
    }
}

} // namespace
} // namespace zk
