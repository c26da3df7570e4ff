#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <iostream>
#include <vector>

#include "cli/cli_text.h"
#include "cli/terminal.h"

#ifdef __APPLE__
#include <mach-o/dyld.h>
#endif

namespace zk {

bool StdinIsTerminal()
{
    return isatty(STDIN_FILENO) != 0;
}

bool StderrIsTerminal()
{
    return isatty(STDERR_FILENO) != 0;
}

int TerminalWidth()
{
    winsize size = {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

bool ReadAnswerLine(std::string* line)
{
    return static_cast<bool>(std::getline(std::cin, *line));
}

bool ReadPasswordNoEcho(const std::string& prompt, std::wstring* password)
{
    WriteErr(prompt);
    termios saved = {};
    const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool ok = static_cast<bool>(std::getline(std::cin, line));
    if (terminal) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    *password = Utf8ToWide(line);
    std::fill(line.begin(), line.end(), '\0');
    return ok;
}

std::wstring ProgramPath()
{
#ifdef __APPLE__
    uint32_t size = 0;
    _NSGetExecutablePath(nullptr, &size);
    std::vector<char> buffer(size + 1);
    if (_NSGetExecutablePath(buffer.data(), &size) == 0) return Utf8ToWide(buffer.data());
    return std::wstring();
#else
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), PATH_MAX);
    if (n <= 0) return std::wstring();
    return Utf8ToWide(std::string_view(buffer.data(), static_cast<size_t>(n)));
#endif
}

void WriteOut(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void WriteErr(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
}

void PrepareConsole() {}

} // namespace zk
