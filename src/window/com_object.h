#pragma once
// The reference count of the module's COM objects (the desk band's class factory and
// band, and the meters' accessible objects), written once. An object starts with one
// reference, held by its creator, and deletes itself when the last one goes; while it
// lives it holds the module lock, so that the desk band's DllCanUnloadNow keeps the
// module loaded while another process still holds one of its objects.

#include <windows.h>

#include <unknwn.h>

namespace tavisto::window {

void lockModule() noexcept;
void unlockModule() noexcept;
bool moduleLocked() noexcept;

// Holds the module lock for the life of its owner; declared first in a class, it is
// released after everything else, so no code of the module runs once the count is 0.
class ModuleLock {
  public:
    ModuleLock() noexcept { lockModule(); }
    ~ModuleLock() { unlockModule(); }
    ModuleLock(const ModuleLock&) = delete;
    ModuleLock& operator=(const ModuleLock&) = delete;
};

// COM interfaces have no virtual destructor by design: objects end in their own Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// `Object` derives from ComObject<Object, its interfaces...> and answers QueryInterface
// with QISearch over a table of its interfaces (QITAB, ending in an empty entry), which
// answers IUnknown with the first entry, a null pointer with E_POINTER and an unknown
// interface with E_NOINTERFACE. AddRef and Release here override those of every
// interface. A private destructor of `Object` befriends this class.
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
    // Whether anyone besides the one holder of the object's first reference holds it.
    bool heldByOthers() const noexcept {
        return InterlockedCompareExchange(&references_, 0, 0) > 1;
    }
    ~ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

  private:
    // First: the lock is released after everything else of the object is gone.
    ModuleLock moduleLock_;
    mutable LONG references_ = 1;
};
#pragma GCC diagnostic pop

}  // namespace tavisto::window
