#include "companion/autostart.h"

#include "core/failure_sink.h"
#include "platform/win32/handles.h"

namespace tavisto::companion {

std::wstring autostartCommand(const std::wstring& program) {
    return L"\"" + program + L"\" --taskbar";
}

bool installAutostart(const std::wstring& program) noexcept {
    try {
        const std::wstring command = autostartCommand(program);
        HKEY opened = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &opened, nullptr) != ERROR_SUCCESS) {
            return false;
        }
        const win32::RegistryKey key(opened);
        const auto bytes = static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t));
        return RegSetValueExW(key.get(), kRunValue, 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(command.c_str()),
                              bytes) == ERROR_SUCCESS;
    } catch (...) {
        reportCaughtException("installing the start at sign-in");
        return false;
    }
}

bool uninstallAutostart() noexcept {
    HKEY opened = nullptr;
    const LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &opened);
    if (status == ERROR_FILE_NOT_FOUND) {
        return true;
    }
    if (status != ERROR_SUCCESS) {
        return false;
    }
    const win32::RegistryKey key(opened);
    const LSTATUS deleted = RegDeleteValueW(key.get(), kRunValue);
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

}  // namespace tavisto::companion
