#include "builder/engine/build_verify.h"

#include "builder/engine/build_context.h"
#include "core/file_io.h"
#include "core/last_error.h"
#include "core/pipeline_platform.h"
#include "core/reporting_files.h"
#include "core/worker_threads.h"

namespace zk {

namespace {

// A source opened again by its path for the verifier: the build's own
// handle is closed by the time the verifier gets to the entry.
class PathOpener : public ISourceReopener {
public:
    explicit PathOpener(IUserDialogue& dialogue) : m_dialogue(dialogue) {}

    std::unique_ptr<IByteFile> Open(const std::u16string& path, std::u16string* failure) override
    {
        FileHandle file(OpenFile(ToWide(path).c_str(), OPENMODE_READ));
        if (!file) {
            m_dialogue.ReportSystemError();
            *failure = ToU16(LastErrorText());
            return nullptr;
        }
        return ReportingByteFile(WrapFileHandle(file.Release(), true), m_dialogue);
    }

private:
    IUserDialogue& m_dialogue;
};

} // namespace

Answer HeldDialogue::Ask(const UserMessage& message)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_messages.push_back(message);
    return ANSWER_OK;
}

void HeldDialogue::TellTo(IUserDialogue& dialogue)
{
    std::vector<UserMessage> messages;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        messages.swap(m_messages);
    }
    for (const UserMessage& message : messages)
        dialogue.Tell(message);
}

BuildVerifier::BuildVerifier() = default;
BuildVerifier::~BuildVerifier() = default;

void BuildVerifierDelete::operator()(BuildVerifier* verifier) const
{
    delete verifier;
}

VerifyBehind* VerifierFor(BuildContext& ctx)
{
    if (ctx.verifyBehind) return ctx.verifyBehind->verifier.get();
    ctx.verifyBehind.reset(new BuildVerifier);
    if (WorkerThreadCount() < 2) return nullptr;
    BuildVerifier& bv = *ctx.verifyBehind;
    bv.files = std::make_unique<CachedVolumeFiles>(ReportingVolumeFiles(MakeVolumeFiles(), bv.held));
    bv.opener = std::make_unique<PathOpener>(bv.held);
    VerifySetup setup;
    setup.nBlockSize = ctx.buffers->BlockSize();
    setup.set = ctx.writer.m_set;
    setup.set.m_pFiles = bv.files.get();
    setup.pWritten = &bv.written;
    setup.pOpener = bv.opener.get();
    setup.pCipher = ctx.pipe.m_pCipher;
    setup.pCancel = ctx.pipe.m_pCancel;
    bv.verifier = VerifyBehind::Create(setup);
    if (!bv.verifier) return nullptr;
    // Everything written through so far is there for the verifier's
    // handles; the buffered rest is published when it is flushed.
    bv.written.Publish(ctx.writer.m_nStreamBytes - ctx.writer.m_nBuffered);
    ctx.writer.m_pWritten = &bv.written;
    ctx.pipelineProgress.Follow(bv.verifier.get());
    return bv.verifier.get();
}

int CheckVerifier(BuildContext& ctx)
{
    VerifyBehind* verifier = ctx.verifyBehind ? ctx.verifyBehind->verifier.get() : nullptr;
    if (!verifier || !verifier->Failed()) return 0;
    ctx.pipe.m_failure = verifier->Failure();
    return 1;
}

int VerifyBehindEntry(BuildContext& ctx, const std::u16string& path, const PipelineEntry& entry,
                      uint8_t method, std::shared_ptr<std::vector<uint8_t>> sourceBytes)
{
    BuildVerifier& bv = *ctx.verifyBehind;
    VerifyJob job;
    job.strSourcePath = path;
    job.pSourceBytes = std::move(sourceBytes);
    job.nMethod = method;
    job.entry = entry;
    bv.strLastPath = path;
    bv.nHandedEnd = entry.m_nDataOffset + entry.m_nStoredSize;
    ctx.pipelineProgress.RelayVerify();
    // The verifier reads only what is written through, and Submit may wait
    // for it: flushed first then, so that it never waits for bytes in the
    // buffer. A small entry otherwise stays buffered, and is verified once
    // the buffer fills (one write for many entries); a large one is
    // flushed at once, so that the verifier starts on it while the writer
    // goes on.
    const bool flush = !job.pSourceBytes || !bv.verifier->HasRoom(job);
    if (flush && FlushStream(ctx.writer) != 0) return 1;
    if (bv.verifier->Submit(std::move(job))) return 0;
    CheckVerifier(ctx);
    return 1;
}

int FinishVerifyBehind(BuildContext& ctx, int written)
{
    BuildVerifier* bv = ctx.verifyBehind.get();
    if (!bv || !bv->verifier) return written;
    VerifyBehind& verifier = *bv->verifier;
    // Entries handed over may have their bytes still in the buffer (after a
    // failure of a later entry the data phase flushed nothing): written
    // through, so that a difference in one of them wins over the later
    // failure. Nothing is written past the last of them that was not
    // written already, and nothing at all after a cancel.
    if (written != 0 && !ctx.Cancelled() &&
        ctx.writer.m_nStreamBytes - ctx.writer.m_nBuffered < bv->nHandedEnd) {
        const FailureInfo failure = ctx.pipe.m_failure;
        FlushStream(ctx.writer);
        ctx.pipe.m_failure = failure;
    }
    verifier.WritesEnded();
    while (!verifier.WaitIdle(50))
        ctx.pipelineProgress.RelayVerify();
    verifier.Stop();
    ctx.pipelineProgress.RelayVerify();
    ctx.writer.m_pWritten = nullptr;
    // Nothing reads the volumes after this, and a kept handle would stand in
    // the way of deleting them after a failure.
    bv->files->Release();
    if (ctx.Cancelled()) {
        if (written == 0) Fail(ctx, ToWide(bv->strLastPath));
        return 1;
    }
    if (!verifier.Failed()) return written;
    const FailureInfo failure = verifier.Failure();
    bv->held.TellTo(ctx.dialogue);
    ctx.strFailingPath = ToWide(failure.m_strPath);
    ctx.strFailureMessage = ToWide(failure.m_strMessage);
    if (ctx.strFailureMessage.empty()) ctx.strFailureMessage = LastErrorText();
    return 1;
}

} // namespace zk
