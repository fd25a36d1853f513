#include "companion/log_file.h"

#include <windows.h>

#include <shlobj.h>

#include <cstdio>

#include "core/failure_sink.h"
#include "core/text_conversion.h"
#include "core/windows_path.h"
#include "platform/win32/debug_output.h"
#include "platform/win32/handles.h"

namespace tavisto::companion {

std::wstring logFilePath() {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(
            SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)) ||
        folder[0] == L'\0') {
        return {};
    }
    return joinPath(folder, L"Tavisto\\Tavisto.log");
}

void appendLogLine(const std::wstring& path, const std::wstring& line) noexcept {
    try {
        if (path.empty()) {
            return;
        }
        const std::size_t separator = lastPathSeparator(path);
        if (separator != std::wstring::npos) {
            CreateDirectoryW(path.substr(0, separator).c_str(), nullptr);
        }
        const win32::FileHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                                 FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return;
        }
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file.get(), &size)) {
            return;
        }
        if (static_cast<std::uint64_t>(size.QuadPart) >= kLogLimitBytes) {
            SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
            SetEndOfFile(file.get());
        }
        SYSTEMTIME now{};
        GetSystemTime(&now);
        char stamp[32] = {};
        std::snprintf(stamp, sizeof(stamp), "%04u-%02u-%02u %02u:%02u:%02uZ ", now.wYear,
                      now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
        // One line, however long the text: the limit above must hold. Cut between two
        // characters, so that the line stays UTF-8.
        std::string text = stamp + utf16ToUtf8(std::u16string(line.begin(), line.end()));
        text.resize(utf8Prefix(text, kLogLineBytes).size());
        text += "\r\n";
        SetFilePointer(file.get(), 0, nullptr, FILE_END);
        DWORD written = 0;
        WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } catch (...) {
        // The line is lost. Not reported to the failure sink, which writes here: the
        // debugger's output has it.
        win32::reportToDebugOutput("writing the log", caughtExceptionText());
    }
}

void log(const std::wstring& line) noexcept {
    try {
        appendLogLine(logFilePath(), line);
    } catch (...) {
        // Forming the path failed: the line is lost, as appendLogLine loses it.
        win32::reportToDebugOutput("writing the log", caughtExceptionText());
    }
}

void reportToDebugOutputAndLog(std::string_view where, std::string_view what) noexcept {
    win32::reportToDebugOutput(where, what);
    try {
        const std::u16string text =
            utf8ToUtf16(printableText(std::string(where) + ": " + std::string(what)));
        log(L"failure in " + std::wstring(text.begin(), text.end()));
    } catch (...) {
        // The debugger's output has the report; only its line in the log is lost.
        win32::reportToDebugOutput("writing the log", caughtExceptionText());
    }
}

}  // namespace tavisto::companion
