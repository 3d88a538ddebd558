// Plugferry.cpp - the installer program: copies the plug-in into the plug-in
// folders of the image editors found on this machine, or removes it.
//
// Usage: Plugferry.exe [remove]
#include "InstallerDialog.h"

#include <commctrl.h>

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR pCommandLine, int)
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    plugferry::CInstallerDialog dialog(hInstance, plugferry::IsRemoveCommand(pCommandLine));
    return dialog.Run() == IDOK ? 0 : 1;
}
