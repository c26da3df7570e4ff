#include "sfx/engine/command_line.h"

#include "sfx/engine/sfx_switches.h"

namespace zk {

std::vector<std::wstring> SplitSfxCommandLine(const wchar_t* line)
{
    std::vector<std::wstring> args;
    if (!line) return args;
    const wchar_t* p = line;
    auto atEnd = [](const wchar_t* q) { return *q == L'\0' || *q == L'\n'; };

    while (!atEnd(p) && args.size() < SFX_MAX_ARGUMENTS) {
        if (*p == L' ') {
            ++p;
            continue;
        }
        std::wstring arg;
        if (*p == L'"') {
            ++p;
            while (!atEnd(p)) {
                if (*p == L'"') {
                    if (p[1] == L'"') {
                        arg += L'"';
                        p += 2;
                        continue;
                    }
                    if (p[1] == L' ' || atEnd(p + 1)) {
                        ++p;
                        break;
                    }
                }
                arg += *p++;
            }
        } else {
            while (!atEnd(p) && *p != L' ')
                arg += *p++;
        }
        if (arg.size() > SFX_MAX_ARGUMENT_CHARS) arg.resize(SFX_MAX_ARGUMENT_CHARS);
        if (!arg.empty()) args.push_back(std::move(arg));
    }
    return args;
}

std::wstring ArchivePathFromCommandLine(const wchar_t* line)
{
    return ParseSfxArguments(SplitSfxCommandLine(line)).m_strArchivePath;
}

} // namespace zk
