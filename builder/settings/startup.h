#pragma once
// What the builder is asked to pack when it starts: paths and options from
// its command line, or from the text the shell extension leaves in the
// shared block "Map_ZelkoraShl" (the extension starts the builder with
// "-M<size>[C<n>]").
//
// Fields, in order (option letters are upper case and taken from the second
// character):
//   ""                 ignored
//   -I... <folder>     base folder: later paths are taken relative to it
//   -O... <folder>     output folder for the proposed archive name
//   -M<size>[C<n>]     read the shared block (<size> bytes); n != 0 keeps the
//                      wizard on its file page instead of building at once
//   --...              a switch (builder/ui/command_switches.h), kept in order
//   -...               ignored
//   anything else      a path, normalised as a dropped path is (C:\data\ is
//                      C:\data); kept when it exists, and a drive root such
//                      as "D:\" stands for every entry in it

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/user_message.h"

// The start-up result the wizard copies before it runs.
struct StartupResult {
    std::vector<std::wstring> m_arrStartFiles;
    std::wstring m_strBaseFolder;
    std::wstring m_strCmdOutputFolder;
    int m_nStayOnFilePage = 0; // 0: build at once
    std::vector<std::wstring> m_arrSwitches;
};

// What reading the fields needs from the system; tests replace each part.
struct StartupProbe {
    std::function<bool(const std::wstring& path)> pathExists;
    // Entry names of a drive root ("D:\") in the order the file system
    // lists them ("." and ".." included when it lists them).
    std::function<std::vector<std::wstring>(const std::wstring& root)> listRoot;
    // Reads the shared block of `viewSize` bytes into `fields`. Returns 0 when
    // the block was read (fields replaced; empty when its text is not well
    // formed), 1 when it could not be opened or mapped (fields untouched).
    std::function<int(uint32_t viewSize, std::vector<std::wstring>& fields)> handoff;
};

// A path handed to the builder (dropped on the file list, or given at
// start-up) as the builder uses it: "\" appended when missing, then dropped
// unless the path ends in ":\" (C:\data\ -> C:\data, C: -> C:\).
std::wstring NormaliseDroppedPath(std::wstring path);

// "A:\" to "Z:\" with an upper-case letter: a drive root that stands for its
// entries.
bool IsUpperDriveRoot(const std::wstring& path);

// Splits a command-line-like text: blank-separated fields, double quotes
// around a field with blanks, a doubled quote inside for a quote; CR and LF
// are dropped. Fails (false) on a quoted field that is not closed.
bool SplitStartFields(std::wstring text, std::vector<std::wstring>& fields);

// Reads fields[first...] into `result`. Only one shared block is read per
// start: a "-M" field inside the block is ignored, since it would name the
// same block again.
void ReadStartFields(std::vector<std::wstring> fields, size_t first, const StartupProbe& probe,
                     StartupResult& result);

// Reads the whole command line (its first field, the program, is skipped).
// Nothing is read when the process got no argument (argc <= 1) or the text
// has an unterminated quote.
void ReadCommandLine(const std::wstring& commandLine, int argc, const StartupProbe& probe,
                     StartupResult& result);

// The shell hand-off channel: opens the named block, maps the number of
// bytes the command line gave, splits the text, unmaps and closes. Failures
// are told to the user as the system's errors.
class CShellHandoff {
public:
    static constexpr wchar_t MAPPING_NAME[] = L"Map_ZelkoraShl";

    explicit CShellHandoff(zk::IUserDialogue& dialogue) : m_dialogue(dialogue) {}
    ~CShellHandoff();
    CShellHandoff(const CShellHandoff&) = delete;
    CShellHandoff& operator=(const CShellHandoff&) = delete;

    // As StartupProbe::handoff. The text is split in place in the block
    // (the creator must not rely on it afterwards); only the bytes of the
    // view are read, and a text without its terminator inside the view
    // yields no field.
    int Read(uint32_t viewSize, std::vector<std::wstring>& fields);

    uint32_t m_nViewSize = 0;
    HANDLE m_hMapping = nullptr;
    void* m_pView = nullptr;

private:
    void ReportFailure();

    zk::IUserDialogue& m_dialogue;
};

// The probe that asks the file system and reads the real shared block.
StartupProbe SystemStartupProbe(CShellHandoff& handoff);
