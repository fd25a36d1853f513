#pragma once
// The Show values window: every meter group's name and what its meters show, as text a
// person or a screen reader reads at leisure, large, in the system's colours. It opens
// focused and closes with Esc; the text follows new samples.

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/texts.h"
#include "platform/win32/handles.h"
#include "render/spoken_values.h"
#include "window/window_procedure.h"

namespace tavisto::companion {

inline constexpr wchar_t kShowValuesWindowClass[] = L"TavistoShowValuesClass";

// What the window shows now: the groups, empty while no configuration is shown, and the
// language of the window's words (the meters' own once a configuration has loaded).
struct ShownValues {
    std::vector<SpokenGroup> groups;
    const TextTable* texts = &englishTexts();
};
using ValuesSource = std::function<ShownValues()>;

// One line per group, "name: value", or a line saying that there is nothing to show.
std::wstring valuesText(const TextTable& texts, const std::vector<SpokenGroup>& groups);

class ShowValuesWindow : private window::WindowProcedure<ShowValuesWindow> {
  public:
    // Creates the window, shown in the foreground with the keyboard focus in its text;
    // null when it cannot be created.
    static std::unique_ptr<ShowValuesWindow> open(ValuesSource source) noexcept;
    ~ShowValuesWindow();
    ShowValuesWindow(const ShowValuesWindow&) = delete;
    ShowValuesWindow& operator=(const ShowValuesWindow&) = delete;

    // Null once the user closed it.
    using WindowProcedure::window;
    void bringForward() noexcept;

  private:
    friend class window::WindowProcedure<ShowValuesWindow>;
    static constexpr char kFailurePlace[] = "the Show values window";
    explicit ShowValuesWindow(ValuesSource source) noexcept : source_(std::move(source)) {}

    bool handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void refresh() noexcept;
    void applyFont() noexcept;

    ValuesSource source_;
    HWND text_ = nullptr;
    win32::GdiFont font_;
    std::wstring shown_;
    // The language of the title shown; null before the first.
    const TextTable* titleTexts_ = nullptr;
};

// Makes or brings forward the one Show values window kept in `slot`.
void showValues(std::unique_ptr<ShowValuesWindow>& slot, ValuesSource source) noexcept;

}  // namespace tavisto::companion
