#include "companion/taskbar_finder.h"

#include <cwchar>

#include "core/windows_path.h"
#include "platform/win32/handles.h"

namespace tavisto::companion {
namespace {

bool isShownWithArea(HWND window) noexcept {
    RECT rect{};
    return IsWindowVisible(window) && GetWindowRect(window, &rect) && rect.right > rect.left &&
           rect.bottom > rect.top;
}

bool hasChild(HWND parent, const wchar_t* className, bool shownOnly) noexcept {
    for (HWND child = FindWindowExW(parent, nullptr, className, nullptr); child != nullptr;
         child = FindWindowExW(parent, child, className, nullptr)) {
        if (!shownOnly || isShownWithArea(child)) {
            return true;
        }
    }
    return false;
}

// The child's rectangle in the taskbar's client coordinates, when it is shown with an area.
bool childRect(HWND taskbar, const wchar_t* className, RECT& rect) noexcept {
    const HWND child = FindWindowExW(taskbar, nullptr, className, nullptr);
    if (child == nullptr || !isShownWithArea(child) || !GetWindowRect(child, &rect)) {
        return false;
    }
    MapWindowPoints(nullptr, taskbar, reinterpret_cast<POINT*>(&rect), 2);
    return true;
}

}  // namespace

bool ownedByShell(HWND window) noexcept {
    DWORD processId = 0;
    if (GetWindowThreadProcessId(window, &processId) == 0) {
        return false;
    }
    const win32::KernelHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    wchar_t image[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    if (!process || !QueryFullProcessImageNameW(process.get(), 0, image, &length)) {
        return false;
    }
    // The name after the last separator (npos + 1 is the whole image).
    const wchar_t* name = image + (lastPathSeparator(image) + 1);
    return _wcsicmp(name, kShellImageName) == 0;
}

bool isReady(HWND taskbar) noexcept {
    return IsWindow(taskbar) && isShownWithArea(taskbar);
}

TaskbarKind judgeTaskbar(HWND taskbar) noexcept {
    if (!isReady(taskbar)) {
        return TaskbarKind::NotReady;
    }
    if (hasChild(taskbar, kBandHostClass, true)) {
        return TaskbarKind::HostsDeskBands;
    }
    return hasChild(taskbar, kCompositionBridgeClass, false) ? TaskbarKind::Composition
                                                             : TaskbarKind::Plain;
}

HWND findPrimaryTaskbar() noexcept {
    HWND first = nullptr;
    for (HWND taskbar = FindWindowExW(nullptr, nullptr, kPrimaryTaskbarClass, nullptr);
         taskbar != nullptr;
         taskbar = FindWindowExW(nullptr, taskbar, kPrimaryTaskbarClass, nullptr)) {
        if (!ownedByShell(taskbar)) {
            continue;
        }
        if (isReady(taskbar)) {
            return taskbar;
        }
        if (first == nullptr) {
            first = taskbar;
        }
    }
    return first;
}

std::vector<HWND> findSecondaryTaskbars() {
    std::vector<HWND> taskbars;
    for (HWND taskbar = FindWindowExW(nullptr, nullptr, kSecondaryTaskbarClass, nullptr);
         taskbar != nullptr;
         taskbar = FindWindowExW(nullptr, taskbar, kSecondaryTaskbarClass, nullptr)) {
        if (isReady(taskbar) && ownedByShell(taskbar)) {
            taskbars.push_back(taskbar);
        }
    }
    return taskbars;
}

bool notificationArea(HWND taskbar, RECT& area) noexcept {
    return childRect(taskbar, kNotificationAreaClass, area);
}

bool startButton(HWND taskbar, RECT& button) noexcept {
    return childRect(taskbar, kStartButtonClass, button);
}

}  // namespace tavisto::companion
