// band-soak.exe: the band in the desk-band host, reloaded again and again with good,
// broken and hostile configurations, saved in place and by rename, with the folder
// deleted and created again in between. After every file the band must show the last
// configuration it accepted, and after a warm-up its GDI objects, USER objects and
// handles must end exactly where they began.
//   band-soak.exe <reloads>
// TAVISTO_DLL names the module to register and host. Prints the figures; exits 0 when
// every check held, 1 when one failed, 2 when the band could not be set up.

#include <windows.h>

#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "desk_band_host.h"
#include "win32/process_resources.h"

namespace {

using namespace tavisto::host;
using tavisto::win32::testing::ProcessResources;
using tavisto::win32::testing::processResources;

constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kBlue = 0x0000FF;
constexpr DWORD kReloadTimeout = 15000;
// Once a reload has arrived: time for the redraw and for a second notification of the
// same save.
constexpr DWORD kSettle = 150;
// Delete and re-create the folder every this many reloads.
constexpr int kFolderCycle = 25;

constexpr const char* kConstantOne =
    "(PERFORMANCE_INFORMATION.PhysicalTotal) / (PERFORMANCE_INFORMATION.PhysicalTotal)";

std::string columns(int groups, int width, const std::string& colour,
                    const std::string& counterPath = kConstantOne) {
    std::string text =
        R"json({ "horizontalPadding": 2, "verticalPadding": 4, "horizontalSpacing": 3,
  "meterGroups": [)json";
    for (int group = 0; group < groups; ++group) {
        text += std::string(group == 0 ? "" : ",") +
                "\n    { \"name\": \"group\", \"width\": " + std::to_string(width) +
                ", \"height\": 24, \"meters\": [ { \"meterType\": \"column\", \"width\": 10, "
                "\"refreshRate\": 200, \"color\": \"#00FF00\", \"counters\": [ { "
                "\"counterPath\": \"" +
                counterPath + "\", \"color\": \"" + colour +
                "\", \"minValue\": 0, \"maxValue\": 1 } ] } ] }";
    }
    return text + "\n  ] }";
}

// A column and a line of text with a performance counter, so that a counter query is
// opened and closed on every reload: 2 × 1 + 70 + 50 long.
std::string columnsAndText(const std::string& colour) {
    return R"json({ "horizontalPadding": 1, "verticalPadding": 2,
  "meterGroups": [
    { "name": "column", "width": 70, "height": 24, "meters": [
      { "meterType": "column", "width": 20, "height": 20, "refreshRate": 200,
        "counters": [ { "counterPath": ")json" +
           std::string(kConstantOne) + R"json(", "color": ")json" + colour +
           R"json(", "minValue": 0, "maxValue": 1 } ] } ] },
    { "name": "text", "width": 50, "height": 24, "meters": [
      { "meterType": "text", "width": 50, "refreshRate": 500,
        "counters": [ { "counterPath": "(\\Processor(_Total)\\% Processor Time)",
                        "units": "percent", "minValue": 0, "maxValue": 100 } ] } ] } ] })json";
}

struct Document {
    const char* name;
    std::string text;
    // Good documents: the band length and colour they show.
    std::optional<LONG> length;
    std::uint32_t colour = 0;
    // Too many groups: refused by a loader with count limits, else shown at this length.
    std::optional<LONG> lengthIfShown;
};

std::vector<Document> documents() {
    // Under the size limit: refused, if at all, for its count.
    constexpr int kManyGroups = 1000;
    std::string oversized = columns(1, 70, "#0000FF");
    oversized.resize(2 * 1024 * 1024, ' ');
    constexpr std::size_t kLevels = 20000;
    return {
        // 2 × 2 + 2 × (40 + 3)
        {"good red", columns(2, 40, "#FF0000"), 90, kRed, {}},
        {"malformed", R"json({ "meterGroups": [ { "width": 5 )json", {}, 0, {}},
        {"good blue with text", columnsAndText("#0000FF"), 122, kBlue, {}},
        {"deeply nested",
         "{\"meterGroups\":[],\"note\":" + std::string(kLevels, '[') + std::string(kLevels, ']') +
             "}",
         {},
         0,
         {}},
        {"good red", columns(2, 40, "#FF0000"), 90, kRed, {}},
        {"oversized", oversized, {}, 0, {}},
        {"good blue with text", columnsAndText("#0000FF"), 122, kBlue, {}},
        {"not interpretable", R"json({ "horizontalPadding": "wide" })json", {}, 0, {}},
        {"good red", columns(2, 40, "#FF0000"), 90, kRed, {}},
        {"thousands of groups",
         columns(kManyGroups, 12, "#FF0000", "1"),
         {},
         0,
         2 * 2 + kManyGroups * (12 + 3)},
    };
}

bool writeConfiguration(const std::string& text, bool byRename) {
    const ULONGLONG end = GetTickCount64() + 3000;
    for (;;) {
        // Wine keeps a deleted folder pending while it is watched: creating it again may
        // find it there, or fail for a moment.
        CreateDirectoryW(configurationFolder().c_str(), nullptr);
        const bool exists =
            GetFileAttributesW(configurationFile().c_str()) != INVALID_FILE_ATTRIBUTES;
        const bool written = !exists    ? writeNewFile(configurationFile(), text)
                             : byRename ? replaceThroughRename(configurationFile(), text)
                                        : writeInPlace(configurationFile(), text);
        if (written || GetTickCount64() >= end) {
            return written;
        }
        pumpFor(50);
    }
}

