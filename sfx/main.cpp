#include <windows.h>

#include "sfx/main_dialog.h"
#include "sfx/startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    zk::SetMainDialogRunner([instance](zk::ArchiveState& state) { zk::RunMainDialog(instance, state); });
    return zk::RunExtractor(instance);
}
