#pragma once
// The file a loaded module was read from: the desk band's DLL or the companion's EXE.

#include <windows.h>

#include <string>

#include "platform/win32/module_thread.h"

namespace tavisto::window {

using win32::thisModule;

// The full path of a loaded module, however long; empty when it cannot be read.
std::wstring moduleFileName(HMODULE module);

}  // namespace tavisto::window
