#pragma once
// Self-registration: the class key with its in-process server entries, and the desk
// band component category.

#include <windows.h>

#include <string>

namespace tavisto::shell {

// Registers this module: S_OK, or SELFREG_E_CLASS on any failure, after which the
// class key is removed again.
HRESULT registerServer() noexcept;
// The same for a module at `module`; an empty path is a failure.
HRESULT registerServerAt(const std::wstring& module) noexcept;

// Deletes the class key tree: S_OK, or SELFREG_E_CLASS (also when it is absent).
HRESULT unregisterServer() noexcept;

}  // namespace tavisto::shell
