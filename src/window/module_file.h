#pragma once
// The file a loaded module was read from: the desk band's DLL or the companion's EXE.

#include <windows.h>

#include <string>

namespace tavisto::window {

// The module holding this code, whether it is linked into a DLL or an EXE.
HMODULE thisModule() noexcept;

// The full path of a loaded module, however long; empty when it cannot be read.
std::wstring moduleFileName(HMODULE module);

}  // namespace tavisto::window
