#pragma once

#include <string>

#include "config/meter_model.h"

namespace tavisto {

// Finds the counter references of a counter expression, replaces each by a one-letter
// variable name ("a", "b", ... by character code) and returns them keyed by that name.
// Performance-counter paths "(\Object\Counter)" come first, each occurrence its own
// entry; then system performance fields "(PERFORMANCE_INFORMATION.Field)", every
// occurrence of the same text sharing one entry.
ReferenceMap extractReferences(std::u16string& text);

}  // namespace tavisto
