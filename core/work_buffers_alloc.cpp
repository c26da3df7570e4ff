#include "core/work_buffers.h"

#include "core/archive_key.h"
#include "core/file_io.h"

#include <cstdlib>

namespace zk {

namespace {

uint8_t* g_work[2] = {nullptr, nullptr};
uint32_t g_workSize = 0;
void* g_codec[CODEC_BUFFER_COUNT] = {};

void FreeTwo()
{
    for (uint8_t*& p : g_work) {
        std::free(p);
        p = nullptr;
    }
    g_workSize = 0;
}

} // namespace

uint32_t AllocWorkBuffers(uint64_t size)
{
    FreeTwo();
    if (size == 0) {
        const int64_t physical = TotalPhysicalMemory();
        size = physical > 0 ? static_cast<uint64_t>(physical) / 2 : 0;
    }
    const uint32_t each = WorkBufferSizeFor(size);
    g_work[0] = static_cast<uint8_t*>(std::malloc(each));
    g_work[1] = static_cast<uint8_t*>(std::malloc(each));
    if (!g_work[0] || !g_work[1]) {
        FreeWorkBuffers();
        return 0;
    }
    g_workSize = each;
    return each;
}

void FreeWorkBuffers()
{
    ClearArchiveKey();
    FreeTwo();
    for (void*& p : g_codec) {
        std::free(p);
        p = nullptr;
    }
}

uint8_t* WorkBuffer(int index)
{
    return index == 0 || index == 1 ? g_work[index] : nullptr;
}

uint32_t WorkBufferSize()
{
    return g_workSize;
}

void* AllocCodecBuffer(int index, size_t size)
{
    if (index < 0 || index >= CODEC_BUFFER_COUNT) return nullptr;
    std::free(g_codec[index]);
    g_codec[index] = std::malloc(size ? size : 1);
    return g_codec[index];
}

void* CodecBuffer(int index)
{
    return index >= 0 && index < CODEC_BUFFER_COUNT ? g_codec[index] : nullptr;
}

} // namespace zk
