#include "cli/cli_run.h"

#include "cli/cli_session.h"
#include "core/exit_codes.h"
#include "core/worker_threads.h"

namespace zk {

int RunCli(const std::vector<std::wstring>& args)
{
    CliOptions o;
    std::string error;
    if (ParseCliArgs(args, &o, &error) != 0) {
        CliError(error);
        WriteErr("Try 'zelkora --help'.\n");
        return EXIT_CODE_BAD_SWITCH;
    }
    if (o.m_bHelp) {
        WriteOut(CliHelpText(o.m_nCommand));
        return EXIT_CODE_DONE;
    }
    if (o.m_bVersion) {
        WriteOut(CliVersionText());
        return EXIT_CODE_DONE;
    }
    if (o.m_nThreads != 0) SetWorkerThreadCount(o.m_nThreads);
    switch (o.m_nCommand) {
    case CliCommand::LIST:
        return RunList(o);
    case CliCommand::TEST:
        return RunTest(o);
    case CliCommand::EXTRACT:
        return RunExtract(o);
    case CliCommand::PACK:
        return RunPack(o);
    default:
        return EXIT_CODE_BAD_SWITCH;
    }
}

} // namespace zk
