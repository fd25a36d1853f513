#include "window/configuration_location.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shlobj.h>

#include <cstdint>
#include <cstdio>
#include <memory>

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
        // When the folder cannot be found the buffer stays empty and the configuration
        // folder is "\Tavisto\" on the current drive.
        wchar_t appData[MAX_PATH] = {};
        SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE);
        paths.folder = std::wstring(appData) + L"\\Tavisto\\";
    } catch (...) {
        paths = {};
    }
    return TRUE;
}

const ProcessPaths& processPaths() noexcept {
    InitOnceExecuteOnce(&pathsOnce, formPaths, nullptr, nullptr);
    return paths;
}

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

}  // namespace

const std::wstring& modulePath() noexcept {
    return processPaths().module;
}

const std::wstring& configurationFolder() noexcept {
    return processPaths().folder;
}

std::wstring configurationFile() {
    return configurationFolder() + L"\\" + kConfigurationFileName;
}

std::optional<nlohmann::json> readConfiguration(const std::wstring& path) noexcept {
    try {
        // Shared with everyone: an editor may be writing the file right now, or replacing
        // or deleting it. The C runtime's sharing modes never include deletion, so the
        // file is opened here and handed to the runtime for text-mode reading.
        win32::FileHandle handle(CreateFileW(
            path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle) {
            return std::nullopt;
        }
        const int descriptor =
            _open_osfhandle(reinterpret_cast<std::intptr_t>(handle.get()), _O_RDONLY | _O_TEXT);
        if (descriptor == -1) {
            return std::nullopt;
        }
        // The descriptor owns the handle now, and the stream then owns the descriptor.
        handle.release();
        std::FILE* const stream = _fdopen(descriptor, "rt");
        if (stream == nullptr) {
            _close(descriptor);
            return std::nullopt;
        }
        const std::unique_ptr<std::FILE, FileCloser> file(stream);
        return nlohmann::json::parse(file.get());
    } catch (...) {
        return std::nullopt;
    }
}

Launch taskManagerLaunch() {
    wchar_t system[256] = {};
    GetSystemDirectoryW(system, 256);
    return {std::wstring(system) + L"\\Taskmgr.exe", {}};
}

Launch companionLaunch(const std::wstring& module) {
    const std::size_t separator = module.find_last_of(L"\\/");
    std::wstring folder = separator == std::wstring::npos ? module : module.substr(0, separator);
    std::wstring program = folder + L"\\Tavisto.exe";
    return {std::move(program), std::move(folder)};
}

}  // namespace tavisto::window
