#pragma once
// The four subcommands over the engines: list, test and extract open the
// archive through the extraction engine; pack runs the build engine. Each
// returns the tool's exit code and prints through terminal.h.

#include "cli/cli_args.h"

namespace zk {

int RunList(const CliOptions& options);
int RunTest(const CliOptions& options);
int RunExtract(const CliOptions& options);
int RunPack(const CliOptions& options);

// The whole tool: parses args (without the program name) and runs.
int RunCli(const std::vector<std::wstring>& args);

} // namespace zk
