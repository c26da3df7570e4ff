#pragma once
// The few things the tool asks of the platform beyond the engines: whether
// a person sits at stdin and stderr, a password read without echo, the
// terminal's width, the tool's own path, and the output of UTF-8 text.
// terminal_win.cpp and terminal_posix.cpp implement them.

#include <string>
#include <string_view>

namespace zk {

bool StdinIsTerminal();
bool StderrIsTerminal();

// Columns of the terminal behind stderr; 80 when it cannot be told.
int TerminalWidth();

// Shows prompt on stderr and reads one line from the terminal without
// echo. False when nothing could be read (end of input).
bool ReadPasswordNoEcho(const std::string& prompt, std::wstring* password);

// One line typed on the terminal (the overwrite question's answer). False
// at end of input.
bool ReadAnswerLine(std::string* line);

// The running program's own file.
std::wstring ProgramPath();

// UTF-8 text to stdout or stderr as it is, whatever the console's code page.
void WriteOut(std::string_view text);
void WriteErr(std::string_view text);

// Once at start: what the console needs to show UTF-8.
void PrepareConsole();

} // namespace zk
