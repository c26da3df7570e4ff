#include <windows.h>

#include "sfx/startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    return zk::RunExtractor(instance);
}
