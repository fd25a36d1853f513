// pdh.dll for tests: stands in for the system's Performance Data Helper in a test
// folder, loaded through WINEDLLOVERRIDES="pdh=n,b" instead of Wine's (or Windows') own.
// It serves every counter path it is asked to add, wildcard ones as an array of
// instances, and fails, stalls or refuses calls as the test's control file says. The
// program under test does not know: nothing it does changes what the stand-in does.
//
// The control file is named by TAVISTO_TEST_PDH and read again whenever its time or size
// changes (checked at every open, add and collection), so a test can change the
// behaviour while the program runs. One instruction a line; `#` at the start or after
// a space starts a comment:
//   seed N                 the failure schedule's seed (it starts again at every read)
//   fail-open P            each query open fails with probability P (0 to 1)
//   fail-add P             each counter add fails with probability P
//   fail-collect P         each collection fails with probability P
//   fail-read P            each formatted read (value or array) fails with probability P
//   fail-add-path PATH     adding exactly this path (any case) always fails; repeatable
//   sleep-collect MS       every collection takes MS milliseconds more
//   instances N PATTERN    a wildcard path serves N instances, named by PATTERN with
//                          {n} replaced by 0 .. N-1
//   instance NAME V        instead of the N instances above, a wildcard path serves this
//                          one, reading V; repeatable, in order (NAME has no space)
//   value V                every counter and instance reads V
//   cycle LOW HIGH         instead, instance i reads LOW + (c + i) mod (HIGH - LOW + 1)
//                          after its query's c-th good collection (the default, 0 100)
// What happened is counted in a named mapping (stand_in_status.h).

#include <windows.h>

#include <pdh.h>
#include <pdhmsg.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwctype>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "stand_in_status.h"

namespace {

using tavisto::testing::StandInStatus;

constexpr auto status(DWORD code) {
    return static_cast<PDH_STATUS>(code);
}

constexpr std::size_t kMaxControlBytes = 64 * 1024;
constexpr std::size_t kMaxInstances = 100'000;
constexpr DWORD kMaxSleepMilliseconds = 600'000;

struct Control {
    std::uint64_t seed = 1;
    double failOpen = 0;
    double failAdd = 0;
    double failCollect = 0;
    double failRead = 0;
    std::vector<std::wstring> refusedPaths;  // lower case
    DWORD sleepCollect = 0;
    DWORD sleepAdd = 0;
    std::size_t instances = 4;
    std::wstring instancePattern = L"instance_{n}";
    // Named instances with their values; when there are any, they are the instances.
    std::vector<std::pair<std::wstring, double>> namedInstances;
    std::optional<double> value;
    long long cycleLow = 0;
    long long cycleHigh = 100;
};

// What a query's last good collection saw.
struct Snapshot {
    std::uint64_t collection = 0;  // good collections so far
    std::optional<double> value;
    long long cycleLow = 0;
    long long cycleHigh = 100;
    std::vector<std::wstring> instanceNames;
    std::vector<double> namedValues;  // by instance, when they are named

