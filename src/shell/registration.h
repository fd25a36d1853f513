#pragma once
// Self-registration: the class key with its in-process server entries, and the desk
// band component category.

#include <windows.h>

namespace tavisto::shell {

// S_OK, or SELFREG_E_CLASS on any failure (keys written before it stay).
HRESULT registerServer() noexcept;

// Deletes the class key tree: S_OK, or SELFREG_E_CLASS (also when it is absent).
HRESULT unregisterServer() noexcept;

}  // namespace tavisto::shell
