#pragma once
// Finding Explorer's taskbars and telling which kind they are.

#include <windows.h>

#include <vector>

namespace tavisto::companion {

inline constexpr wchar_t kPrimaryTaskbarClass[] = L"Shell_TrayWnd";
inline constexpr wchar_t kSecondaryTaskbarClass[] = L"Shell_SecondaryTrayWnd";
inline constexpr wchar_t kNotificationAreaClass[] = L"TrayNotifyWnd";
inline constexpr wchar_t kBandHostClass[] = L"ReBarWindow32";
inline constexpr wchar_t kCompositionBridgeClass[] =
    L"Windows.UI.Composition.DesktopWindowContentBridge";
// Explorer's Start button: its extent across the taskbar is the bar the user sees.
inline constexpr wchar_t kStartButtonClass[] = L"Start";
// Only this program's taskbars are Explorer's: shell replacements and bar programs make
// windows of the same classes.
inline constexpr wchar_t kShellImageName[] = L"explorer.exe";

enum class TaskbarKind {
    // Invisible or without area: Explorer is starting or restarting; judge it later.
    NotReady,
    // It docks desk bands (Windows 10, or a classic taskbar restored on Windows 11).
    HostsDeskBands,
    // Drawn through composition, with no place for desk bands: the Windows 11 taskbar.
    Composition,
};

bool isReady(HWND taskbar) noexcept;

// The window belongs to a process whose image is Explorer's.
bool ownedByShell(HWND window) noexcept;

// Composition when the taskbar has a composition bridge child and no band host child
// that is shown; a hidden, empty band host is a leftover that docks nothing.
TaskbarKind judgeTaskbar(HWND taskbar) noexcept;

// Among Explorer's top-level windows of the primary taskbar's class: the first ready
// one, else the first one (not ready), else null. Wine's own shell keeps an invisible
// window of that class, which must not hide the real one.
HWND findPrimaryTaskbar() noexcept;

// Explorer's ready secondary taskbars, one per further monitor that shows a taskbar.
std::vector<HWND> findSecondaryTaskbars();

// The notification area's rectangle in the taskbar's client coordinates; false when
// the taskbar has none that is shown with an area (yet).
bool notificationArea(HWND taskbar, RECT& area) noexcept;

// The Start button's rectangle in the taskbar's client coordinates; false when the
// taskbar has none that is shown with an area.
bool startButton(HWND taskbar, RECT& button) noexcept;

}  // namespace tavisto::companion
