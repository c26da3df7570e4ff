// The cost of starting a Windows program at all, so that the archive
// benchmark can tell the platform's start-up from our own work. With
// "--window" it also creates, shows and destroys one top-level window, as
// both of our programs do before their first byte of real work; with
// "--console" it returns at once.

#include <windows.h>

#include <cstring>

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--window") == 0) {
        HWND hwnd = CreateWindowExW(0, L"STATIC", L"baseline", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 200,
                                    nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!hwnd) return 1;
        UpdateWindow(hwnd);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        DestroyWindow(hwnd);
    }
    return 0;
}
