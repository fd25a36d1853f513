// shell-probe.exe: exits 0 when the desktop's shell can be reached the way a setup
// program reaches it to start a program as the signed-in user (the shell windows'
// desktop entry), else 1. The installer tests wait for it before they install.

#include <windows.h>

#include <exdisp.h>
#include <objbase.h>
#include <shlguid.h>

int wmain() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 2;
    }
    int status = 1;
    IShellWindows* windows = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IShellWindows,
                                   reinterpret_cast<void**>(&windows)))) {
        VARIANT empty{};
        VariantInit(&empty);
        long window = 0;
        IDispatch* desktop = nullptr;
        if (windows->FindWindowSW(&empty, &empty, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                                  &desktop) == S_OK &&
            desktop != nullptr) {
            status = 0;
            desktop->Release();
        }
        windows->Release();
    }
    CoUninitialize();
    return status;
}
