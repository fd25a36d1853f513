#pragma once

#include <ostream>

#include "config/meter_model.h"
#include "render/layout.h"

namespace tavisto::preview {

// Writes the model as indented text: panel sizes, groups, meters, counters with their
// rewritten expressions and references, where the layout placed each group and meter,
// and the sampling schedule.
void printModel(std::ostream& out, const PanelModel& model, const PanelLayout& layout);

}  // namespace tavisto::preview
