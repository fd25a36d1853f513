// fake-taskbar.exe: shows one of the tests' fake taskbars for a while, so that programs
// started beside it (the setup program, the companion) meet that kind of taskbar.
//   fake-taskbar.exe composition|classic <milliseconds>

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "fake_taskbar.h"

int wmain(int argc, wchar_t** argv) {
    using namespace tavisto::companion::testing;
    const std::wstring kind = argc > 1 ? argv[1] : L"";
    if (argc != 3 || (kind != L"composition" && kind != L"classic")) {
        std::fputs("usage: fake-taskbar.exe composition|classic <milliseconds>\n", stderr);
        return 2;
    }
    const DWORD lifetime = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
    const FakeTaskbar taskbar(kind == L"composition" ? TaskbarKind::Composition
                                                     : TaskbarKind::Classic);
    if (taskbar.window() == nullptr) {
        std::fputs("fake-taskbar: the taskbar window cannot be created\n", stderr);
        return 3;
    }
    // The caller waits for this line before it starts what should meet the taskbar.
    std::puts("ready");
    std::fflush(stdout);
    const ULONGLONG end = GetTickCount64() + lifetime;
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return 0;
}
