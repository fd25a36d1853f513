// The meters through the accessibility interfaces, read by accessible-reader.exe in
// another process as a screen reader reads them: the real Tavisto.dll in the desk-band
// host (in this process) and the real Tavisto.exe --taskbar in a fake taskbar, with the
// stand-in pdh.dll beside them serving known values.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "desk_band_host.h"
#include "fake_taskbar.h"
#include "pdh_control.h"
#include "win32/process_resources.h"
#include "win32/thread_tooltips.h"

namespace tavisto::companion::testing {
namespace {

using tavisto::testing::PdhSchedule;
using tavisto::testing::PdhStandIn;

constexpr DWORD kPromptly = 10000;

// The example configuration that ships with the program, staged beside this test.
std::optional<std::string> exampleConfiguration() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    return host::readTextFile(host::folderOf(path) + L"\\TavistoConfig.example.json");
}

const std::string kOtherGroups = R"json({"meterGroups": [
  {"name": "Load", "meters": [{"meterType": "text", "width": 40, "refreshRate": 100,
    "counters": [{"counterPath": "(\\Test(_Total)\\Value)", "units": "percent",
                  "minValue": 0, "maxValue": 50}]}]},
  {"meters": [{"meterType": "indicator", "width": 40, "refreshRate": 100,
    "counters": [{"counterPath": "(\\Test(_Total)\\Value)", "indicator": "HOT",
                  "trigger": "> 30"}]}]}]})json";

class Host {
  public:
    virtual ~Host() = default;
    // The window that shows the meters; null while there is none.
    virtual HWND meters() const = 0;
    virtual HANDLE process() const = 0;
};

class BandHost final : public Host {
  public:
    BandHost() {
        if (module_.get() != nullptr && SUCCEEDED(module_.registerServer())) {
            band_ = std::make_unique<host::HostedBand>(rebar_);
        }
    }
    ~BandHost() override {
        if (band_) {
            band_->close();
        }
    }
    HWND meters() const override { return band_ ? band_->window : nullptr; }
    HANDLE process() const override { return GetCurrentProcess(); }

  private:
    host::LoadedModule module_;
    host::RecordingRebar rebar_{400, 40};
    std::unique_ptr<host::HostedBand> band_;
};

class TaskbarHost final : public Host {
  public:
    TaskbarHost()
        : process_(
              OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, companion_.id())) {}
    HWND meters() const override { return taskbar_.meters(); }
    HANDLE process() const override { return process_.get(); }

  private:
    FakeTaskbar taskbar_;
    Companion companion_{L"--taskbar"};
    win32::KernelHandle process_;
};

struct HostCase {
    const char* name;
    std::unique_ptr<Host> (*make)();
};

const HostCase kHosts[] = {
    {"DeskBand", [] { return std::unique_ptr<Host>(std::make_unique<BandHost>()); }},
    {"Taskbar", [] { return std::unique_ptr<Host>(std::make_unique<TaskbarHost>()); }},
};

class Accessibility : public ::testing::TestWithParam<HostCase> {
  protected:
    void SetUp() override {
        host::removeFolder(host::configurationFolder());
        CreateDirectoryW(host::configurationFolder().c_str(), nullptr);
    }
    void TearDown() override { host::removeFolder(host::configurationFolder()); }

    bool serve(double value) {
        PdhSchedule schedule;
        schedule.value = value;
        return standIn_.follow(schedule);
    }

    // What the reader saw, once it matches `expected` or the time is up.
    std::string readUntil(const Host& tested, const std::regex& expected) {
        std::string seen;
        host::pumpUntil(
            [&] {
                if (tested.meters() == nullptr) {
                    return false;
                }
                seen = host::runAccessibleReader(L"read " + host::windowArgument(tested.meters()),
                                                 kPromptly)
                           .value_or("no answer");
                return std::regex_match(seen, expected);
            },
            kPromptly * 2);
        return seen;
    }

    PdhStandIn standIn_;
};

// The texts of the tips this thread shows over `owner`, as each asks `owner` for its text,
// sorted; the processor's group is left out, as its memory share depends on the machine,
// and so are the top processes, whose shares depend on its processors.
std::vector<std::wstring> tooltipTextsOf(HWND owner) {
    std::vector<std::wstring> texts;
    // Owned by the band's top-level window: found by their tool, over the band.
    for (const HWND control : win32::testing::threadTooltips()) {
        wchar_t text[1024] = {};
        TOOLINFOW info{};
        info.cbSize = sizeof(info);
        info.hwnd = owner;
        info.lpszText = text;
        SendMessageW(control, TTM_GETTEXTW, std::size(text), reinterpret_cast<LPARAM>(&info));
        if (*text != L'\0' && !std::wstring(text).starts_with(L"Processor and memory") &&
            !std::wstring(text).starts_with(L"Top processes")) {
            texts.emplace_back(text);
        }
    }
    std::sort(texts.begin(), texts.end());
    return texts;
}

