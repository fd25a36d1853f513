#pragma once
// The band window: its class, its window procedure and the two program launches.

#include <windows.h>

#include <optional>

#include "shell/configuration_location.h"

namespace tavisto::shell {

class CTavisto;

inline constexpr wchar_t kBandWindowClass[] = L"TavistoClass";

// Registers the window class (an existing registration is kept) and creates the hidden
// band window as a child of `parent`; null when it cannot be created.
HWND createBandWindow(HWND parent, CTavisto& band) noexcept;

// Unregisters the class once no band window of it is left, which also frees its
// background brush; fails harmlessly while another band's window exists.
void unregisterBandWindowClass() noexcept;

// ShellExecuteW with the default verb and no parameters; failures are silent, and
// nothing is started when there is no program.
void launch(const std::optional<Launch>& program) noexcept;

}  // namespace tavisto::shell
