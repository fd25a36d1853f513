#include "pdh_control.h"

#include <cstdio>

namespace tavisto::testing {

std::string controlText(const PdhSchedule& schedule) {
    char line[160];
    std::string text;
    const auto add = [&](const char* format, auto... values) {
        std::snprintf(line, sizeof(line), format, values...);
        text += line;
    };
    add("seed %llu\n", schedule.seed);
    add("fail-open %.6f\nfail-add %.6f\n", schedule.failOpen, schedule.failAdd);
    add("fail-collect %.6f\nfail-read %.6f\n", schedule.failCollect, schedule.failRead);
    for (const std::string& path : schedule.refusedPaths) {
        text += "fail-add-path " + path + "\n";
    }
    add("sleep-collect %u\nsleep-add %u\n", schedule.sleepCollectMilliseconds,
        schedule.sleepAddMilliseconds);
    add("instances %u ", schedule.instances);
    text += schedule.instancePattern + "\n";
    for (const auto& [name, value] : schedule.namedInstances) {
        text += "instance " + name;
        add(" %.6f\n", value);
    }
    if (schedule.value) {
        add("value %.6f\n", *schedule.value);
    }
    return text;
}

PdhStandIn::PdhStandIn() {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    path_ =
        std::wstring(folder) + L"tavisto-pdh-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    SetEnvironmentVariableW(L"TAVISTO_TEST_PDH", path_.c_str());
}

PdhStandIn::~PdhStandIn() {
    SetEnvironmentVariableW(L"TAVISTO_TEST_PDH", nullptr);
    DeleteFileW(path_.c_str());
}

bool PdhStandIn::follow(const PdhSchedule& schedule) {
    // A count in a comment: each file differs in content and time from the one before.
    const std::string text = controlText(schedule) + "# " + std::to_string(++written_) + "\n";
    const std::wstring next = path_ + L".next";
    const HANDLE file =
        CreateFileW(next.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL good =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return good && written == text.size() &&
           MoveFileExW(next.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

std::optional<StandInStatus> standInStatus(DWORD processId) {
    const HANDLE mapping =
        OpenFileMappingW(FILE_MAP_READ, FALSE, standInStatusName(processId).c_str());
    if (mapping == nullptr) {
        return std::nullopt;
    }
    std::optional<StandInStatus> status;
    if (const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(StandInStatus))) {
        status = *static_cast<const StandInStatus*>(view);
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
    if (status && status->magic != StandInStatus::kMagic) {
        status.reset();
    }
    return status;
}

}  // namespace tavisto::testing
