#include "platform/win32/sensors.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace tavisto::win32 {
namespace {

// MinGW-w64 has no d3dkmthk.h: the records the calls take, with the layout of the
// Windows Driver Kit's declarations.
using KmtHandle = UINT;

struct KmtAdapterInfo {
    KmtHandle adapter;
    LUID luid;
    ULONG sourceCount;
    BOOL precisePresentRegionsPreferred;
};
static_assert(sizeof(KmtAdapterInfo) == 20);

struct KmtEnumAdapters2 {
    ULONG adapterCount;
    KmtAdapterInfo* adapters;
};
static_assert(offsetof(KmtEnumAdapters2, adapters) == sizeof(void*));

// KMTQUERYADAPTERINFOTYPE values.
constexpr UINT kQueryPhysicalAdapterCount = 30;
constexpr UINT kQueryAdapterPerformanceData = 62;

struct KmtQueryAdapterInfo {
    KmtHandle adapter;
    UINT type;
    void* data;
    UINT dataSize;
};
static_assert(offsetof(KmtQueryAdapterInfo, data) == 8);

struct KmtPhysicalAdapterCount {
    UINT count;
};

struct KmtAdapterPerformanceData {
    UINT32 physicalAdapterIndex;
    alignas(8) ULONGLONG memoryFrequency;
    alignas(8) ULONGLONG maxMemoryFrequency;
    alignas(8) ULONGLONG maxMemoryFrequencyOverclocked;
    alignas(8) ULONGLONG memoryBandwidth;
    alignas(8) ULONGLONG pcieBandwidth;
    ULONG fanRpm;
    ULONG power;
    ULONG temperature;
    UCHAR powerStateOverride;
};
static_assert(offsetof(KmtAdapterPerformanceData, fanRpm) == 48);
static_assert(sizeof(KmtAdapterPerformanceData) == 64);

struct KmtCloseAdapter {
    KmtHandle adapter;
};

// An adapter handle that D3DKMTEnumAdapters2 opened, closed with D3DKMTCloseAdapter.
struct KmtAdapterTraits {
    using Handle = KmtHandle;
    Win32Sensors::CloseAdapterFunction close = nullptr;
    static Handle invalid() noexcept { return 0; }
    void release(Handle adapter) const noexcept {
        const KmtCloseAdapter request{adapter};
        close(&request);
    }
};
using KmtAdapter = Owned<KmtAdapterTraits>;

// More than any machine has; bounds what a faulty answer could make us allocate.
constexpr ULONG kMaxAdapters = 64;
constexpr UINT kMaxPhysicalAdapters = 64;

// NTSTATUS: success and information codes are not negative.
bool succeeded(LONG status) {
    return status >= 0;
}

// The longest path Windows gives, terminator included.
constexpr DWORD kLongestPath = 32768;

// The image file's full path, asked for in MAX_PATH characters first and then, only when
// that is too short, in the longest a path can be.
std::optional<std::wstring> imagePathOf(HANDLE process) {
    for (const DWORD capacity : {DWORD{MAX_PATH}, kLongestPath}) {
        std::wstring path(capacity, L'\0');
        DWORD length = capacity;
        if (QueryFullProcessImageNameW(process, 0, path.data(), &length)) {
            path.resize(std::min(length, capacity));
            return path;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            break;
        }
    }
    return std::nullopt;
}

// The file's name without its folder and without a final ".exe", in any case as file
// names compare.
std::u16string programName(std::wstring_view path) {
    std::wstring_view name = path.substr(path.find_last_of(L'\\') + 1);
    constexpr std::wstring_view kExtension = L".exe";
    constexpr int kExtensionLength = static_cast<int>(kExtension.size());
    if (name.size() >= kExtension.size() &&
        CompareStringOrdinal(name.data() + name.size() - kExtension.size(), kExtensionLength,
                             kExtension.data(), kExtensionLength, TRUE) == CSTR_EQUAL) {
        name.remove_suffix(kExtension.size());
    }
    return {name.begin(), name.end()};
}

template <typename Function>
Function lookUp(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

Win32Sensors::Win32Sensors() noexcept
    : gdi32_(LoadLibraryExW(L"gdi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    if (!gdi32_) {
        return;
    }
    const auto enumAdapters = lookUp<EnumAdaptersFunction>(gdi32_.get(), "D3DKMTEnumAdapters2");
    const auto queryAdapterInfo =
        lookUp<QueryAdapterInfoFunction>(gdi32_.get(), "D3DKMTQueryAdapterInfo");
    const auto closeAdapter = lookUp<CloseAdapterFunction>(gdi32_.get(), "D3DKMTCloseAdapter");
    // All or none: an adapter that can be enumerated but not closed would leak.
    if (enumAdapters != nullptr && queryAdapterInfo != nullptr && closeAdapter != nullptr) {
        enumAdapters_ = enumAdapters;
        queryAdapterInfo_ = queryAdapterInfo;
        closeAdapter_ = closeAdapter;
    }
}

void Win32Sensors::readAdapters(std::vector<platform::AdapterPerformance>& result) noexcept {
    result.clear();
    if (enumAdapters_ == nullptr) {
        return;
    }
    try {
        KmtEnumAdapters2 enumeration{};
        if (!succeeded(enumAdapters_(&enumeration)) || enumeration.adapterCount == 0) {
            return;
        }
        std::vector<KmtAdapterInfo> infos(std::min(enumeration.adapterCount, kMaxAdapters));
        // Room for every owner before the call opens handles, so that none is left unowned.
        std::vector<KmtAdapter> adapters;
        adapters.reserve(infos.size());
        enumeration.adapterCount = static_cast<ULONG>(infos.size());
        enumeration.adapters = infos.data();
        if (!succeeded(enumAdapters_(&enumeration))) {
            return;
        }
        infos.resize(std::min<std::size_t>(enumeration.adapterCount, infos.size()));
        for (const KmtAdapterInfo& info : infos) {
            adapters.emplace_back(info.adapter, KmtAdapterTraits{closeAdapter_});
        }

        for (const KmtAdapterInfo& info : infos) {
            KmtPhysicalAdapterCount physical{};
            const KmtQueryAdapterInfo countQuery{info.adapter, kQueryPhysicalAdapterCount,
                                                 &physical, sizeof(physical)};
            const UINT physicalCount = succeeded(queryAdapterInfo_(&countQuery))
                                           ? std::clamp(physical.count, 1u, kMaxPhysicalAdapters)
                                           : 1u;
            for (UINT index = 0; index < physicalCount; ++index) {
                KmtAdapterPerformanceData data{};
                data.physicalAdapterIndex = index;
                const KmtQueryAdapterInfo dataQuery{info.adapter, kQueryAdapterPerformanceData,
                                                    &data, sizeof(data)};
                platform::AdapterPerformance adapter;
                adapter.luidLowPart = info.luid.LowPart;
                adapter.luidHighPart = info.luid.HighPart;
                adapter.physicalIndex = index;
                adapter.answered = succeeded(queryAdapterInfo_(&dataQuery));
                if (adapter.answered) {
                    adapter.memoryFrequency = data.memoryFrequency;
                    adapter.fanRpm = data.fanRpm;
                    adapter.power = data.power;
                    adapter.temperature = data.temperature;
                }
                result.push_back(adapter);
            }
        }
    } catch (...) {
        // Out of memory: no reading this time; the owners have closed every adapter.
        result.clear();
    }
}

std::optional<platform::PowerStatus> Win32Sensors::readPowerStatus() noexcept {
    SYSTEM_POWER_STATUS status{};
    if (!GetSystemPowerStatus(&status)) {
        return std::nullopt;
    }
    platform::PowerStatus power;
    power.acLineStatus = status.ACLineStatus;
    power.batteryFlag = status.BatteryFlag;
    power.batteryLifePercent = status.BatteryLifePercent;
    power.batteryLifeTime = status.BatteryLifeTime;
    return power;
}

std::optional<std::u16string> Win32Sensors::processImageName(std::uint32_t processId) noexcept {
    // 0 is the idle process, which has no image.
    if (processId == 0) {
        return std::nullopt;
    }
    const KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) {
        return std::nullopt;
    }
    // A process that has ended keeps its image's name while anyone holds a handle to it.
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.get(), &exitCode) || exitCode != STILL_ACTIVE) {
        return std::nullopt;
    }
    try {
        const std::optional<std::wstring> path = imagePathOf(process.get());
        if (!path) {
            return std::nullopt;
        }
        return programName(*path);
    } catch (...) {
        // Out of memory: no name this time.
        return std::nullopt;
    }
}

}  // namespace tavisto::win32