bool reloadAfter(const std::function<bool()>& change) {
    const int before = reloadMessagesSeen();
    if (!change()) {
        return false;
    }
    const bool arrived =
        pumpUntil([before] { return reloadMessagesSeen() > before; }, kReloadTimeout);
    pumpFor(kSettle);
    return arrived;
}

struct Shown {
    LONG length;
    std::uint32_t colour;
};

class Soak {
  public:
    Soak(HostedBand& band, const std::vector<Document>& cycle) : band_(band), cycle_(cycle) {}

    // Saves the documents of the cycle from `first` for `count` reloads; false at the
    // first check that fails.
    bool run(int first, int count) {
        for (int index = first; index < first + count; ++index) {
            if (index > 0 && index % kFolderCycle == 0 && !recreateFolder()) {
                return false;
            }
            const Document& document = cycle_[static_cast<std::size_t>(index) % cycle_.size()];
            const bool byRename = index % 2 == 1;
            if (!reloadAfter([&] { return writeConfiguration(document.text, byRename); })) {
                return fail(index, document.name, "no reload followed the save");
            }
            if (!check(index, document)) {
                return false;
            }
            ++reloads;
        }
        return true;
    }

    int reloads = 0;
    int refused = 0;
    int shown = 0;
    int manyGroupsShown = 0;
    int folderRecreations = 0;

  private:
    bool check(int index, const Document& document) {
        if (document.length) {
            expected_ = Shown{*document.length, document.colour};
            ++shown;
        } else if (document.lengthIfShown && bandLength() == *document.lengthIfShown) {
            // Accepted by a loader without a group limit: this is what it shows now.
            expected_ = Shown{*document.lengthIfShown, 0};
            ++manyGroupsShown;
            return true;
        } else {
            ++refused;
        }
        if (!pumpUntil([this] { return bandLength() == expected_.length; }, kReloadTimeout)) {
            return fail(index, document.name,
                        "the band length is " + std::to_string(bandLength()) + ", not " +
                            std::to_string(expected_.length));
        }
        if (expected_.colour != 0 &&
            !pumpUntil([this] { return capture(band_.window).count(expected_.colour) > 0; },
                       kReloadTimeout)) {
            return fail(index, document.name, "the band does not draw the last good meters");
        }
        return true;
    }

    bool recreateFolder() {
        // Deleting the file is a change of its own; the band keeps what it shows.
        if (!reloadAfter([] {
                removeFolder(configurationFolder());
                return true;
            })) {
            return fail(-1, "folder", "deleting the folder posted no reload");
        }
        ++folderRecreations;
        return true;
    }

    LONG bandLength() const {
        return bandInfo(band_.band.Get(), DBIM_ACTUAL, HostedBand::kBandId).ptActual.x;
    }

    static bool fail(int index, const char* name, const std::string& what) {
        std::printf("band-soak: reload %d (%s): %s\n", index, name, what.c_str());
        return false;
    }

    HostedBand& band_;
    const std::vector<Document>& cycle_;
    Shown expected_{0, 0};
};

void print(const char* name, long before, long after) {
    std::printf("  %-13s %6ld -> %6ld  (%+ld)\n", name, before, after, after - before);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Unbuffered, so that what was printed survives a crash.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const int total = argc > 1 ? static_cast<int>(std::wcstol(argv[1], nullptr, 10)) : 100;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 2;
    }
    int result = 0;
    {
        const LoadedModule module;
        if (module.get() == nullptr || FAILED(module.registerServer())) {
            std::fputs("band-soak: cannot load or register TAVISTO_DLL\n", stderr);
            CoUninitialize();
            return 2;
        }
        const std::vector<Document> cycle = documents();
        removeFolder(configurationFolder());
        writeConfiguration(cycle.front().text, false);
        RecordingRebar rebar(400, 40);
        HostedBand band(rebar);
        if (band.window == nullptr) {
            std::fputs("band-soak: the band has no window\n", stderr);
            CoUninitialize();
            return 2;
        }
        pumpFor(500);
        Soak soak(band, cycle);
        const ULONGLONG started = GetTickCount64();
        // The warm-up loads what the system keeps once loaded (fonts, GDI+ caches, the
        // counter library) and ends on the first document, as the soak will.
        const int warmUp = static_cast<int>(cycle.size());
        bool held = soak.run(0, warmUp + 1);
        pumpFor(500);
        const ProcessResources before = processResources();
        const int measured = std::max(0, total - warmUp - 1);
        // Whole cycles, so that the last reload shows the first document again.
        const int cycles = (measured + warmUp - 1) / warmUp;
        held = held && soak.run(warmUp + 1, cycles * warmUp);
        pumpFor(500);
        const ProcessResources after = processResources();
        const double seconds = static_cast<double>(GetTickCount64() - started) / 1000.0;

        std::printf(
            "band-soak: %d reloads in %.1f s: %d good shown, %d refused, "
            "%d of thousands of groups shown, %d folder re-creations\n",
            soak.reloads, seconds, soak.shown, soak.refused, soak.manyGroupsShown,
            soak.folderRecreations);
        std::printf("band-soak: after the warm-up of %d reloads, to the end:\n", warmUp + 1);
        print("GDI objects", before.gdiObjects, after.gdiObjects);
        print("USER objects", before.userObjects, after.userObjects);
        print("handles", before.kernelHandles, after.kernelHandles);
        if (!held) {
            result = 1;
        } else if (after != before) {
            std::puts("band-soak: resources did not end where they began");
            result = 1;
        } else {
            std::puts("band-soak: passed");
        }
        band.close();
        removeFolder(configurationFolder());
    }
    CoUninitialize();
    return result;
}
