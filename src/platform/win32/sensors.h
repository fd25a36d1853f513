#pragma once
// The sensors Windows reports without a driver of ours: each graphics adapter's
// performance data through the D3DKMT calls of gdi32, and the power supply's status;
// and the names of running processes, from their image files.

#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace tavisto::win32 {

// D3DKMTEnumAdapters2, D3DKMTQueryAdapterInfo and D3DKMTCloseAdapter are looked up
// once, at construction, in a reference to gdi32 held for the pointers' sake: the
// module must still load where gdi32 lacks them (before Windows 8, and under Wine), and
// then no adapter is read. Nothing changes after construction, so reads need no lock;
// one read at a time, as the seam promises.
class Win32Sensors final : public platform::Sensors {
  public:
    Win32Sensors() noexcept;
    void readAdapters(std::vector<platform::AdapterPerformance>& adapters) noexcept override;
    std::optional<platform::PowerStatus> readPowerStatus() noexcept override;
    std::optional<std::u16string> processImageName(std::uint32_t processId) noexcept override;

    // The D3DKMT entry points, as gdi32 exports them; their parameter records are
    // declared where they are used.
    using EnumAdaptersFunction = LONG(APIENTRY*)(void* enumeration);
    using QueryAdapterInfoFunction = LONG(APIENTRY*)(const void* query);
    using CloseAdapterFunction = LONG(APIENTRY*)(const void* close);

  private:
    ModuleReference gdi32_;
    EnumAdaptersFunction enumAdapters_ = nullptr;
    QueryAdapterInfoFunction queryAdapterInfo_ = nullptr;
    CloseAdapterFunction closeAdapter_ = nullptr;
};

}  // namespace tavisto::win32
