// tavisto-picture-companion: pictures the real Tavisto.exe for the README, under Wine,
// with a configuration: its meters in the companion tests' fake Windows 11 taskbar (a
// bottom one at 100 %, named after it with "-left" a left one at 150 %, and with "-small"
// the small one), its settings window listing a refused file's findings below the
// meters of the configuration, its Show values window, and the settings window again in
// German and in Japanese.
//   tavisto-picture-companion Tavisto.exe configuration.json taskbar.png settings.png
//                             show-values.png settings-de.png settings-ja.png
// fake-taskbar.exe must be beside it. The configuration takes the place of the user's
// %APPDATA%\Tavisto\TavistoConfig.json while it runs, so that file must not exist.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "companion/settings_controls.h"
#include "companion/show_values_window.h"
#include "core/texts.h"
#include "desk_band_host.h"
#include "fake_taskbar.h"
#include "platform/win32/gdiplus_session.h"
#include "settings_program.h"

namespace tavisto::companion::testing {
namespace {

constexpr DWORD kPromptly = 10000;
// Long enough for every refresh rate to have sampled, rate counters twice.
constexpr DWORD kSampled = 2500;
constexpr std::uint32_t kClickableClear = 0x01000000;
constexpr std::uint32_t kDarkTaskbarGrey = 0x20;

// What the settings window refuses and lists: "width" is text (line 3) and "colour"
// is misspelt (line 4). Its pictures in other languages name the language first.
constexpr char kRefusedFile[] = R"json({ "meterGroups": [ { "meters": [
    { "meterType": "text", "refreshRate": 1000,
      "width": "wide",
      "colour": "#FFFFFF",
      "counters": [ { "counterPath": "(PERFORMANCE_INFORMATION.PhysicalTotal)",
                      "units": "percent" } ] }
] } ] }
)json";

// The configuration in the user's place for the pictures; removed at the end.
class PlacedConfiguration {
  public:
    explicit PlacedConfiguration(const std::wstring& source) : source_(source) {}
    ~PlacedConfiguration() { DeleteFileW(host::configurationFile().c_str()); }
    PlacedConfiguration(const PlacedConfiguration&) = delete;
    PlacedConfiguration& operator=(const PlacedConfiguration&) = delete;

    // The configuration's own text again, over whatever a picture left.
    bool place() const {
        return CopyFileW(source_.c_str(), host::configurationFile().c_str(), FALSE) != FALSE;
    }

  private:
    std::wstring source_;
};

std::wstring save(const host::Capture& picture, const std::wstring& file) {
    if (picture.width == 0 || picture.height == 0) {
        return L"nothing to picture for " + file;
    }
    if (!host::savePng(picture, file)) {
        return L"cannot write " + file;
    }
    std::wprintf(L"wrote %ls (%dx%d)\n", file.c_str(), picture.width, picture.height);
    return {};
}

// The meters' premultiplied frame over a dark taskbar, as Windows 11 draws it by default.
host::Capture overDarkTaskbar(const Frame& frame) {
    host::Capture image{frame.width, frame.height, {}};
    for (const std::uint32_t pixel : frame.pixels) {
        const std::uint32_t alpha = pixel >> 24;
        std::uint32_t rgb = 0;
        for (const int shift : {0, 8, 16}) {
            const std::uint32_t over =
                ((pixel >> shift) & 0xFF) + kDarkTaskbarGrey * (255 - alpha) / 255;
            rgb |= std::min<std::uint32_t>(over, 255) << shift;
        }
        image.pixels.push_back(rgb);
    }
    return image;
}

std::wstring pictureTaskbars(const std::wstring& program, const std::wstring& png) {
    const std::wstring stem = png.substr(0, png.size() - 4);
    const struct {
        std::wstring file;
        DWORD dpi;
        Scenario scenario;
    } pictures[] = {
        {png, 96, {}},
        {stem + L"-left.png", 144, {.edge = TaskbarEdge::Left, .thickness = 72}},
        {stem + L"-small.png", 96, {.thickness = kSmallTaskbarHeight}},
    };
    for (const auto& picture : pictures) {
        const ScreenScale scale(picture.dpi);
        const FakeTaskbar taskbar(picture.scenario);
        if (taskbar.window() == nullptr) {
            return L"the fake taskbar did not show (is fake-taskbar.exe beside this program?)";
        }
        const Companion companion(program, L"--taskbar");
        if (!companion.started()) {
            return L"cannot start " + program;
        }
        Frame frame;
        if (!host::pumpUntil(
                [&] {
                    frame = taskbar.meters() != nullptr ? requestFrame(taskbar.meters()) : Frame{};
                    return frame.width > 0 &&
                           frame.count(kClickableClear) < frame.width * frame.height;
                },
                kPromptly)) {
            return L"Tavisto.exe drew no meters in the fake taskbar for " + picture.file;
        }
        host::pumpFor(kSampled);
        const std::wstring failure =
            save(overDarkTaskbar(requestFrame(taskbar.meters())), picture.file);
        if (!failure.empty()) {
            return failure;
        }
    }
    return {};
}

