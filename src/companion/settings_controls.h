#pragma once
// The settings window's class and control identifiers, shared with the programs that
// drive it.

namespace tavisto::companion {

inline constexpr wchar_t kSettingsWindowClass[] = L"TavistoSettingsClass";

enum SettingsControl : int {
    kPathText = 101,
    kStateText = 102,
    kFindingsList = 103,
    kCheckAgainButton = 110,
    kEditButton = 111,
    kOpenFolderButton = 112,
    kCreateButton = 113,
    kCountersButton = 114,
    kTaskManagerButton = 115,
    kTaskbarCheckBox = 116,
    kAboutText = 117,
    // What the preview shows: this file's meters, the last file that loaded, or none.
    kPreviewNote = 118,
    kPreviewWindow = 119,
    kShowValuesButton = 120,
};

// The findings list's columns.
enum FindingColumn : int { kSeverityColumn = 0, kPositionColumn = 1, kMessageColumn = 2 };

// The example configuration embedded in Tavisto.exe (RCDATA).
inline constexpr int kExampleConfigurationResource = 201;

}  // namespace tavisto::companion
