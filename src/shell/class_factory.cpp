#include "shell/class_factory.h"

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
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
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
