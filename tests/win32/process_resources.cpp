#include "process_resources.h"

#include <windows.h>

#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavisto::win32::testing {
namespace {

// An entry of the GDI handle table that Windows and Wine map into every process
// (PEB.GdiSharedHandleTable). The type byte is 0 in a free entry.
struct GdiHandleEntry {
    std::uint64_t kernelObject;
    std::uint16_t processId;
    std::uint16_t count;
    std::uint16_t unique;
    std::uint8_t type;
    std::uint8_t flags;
    std::uint64_t userObject;
};
static_assert(sizeof(GdiHandleEntry) == 24);

constexpr std::size_t kPebGdiSharedHandleTable = 0xF8;  // 64-bit PEB
constexpr std::size_t kGdiHandleEntries = 65536;
// Handle values are multiples of 4, handed out from the bottom of the table.
constexpr std::uintptr_t kHandleValueLimit = 0x2000;

BOOL CALLBACK countWindow(HWND window, LPARAM count) {
    ++*reinterpret_cast<long*>(count);
    EnumChildWindows(window, countWindow, count);
    return TRUE;
}

long threadWindows() {
    long windows = 0;
    EnumThreadWindows(GetCurrentThreadId(), countWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

long openHandleValues() {
    long open = 0;
    for (std::uintptr_t value = 4; value < kHandleValueLimit; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++open;
        }
    }
    return open;
}

}  // namespace

ProcessResources processResources() {
    const HANDLE self = GetCurrentProcess();
    ProcessResources resources;
    resources.gdiObjects = static_cast<long>(GetGuiResources(self, GR_GDIOBJECTS));
    resources.userObjects = static_cast<long>(GetGuiResources(self, GR_USEROBJECTS));
    DWORD handles = 0;
    if (GetProcessHandleCount(self, &handles)) {
        resources.kernelHandles = static_cast<long>(handles);
    }
    // A process that has drawn anything holds GDI objects, so 0 means a stub.
    if (resources.gdiObjects == 0) {
        resources.gdiObjects = gdiHandleTableEntries(GetCurrentProcess(), GetCurrentProcessId());
        resources.userObjects = threadWindows();
    }
    if (resources.kernelHandles == 0) {
        resources.kernelHandles = openHandleValues();
    }
    return resources;
}

long gdiHandleTableEntries(HANDLE process, DWORD processId) {
    PROCESS_BASIC_INFORMATION basic{};
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof(basic),
                                  nullptr) != 0 ||
        basic.PebBaseAddress == nullptr) {
        return 0;
    }
    std::uint64_t table = 0;
    SIZE_T read = 0;
    if (!ReadProcessMemory(
            process, reinterpret_cast<const BYTE*>(basic.PebBaseAddress) + kPebGdiSharedHandleTable,
            &table, sizeof(table), &read) ||
        table == 0) {
        return 0;
    }
    std::vector<GdiHandleEntry> entries(kGdiHandleEntries);
    if (!ReadProcessMemory(process, reinterpret_cast<const void*>(table), entries.data(),
                           entries.size() * sizeof(GdiHandleEntry), &read)) {
        return 0;
    }
    // Wine keeps a table per process and leaves the process identifier 0.
    const auto owner = static_cast<std::uint16_t>(processId);
    return static_cast<long>(
        std::count_if(entries.begin(), entries.end(), [owner](const GdiHandleEntry& entry) {
            return entry.type != 0 && (entry.processId == 0 || entry.processId == owner);
        }));
}

std::uint64_t privateBytes(HANDLE process) {
    std::uint64_t total = 0;
    MEMORY_BASIC_INFORMATION region{};
    const BYTE* address = nullptr;
    while (VirtualQueryEx(process, address, &region, sizeof(region)) == sizeof(region)) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
            total += region.RegionSize;
        }
        const BYTE* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
        if (next <= address) {
            break;
        }
        address = next;
    }
    return total;
}

}  // namespace tavisto::win32::testing
