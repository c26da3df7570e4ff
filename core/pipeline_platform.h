#pragma once
// The platform side of the pipeline's interfaces: open files, volume files and
// SHA-256 (the system's cryptographic service on Windows, OpenSSL's libcrypto
// elsewhere). Failures keep the system's error text for the error
// log; core/reporting_files.h wraps them to tell the user as well.

#include <memory>

#include "core/pipeline.h"
#include "core/volume_io.h"

namespace zk {

// Wraps an open file handle (a SysHandle). With owns set the handle is closed
// with the wrapper.
std::unique_ptr<IByteFile> WrapFileHandle(void* handle, bool owns);

// Volume files of an archive: created replacing any file of that name (read
// and write, others may read), opened for reading (others may read and write).
std::unique_ptr<IVolumeFiles> MakeVolumeFiles();

// SHA-256 from the platform. On Windows Begin acquires the provider and the
// hash, End reads the 32 bytes and releases both.
std::unique_ptr<IFileHash> MakeSystemSha256();

} // namespace zk
