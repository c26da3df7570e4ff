#pragma once
// What both programs do before their first window, in this order, and undo
// in reverse at the end: DLLs only from the system folder, COM on the window
// thread, the common controls the program's windows use.

#include <windows.h>

#include <cstdint>
#include <string>

namespace zk {

class CAppStartup {
public:
    // The builder initialises COM for its apartment; the extractor needs OLE
    // as well (dropping files on its destination field).
    enum ComKind : uint8_t { COM_APARTMENT, COM_OLE };

    // commonControls: ICC_* classes for InitCommonControlsEx.
    CAppStartup(ComKind com, DWORD commonControls);
    ~CAppStartup();
    CAppStartup(const CAppStartup&) = delete;
    CAppStartup& operator=(const CAppStartup&) = delete;

    // The running program's own path, read into one buffer of PATH_CHARS
    // characters. False, with the system error recorded (GetLastErrorText),
    // when the call fails or the path does not fit: a folder derived from a
    // cut path would be wrong.
    static bool ProgramPath(std::wstring* path);

private:
    ComKind m_nCom;
    bool m_bComInitialised = false;
};

} // namespace zk
