#pragma once
// How much room a control's text takes, so that windows can size their controls to the
// texts of any language.

#include <windows.h>

namespace tavisto::companion {

struct TextSize {
    int width = 0;
    int height = 0;
};

// The control's text on one line in the control's own font, as a static, button or
// check box draws it: an "&" that marks the access key takes no room.
TextSize controlTextSize(HWND control);

}  // namespace tavisto::companion