// The settings window refusing kRefusedFile, in `language` ("" for the user's).
std::wstring pictureFindingsIn(const char* language, const SettingsProgram& settings,
                               const std::wstring& png) {
    std::string refused = kRefusedFile;
    const TextTable* texts = &englishTexts();
    if (*language != '\0') {
        texts = textsFor(language);
        refused.insert(1, std::string(R"( "language": ")") + language + "\",");
    }
    if (!host::replaceThroughRename(host::configurationFile(), refused)) {
        return L"cannot write " + host::configurationFile();
    }
    // The state line's words before the error's own: "Refused: ".
    const std::u16string_view line = text(*texts, TextId::SettingsRefusedAt);
    const std::u16string_view start = line.substr(0, line.find(u"{message}"));
    if (!settings.waitForState(std::wstring(start.begin(), start.end()).c_str())) {
        return L"the settings window did not refuse the faulty file: " + settings.state();
    }
    SetForegroundWindow(settings.window());
    host::pumpFor(1000);
    return save(screenCapture(settings.window()), png);
}

std::wstring pictureFindings(const SettingsProgram& settings, const std::wstring& png) {
    return pictureFindingsIn("", settings, png);
}
std::wstring pictureFindingsInGerman(const SettingsProgram& settings, const std::wstring& png) {
    return pictureFindingsIn("de", settings, png);
}
std::wstring pictureFindingsInJapanese(const SettingsProgram& settings, const std::wstring& png) {
    return pictureFindingsIn("ja", settings, png);
}

std::wstring pictureShowValues(const SettingsProgram& settings, const std::wstring& png) {
    settings.click(kShowValuesButton);
    HWND values = nullptr;
    if (!host::pumpUntil(
            [&] { return (values = FindWindowW(kShowValuesWindowClass, nullptr)) != nullptr; },
            kPromptly)) {
        return L"the Show values window did not open";
    }
    host::pumpFor(kSampled);
    return save(screenCapture(values), png);
}

// Takes `picture` of a settings window that has loaded the configuration.
std::wstring pictureSettings(const std::wstring& program, const PlacedConfiguration& placed,
                             std::wstring (*picture)(const SettingsProgram&, const std::wstring&),
                             const std::wstring& png) {
    if (!placed.place()) {
        return L"cannot place the configuration in " + host::configurationFile();
    }
    const SettingsProgram settings(program);
    if (!settings.waitForState(L"Loaded")) {
        return L"the settings window did not load the configuration: " + settings.state();
    }
    return picture(settings, png);
}

bool endsWithPng(const wchar_t* name) {
    const std::wstring_view file(name);
    return file.size() > 4 && file.compare(file.size() - 4, 4, L".png") == 0;
}

std::wstring run(int argc, wchar_t** argv) {
    if (argc != 8 || !std::all_of(argv + 3, argv + argc, endsWithPng)) {
        return L"usage: tavisto-picture-companion Tavisto.exe configuration.json taskbar.png "
               L"settings.png show-values.png settings-de.png settings-ja.png";
    }
    const std::wstring program = argv[1];
    if (GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return L"no program " + program;
    }
    if (GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES) {
        return L"no configuration " + std::wstring(argv[2]);
    }
    if (GetFileAttributesW(host::configurationFile().c_str()) != INVALID_FILE_ATTRIBUTES) {
        return host::configurationFile() + L" exists; it would be replaced";
    }
    CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    const PlacedConfiguration placed(argv[2]);
    if (!placed.place()) {
        return L"cannot place the configuration in " + host::configurationFile();
    }
    const win32::GdiplusSession gdiplus;
    if (!gdiplus.started()) {
        return L"cannot start GDI+";
    }
    std::wstring failure = pictureTaskbars(program, argv[3]);
    if (failure.empty()) {
        failure = pictureSettings(program, placed, pictureFindings, argv[4]);
    }
    if (failure.empty()) {
        failure = pictureSettings(program, placed, pictureShowValues, argv[5]);
    }
    if (failure.empty()) {
        failure = pictureSettings(program, placed, pictureFindingsInGerman, argv[6]);
    }
    if (failure.empty()) {
        failure = pictureSettings(program, placed, pictureFindingsInJapanese, argv[7]);
    }
    return failure;
}

}  // namespace
}  // namespace tavisto::companion::testing

int wmain(int argc, wchar_t** argv) {
    // Physical pixels, as the taskbar and the companion see them at any scale.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    const std::wstring failure = tavisto::companion::testing::run(argc, argv);
    if (!failure.empty()) {
        std::fwprintf(stderr, L"tavisto-picture-companion: %ls\n", failure.c_str());
        return 1;
    }
    return 0;
}
