#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <vector>

#include "cli/cli_text.h"
#include "cli/terminal.h"

namespace zk {

namespace {

bool IsConsole(DWORD which)
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

// A line from the console as the user typed it (wide, so that any script
// works), or from a redirected stdin as UTF-8.
bool ReadLine(std::wstring* line)
{
    line->clear();
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(in, &mode)) {
        wchar_t c = 0;
        DWORD read = 0;
        while (ReadConsoleW(in, &c, 1, &read, nullptr) && read == 1) {
            if (c == L'\n') return true;
            if (c != L'\r') *line += c;
        }
        return !line->empty();
    }
    std::string bytes;
    int c = 0;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n')
        bytes += static_cast<char>(c);
    if (c == EOF && bytes.empty()) return false;
    if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
    *line = Utf8ToWide(bytes);
    SecureZeroMemory(bytes.data(), bytes.size());
    return true;
}

} // namespace

bool StdinIsTerminal()
{
    return IsConsole(STD_INPUT_HANDLE);
}

bool StderrIsTerminal()
{
    return IsConsole(STD_ERROR_HANDLE);
}

int TerminalWidth()
{
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
        return info.srWindow.Right - info.srWindow.Left + 1;
    return 80;
}

bool ReadAnswerLine(std::string* line)
{
    std::wstring wide;
    if (!ReadLine(&wide)) return false;
    *line = WideToUtf8(wide);
    return true;
}

bool ReadPasswordNoEcho(const std::string& prompt, std::wstring* password)
{
    WriteErr(prompt);
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    const bool console = GetConsoleMode(in, &mode) != 0;
    if (console) SetConsoleMode(in, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    const bool ok = ReadLine(password);
    if (console) {
        SetConsoleMode(in, mode);
        WriteErr("\n");
    }
    return ok;
}

std::wstring ProgramPath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return std::wstring();
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

void WriteOut(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void WriteErr(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void PrepareConsole()
{
    // The tool writes UTF-8 bytes; a console shows them only in its UTF-8
    // code page, and the C runtime must not translate line ends.
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
}

} // namespace zk