    double valueOf(std::size_t index) const {
        if (index < namedValues.size()) {
            return namedValues[index];
        }
        if (value) {
            return *value;
        }
        const auto span = static_cast<std::uint64_t>(std::max(cycleHigh - cycleLow, 0LL) + 1);
        return static_cast<double>(cycleLow) + static_cast<double>((collection + index) % span);
    }
};

struct Query;

struct Counter {
    Query* query = nullptr;
    bool wildcard = false;
    std::uint64_t addedAt = 0;  // the query's good collections when it was added
};

struct Query {
    std::vector<Counter*> counters;
    Snapshot snapshot;
    int collecting = 0;
    bool closed = false;  // closed while collecting: freed when the collection returns
};

// Every call may come from any thread of the program: one lock for all state.
CRITICAL_SECTION lock;
Control control;
std::uint64_t randomState = 1;
FILETIME controlTime{};
ULONGLONG controlSize = ~0ULL;
bool controlSeen = false;
std::set<const void*> liveQueries;
std::set<const void*> liveCounters;
HANDLE statusMapping = nullptr;
StandInStatus* shared = nullptr;
StandInStatus scratch;  // counts go here when the mapping could not be made

class Locked {
  public:
    Locked() { EnterCriticalSection(&lock); }
    ~Locked() { LeaveCriticalSection(&lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

StandInStatus& counts() {
    return shared != nullptr ? *shared : scratch;
}

// splitmix64: the same seed gives the same schedule of failures.
double uniform() {
    std::uint64_t z = (randomState += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / 9007199254740992.0;
}

// Called with the lock held by every call that changes or collects a query.
void noteCaller() {
    const DWORD thread = GetCurrentThreadId();
    for (std::uint32_t& caller : counts().callerThreads) {
        if (caller == thread) {
            return;
        }
        if (caller == 0) {
            caller = thread;
            return;
        }
    }
}

bool fails(double probability) {
    return probability > 0 && uniform() < probability;
}

std::wstring lowered(std::wstring text) {
    for (wchar_t& character : text) {
        character = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(character)));
    }
    return text;
}

std::wstring widened(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(size, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

Control parseControl(const std::string& text) {
    Control parsed;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        start = end + 1;
        // Instance names hold '#' (chrome#1): a comment starts a line or follows a space.
        if (line.starts_with('#')) {
            line.clear();
        } else if (const auto comment = line.find(" #"); comment != std::string::npos) {
            line.resize(comment);
        }
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
            line.pop_back();
        }
        const auto space = line.find(' ');
        if (space == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, space);
        const std::string rest = line.substr(space + 1);
        const double number = std::strtod(rest.c_str(), nullptr);
        if (key == "seed") {
            parsed.seed = std::strtoull(rest.c_str(), nullptr, 10);
        } else if (key == "fail-open") {
            parsed.failOpen = number;
        } else if (key == "fail-add") {
            parsed.failAdd = number;
        } else if (key == "fail-collect") {
            parsed.failCollect = number;
        } else if (key == "fail-read") {
            parsed.failRead = number;
        } else if (key == "fail-add-path") {
            parsed.refusedPaths.push_back(lowered(widened(rest)));
        } else if (key == "sleep-collect") {
            parsed.sleepCollect =
                static_cast<DWORD>(std::clamp(number, 0.0, double{kMaxSleepMilliseconds}));
        } else if (key == "sleep-add") {
            parsed.sleepAdd =
                static_cast<DWORD>(std::clamp(number, 0.0, double{kMaxSleepMilliseconds}));
        } else if (key == "instances") {
            char* after = nullptr;
            parsed.instances =
                std::min<std::size_t>(std::strtoull(rest.c_str(), &after, 10), kMaxInstances);
            while (*after == ' ') {
                ++after;
            }
            if (*after != '\0') {
                parsed.instancePattern = widened(after);
            }
        } else if (key == "instance") {
            const auto nameEnd = rest.find(' ');
            if (nameEnd != std::string::npos && parsed.namedInstances.size() < kMaxInstances) {
                parsed.namedInstances.emplace_back(widened(rest.substr(0, nameEnd)),
                                                   std::strtod(rest.c_str() + nameEnd, nullptr));
            }
        } else if (key == "value") {
            parsed.value = number;
        } else if (key == "cycle") {
            char* after = nullptr;
            parsed.cycleLow = std::strtoll(rest.c_str(), &after, 10);
            parsed.cycleHigh = std::strtoll(after, nullptr, 10);
            parsed.value.reset();
        }
    }
    return parsed;
}

// Reads the control file again when it changed; keeps the last one while it cannot be
// read (a test writing it anew).
void refreshControl() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"TAVISTO_TEST_PDH", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &attributes)) {
        return;
    }
    const ULONGLONG size = (ULONGLONG{attributes.nFileSizeHigh} << 32) | attributes.nFileSizeLow;
    if (controlSeen && size == controlSize &&
        CompareFileTime(&attributes.ftLastWriteTime, &controlTime) == 0) {
        return;
    }
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    std::string text(std::min<std::size_t>(size, kMaxControlBytes), '\0');
    DWORD read = 0;
    const BOOL good = ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(file);
    if (!good) {
        return;
    }
    text.resize(read);
    control = parseControl(text);
    randomState = control.seed;
    controlTime = attributes.ftLastWriteTime;
    controlSize = size;
    controlSeen = true;
    ++counts().controlReads;
}

std::wstring instanceName(std::size_t index) {
    std::wstring name = control.instancePattern;
    const std::wstring number = std::to_wstring(index);
    for (auto at = name.find(L"{n}"); at != std::wstring::npos; at = name.find(L"{n}", at)) {
        name.replace(at, 3, number);
        at += number.size();
    }
    return name;
}

