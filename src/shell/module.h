#pragma once
// Module-level state of the COM server: the module handle, the lock count that decides
// whether the module may be unloaded, and the one class it serves.

#include <windows.h>

#include <string>

#include "window/module_file.h"

namespace tavisto::shell {

// {6D3F0A52-1C84-4E97-B2A6-93E5C07D14B8}
inline constexpr CLSID kTavistoClassId = {
    0x6D3F0A52, 0x1C84, 0x4E97, {0xB2, 0xA6, 0x93, 0xE5, 0xC0, 0x7D, 0x14, 0xB8}};

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
