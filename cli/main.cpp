// zelkora: lists, tests, extracts and packs archives from a command line.

#include <exception>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "cli/cli_text.h"
#include "cli/terminal.h"
#include "core/exit_codes.h"

namespace {

int Run(std::vector<std::wstring> args)
{
    zk::PrepareConsole();
    try {
        return zk::RunCli(args);
    } catch (const std::exception& e) {
        zk::WriteErr(std::string("zelkora: ") + e.what() + "\n");
    } catch (...) {
        zk::WriteErr("zelkora: unexpected failure\n");
    }
    return zk::EXIT_CODE_FAILED;
}

} // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return Run(std::move(args));
}
#else
int main(int argc, char** argv)
{
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(zk::Utf8ToWide(argv[i]));
    return Run(std::move(args));
}
#endif
