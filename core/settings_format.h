#pragma once
// The layouts of the builder's two settings files, "Zelkora.env" (how archives
// are built) and "Zelkora.sav" (what was last chosen to build), as plain field
// bundles. The builder's records copy themselves to and from these bundles;
// the reading and writing of bytes lives here so that it can be tested and
// fuzzed without the platform.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/serial_archive.h"

namespace zk {

constexpr int32_t ENV_SCHEMA = 102;
constexpr int32_t PRM_SCHEMA = 100;

// The fourteen one-byte settings, in the order of the file.
enum EnvFlag {
    ENV_VERIFY,
    ENV_HASH,
    ENV_COMPRESS_KIND,
    ENV_COMPRESS_LEVEL,
    ENV_LONG_NAMES,
    ENV_SHIFT_JIS_NAMES,
    ENV_INCLUDE_HIDDEN,
    ENV_RESERVED,
    ENV_USE_EXCLUSIONS,
    ENV_NO_COMPLETION_PAGE,
    ENV_AUTO_SAVE,
    ENV_SHOW_LOG_ON_ERROR,
    ENV_USE_WORK_FOLDER,
    ENV_USE_OUTPUT_FOLDER,
    ENV_FLAG_COUNT
};

struct EnvFields {
    std::array<uint8_t, ENV_FLAG_COUNT> flags{};
    std::u16string workFolder;
    std::u16string outputFolder;
    std::vector<std::u16string> reserved;   // the file's order
    std::vector<std::u16string> exclusions; // the file's order; may repeat
};

struct PrmFields {
    std::vector<std::u16string> sourcePaths;
    std::u16string archivePath;
    int32_t splitMB = 0;
    uint8_t sfxNoUI = 0;
    std::u16string sfxDestFolder;
    std::u16string sfxTitle;
    std::u16string sfxComment;
    std::u16string sfxRunAfter;
    uint8_t sfxShowList = 1;
};

// Largest volume size, in MB, a parameter file may carry.
constexpr int32_t MAX_SPLIT_MB = 32768;

// Reads an environment file into `fields`, which holds the prior values on
// entry: fields an older schema does not carry keep them. Afterwards the long
// names, Shift-JIS names and reserved flags are 0, the reserved list is empty
// and every flag is 0 or 1. Returns 0, or 1 when the bytes end early or a
// string is malformed; `fields` is then partly overwritten, so callers read
// into a copy.
int ReadEnvFields(SerialArchive& ar, EnvFields& fields);

// Writes the current schema. The reserved list is always written empty.
void WriteEnvFields(SerialArchive& ar, const EnvFields& fields);

// Reads a parameter file into `fields` (replacing the path list). Returns 0,
// or 1 when the bytes end early, a string is malformed or the volume size is
// outside 0..MAX_SPLIT_MB; `fields` is then partly overwritten.
int ReadPrmFields(SerialArchive& ar, PrmFields& fields);

void WritePrmFields(SerialArchive& ar, const PrmFields& fields);

} // namespace zk
