#include "settings_program.h"

#include <commctrl.h>

#include "companion/settings_controls.h"
#include "tavisto_identifiers.h"

namespace tavisto::companion::testing {
namespace {
constexpr DWORD kPromptly = 10000;
}  // namespace

std::wstring windowText(HWND window) {
    wchar_t text[1024] = {};
    SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

bool startsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

host::Capture screenCapture(HWND window) {
    RECT frame{};
    GetWindowRect(window, &frame);
    host::Capture picture{frame.right - frame.left, frame.bottom - frame.top, {}};
    const win32::WindowDc screen = win32::windowDc(nullptr);
    const win32::MemoryDc memory(CreateCompatibleDC(screen.get()));
    const win32::Bitmap bitmap(CreateCompatibleBitmap(screen.get(), picture.width, picture.height));
    if (!memory || !bitmap) {
        return {};
    }
    const HGDIOBJ original = SelectObject(memory.get(), bitmap.get());
    BitBlt(memory.get(), 0, 0, picture.width, picture.height, screen.get(), frame.left, frame.top,
           SRCCOPY);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const COLORREF colour = GetPixel(memory.get(), x, y);
            picture.pixels.push_back(static_cast<std::uint32_t>(GetRValue(colour)) << 16 |
                                     static_cast<std::uint32_t>(GetGValue(colour)) << 8 |
                                     GetBValue(colour));
        }
    }
    SelectObject(memory.get(), original);
    return picture;
}

win32::Window impostorHostWindow(const wchar_t* caption) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = TAVISTO_COMPANION_WINDOW_CLASS;
    RegisterClassW(&windowClass);
    return win32::Window(CreateWindowExW(WS_EX_TOOLWINDOW, TAVISTO_COMPANION_WINDOW_CLASS, caption,
                                         WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                         GetModuleHandleW(nullptr), nullptr));
}

SettingsProgram::SettingsProgram() : SettingsProgram(host::environmentValue(L"TAVISTO_EXE")) {}

SettingsProgram::SettingsProgram(const std::wstring& program) : program_(program, L"") {
    host::pumpUntil(
        [this] {
            window_ = FindWindowW(kSettingsWindowClass, nullptr);
            return window_ != nullptr && IsWindowVisible(window_);
        },
        kPromptly);
}

// Closed as a user closes it; one that does not end in time is killed.
SettingsProgram::~SettingsProgram() {
    if (window_ != nullptr) {
        PostMessageW(window_, WM_CLOSE, 0, 0);
    }
    program_.exitCode(kPromptly);
}

std::wstring SettingsProgram::state() const {
    return windowText(control(kStateText));
}

bool SettingsProgram::waitForState(const wchar_t* prefix) const {
    return host::pumpUntil([&] { return startsWith(state(), prefix); }, kPromptly);
}

std::vector<std::vector<std::wstring>> SettingsProgram::findings() const {
    const HWND list = control(kFindingsList);
    std::vector<std::vector<std::wstring>> rows;
    constexpr std::size_t kCharacters = 512;
    struct Remote {
        LVITEMW item;
        wchar_t text[kCharacters];
    };
    auto* remote = static_cast<Remote*>(VirtualAllocEx(program_.process(), nullptr, sizeof(Remote),
                                                       MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (remote == nullptr) {
        return rows;
    }
    const auto count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        std::vector<std::wstring> cells;
        for (int column : {kSeverityColumn, kPositionColumn, kMessageColumn}) {
            Remote local{};
            local.item.iSubItem = column;
            local.item.pszText = remote->text;
            local.item.cchTextMax = static_cast<int>(kCharacters);
            WriteProcessMemory(program_.process(), remote, &local, sizeof(local), nullptr);
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                         reinterpret_cast<LPARAM>(&remote->item));
            ReadProcessMemory(program_.process(), remote, &local, sizeof(local), nullptr);
            local.text[kCharacters - 1] = L'\0';
            cells.emplace_back(local.text);
        }
        rows.push_back(std::move(cells));
    }
    VirtualFreeEx(program_.process(), remote, 0, MEM_RELEASE);
    return rows;
}

}  // namespace tavisto::companion::testing
