#pragma once
// The tool's command line: one subcommand, its operands and options. Every
// mistake is a usage error (exit code 2) with one line that names it.

#include <cstdint>
#include <string>
#include <vector>

namespace zk {

enum class CliCommand : uint8_t { NONE, LIST, TEST, EXTRACT, PACK };
enum : uint8_t { OVERWRITE_ASK, OVERWRITE_ALL, OVERWRITE_NONE };

struct CliOptions {
    CliCommand m_nCommand = CliCommand::NONE;
    bool m_bHelp = false;
    bool m_bVersion = false;
    bool m_bQuiet = false;
    bool m_bJson = false;
    std::wstring m_strArchive;             // list, test, extract
    std::vector<std::wstring> m_listPaths; // extract: entries; pack: sources
    std::wstring m_strDestination;         // extract -d
    bool m_bPassword = false;
    std::wstring m_strPassword;
    std::wstring m_strPasswordFile;
    bool m_bCodePage = false;
    uint32_t m_nCodePage = 0;
    uint32_t m_nThreads = 0; // 0: ZELKORA_THREADS, else every core
    uint8_t m_nOverwrite = OVERWRITE_ASK;
    // pack
    std::wstring m_strOutput;
    uint8_t m_nCompressKind = 1;  // 0 LZ4, 1 Deflate
    uint8_t m_nCompressLevel = 0; // 0 standard, 1 high
    bool m_bNoHash = false;
    bool m_bNoVerify = false;
    uint32_t m_nSplitMB = 0;
    std::wstring m_strTitle;
    std::wstring m_strComment;
    std::wstring m_strSfxDest;
    bool m_bNoUi = false;
    bool m_bShowList = false;
    bool m_bHidden = false;
    std::wstring m_strStub;
};

// Largest volume size --split takes, in MiB (what the Windows builder takes).
constexpr uint32_t CLI_MAX_SPLIT_MB = 32768;

// args without the program name. 0, or 2 with *error naming the mistake.
// "--help" and "--version" end the checks: what else is wrong is not
// reported then.
int ParseCliArgs(const std::vector<std::wstring>& args, CliOptions* options, std::string* error);

// The help text of the tool (NONE) or of one subcommand.
std::string CliHelpText(CliCommand command);

std::string CliVersionText();

} // namespace zk
