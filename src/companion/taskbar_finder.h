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
    // It has a shown band site (ReBarWindow32), where desk bands dock: Windows 10, or a
    // classic taskbar restored on Windows 11.
    HostsDeskBands,
    // No shown band site, and drawn through composition: the Windows 11 taskbar.
    Composition,
    // Neither a shown band site nor the composition bridge: Wine's desktop taskbar, or a
    // Windows build whose bridge has another name. A Windows 10 taskbar looks so too for
    // a moment, before Explorer has made its band site.
    Plain,
};

// Tavisto.exe --taskbar puts the meters into a taskbar of that kind without --force:
// every taskbar but one that hosts desk bands, where the band shows them.
constexpr bool takesTheMeters(TaskbarKind kind) noexcept {
    return kind == TaskbarKind::Composition || kind == TaskbarKind::Plain;
}

bool isReady(HWND taskbar) noexcept;

// The window belongs to a process whose image is Explorer's.
bool ownedByShell(HWND window) noexcept;

// HostsDeskBands only when the taskbar has a band host child that is shown, visible and
// with an area (a hidden, empty band host is a leftover that docks nothing); else
// Composition when it has a composition bridge child, else Plain.
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
