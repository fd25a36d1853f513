#pragma once

#include <ostream>

#include "config/meter_model.h"

namespace tavisto::preview {

// Writes the model as indented text: panel sizes, groups, meters, counters with their
// rewritten expressions and references, and the sampling schedule.
void printModel(std::ostream& out, const PanelModel& model);

}  // namespace tavisto::preview
