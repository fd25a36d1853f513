#pragma once
// Module-level state of the COM server: the module handle, the lock count that decides
// whether the module may be unloaded, and the one class it serves.

#include <windows.h>

#include <string>

#include "tavisto_identifiers.h"
#include "window/com_object.h"
#include "window/module_file.h"

namespace tavisto::shell {

inline constexpr CLSID kTavistoClassId = TAVISTO_CLASS_ID_INITIALIZER;

HINSTANCE moduleInstance() noexcept;

using window::ComObject;
using window::lockModule;
using window::moduleFileName;
using window::ModuleLock;
using window::moduleLocked;
using window::unlockModule;

}  // namespace tavisto::shell
