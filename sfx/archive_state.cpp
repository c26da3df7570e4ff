#include "sfx/archive_state.h"

#include <algorithm>

#include "core/block_decoder.h"
#include "core/block_size.h"

namespace zk {

ArchiveState::ArchiveState()
{
    m_root.m_nKind = KIND_ROOT;
    m_root.m_nFirstChildOffset = FIRST_RECORD;
    GetSystemInfo(&m_sysInfo);

    // Allocated once: extraction never allocates per piece.
    uint32_t b = BlockSizeFor(m_sysInfo.dwAllocationGranularity);
    m_buffers.m_nBlockSize = b;
    m_buffers.m_lz4Output.resize(2 * static_cast<size_t>(b));
    m_buffers.m_lz4Input.resize(std::max(Lz4OutputBound(b), DecodeInputSize(b)));
    m_buffers.m_spare.resize(b);
    m_buffers.m_streamBuffer.resize(2 * static_cast<size_t>(b));
}

void ArchiveState::Reset()
{
    WorkBuffers buffers = std::move(m_buffers);
    SYSTEM_INFO info = m_sysInfo;
    m_listNodes.clear();
    *this = ArchiveState(NoBuffers{});
    m_sysInfo = info;
    m_buffers = std::move(buffers);
}

ArchiveState::ArchiveState(NoBuffers)
{
    m_root.m_nKind = KIND_ROOT;
    m_root.m_nFirstChildOffset = FIRST_RECORD;
}

ArchiveState& TheArchiveState()
{
    static ArchiveState state;
    return state;
}

} // namespace zk
