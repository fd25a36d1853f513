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

enum class TaskbarKind {
    // Invisible or without area: Explorer is starting or restarting; judge it later.
    NotReady,
    // It docks desk bands (Windows 10, or a classic taskbar restored on Windows 11).
    HostsDeskBands,
    // Drawn through composition, with no place for desk bands: the Windows 11 taskbar.
    Composition,
};

bool isReady(HWND taskbar) noexcept;

// Composition when the taskbar has a composition bridge child and no band host child
// that is shown; a hidden, empty band host is a leftover that docks nothing.
TaskbarKind judgeTaskbar(HWND taskbar) noexcept;

// The first ready top-level window of the primary taskbar's class, else the first one
// of that class (not ready), else null. Wine's own shell keeps an invisible window of
// that class, which must not hide the real one.
HWND findPrimaryTaskbar() noexcept;

// The ready secondary taskbars, one per further monitor that shows a taskbar.
std::vector<HWND> findSecondaryTaskbars();

// The notification area's rectangle in the taskbar's client coordinates; false when
// the taskbar has none that is shown.
bool notificationArea(HWND taskbar, RECT& area) noexcept;

}  // namespace tavisto::companion