// A null handle is what a caller has after a failed open or add; PDH refuses it, and so
// does the stand-in, but only a handle that was closed or never given is a misuse.
Query* liveQuery(PDH_HQUERY handle) {
    const auto* query = static_cast<const Query*>(handle);
    if (!liveQueries.contains(query)) {
        if (handle == nullptr) {
            return nullptr;
        }
        ++counts().misuses;
        return nullptr;
    }
    return static_cast<Query*>(handle);
}

Counter* liveCounter(PDH_HCOUNTER handle) {
    if (!liveCounters.contains(handle)) {
        if (handle == nullptr) {
            return nullptr;
        }
        ++counts().misuses;
        return nullptr;
    }
    return static_cast<Counter*>(handle);
}

void forgetCounter(Counter* counter) {
    liveCounters.erase(counter);
    --counts().liveCounters;
    delete counter;
}

void freeQuery(Query* query) {
    for (Counter* counter : query->counters) {
        forgetCounter(counter);
    }
    delete query;
}

// A read of `counter` that the schedule fails, either way PDH fails one: by the
// call's status or by the value's.
std::optional<PDH_STATUS> failedRead(PDH_FMT_COUNTERVALUE* value) {
    if (!fails(control.failRead)) {
        return std::nullopt;
    }
    if (value != nullptr) {
        value->CStatus = PDH_CSTATUS_INVALID_DATA;
    }
    return uniform() < 0.5 ? status(PDH_INVALID_DATA) : ERROR_SUCCESS;
}

// A list of zero-terminated names ending with an empty one, as the Enum functions
// give them: PDH_MORE_DATA and the size when there is no room.
PDH_STATUS giveList(const std::vector<std::wstring>& names, LPWSTR buffer, LPDWORD characters) {
    std::wstring list;
    for (const std::wstring& name : names) {
        list += name;
        list += L'\0';
    }
    list += L'\0';
    if (characters == nullptr) {
        return status(PDH_INVALID_ARGUMENT);
    }
    const auto needed = static_cast<DWORD>(list.size());
    if (buffer == nullptr || *characters < needed) {
        *characters = needed;
        return status(PDH_MORE_DATA);
    }
    std::copy(list.begin(), list.end(), buffer);
    *characters = needed;
    return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        InitializeCriticalSection(&lock);
        const std::wstring name = tavisto::testing::standInStatusName(GetCurrentProcessId());
        statusMapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                           sizeof(StandInStatus), name.c_str());
        if (statusMapping != nullptr) {
            shared = static_cast<StandInStatus*>(
                MapViewOfFile(statusMapping, FILE_MAP_WRITE, 0, 0, sizeof(StandInStatus)));
        }
        counts().processId = GetCurrentProcessId();
        counts().magic = StandInStatus::kMagic;
    } else if (reason == DLL_PROCESS_DETACH) {
        if (shared != nullptr) {
            UnmapViewOfFile(shared);
            shared = nullptr;
        }
        if (statusMapping != nullptr) {
            CloseHandle(statusMapping);
        }
        DeleteCriticalSection(&lock);
    }
    return TRUE;
}

PDH_STATUS WINAPI PdhOpenQueryW(LPCWSTR, DWORD_PTR, PDH_HQUERY* handle) {
    const Locked locked;
    refreshControl();
    noteCaller();
    if (handle == nullptr) {
        return status(PDH_INVALID_ARGUMENT);
    }
    ++counts().opens;
    if (fails(control.failOpen)) {
        ++counts().failedOpens;
        *handle = nullptr;
        return status(PDH_MEMORY_ALLOCATION_FAILURE);
    }
    auto* query = new Query;
    liveQueries.insert(query);
    ++counts().liveQueries;
    *handle = query;
    return ERROR_SUCCESS;
}

PDH_STATUS WINAPI PdhCloseQuery(PDH_HQUERY handle) {
    const Locked locked;
    noteCaller();
    Query* query = liveQuery(handle);
    if (query == nullptr) {
        return status(PDH_INVALID_HANDLE);
    }
    ++counts().closes;
    liveQueries.erase(query);
    --counts().liveQueries;
    if (query->collecting > 0) {
        // PDH would free what the running collection writes to.
        ++counts().misuses;
        query->closed = true;
        return ERROR_SUCCESS;
    }
    freeQuery(query);
    return ERROR_SUCCESS;
}

