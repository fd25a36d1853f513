#pragma once
// The reference count of the module's COM objects (the class factory and the band),
// written once. An object starts with one reference, held by its creator, and deletes
// itself when the last one goes; while it lives it holds the module lock, so that
// DllCanUnloadNow keeps the module loaded.

#include <windows.h>

#include <unknwn.h>

#include "shell/module.h"

namespace tavisto::shell {

// COM interfaces have no virtual destructor by design: objects end in their own Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// `Object` derives from ComObject<Object, its interfaces...> and answers QueryInterface;
// AddRef and Release here override those of every interface. A private destructor of
// `Object` befriends this class.
template <typename Object, typename... Interfaces>
class ComObject : public Interfaces... {
  public:
    STDMETHODIMP_(ULONG) AddRef() noexcept final {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }

    STDMETHODIMP_(ULONG) Release() noexcept final {
        const LONG remaining = InterlockedDecrement(&references_);
        if (remaining == 0) {
            // What the destructor releases may call back into the object (a site giving
            // up the interfaces it was handed): those calls must not bring the count to
            // 0 a second time and delete it again.
            references_ = 1;
            delete static_cast<Object*>(this);
        }
        return static_cast<ULONG>(remaining);
    }

  protected:
    ComObject() noexcept = default;
    ~ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

  private:
    // First: the lock is released after everything else of the object is gone.
    ModuleLock moduleLock_;
    LONG references_ = 1;
};
#pragma GCC diagnostic pop

}  // namespace tavisto::shell
