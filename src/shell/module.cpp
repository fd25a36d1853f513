#include "shell/module.h"

#include <objbase.h>

#include "core/failure_sink.h"
#include "platform/win32/debug_output.h"
#include "shell/class_factory.h"
#include "shell/registration.h"

namespace tavisto::shell {
namespace {

HINSTANCE instance = nullptr;

}  // namespace

HINSTANCE moduleInstance() noexcept {
    return instance;
}

}  // namespace tavisto::shell

using namespace tavisto::shell;

extern "C" {

BOOL WINAPI DllMain(HINSTANCE hinst, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        instance = hinst;
        DisableThreadLibraryCalls(hinst);
        // The module's own copy of the engine reports into the debugger's output.
        tavisto::setFailureReporter(tavisto::win32::reportToDebugOutput);
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() {
    return moduleLocked() ? S_FALSE : S_OK;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, kTavistoClassId)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return CClassFactory::createAndQuery(riid, ppv);
}

STDAPI DllRegisterServer() {
    return registerServer();
}

STDAPI DllUnregisterServer() {
    return unregisterServer();
}

}  // extern "C"
