#pragma once
// The pipeline's file and hash interfaces over the Windows file wrappers and
// CryptoAPI, as the build uses them.

#include <windows.h>

#include <memory>

#include "core/pipeline.h"
#include "core/volume_io.h"

namespace zk {

// An open file handle, not owned.
std::unique_ptr<IByteFile> WrapFile(HANDLE h);

// Volume files of a split archive (created with read and write access,
// others may read; opened for reading, others may read and write).
std::unique_ptr<IVolumeFiles> MakeVolumeFiles();

// SHA-256 through the system's cryptographic provider.
std::unique_ptr<IFileHash> MakeFileHash();

} // namespace zk
