#include <windows.h>

#include "builder/builder_app.h"

// Constructed before wWinMain runs, so COM is initialised for the whole
// process and released after everything else has ended.
static CBuilderApp theApp;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    // Without its own path the program cannot find its settings or the
    // extractor: it ends without a window.
    if (theApp.Prepare() != 0) return 1;
    // The wizard arrives with the builder's window layer; until then the
    // program says what it is.
    MessageBoxW(nullptr, L"ゼルコラ 書庫作成ツール", L"ゼルコラ", MB_OK | MB_ICONINFORMATION);
    return 0;
}
