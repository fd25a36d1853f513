// band-host.exe: shows the registered band in a taskbar-like rebar with the
// configuration in %APPDATA%\Tavisto and saves what it draws as a PNG.
//   band-host.exe <output.png> [milliseconds to run, default 3500]

#include <windows.h>

#include <gdiplus.h>
#include <objbase.h>

#include <cstdio>
#include <string>

#include "desk_band_host.h"
#include "platform/win32/gdiplus_session.h"

int wmain(int argc, wchar_t** argv) {
    using namespace tavisto::host;
    if (argc < 2) {
        std::fputs("usage: band-host.exe <output.png> [milliseconds]\n", stderr);
        return 2;
    }
    const DWORD running = argc > 2 ? static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)) : 3500;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 3;
    }
    int result = 0;
    {
        const tavisto::win32::GdiplusSession gdiplus;
        RecordingRebar rebar(460, 40);
        // A dark taskbar, as most users have it.
        rebar.setBackground(RGB(0x20, 0x24, 0x2C));
        HostedBand hosted(rebar);
        if (hosted.window == nullptr) {
            std::fputs("band-host: the band has no window (is Tavisto.dll registered?)\n", stderr);
            result = 4;
        } else {
            // Rate counters need two collections before they read.
            pumpFor(running);
            const Capture image = capture(hosted.window);
            if (image.width == 0 || !savePng(image, argv[1])) {
                std::fputs("band-host: could not capture or save the band\n", stderr);
                result = 5;
            } else {
                std::printf("band-host: %dx%d band saved\n", image.width, image.height);
            }
        }
    }
    CoUninitialize();
    return result;
}
