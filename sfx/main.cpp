#include <windows.h>

#include "sfx/ui/main_dialog.h"
#include "sfx/ui/startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    zk::SetMainDialogRunner([instance](zk::ArchiveState& state) { zk::RunMainDialog(instance, state); });
    return zk::RunExtractor(instance);
}
