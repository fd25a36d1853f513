#include "companion/example_file.h"

#include <windows.h>

#include <shlobj.h>

#include "core/windows_path.h"
#include "platform/win32/handles.h"

namespace tavisto::companion {
namespace {

CreateResult failed(DWORD error) {
    return {CreateResult::Outcome::Failed, error};
}

bool writeAll(HANDLE file, std::string_view content) {
    while (!content.empty()) {
        DWORD written = 0;
        if (!WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written,
                       nullptr) ||
            written == 0) {
            return false;
        }
        content.remove_prefix(written);
    }
    return FlushFileBuffers(file) != FALSE;
}

}  // namespace

CreateResult createFromExample(const std::wstring& folder, const std::wstring& file,
                               std::string_view content) {
    if (GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return {CreateResult::Outcome::AlreadyThere};
    }
    // SHCreateDirectoryExW wants a path without a trailing separator.
    const std::wstring created(withoutTrailingSeparators(folder));
    const int made = SHCreateDirectoryExW(nullptr, created.c_str(), nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) {
        return failed(static_cast<DWORD>(made));
    }
    wchar_t temporary[MAX_PATH] = {};
    if (GetTempFileNameW(created.c_str(), L"tav", 0, temporary) == 0) {
        return failed(GetLastError());
    }
    {
        const win32::FileHandle out(CreateFileW(temporary, GENERIC_WRITE, 0, nullptr,
                                                TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out || !writeAll(out.get(), content)) {
            const DWORD error = GetLastError();
            DeleteFileW(temporary);
            return failed(error);
        }
    }
    // Without MOVEFILE_REPLACE_EXISTING the rename fails when the file appeared after
    // the first look.
    if (!MoveFileExW(temporary, file.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(temporary);
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
            return {CreateResult::Outcome::AlreadyThere};
        }
        return failed(error);
    }
    return {CreateResult::Outcome::Created};
}

}  // namespace tavisto::companion
