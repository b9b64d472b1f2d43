// Corvil Switcher.exe: Corvil Switcher in plain Win32.
#include <windows.h>

#include "Corvil_0100_Interface.h"
#include "SwitcherApp0100.h"
#include "win32_toolkit.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    corvil::switcher::win32::Win32Toolkit toolkit(instance);
    corvil::switcher::Corvil_0100_Interface corvhid;
    corvil::switcher::SwitcherApp0100 app(toolkit, corvhid);
    return app.Main();
}
