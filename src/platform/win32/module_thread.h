#pragma once
// Threads that run code of this module. Explorer may unload the desk band's DLL as soon
// as its last reference goes, while a thread of it is still running, so such a thread
// holds a reference of its own from before it starts until it leaves, and it leaves
// through FreeLibraryAndExitThread rather than returning into code that may be gone.

#include <windows.h>

#include <memory>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

#include "core/failure_sink.h"
#include "platform/win32/handles.h"

namespace tavisto::win32 {

// The module this code is linked into, whether a DLL or an EXE, without a reference of
// its own: for what lives no longer than the module's code.
HMODULE thisModule() noexcept;
// A new reference to the module this code is linked into; empty when it cannot be taken.
ModuleReference referenceThisModule() noexcept;

namespace module_thread {

template <typename Body>
struct Start {
    Body body;
    std::string_view place;
    // Given to the thread as it starts; released here when it never does.
    ModuleReference module;
};

// The thread's entry: a barrier that reports what `body` throws under `place`.
template <typename Body>
DWORD WINAPI entry(void* start) noexcept {
    HMODULE module = nullptr;
    std::string_view place;
    try {
        const std::unique_ptr<Start<Body>> owned(static_cast<Start<Body>*>(start));
        module = owned->module.release();
        place = owned->place;
        owned->body();
    } catch (...) {
        reportCaughtException(place);
    }
    // The module may be unloaded the moment its last reference goes.
    FreeLibraryAndExitThread(module, 0);
}

}  // namespace module_thread

// Starts a thread that runs `body()` while holding a reference to this module; `place`
// (a literal) names the thread in the failure sink's reports. Empty when the thread
// could not be started: `body` has then been destroyed and the reference given back.
template <typename Body>
KernelHandle startModuleThread(Body body, std::string_view place) noexcept {
    static_assert(std::is_nothrow_move_constructible_v<Body>);
    using Start = module_thread::Start<Body>;
    ModuleReference module = referenceThisModule();
    if (!module) {
        return {};
    }
    std::unique_ptr<Start> start(new (std::nothrow)
                                     Start{std::move(body), place, std::move(module)});
    if (!start) {
        return {};
    }
    KernelHandle thread(
        CreateThread(nullptr, 0, module_thread::entry<Body>, start.get(), 0, nullptr));
    if (thread) {
        // The thread owns it now.
        start.release();
    }
    return thread;
}

}  // namespace tavisto::win32
