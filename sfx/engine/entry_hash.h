#pragma once
// The SHA-256 an extracted file is checked with: the system's, with its
// failures shown where they happen.

#include <memory>

#include "core/pipeline.h"
#include "core/pipeline_platform.h"

namespace zk {

inline std::unique_ptr<IFileHash> CreateEntryHash()
{
    return MakeSystemSha256(true);
}

} // namespace zk