// With every counter at 37: the processor meters say 37 % (the text line's trigger,
// ">= 50", does not hold, so it says 0 %) and both memory meters the same share; the
// four stand-in instances of each wildcard add up to 148 (1,184 bits per second), and
// the busiest GPU engine is at 37. Wine reports no GPU sensors and no battery: those are
// not available. The stand-in's instances are the top processes too, each 37 over the
// logical processors, listed by name as they tie. Every counter says its name.
TEST_P(Accessibility, ReaderInAnotherProcessGetsTheExamplesGroupsNamesAndValues) {
    const std::optional<std::string> example = exampleConfiguration();
    ASSERT_TRUE(example);
    ASSERT_TRUE(serve(37));
    ASSERT_TRUE(host::writeNewFile(host::configurationFile(), *example));
    const std::unique_ptr<Host> tested = GetParam().make();
    const std::regex expected(
        "children 5\n"
        "name Tavisto\n"
        "Processor and memory\tCPU 37%, CPU 37%, CPU 0%, Memory ([0-9]+)%, Memory \\1%, "
        "Committed 37 B\n"
        "Disk and network\tDisk active 0%, Read 37 B/s, Write 37 B/s, Download 1.2 Kbps, "
        "Upload 1.2 Kbps, Network 0%\n"
        "GPU \\(busiest engine\\)\tGPU 37%\n"
        "GPU temperature and battery\tGPU not available, GPU not available, Battery not "
        "available\n"
        "Top processes\tCPU instance_0 ([0-9]+)%, instance_1 \\2%, instance_2 \\2%\n");
    const std::string seen = readUntil(*tested, expected);
    EXPECT_TRUE(std::regex_match(seen, expected)) << seen;
    // The band's tips are windows of this process, whose text the band window gives when
    // asked: the group's name above what its meters show.
    if (GetWindowThreadProcessId(tested->meters(), nullptr) == GetCurrentThreadId()) {
        EXPECT_EQ(tooltipTextsOf(tested->meters()),
                  (std::vector<std::wstring>{L"Disk and network\nDisk active 0%, Read 37 B/s, "
                                             L"Write 37 B/s, Download 1.2 Kbps, Upload 1.2 Kbps, "
                                             L"Network 0%",
                                             L"GPU (busiest engine)\nGPU 37%",
                                             L"GPU temperature and battery\nGPU not available, "
                                             L"GPU not available, Battery not available"}));
    }
}

TEST_P(Accessibility, ValuesFollowNewSamplesAndAReloadChangesTheChildren) {
    ASSERT_TRUE(serve(20));
    ASSERT_TRUE(host::writeNewFile(host::configurationFile(), kOtherGroups));
    const std::unique_ptr<Host> tested = GetParam().make();
    std::string seen = readUntil(*tested, std::regex("children 2\nname Tavisto\n"
                                                     "Load\t40%\nGroup 2\t\n"));
    EXPECT_EQ(seen, "children 2\nname Tavisto\nLoad\t40%\nGroup 2\t\n");

    ASSERT_TRUE(serve(35));
    seen = readUntil(*tested, std::regex("children 2\nname Tavisto\nLoad\t70%\nGroup 2\tHOT\n"));
    EXPECT_EQ(seen, "children 2\nname Tavisto\nLoad\t70%\nGroup 2\tHOT\n");

    ASSERT_TRUE(
        host::writeInPlace(host::configurationFile(),
                           std::regex_replace(kOtherGroups, std::regex("\"name\": \"Load\", "),
                                              "\"name\": \"Busy\", ")));
    seen = readUntil(*tested, std::regex("children 2\nname Tavisto\nBusy\t70%\nGroup 2\tHOT\n"));
    EXPECT_EQ(seen, "children 2\nname Tavisto\nBusy\t70%\nGroup 2\tHOT\n");
}

// This program's name as Windows gives a process's: its file's, without folder and ".exe".
std::string programName() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    name.resize(name.size() - 4);
    return std::string(name.begin(), name.end());
}

