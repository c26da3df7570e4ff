#pragma once
// The verify pass behind the writer (core/verify_behind.h) in a build with
// more than one thread: each entry is handed over once it is encoded, and
// verified on the verifier's thread while the next ones are encoded. With
// one thread, or without the memory or the thread for it, every entry is
// verified in place right after its encoding.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/user_message.h"
#include "core/verify_behind.h"

namespace zk {

struct BuildContext;
class CachedVolumeFiles;

// What the verifier's thread would have told the user (a system failure
// reading a volume or a source): held, and told on the build's thread when
// that failure is the one the build ends with.
class HeldDialogue : public IUserDialogue {
public:
    Answer Ask(const UserMessage& message) override;
    void TellTo(IUserDialogue& dialogue);

private:
    std::mutex m_lock;
    std::vector<UserMessage> m_messages;
};

struct BuildVerifier {
    HeldDialogue held;
    std::unique_ptr<CachedVolumeFiles> files;
    std::unique_ptr<ISourceReopener> opener;
    WrittenMark written;
    std::u16string strLastPath; // the entry handed over last
    uint64_t nHandedEnd = 0;    // where its stored bytes end in the stream
    // Last: its thread stops before anything it uses goes away.
    std::unique_ptr<VerifyBehind> verifier;

    BuildVerifier();
    ~BuildVerifier();
};

// The build's verifier, started at the first entry that needs one; null
// when the entries are verified in place.
VerifyBehind* VerifierFor(BuildContext& ctx);
// 1 with the verifier's failure in the pipeline's when it has failed: the
// writer stops at the next entry.
int CheckVerifier(BuildContext& ctx);
// Hands an encoded entry over (0); 1 when the verifier failed (its failure
// in the pipeline's), the stream could not be flushed or the build was
// cancelled. sourceBytes: the whole source in memory, shared with the
// verifier; null: the verifier opens it again by its path.
int VerifyBehindEntry(BuildContext& ctx, const std::u16string& path, const PipelineEntry& entry,
                      uint8_t method, std::shared_ptr<std::vector<uint8_t>> sourceBytes);
// The end of the data phase, whatever written (WriteEntries's result) is:
// waits until every entry handed over is verified, so that a difference in
// an earlier entry wins over a later failure of the writer, stops the
// verifier and closes its files. Returns written, or 1 when the verifier
// failed (its failure then recorded as the build's) or the build was
// cancelled.
int FinishVerifyBehind(BuildContext& ctx, int written);

} // namespace zk
