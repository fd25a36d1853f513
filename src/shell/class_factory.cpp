#include "shell/class_factory.h"

#include <shlwapi.h>

#include <new>

#include "shell/desk_band.h"

namespace tavisto::shell {

HRESULT CClassFactory::createAndQuery(REFIID riid, void** ppv) noexcept {
    auto* factory = new (std::nothrow) CClassFactory();
    if (factory == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HRESULT result = factory->QueryInterface(riid, ppv);
    factory->Release();
    return result;
}

STDMETHODIMP CClassFactory::QueryInterface(REFIID riid, void** ppv) noexcept {
    const QITAB interfaces[] = {QITABENT(CClassFactory, IClassFactory), {}};
    return QISearch(this, interfaces, riid, ppv);
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    return CTavisto::createAndQuery(riid, ppv);
}

STDMETHODIMP CClassFactory::LockServer(BOOL lock) noexcept {
    if (lock) {
        lockModule();
    } else {
        unlockModule();
    }
    return S_OK;
}

}  // namespace tavisto::shell
