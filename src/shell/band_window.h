#pragma once
// The band window: its class and its window procedure.

#include <windows.h>

#include "tavisto_identifiers.h"

namespace tavisto::shell {

class CTavisto;

inline constexpr wchar_t kBandWindowClass[] = TAVISTO_BAND_WINDOW_CLASS;

// Registers the window class (an existing registration is kept) and creates the hidden
// band window as a child of `parent`; null when it cannot be created.
HWND createBandWindow(HWND parent, CTavisto& band) noexcept;

// Unregisters the class once no band window of it is left, which also frees its
// background brush; fails harmlessly while another band's window exists.
void unregisterBandWindowClass() noexcept;

}  // namespace tavisto::shell