PDH_STATUS WINAPI PdhAddEnglishCounterW(PDH_HQUERY handle, LPCWSTR path, DWORD_PTR,
                                        PDH_HCOUNTER* added) {
    DWORD sleep = 0;
    {
        const Locked locked;
        refreshControl();
        noteCaller();
        sleep = control.sleepAdd;
    }
    // Outside the lock, as a provider slow to add holds only its caller.
    if (sleep > 0) {
        Sleep(sleep);
    }
    const Locked locked;
    Query* query = liveQuery(handle);
    if (query == nullptr) {
        return status(PDH_INVALID_HANDLE);
    }
    if (path == nullptr || added == nullptr) {
        return status(PDH_INVALID_ARGUMENT);
    }
    ++counts().adds;
    const std::wstring name(path);
    const auto& refused = control.refusedPaths;
    if (std::find(refused.begin(), refused.end(), lowered(name)) != refused.end() ||
        fails(control.failAdd)) {
        ++counts().failedAdds;
        *added = nullptr;
        return status(PDH_CSTATUS_NO_OBJECT);
    }
    auto* counter =
        new Counter{query, name.find(L'*') != std::wstring::npos, query->snapshot.collection};
    query->counters.push_back(counter);
    liveCounters.insert(counter);
    ++counts().liveCounters;
    *added = counter;
    return ERROR_SUCCESS;
}

PDH_STATUS WINAPI PdhRemoveCounter(PDH_HCOUNTER handle) {
    const Locked locked;
    noteCaller();
    Counter* counter = liveCounter(handle);
    if (counter == nullptr) {
        return status(PDH_INVALID_HANDLE);
    }
    ++counts().removes;
    std::erase(counter->query->counters, counter);
    forgetCounter(counter);
    return ERROR_SUCCESS;
}

PDH_STATUS WINAPI PdhCollectQueryData(PDH_HQUERY handle) {
    DWORD sleep = 0;
    Query* query = nullptr;
    {
        const Locked locked;
        refreshControl();
        noteCaller();
        query = liveQuery(handle);
        if (query == nullptr) {
            return status(PDH_INVALID_HANDLE);
        }
        ++query->collecting;
        ++counts().collections;
        ++counts().collectingNow;
        sleep = control.sleepCollect;
    }
    // Outside the lock, as a stalled provider holds only its own query.
    if (sleep > 0) {
        Sleep(sleep);
    }
    const Locked locked;
    --counts().collectingNow;
    --query->collecting;
    if (query->closed) {
        if (query->collecting == 0) {
            freeQuery(query);
        }
        return status(PDH_INVALID_HANDLE);
    }
    if (fails(control.failCollect)) {
        ++counts().failedCollections;
        return status(PDH_INVALID_DATA);
    }
    Snapshot& snapshot = query->snapshot;
    ++snapshot.collection;
    snapshot.value = control.value;
    snapshot.cycleLow = control.cycleLow;
    snapshot.cycleHigh = control.cycleHigh;
    const bool wildcard = std::any_of(query->counters.begin(), query->counters.end(),
                                      [](const Counter* counter) { return counter->wildcard; });
    snapshot.namedValues.clear();
    if (wildcard && !control.namedInstances.empty()) {
        snapshot.instanceNames.clear();
        for (const auto& [name, value] : control.namedInstances) {
            snapshot.instanceNames.push_back(name);
            snapshot.namedValues.push_back(value);
        }
        return ERROR_SUCCESS;
    }
    snapshot.instanceNames.resize(wildcard ? control.instances : 0);
    for (std::size_t index = 0; index < snapshot.instanceNames.size(); ++index) {
        snapshot.instanceNames[index] = instanceName(index);
    }
    return ERROR_SUCCESS;
}

PDH_STATUS WINAPI PdhGetFormattedCounterValue(PDH_HCOUNTER handle, DWORD format, LPDWORD type,
                                              PPDH_FMT_COUNTERVALUE value) {
    const Locked locked;
    Counter* counter = liveCounter(handle);
    if (counter == nullptr) {
        return status(PDH_INVALID_HANDLE);
    }
    if (value == nullptr || (format & PDH_FMT_DOUBLE) == 0) {
        return status(PDH_INVALID_ARGUMENT);
    }
    if (type != nullptr) {
        *type = PERF_COUNTER_RAWCOUNT;
    }
    ++counts().reads;
    if (const auto failed = failedRead(value)) {
        ++counts().failedReads;
        return *failed;
    }
    const Snapshot& snapshot = counter->query->snapshot;
    // No good collection since it was added: nothing to format yet.
    if (snapshot.collection == counter->addedAt) {
        value->CStatus = PDH_CSTATUS_INVALID_DATA;
        return status(PDH_INVALID_DATA);
    }
    // A wildcard path has no single value: only the array gives its instances.
    if (counter->wildcard) {
        value->CStatus = PDH_CSTATUS_INVALID_DATA;
        return status(PDH_INVALID_DATA);
    }
    value->CStatus = PDH_CSTATUS_VALID_DATA;
    value->doubleValue = snapshot.valueOf(0);
    return ERROR_SUCCESS;
}

