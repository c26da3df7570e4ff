#pragma once
// Files, volume files and hashes that tell their user about every system
// failure as it happens (the program's "[Error:...]" box), for the workers
// whose failures the user must see before the run ends. The wrapped objects
// keep their own error texts for the error log.

#include <memory>

#include "core/pipeline.h"
#include "core/user_message.h"
#include "core/volume_io.h"

namespace zk {

std::unique_ptr<IByteFile> ReportingByteFile(std::unique_ptr<IByteFile> inner, IUserDialogue& dialogue);
std::unique_ptr<IVolumeFiles> ReportingVolumeFiles(std::unique_ptr<IVolumeFiles> inner, IUserDialogue& dialogue);
std::unique_ptr<IFileHash> ReportingHash(std::unique_ptr<IFileHash> inner, IUserDialogue& dialogue);

} // namespace zk
