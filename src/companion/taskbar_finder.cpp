#include "companion/taskbar_finder.h"

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

}  // namespace

bool isReady(HWND taskbar) noexcept {
    return IsWindow(taskbar) && isShownWithArea(taskbar);
}

TaskbarKind judgeTaskbar(HWND taskbar) noexcept {
    if (!isReady(taskbar)) {
        return TaskbarKind::NotReady;
    }
    if (hasChild(taskbar, kCompositionBridgeClass, false) &&
        !hasChild(taskbar, kBandHostClass, true)) {
        return TaskbarKind::Composition;
    }
    return TaskbarKind::HostsDeskBands;
}

HWND findPrimaryTaskbar() noexcept {
    HWND first = nullptr;
    for (HWND taskbar = FindWindowExW(nullptr, nullptr, kPrimaryTaskbarClass, nullptr);
         taskbar != nullptr;
         taskbar = FindWindowExW(nullptr, taskbar, kPrimaryTaskbarClass, nullptr)) {
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
        if (isReady(taskbar)) {
            taskbars.push_back(taskbar);
        }
    }
    return taskbars;
}

bool notificationArea(HWND taskbar, RECT& area) noexcept {
    const HWND tray = FindWindowExW(taskbar, nullptr, kNotificationAreaClass, nullptr);
    if (tray == nullptr || !isShownWithArea(tray) || !GetWindowRect(tray, &area)) {
        return false;
    }
    MapWindowPoints(nullptr, taskbar, reinterpret_cast<POINT*>(&area), 2);
    return true;
}

}  // namespace tavisto::companion
