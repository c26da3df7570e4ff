#include <windows.h>

#include "sfx/ui/startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    return zk::RunExtractor(instance);
}
