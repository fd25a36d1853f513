#pragma once
// Renders the band as the taskbar would show it, in both taskbar directions, into PNG
// files. Counters are fed from a deterministic demo source (preview/demo_sources.h):
// there are no live counters on Linux yet, and the same configuration always gives the
// same pictures.

#include <ostream>
#include <string>

#include "platform/drawing.h"
#include "preview/demo_sources.h"

namespace tavisto::preview {

// Loads the configuration's text as the band window does, prints the model it built, and writes
// band.png (horizontal band) and band-vertical.png (vertical band) into the folder,
// each over a dark taskbar background; for a light taskbar, band-light.png and
// band-vertical-light.png over a light one. A text that fails to parse or load prints the
// loader's message after the source's name. Returns the process exit code.
int renderBands(std::string text, const std::string& source, int dpi, platform::TaskbarTheme theme,
                const std::string& folder, std::ostream& out, std::ostream& err);

}  // namespace tavisto::preview
