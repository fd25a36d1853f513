#include "platform/win32/module_thread.h"

namespace tavisto::win32 {

HMODULE thisModule() noexcept {
    HMODULE module = nullptr;
    // The address of this function lies inside the module that was linked with it; the
    // reference count is left alone, so nothing has to be freed.
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&thisModule), &module);
    return module;
}

ModuleReference referenceThisModule() noexcept {
    HMODULE module = nullptr;
    // The address of this function lies inside the module that was linked with it.
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&referenceThisModule), &module)) {
        return {};
    }
    return ModuleReference(module);
}

}  // namespace tavisto::win32
