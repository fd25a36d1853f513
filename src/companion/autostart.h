#pragma once
// Starting the taskbar meters when the user signs in: the per-user Run value.

#include <windows.h>

#include <string>

namespace tavisto::companion {

inline constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kRunValue[] = L"Tavisto";

// The quoted program path followed by " --taskbar".
std::wstring autostartCommand(const std::wstring& program);

// Writes or deletes HKCU\...\Run "Tavisto"; true on success (deleting a value that is
// not there succeeds too).
bool installAutostart(const std::wstring& program) noexcept;
bool uninstallAutostart() noexcept;

}  // namespace tavisto::companion
