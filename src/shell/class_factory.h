#pragma once
// The class factory of the desk band object. A new factory is made for every
// DllGetClassObject call; each live factory holds the module lock.

#include <windows.h>

#include <unknwn.h>

#include "shell/module.h"

namespace tavisto::shell {

// COM interfaces have no virtual destructor by design: objects end in their own Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CClassFactory final : public ComObject<CClassFactory, IClassFactory> {
  public:
    // Makes a factory and queries it for `riid`; a failed query destroys it at once.
    static HRESULT createAndQuery(REFIID riid, void** ppv) noexcept;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept override;
    STDMETHODIMP LockServer(BOOL lock) noexcept override;

  private:
    friend class ComObject<CClassFactory, IClassFactory>;
    CClassFactory() = default;
    ~CClassFactory() = default;
};
#pragma GCC diagnostic pop

}  // namespace tavisto::shell
