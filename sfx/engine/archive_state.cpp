#include "sfx/engine/archive_state.h"

#include <algorithm>

#include "core/block_decoder.h"
#include "core/block_size.h"

namespace zk {

ArchiveState::ArchiveState()
{
    m_root.m_nKind = KIND_ROOT;
    m_root.m_nFirstChildOffset = FIRST_RECORD;

    // Allocated once: extraction never allocates per piece.
    uint32_t b = SystemBlockSize();
    m_buffers.m_nBlockSize = b;
    m_buffers.m_lz4Output = RawBytes(2 * static_cast<size_t>(b));
    m_buffers.m_lz4Input = RawBytes(std::max(Lz4OutputBound(b), DecodeInputSize(b)));
    m_buffers.m_spare = RawBytes(b);
    m_buffers.m_streamBuffer = RawBytes(2 * static_cast<size_t>(b));
}

int RecordFailure(WorkerContext& ctx, ArchiveState& state, uint32_t flag, const std::wstring& path,
                  const std::wstring& message)
{
    state.m_nErrorFlags |= flag;
    ctx.m_nFailed = 1;
    if (ctx.m_strFailingPath.empty() && ctx.m_strMessage.empty()) {
        ctx.m_strFailingPath = path;
        ctx.m_strMessage = message;
    }
    return 1;
}

} // namespace zk
