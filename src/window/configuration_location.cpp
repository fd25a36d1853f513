#include "window/configuration_location.h"

#include <windows.h>

#include <shlobj.h>

#include <cstdint>

#include "config/configuration_text.h"
#include "core/failure_sink.h"
#include "core/windows_path.h"
#include "platform/win32/handles.h"
#include "window/module_file.h"

namespace tavisto::window {
namespace {

struct ProcessPaths {
    std::wstring module;
    std::wstring folder;
};

INIT_ONCE pathsOnce = INIT_ONCE_STATIC_INIT;
// At namespace scope, not as a local static: MinGW's guard for local statics creates a
// semaphore that outlives the module, one more handle each time Explorer reloads it.
ProcessPaths paths;

BOOL CALLBACK formPaths(INIT_ONCE*, void*, void**) noexcept {
    try {
        paths.module = moduleFileName(thisModule());
        wchar_t appData[MAX_PATH] = {};
        if (SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE)) {
            paths.folder = configurationFolderIn(appData);
        }
    } catch (...) {
        reportCaughtException("configuration paths");
        paths = {};
    }
    return TRUE;
}

const ProcessPaths& processPaths() noexcept {
    InitOnceExecuteOnce(&pathsOnce, formPaths, nullptr, nullptr);
    return paths;
}

}  // namespace

const std::wstring& modulePath() noexcept {
    return processPaths().module;
}

const std::wstring& configurationFolder() noexcept {
    return processPaths().folder;
}

std::wstring configurationFolderIn(std::wstring_view appData) {
    // Without the user's own folder the path would be "\\Tavisto\\" on the current
    // drive, a folder any local user may create.
    if (appData.empty()) {
        return {};
    }
    return joinPath(appData, L"Tavisto\\");
}

std::wstring configurationFileIn(std::wstring_view folder) {
    if (folder.empty()) {
        return {};
    }
    return joinPath(folder, kConfigurationFileName);
}

std::wstring configurationFile() {
    return configurationFileIn(configurationFolder());
}

std::optional<std::string> readConfigurationText(const std::wstring& path) noexcept {
    if (path.empty()) {
        return std::nullopt;
    }
    try {
        // Shared with everyone: an editor may be writing the file right now, or replacing
        // or deleting it.
        const win32::FileHandle file(CreateFileW(
            path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return std::nullopt;
        }
        // Refused from its size, before a byte of it is read.
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
            static_cast<std::uint64_t>(size.QuadPart) > kMaxConfigurationBytes) {
            return std::nullopt;
        }
        // One byte more than the limit: a file that grew since its size was taken is
        // still refused.
        std::string text(static_cast<std::size_t>(size.QuadPart) + 1, '\0');
        std::size_t filled = 0;
        while (filled < text.size()) {
            DWORD read = 0;
            if (!ReadFile(file.get(), text.data() + filled,
                          static_cast<DWORD>(text.size() - filled), &read, nullptr)) {
                return std::nullopt;
            }
            if (read == 0) {
                break;
            }
            filled += read;
        }
        text.resize(filled);
        if (text.size() > kMaxConfigurationBytes) {
            return std::nullopt;
        }
        return text;
    } catch (...) {
        reportCaughtException("configuration read");
        return std::nullopt;
    }
}

std::string_view configuredLanguage(const nlohmann::json& document) noexcept {
    if (!document.is_object()) {
        return {};
    }
    const auto language = document.find("language");
    return language != document.end() && language->is_string()
               ? std::string_view(language->get_ref<const std::string&>())
               : std::string_view();
}

ConfigurationRead readConfiguration(const std::wstring& path) noexcept {
    ConfigurationRead read;
    try {
        read.text = readConfigurationText(path);
        if (read.text) {
            read.document = parseConfigurationText(*read.text);
        }
    } catch (const std::exception& failure) {
        // Malformed, too deep, or out of memory: the reader keeps what it had.
        try {
            read.parseError = failure.what();
        } catch (...) {
            reportCaughtException("keeping a parse's message");
        }
    }
    return read;
}

namespace {

// Empty when the system folder cannot be read.
std::wstring systemFolder() {
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    // 0 is a failure; a length of the buffer or more is the size it would have needed.
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    return std::wstring(system, length);
}

}  // namespace

std::optional<Launch> taskManagerLaunch() {
    return taskManagerIn(systemFolder());
}

std::optional<Launch> resourceMonitorLaunch() {
    const std::wstring system = systemFolder();
    if (system.empty()) {
        return std::nullopt;
    }
    return Launch{joinPath(system, L"resmon.exe"), {}, {}};
}

std::optional<Launch> taskManagerIn(std::wstring_view systemFolder) {
    if (systemFolder.empty()) {
        return std::nullopt;
    }
    return Launch{joinPath(systemFolder, L"Taskmgr.exe"), {}, {}};
}

std::optional<Launch> companionLaunch(const std::wstring& module, std::wstring_view parameters) {
    if (module.empty()) {
        return std::nullopt;
    }
    const std::size_t separator = lastPathSeparator(module);
    std::wstring folder = separator == std::wstring::npos ? module : module.substr(0, separator);
    std::wstring program = joinPath(folder, L"Tavisto.exe");
    return Launch{std::move(program), std::move(folder), std::wstring(parameters)};
}

std::optional<Launch> clickLaunch(GroupClick click, const std::wstring& module) {
    switch (click) {
        case GroupClick::ResourceMonitor:
            return resourceMonitorLaunch();
        case GroupClick::ShowValues:
            return companionLaunch(module, kShowValuesSwitch);
        case GroupClick::Settings:
            return companionLaunch(module);
        case GroupClick::None:
            return std::nullopt;
        case GroupClick::TaskManager:
        case GroupClick::Unknown:
            break;
    }
    return taskManagerLaunch();
}

}  // namespace tavisto::window
