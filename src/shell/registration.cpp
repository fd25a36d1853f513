#include "shell/registration.h"

#include <comcat.h>
#include <olectl.h>
#include <shlguid.h>
#include <strsafe.h>
#include <wrl/client.h>

#include <string>

#include "core/failure_sink.h"
#include "platform/win32/handles.h"
#include "shell/module.h"

namespace tavisto::shell {
namespace {

constexpr std::size_t kPathCapacity = 260;

// The class key path with an optional subkey, formatted by a formatter that fails
// rather than truncates.
HRESULT classKeyPath(const wchar_t* subkey, wchar_t (&path)[kPathCapacity]) noexcept {
    wchar_t classId[kPathCapacity] = {};
    if (StringFromGUID2(kTavistoClassId, classId, static_cast<int>(kPathCapacity)) == 0) {
        return E_FAIL;
    }
    return subkey == nullptr
               ? StringCchPrintfW(path, kPathCapacity, L"CLSID\\%ls", classId)
               : StringCchPrintfW(path, kPathCapacity, L"CLSID\\%ls\\%ls", classId, subkey);
}

LSTATUS createKey(const wchar_t* path, win32::RegistryKey& key) noexcept {
    HKEY created = nullptr;
    const LSTATUS status =
        RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, &created, nullptr);
    key.reset(created);
    return status;
}

// A REG_SZ value with its terminating null.
LSTATUS setString(HKEY key, const wchar_t* name, const std::wstring& text) noexcept {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

HRESULT writeClassKeys(const std::wstring& module) noexcept {
    // Without the module's path the server key would name nothing that can be loaded.
    if (module.empty()) {
        return E_FAIL;
    }
    wchar_t path[kPathCapacity];
    HRESULT result = classKeyPath(nullptr, path);
    if (FAILED(result)) {
        return result;
    }
    win32::RegistryKey classKey;
    if (createKey(path, classKey) != ERROR_SUCCESS) {
        return E_FAIL;
    }
    if (setString(classKey.get(), nullptr, L"Tavisto") != ERROR_SUCCESS) {
        return E_FAIL;
    }
    classKey.reset();

    result = classKeyPath(L"InprocServer32", path);
    if (FAILED(result)) {
        return result;
    }
    win32::RegistryKey serverKey;
    if (const LSTATUS status = createKey(path, serverKey); status != ERROR_SUCCESS) {
        return HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
    }
    if (const LSTATUS status = setString(serverKey.get(), nullptr, module);
        status != ERROR_SUCCESS) {
        return HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
    }
    if (const LSTATUS status = setString(serverKey.get(), L"ThreadingModel", L"Apartment");
        status != ERROR_SUCCESS) {
        return HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
    }
    return S_OK;
}

HRESULT registerCategory() noexcept {
    Microsoft::WRL::ComPtr<ICatRegister> categories;
    HRESULT result = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr,
                                      CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&categories));
    if (SUCCEEDED(result)) {
        CATID deskBand = CATID_DeskBand;
        result = categories->RegisterClassImplCategories(kTavistoClassId, 1, &deskBand);
    }
    return result;
}

}  // namespace

HRESULT registerServer() noexcept {
    try {
        return registerServerAt(moduleFileName(moduleInstance()));
    } catch (...) {
        reportCaughtException("registering the server");
        return SELFREG_E_CLASS;
    }
}

HRESULT registerServerAt(const std::wstring& module) noexcept {
    HRESULT result = writeClassKeys(module);
    if (SUCCEEDED(result)) {
        result = registerCategory();
    }
    if (FAILED(result)) {
        // A half-written class would be listed but could not be loaded.
        unregisterServer();
        return SELFREG_E_CLASS;
    }
    return S_OK;
}

HRESULT unregisterServer() noexcept {
    wchar_t path[kPathCapacity];
    if (FAILED(classKeyPath(nullptr, path))) {
        return SELFREG_E_CLASS;
    }
    return RegDeleteTreeW(HKEY_CLASSES_ROOT, path) == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

}  // namespace tavisto::shell