// The busiest processes by program, from known instances: a program's processes count
// together, _Total and Idle never count, and a GPU engine's process is named by its
// program (this test's own process), or by its number when there is none.
TEST_P(Accessibility, TopProcessesAreListedByProgram) {
    PdhSchedule schedule;
    const std::string engine = "_luid_0x00000000_0x0000F814_phys_0_eng_0_engtype_3D";
    schedule.namedInstances = {
        {"_Total", 99},
        {"Idle", 90},
        {"chrome", 30},
        {"code", 40},
        {"chrome#1", 20},
        {"pid_" + std::to_string(GetCurrentProcessId()) + engine, 10},
        {"pid_4000000000" + engine, 5},
    };
    ASSERT_TRUE(standIn_.follow(schedule));
    ASSERT_TRUE(host::writeNewFile(host::configurationFile(), R"json({"meterGroups": [
  {"name": "Busiest", "meters": [{"meterType": "text", "width": 90, "refreshRate": 100,
    "counters": [
      {"counterPath": "(\\Process(*)\\% Processor Time)", "name": "CPU", "units": "percent",
       "minValue": 0, "maxValue": 100, "instances": {"top": 3, "exclude": "pid_*"}},
      {"counterPath": "(\\GPU Engine(pid_*)\\Utilization Percentage)", "name": "GPU",
       "units": "percent", "minValue": 0, "maxValue": 100,
       "instances": {"top": 3, "include": "pid_*", "groupCombine": "max"}}]}]}]})json"));
    const std::unique_ptr<Host> tested = GetParam().make();
    const std::string expected = "children 1\nname Tavisto\nBusiest\tCPU chrome 50%, code 40%, GPU " +
                                 programName() + " 10%, pid 4000000000 5%\n";
    const std::string seen = readUntil(*tested, std::regex(std::regex_replace(
                                                    expected, std::regex(R"([.()])"), R"(\$&)")));
    EXPECT_EQ(seen, expected);
}

// A value that crosses the threshold, holds and clears, then flickers back: the meter
// turns to the alert's colour and back, a screen reader holding the object hears the
// raise at once rather than after the five-second wait of ordinary changes, and the
// notification area is told once, not again for the flicker.
TEST_P(Accessibility, AnAlertIsDrawnHeardAtOnceAndToldOnce) {
    ASSERT_TRUE(serve(20));
    ASSERT_TRUE(host::writeNewFile(host::configurationFile(), R"json({"meterGroups": [
  {"name": "Overheat", "meters": [{"meterType": "text", "width": 60, "refreshRate": 100,
    "counters": [{"counterPath": "(\\Test(_Total)\\Value)", "name": "Load", "units": "percent",
                  "color": "#00FF00", "minValue": 0, "maxValue": 100, "fontSize": 14,
                  "alert": {"above": 50, "for": 300, "clear": 30, "notify": true,
                            "color": "#FF0000"}}]}]}]})json"));
    const std::unique_ptr<Host> tested = GetParam().make();
    // The band in this process is told of by the fake taskbar started here, found before
    // Wine's own notification area as the companion's taskbar is.
    const bool ownFrame =
        GetWindowThreadProcessId(tested->meters(), nullptr) == GetCurrentThreadId();
    std::optional<FakeTaskbar> ownTray;
    if (ownFrame) {
        ownTray.emplace(TaskbarKind::Classic);
    }
    const HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr);
    ASSERT_NE(tray, nullptr);
    const auto balloons = [&] {
        return reinterpret_cast<std::uintptr_t>(GetPropW(tray, kTaskbarBalloonsProperty));
    };
    // Whether the band's frame has red or green pixels; another process's frame is not
    // captured.
    const auto colourDrawn = [&](bool red) {
        const host::Capture frame = host::capture(tested->meters());
        return std::any_of(frame.pixels.begin(), frame.pixels.end(), [&](std::uint32_t rgb) {
            const std::uint32_t strong = red ? rgb >> 16 & 0xFF : rgb >> 8 & 0xFF;
            const std::uint32_t weak = red ? rgb >> 8 & 0xFF : rgb >> 16 & 0xFF;
            return strong > 160 && weak < 60;
        });
    };
    const auto expectColour = [&](bool red) {
        if (ownFrame) {
            EXPECT_EQ(colourDrawn(true), red);
            EXPECT_EQ(colourDrawn(false), !red);
        }
    };
    // Read, the value is announced: an ordinary change would wait five seconds from here.
    readUntil(*tested, std::regex("children 1\nname Tavisto\nOverheat\tLoad 20%\n"));
    expectColour(false);

    // The reader listens from another process, started from a thread of its own while
    // this one pumps the band's messages.
    struct Listener {
        std::wstring arguments;
        std::string heard;
    } listener{L"listen 7000 " + host::windowArgument(tested->meters()), {}};
    const win32::KernelHandle reader(CreateThread(
        nullptr, 0,
        [](void* parameter) -> DWORD {
            auto& listening = *static_cast<Listener*>(parameter);
            listening.heard =
                host::runAccessibleReader(listening.arguments, 20000).value_or("no answer");
            return 0;
        },
        &listener, 0, nullptr));
    ASSERT_NE(reader.get(), nullptr);
    host::pumpUntil([] { return false; }, 1500);  // the listener holds the object
    ASSERT_TRUE(serve(60));
    const std::regex raised("children 1\nname Tavisto\nOverheat\tLoad 60% \\(alert for "
                            "[0-9]+ s\\)\n");
    const std::string seen = readUntil(*tested, raised);
    EXPECT_TRUE(std::regex_match(seen, raised)) << seen;
    EXPECT_TRUE(host::pumpUntil([&] { return balloons() >= 1; }, kPromptly));
    expectColour(true);
    ASSERT_TRUE(host::pumpUntil(
        [&] { return WaitForSingleObject(reader.get(), 0) == WAIT_OBJECT_0; }, 25000));
    const std::string& heard = listener.heard;
    // "<ms>\t<value>" per event: the raise, about half a second after the value crossed
    // 1.5 s in, is heard well before five seconds after the announcement before listening.
    std::smatch first;
    ASSERT_TRUE(std::regex_search(heard, first, std::regex("([0-9]+)\t[^\n]*alert"))) << heard;
    EXPECT_LT(std::stol(first[1]), 3500) << heard;

    // Cleared, then raised again at once: drawn and said again, told no more.
    const std::uintptr_t told = balloons();
    EXPECT_EQ(told, 1u);
    ASSERT_TRUE(serve(25));
    readUntil(*tested, std::regex("children 1\nname Tavisto\nOverheat\tLoad 25%\n"));
    expectColour(false);
    ASSERT_TRUE(serve(60));
    EXPECT_TRUE(std::regex_match(readUntil(*tested, raised), raised));
    EXPECT_FALSE(host::pumpUntil([&] { return balloons() > told; }, 2000));
}

