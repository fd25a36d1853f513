#pragma once
// Module-level state of the COM server: the module handle, the lock count that decides
// whether the module may be unloaded, and the one class it serves.

#include <windows.h>

#include <string>

#include "tavisto_identifiers.h"
#include "window/module_file.h"

namespace tavisto::shell {

inline constexpr CLSID kTavistoClassId = TAVISTO_CLASS_ID_INITIALIZER;

HINSTANCE moduleInstance() noexcept;

void lockModule() noexcept;
void unlockModule() noexcept;
bool moduleLocked() noexcept;

// Holds the module lock for the life of its owner; declared first in a class, it is
// released after everything else, so no code of the module runs once the count is 0.
class ModuleLock {
  public:
    ModuleLock() noexcept { lockModule(); }
    ~ModuleLock() { unlockModule(); }
    ModuleLock(const ModuleLock&) = delete;
    ModuleLock& operator=(const ModuleLock&) = delete;
};

using window::moduleFileName;

}  // namespace tavisto::shell