PDH_STATUS WINAPI PdhGetFormattedCounterArrayW(PDH_HCOUNTER handle, DWORD format, LPDWORD bytes,
                                               LPDWORD count, PPDH_FMT_COUNTERVALUE_ITEM_W items) {
    const Locked locked;
    Counter* counter = liveCounter(handle);
    if (counter == nullptr) {
        return status(PDH_INVALID_HANDLE);
    }
    if (bytes == nullptr || count == nullptr || (format & PDH_FMT_DOUBLE) == 0) {
        return status(PDH_INVALID_ARGUMENT);
    }
    const Snapshot& snapshot = counter->query->snapshot;
    if (snapshot.collection == counter->addedAt) {
        return status(PDH_INVALID_DATA);
    }
    const std::size_t instances = counter->wildcard ? snapshot.instanceNames.size() : 1;
    std::size_t needed = instances * sizeof(PDH_FMT_COUNTERVALUE_ITEM_W);
    for (std::size_t index = 0; index < instances; ++index) {
        const std::size_t characters = counter->wildcard ? snapshot.instanceNames[index].size() : 0;
        needed += (characters + 1) * sizeof(wchar_t);
    }
    // The documented protocol: too little room (or none) answers the size.
    if (items == nullptr || *bytes < needed) {
        *bytes = static_cast<DWORD>(needed);
        *count = static_cast<DWORD>(instances);
        return status(PDH_MORE_DATA);
    }
    ++counts().arrayReads;
    if (fails(control.failRead)) {
        ++counts().failedArrayReads;
        return status(PDH_INVALID_DATA);
    }
    // The names follow the records in the same buffer.
    auto* names = reinterpret_cast<wchar_t*>(items + instances);
    for (std::size_t index = 0; index < instances; ++index) {
        const std::wstring name = counter->wildcard ? snapshot.instanceNames[index] : L"";
        std::copy(name.begin(), name.end(), names);
        names[name.size()] = L'\0';
        items[index].szName = names;
        items[index].FmtValue.CStatus = PDH_CSTATUS_VALID_DATA;
        items[index].FmtValue.doubleValue = snapshot.valueOf(index);
        names += name.size() + 1;
    }
    *bytes = static_cast<DWORD>(needed);
    *count = static_cast<DWORD>(instances);
    return ERROR_SUCCESS;
}

// The catalog: the objects the tests' configurations name.
PDH_STATUS WINAPI PdhEnumObjectsW(LPCWSTR, LPCWSTR, LPWSTR list, LPDWORD characters, DWORD, BOOL) {
    return giveList({L"GPU Engine", L"Processor", L"Test"}, list, characters);
}

PDH_STATUS WINAPI PdhEnumObjectItemsW(LPCWSTR, LPCWSTR, LPCWSTR object, LPWSTR counterList,
                                      LPDWORD counterCharacters, LPWSTR instanceList,
                                      LPDWORD instanceCharacters, DWORD, DWORD) {
    if (object == nullptr) {
        return status(PDH_INVALID_ARGUMENT);
    }
    const Locked locked;
    refreshControl();
    const std::wstring name = lowered(object);
    std::vector<std::wstring> counters;
    std::vector<std::wstring> instances;
    if (name == L"gpu engine") {
        counters = {L"Utilization Percentage", L"Running Time"};
        for (std::size_t index = 0; index < control.instances; ++index) {
            instances.push_back(instanceName(index));
        }
    } else if (name == L"processor") {
        counters = {L"% Processor Time"};
        instances = {L"_Total", L"0"};
    } else if (name == L"test") {
        counters = {L"Value"};
    } else {
        return status(PDH_CSTATUS_NO_OBJECT);
    }
    const PDH_STATUS counterStatus = giveList(counters, counterList, counterCharacters);
    const PDH_STATUS instanceStatus = giveList(instances, instanceList, instanceCharacters);
    return counterStatus != ERROR_SUCCESS ? counterStatus : instanceStatus;
}

// The stand-in's names are English already: the caller keeps the name it has.
PDH_STATUS WINAPI PdhLookupPerfIndexByNameW(LPCWSTR, LPCWSTR, LPDWORD) {
    return status(PDH_STRING_NOT_FOUND);
}

}  // extern "C"