// Private bytes a process gains over 1,000 requests from another process, after a
// warm-up that settles what the first requests create once.
std::optional<std::int64_t> growthOverRequests(HWND window, HANDLE process) {
    const std::wstring target = L" " + host::windowArgument(window);
    if (!host::runAccessibleReader(L"time 200" + target, 120000)) {
        return std::nullopt;
    }
    const auto before = static_cast<std::int64_t>(win32::testing::privateBytes(process));
    const std::optional<std::string> timing =
        host::runAccessibleReader(L"time 1000" + target, 120000);
    if (!timing) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(win32::testing::privateBytes(process)) - before;
}

// Requests in a tight loop from another process leave nothing behind in the host: its
// GDI objects end where they began, and its memory grows no more than this process's
// does serving as many requests for the system's standard object (Wine's marshaling
// keeps some memory per request of its own).
TEST_P(Accessibility, AThousandRequestsLeaveNoGrowth) {
    ASSERT_TRUE(serve(20));
    ASSERT_TRUE(host::writeNewFile(host::configurationFile(), kOtherGroups));
    const std::unique_ptr<Host> tested = GetParam().make();
    readUntil(*tested, std::regex("children 2\n(.|\n)*"));
    ASSERT_NE(tested->meters(), nullptr);
    const host::TrivialAccessibleWindow trivial;
    const std::optional<std::int64_t> trivialGrowth =
        growthOverRequests(trivial.window(), GetCurrentProcess());
    const DWORD id = GetProcessId(tested->process());
    const long gdiBefore = win32::testing::gdiHandleTableEntries(tested->process(), id);
    const std::optional<std::int64_t> growth =
        growthOverRequests(tested->meters(), tested->process());
    const long gdiAfter = win32::testing::gdiHandleTableEntries(tested->process(), id);
    ASSERT_TRUE(trivialGrowth && growth);
    std::printf("%s: private bytes +%lld over 1,000 requests, the standard object's +%lld\n",
                GetParam().name, static_cast<long long>(*growth),
                static_cast<long long>(*trivialGrowth));
    EXPECT_EQ(gdiAfter, gdiBefore);
    EXPECT_LE(*growth, std::max<std::int64_t>(*trivialGrowth, 0) + 256 * 1024);
}

INSTANTIATE_TEST_SUITE_P(Hosts, Accessibility, ::testing::ValuesIn(kHosts),
                         [](const ::testing::TestParamInfo<HostCase>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
}  // namespace tavisto::companion::testing
