#pragma once
// The process's GDI objects, USER objects and kernel handles, for leak checks.

#include <windows.h>

#include <compare>
#include <cstdint>

namespace tavisto::win32::testing {

struct ProcessResources {
    long gdiObjects = 0;
    long userObjects = 0;
    long kernelHandles = 0;
    auto operator<=>(const ProcessResources&) const = default;
};

// GetGuiResources and GetProcessHandleCount where the system implements them. Wine
// only stubs them (they return 0), so there the same figures are counted directly:
// the live entries of the GDI handle table, the windows of the calling thread, and
// the handle values that name an open handle.
ProcessResources processResources();

// The live entries of a process's GDI handle table (PEB.GdiSharedHandleTable, which
// Windows and Wine map into every process), read through ReadProcessMemory: `process`
// needs PROCESS_QUERY_INFORMATION and PROCESS_VM_READ. 0 when the table cannot be read.
long gdiHandleTableEntries(HANDLE process, DWORD processId);

// A process's private bytes: its committed private memory, summed over the regions that
// VirtualQueryEx reports (`process` needs PROCESS_QUERY_INFORMATION). Wine reports
// PrivateUsage 0 in GetProcessMemoryInfo, of this process and of others.
std::uint64_t privateBytes(HANDLE process);

}  // namespace tavisto::win32::testing
