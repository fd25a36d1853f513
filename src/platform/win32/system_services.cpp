#include "platform/win32/system_services.h"

#include <psapi.h>

#include <array>
#include <optional>

#include "platform/win32/handles.h"
#include "platform/win32/user_languages.h"

namespace tavisto::win32 {

platform::ScreenDpi Win32Screen::dpi() const {
    if (window_ != nullptr) {
        using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
        // Looked up, not imported: the module must still load where it is missing.
        const auto getDpiForWindow =
            reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void*>(
                GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
        if (getDpiForWindow != nullptr) {
            if (const auto dpi = static_cast<int>(getDpiForWindow(window_)); dpi > 0) {
                return {dpi, dpi};
            }
        }
    }
    const WindowDc screen = windowDc(nullptr);
    if (!screen) {
        return {};
    }
    return {GetDeviceCaps(screen.get(), LOGPIXELSX), GetDeviceCaps(screen.get(), LOGPIXELSY)};
}

namespace {

// One of the user locale's texts of at most `kMaxLength` characters; none when the call
// fails or the text is longer.
std::optional<std::u16string> userLocaleText(LCTYPE type) {
    std::array<wchar_t, platform::NumberSeparators::kMaxLength + 1> text{};
    const int written = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, text.data(),
                                        static_cast<int>(text.size()));
    if (written <= 0) {
        return std::nullopt;
    }
    // The count includes the terminating NUL.
    return std::u16string(reinterpret_cast<const char16_t*>(text.data()),
                          static_cast<std::size_t>(written - 1));
}

}  // namespace

platform::NumberSeparators Win32UserLocale::numberSeparators() const {
    platform::NumberSeparators separators;
    if (std::optional<std::u16string> decimal = userLocaleText(LOCALE_SDECIMAL);
        decimal && !decimal->empty()) {
        separators.decimal = std::move(*decimal);
    }
    if (std::optional<std::u16string> thousands = userLocaleText(LOCALE_STHOUSAND)) {
        separators.thousands = std::move(*thousands);
    }
    return separators;
}

std::vector<std::string> Win32UserLocale::preferredLanguages() const {
    return userDisplayLanguages();
}

bool announcesLocaleChange(LPARAM area) noexcept {
    // The regional settings broadcast names the area "intl".
    const auto* name = reinterpret_cast<const wchar_t*>(area);
    return name != nullptr && lstrcmpiW(name, L"intl") == 0;
}

bool Win32SystemVersion::isWindows10OrLater() const {
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwMajorVersion = 10;
    version.dwMinorVersion = 0;
    version.wServicePackMajor = 0;
    DWORDLONG conditions = 0;
    conditions = VerSetConditionMask(conditions, VER_MAJORVERSION, VER_GREATER_EQUAL);
    conditions = VerSetConditionMask(conditions, VER_MINORVERSION, VER_GREATER_EQUAL);
    conditions = VerSetConditionMask(conditions, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                              conditions) != FALSE;
}

Win32SystemPerformance::Win32SystemPerformance() {
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    pageSize_ = system.dwPageSize;
    // Every processor group's, as Task Manager counts them; dwNumberOfProcessors stops at
    // the calling thread's group.
    logicalProcessors_ = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
}

platform::PerformanceRecord Win32SystemPerformance::read(platform::PerformanceScope scope) {
    if (scope == platform::PerformanceScope::PhysicalMemory) {
        MEMORYSTATUSEX status{};
        status.dwLength = sizeof(status);
        if (pageSize_ == 0 || !GlobalMemoryStatusEx(&status)) {
            return {};
        }
        // The same pages K32GetPerformanceInfo counts, given in bytes.
        platform::PerformanceRecord record;
        record.physicalTotal = status.ullTotalPhys / pageSize_;
        record.physicalAvailable = status.ullAvailPhys / pageSize_;
        record.pageSize = pageSize_;
        record.logicalProcessors = logicalProcessors_;
        return record;
    }
    PERFORMANCE_INFORMATION info{};
    if (!K32GetPerformanceInfo(&info, sizeof(info))) {
        return {};
    }
    platform::PerformanceRecord record;
    record.commitTotal = info.CommitTotal;
    record.commitLimit = info.CommitLimit;
    record.commitPeak = info.CommitPeak;
    record.physicalTotal = info.PhysicalTotal;
    record.physicalAvailable = info.PhysicalAvailable;
    record.systemCache = info.SystemCache;
    record.kernelTotal = info.KernelTotal;
    record.kernelPaged = info.KernelPaged;
    record.kernelNonpaged = info.KernelNonpaged;
    record.pageSize = info.PageSize;
    record.handleCount = info.HandleCount;
    record.processCount = info.ProcessCount;
    record.threadCount = info.ThreadCount;
    record.logicalProcessors = logicalProcessors_;
    return record;
}

Rect Win32BandWindow::clientRect() const {
    RECT client{};
    if (!GetClientRect(window_, &client)) {
        return {};
    }
    return {client.left, client.top, client.right, client.bottom};
}

void Win32BandWindow::invalidate(const Rect& area) {
    const RECT rect{area.left, area.top, area.right, area.bottom};
    InvalidateRect(window_, &rect, TRUE);
}

}  // namespace tavisto::win32
