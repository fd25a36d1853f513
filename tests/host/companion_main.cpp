// A stand-in for the companion program "Tavisto.exe" for the launch test: it records
// where it runs from, its working folder and its command line in the file named by
// TAVISTO_COMPANION_RECORD, one per line, and ends.

#include <windows.h>

#include <string>

#include "platform/win32/handles.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t record[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"TAVISTO_COMPANION_RECORD", record, MAX_PATH) == 0) {
        return 2;
    }
    wchar_t image[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, image, MAX_PATH);
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    const std::wstring text =
        std::wstring(image) + L"\n" + folder + L"\n" + GetCommandLineW() + L"\n";
    const tavisto::win32::FileHandle file(
        CreateFileW(record, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) {
        return 3;
    }
    DWORD written = 0;
    WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written,
              nullptr);
    return 0;
}
