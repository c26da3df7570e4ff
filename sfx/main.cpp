#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    MessageBoxW(nullptr, L"ゼルコラ 解凍ツール", L"ゼルコラ", MB_OK | MB_ICONINFORMATION);
    return 0;
}
