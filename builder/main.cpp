#include <windows.h>

// The wizard arrives with the builder's window layer; until then the program
// says what it is.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    MessageBoxW(nullptr, L"ゼルコラ 書庫作成ツール", L"ゼルコラ", MB_OK | MB_ICONINFORMATION);
    return 0;
}
