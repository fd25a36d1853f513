// Tavisto.dll in a desk-band host under Wine, through public COM only: registration,
// the class factory and module lock, the band's interfaces, sizes and size pushes,
// the configuration watcher seen from the host, the two launches, and teardown.

#include <gtest/gtest.h>

#include <olectl.h>
#include <shlguid.h>

#include <memory>
#include <string>
#include <vector>

#include "desk_band_host.h"
#include "platform/win32/handles.h"
#include "tavisto_identifiers.h"

namespace tavisto::host {
namespace {

// Two groups: widths 40 and 60 with horizontalPadding 2 and horizontalSpacing 3 give a
// band length of 110 in a horizontal band; the first group's minHeight 30 with meter
// heights 12 and unset and verticalPadding 4 give a minimum thickness of 38. The red
// columns are always full: their value is a constant 1 of the range 0 to 1.
const std::string kTwoGroups = R"json({
  "horizontalPadding": 2, "verticalPadding": 4, "horizontalSpacing": 3, "verticalSpacing": 5,
  "meterGroups": [
    { "name": "first", "width": 40, "height": 20, "minHeight": 30, "orientation": "horizontal",
      "meters": [
        { "meterType": "column", "width": 10, "height": 12, "refreshRate": 200, "color": "#00FF00",
          "counters": [ { "counterPath": "(PERFORMANCE_INFORMATION.PhysicalTotal) / (PERFORMANCE_INFORMATION.PhysicalTotal)",
                  "color" : "#FF0000", "minValue" : 0, "maxValue" : 1
} ]
},
        { "meterType": "column", "width": 10, "refreshRate": 200, "color": "#00FF00",
          "counters": [ { "counterPath": "(PERFORMANCE_INFORMATION.PhysicalTotal) / (PERFORMANCE_INFORMATION.PhysicalTotal)",
                          "color": "#FF0000", "minValue": 0, "maxValue": 1 } ] } ]
},
    { "name": "second", "width": 60, "height": 26,
      "meters": [
        { "meterType": "column", "width": 10, "refreshRate": 200, "color": "#00FF00",
          "counters": [ { "counterPath": "(PERFORMANCE_INFORMATION.PhysicalTotal) / (PERFORMANCE_INFORMATION.PhysicalTotal)",
                          "color": "#FF0000", "minValue": 0, "maxValue": 1 } ] },
        { "meterType": "column", "width": 10, "refreshRate": 200, "color": "#00FF00",
          "counters": [ { "counterPath": "(PERFORMANCE_INFORMATION.PhysicalTotal) / (PERFORMANCE_INFORMATION.PhysicalTotal)",
                          "color": "#FF0000", "minValue": 0, "maxValue": 1 } ] } ] } ]
})json";
constexpr LONG kTwoGroupsLength = 110;
constexpr LONG kTwoGroupsMinimumThickness = 38;
constexpr LONG kTwoGroupsActualThickness = 26 + 2 * 4;

// The same groups in blue: nothing about the band's size changes.
std::string recoloured(std::string text) {
    for (std::size_t at = text.find("#FF0000"); at != std::string::npos;
         at = text.find("#FF0000", at)) {
        text.replace(at, 7, "#0000FF");
    }
    return text;
}

// One group 70 wide: 2 × 1 + (70 + 0) = 72.
const std::string kOneGroup = R"json({
  "horizontalPadding": 1, "verticalPadding": 2,
  "meterGroups": [
    { "name": "only", "width": 70, "height": 24,
      "meters": [
        { "meterType": "column", "width": 20, "refreshRate": 200,
          "counters": [ { "counterPath": "(PERFORMANCE_INFORMATION.PhysicalTotal) / (PERFORMANCE_INFORMATION.PhysicalTotal)",
                  "color" : "#FF0000", "minValue" : 0, "maxValue" : 1
} ]
} ]
} ]
})json";
constexpr LONG kOneGroupLength = 72;

constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kBlue = 0x0000FF;
constexpr DWORD kPromptly = 5000;
// Longer than the watcher's retry period while the folder is missing.
constexpr DWORD kAfterRetry = 10000;
// Quiet time in which a change that must not reload stays silent.
constexpr DWORD kQuiet = 1500;
// 100 ns units: a thread spinning through the measured second would show about 10,000,000.
constexpr std::uint64_t kIdleLimit = 200'000;

constexpr DWORD kAllBits = DBIM_MINSIZE | DBIM_MAXSIZE | DBIM_INTEGRAL | DBIM_ACTUAL | DBIM_TITLE |
                           DBIM_MODEFLAGS | DBIM_BKCOLOR;

bool sameText(const std::wstring& left, const std::wstring& right) {
    return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

std::wstring readString(HKEY root, const std::wstring& key, const wchar_t* name, DWORD& type) {
    wchar_t value[1024] = {};
    DWORD bytes = sizeof(value);
    type = REG_NONE;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, value, &bytes) !=
        ERROR_SUCCESS) {
        return L"<missing>";
    }
    return value;
}

bool keyExists(const std::wstring& key) {
    HKEY opened = nullptr;
    const LSTATUS status = RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened);
    const win32::RegistryKey owner(opened);
    return status == ERROR_SUCCESS;
}

long regsvr32(const std::wstring& options) {
    return runProgram(L"regsvr32.exe " + options + L" \"" + bandModulePath() + L"\"", 30000);
}

class Registration : public ::testing::Test {};

TEST_F(Registration, WritesTheClassKeysTwiceAndRemovesThem) {
    ASSERT_EQ(regsvr32(L"/s"), 0);
    ASSERT_EQ(regsvr32(L"/s"), 0) << "registering twice";
    DWORD type = REG_NONE;
    EXPECT_EQ(readString(HKEY_CLASSES_ROOT, kBandClassKey, nullptr, type), L"Tavisto");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    const std::wstring server = std::wstring(kBandClassKey) + L"\\InprocServer32";
    EXPECT_TRUE(sameText(readString(HKEY_CLASSES_ROOT, server, nullptr, type), bandModulePath()));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(readString(HKEY_CLASSES_ROOT, server, L"ThreadingModel", type), L"Apartment");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_TRUE(keyExists(std::wstring(kBandClassKey) +
                          L"\\Implemented Categories\\{00021492-0000-0000-C000-000000000046}"));

    ASSERT_EQ(regsvr32(L"/u /s"), 0);
    EXPECT_FALSE(keyExists(kBandClassKey));
    const LoadedModule module;
    ASSERT_NE(module.get(), nullptr);
    EXPECT_EQ(module.unregisterServer(), SELFREG_E_CLASS) << "unregistering what is absent";
    EXPECT_EQ(module.registerServer(), S_OK);
    EXPECT_TRUE(keyExists(server));
}

// Every other test runs against the registered module, with no configuration folder
// unless it writes one.
class Band : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_EQ(regsvr32(L"/s"), 0); }
    void SetUp() override { removeFolder(configurationFolder()); }
    void TearDown() override {
        removeFolder(configurationFolder());
        CoFreeUnusedLibrariesEx(0, 0);
    }

    static void writeConfiguration(const std::string& text) {
        CreateDirectoryW(configurationFolder().c_str(), nullptr);
        ASSERT_TRUE(writeNewFile(configurationFile(), text));
    }
    // Waits for the next reload message and the pushes or drawing it leads to.
    static bool reloadArrives(DWORD timeout = kPromptly) {
        const int before = reloadMessagesSeen();
        const bool arrived = pumpUntil([before] { return reloadMessagesSeen() > before; }, timeout);
        pumpFor(300);
        return arrived;
    }
    static int reloadsDuring(DWORD milliseconds) {
        const int before = reloadMessagesSeen();
        pumpFor(milliseconds);
        return reloadMessagesSeen() - before;
    }
    static std::vector<LPARAM> widthsPushed(const RecordingRebar& rebar) {
        std::vector<LPARAM> widths;
        for (const ParentMessage& message : rebar.received(RB_SETBANDWIDTH)) {
            widths.push_back(message.lParam);
        }
        return widths;
    }
};

TEST_F(Band, ClassFactoryHoldsTheModuleWhileItOrALockLives) {
    const LoadedModule module;
    ASSERT_NE(module.get(), nullptr);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(kBandClassId, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)),
              S_OK);
    EXPECT_EQ(module.canUnloadNow(), S_FALSE);

    IUnknown* created = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(
        factory->CreateInstance(factory.Get(), IID_IUnknown, reinterpret_cast<void**>(&created)),
        CLASS_E_NOAGGREGATION);
    EXPECT_EQ(created, nullptr);
    created = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(
        factory->CreateInstance(nullptr, IID_IClassFactory, reinterpret_cast<void**>(&created)),
        E_NOINTERFACE);
    EXPECT_EQ(created, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDeskBand2, nullptr), E_POINTER);

    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(module.canUnloadNow(), S_FALSE) << "server lock";
    ASSERT_EQ(module.getClassObject(kBandClassId, IID_PPV_ARGS(&factory)), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.Reset();
    EXPECT_EQ(module.canUnloadNow(), S_OK);

    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(module.getClassObject(IID_IDeskBand, IID_IClassFactory, &object),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(module.getClassObject(kBandClassId, IID_IDeskBand, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(module.canUnloadNow(), S_OK) << "a factory whose query failed is gone";
    EXPECT_EQ(module.getClassObject(kBandClassId, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(Band, AnswersTheDeskBandInterfacesWithoutASite) {
    ComPtr<IDeskBand2> band;
    ASSERT_EQ(CoCreateInstance(kBandClassId, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&band)),
              S_OK);
    const IID primaryFamily[] = {IID_IUnknown, IID_IOleWindow, IID_IDockingWindow, IID_IDeskBand,
                                 IID_IDeskBand2};
    for (const IID& iid : primaryFamily) {
        ComPtr<IUnknown> answered;
        ASSERT_EQ(band->QueryInterface(iid, reinterpret_cast<void**>(answered.GetAddressOf())),
                  S_OK);
        EXPECT_EQ(answered.Get(), static_cast<IUnknown*>(band.Get()));
    }
    ComPtr<IPersist> persist;
    ComPtr<IPersistStream> persistStream;
    ASSERT_EQ(band.As(&persist), S_OK);
    ASSERT_EQ(band.As(&persistStream), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(persist.Get()), static_cast<IUnknown*>(persistStream.Get()));
    EXPECT_NE(static_cast<IUnknown*>(persist.Get()), static_cast<IUnknown*>(band.Get()));
    ComPtr<IObjectWithSite> withSite;
    ComPtr<IInputObject> input;
    EXPECT_EQ(band.As(&withSite), S_OK);
    EXPECT_EQ(band.As(&input), S_OK);
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(band->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(band->QueryInterface(IID_IDeskBand, nullptr), E_POINTER);
    EXPECT_EQ(persist->QueryInterface(IID_IDeskBand, nullptr), E_POINTER);

    HWND window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(band->GetWindow(&window), S_OK);
    EXPECT_EQ(window, nullptr);
    EXPECT_EQ(band->GetWindow(nullptr), E_POINTER);
    EXPECT_EQ(band->ContextSensitiveHelp(TRUE), E_NOTIMPL);
    EXPECT_EQ(band->ResizeBorderDW(nullptr, nullptr, FALSE), E_NOTIMPL);
    EXPECT_EQ(band->ShowDW(TRUE), S_OK);
    EXPECT_EQ(band->CloseDW(0), S_OK);

    EXPECT_EQ(band->GetBandInfo(7, 0, nullptr), E_INVALIDARG);
    for (const int viewMode : {DBIF_VIEWMODE_NORMAL, DBIF_VIEWMODE_VERTICAL, DBIF_VIEWMODE_FLOATING,
                               DBIF_VIEWMODE_TRANSPARENT}) {
        const DESKBANDINFO info = bandInfo(band.Get(), kAllBits, 7, static_cast<DWORD>(viewMode));
        EXPECT_EQ(info.dwMask, kAllBits & ~static_cast<DWORD>(DBIM_TITLE | DBIM_BKCOLOR));
        EXPECT_EQ(info.ptMinSize.x, 0);
        EXPECT_EQ(info.ptMinSize.y, 0);
        EXPECT_EQ(info.ptActual.x, 0);
        EXPECT_EQ(info.ptActual.y, 0);
        EXPECT_EQ(info.ptMaxSize.x, -1);
        EXPECT_EQ(info.ptMaxSize.y, -1);
        EXPECT_EQ(info.ptIntegral.x, 1);
        EXPECT_EQ(info.ptIntegral.y, 1);
        EXPECT_EQ(info.dwModeFlags, static_cast<DWORD>(DBIMF_VARIABLEHEIGHT));
        EXPECT_EQ(info.wszTitle[0], L'\0');
    }

    BOOL flag = FALSE;
    EXPECT_EQ(band->CanRenderComposited(&flag), S_OK);
    EXPECT_EQ(flag, TRUE);
    EXPECT_EQ(band->GetCompositionState(&flag), S_OK);
    EXPECT_EQ(flag, FALSE);
    EXPECT_EQ(band->SetCompositionState(TRUE), S_OK) << "no window to repaint";
    EXPECT_EQ(band->GetCompositionState(&flag), S_OK);
    EXPECT_EQ(flag, TRUE);
    EXPECT_EQ(band->CanRenderComposited(nullptr), E_POINTER);
    EXPECT_EQ(band->GetCompositionState(nullptr), E_POINTER);

    CLSID classId{};
    EXPECT_EQ(persistStream->GetClassID(&classId), S_OK);
    EXPECT_TRUE(IsEqualCLSID(classId, kBandClassId));
    EXPECT_EQ(persistStream->GetClassID(nullptr), E_POINTER);
    EXPECT_EQ(persistStream->IsDirty(), S_FALSE);
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    ASSERT_EQ(stream->Write("abc", 3, nullptr), S_OK);
    const LARGE_INTEGER one{{1, 0}};
    ASSERT_EQ(stream->Seek(one, STREAM_SEEK_SET, nullptr), S_OK);
    EXPECT_EQ(persistStream->Save(stream.Get(), TRUE), S_OK);
    EXPECT_EQ(persistStream->Load(stream.Get()), S_OK);
    EXPECT_EQ(persistStream->IsDirty(), S_FALSE);
    STATSTG status{};
    ASSERT_EQ(stream->Stat(&status, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(status.cbSize.QuadPart, 3u);
    ULARGE_INTEGER position{};
    ASSERT_EQ(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &position), S_OK);
    EXPECT_EQ(position.QuadPart, 1u);
    ULARGE_INTEGER size{};
    EXPECT_EQ(persistStream->GetSizeMax(&size), E_NOTIMPL);

    void* site = reinterpret_cast<void*>(1);
    EXPECT_EQ(withSite->GetSite(IID_IUnknown, &site), E_FAIL);
    EXPECT_EQ(site, nullptr);
    EXPECT_EQ(withSite->GetSite(IID_IUnknown, nullptr), E_POINTER);

    EXPECT_EQ(input->HasFocusIO(), S_FALSE);
    EXPECT_EQ(input->UIActivateIO(TRUE, nullptr), S_OK);
    EXPECT_EQ(input->TranslateAcceleratorIO(nullptr), S_FALSE);
}

TEST_F(Band, WithoutConfigurationShowsOnlyTheBackgroundThenLoadsTheFileWhenWritten) {
    RecordingRebar rebar(400, 40);
    HostedBand hosted(rebar);
    ASSERT_NE(hosted.window, nullptr);
    wchar_t className[32] = {};
    GetClassNameW(hosted.window, className, 32);
    EXPECT_STREQ(className, TAVISTO_BAND_WINDOW_CLASS);
    EXPECT_EQ(GetParent(hosted.window), rebar.window());
    EXPECT_TRUE(IsWindowVisible(hosted.window));
    const DESKBANDINFO empty = bandInfo(hosted.band.Get(), kAllBits);
    EXPECT_EQ(empty.ptMinSize.x, 0);
    EXPECT_EQ(empty.ptMinSize.y, 0);
    EXPECT_EQ(empty.ptActual.x, 0);
    EXPECT_EQ(empty.ptActual.y, 0);
    const Capture background = capture(hosted.window);
    ASSERT_GT(background.width, 0);
    EXPECT_TRUE(background.uniform());
    EXPECT_EQ(background.count(kRed), 0);

    writeConfiguration(kTwoGroups);
    ASSERT_TRUE(reloadArrives());
    const DESKBANDINFO loaded = bandInfo(hosted.band.Get(), kAllBits);
    EXPECT_EQ(loaded.ptMinSize.x, kTwoGroupsLength);
    EXPECT_EQ(loaded.ptMinSize.y, kTwoGroupsMinimumThickness);
    EXPECT_EQ(loaded.ptActual.x, kTwoGroupsLength);
    EXPECT_EQ(loaded.ptActual.y, kTwoGroupsActualThickness);
    // The band grew from nothing: the host is told its new length.
    EXPECT_EQ(widthsPushed(rebar), std::vector<LPARAM>{kTwoGroupsLength});
    const std::vector<ParentMessage> infos = rebar.received(RB_SETBANDINFOW);
    ASSERT_EQ(infos.size(), 1u);
    EXPECT_EQ(infos[0].wParam, 0u);
    EXPECT_EQ(infos[0].band.cbSize, 128u);
    EXPECT_EQ(infos[0].band.fMask, static_cast<UINT>(RBBIM_CHILDSIZE));
    EXPECT_EQ(infos[0].band.cxMinChild, static_cast<UINT>(kTwoGroupsLength));
    EXPECT_EQ(infos[0].band.cyMinChild, static_cast<UINT>(kTwoGroupsMinimumThickness));
    // The thickness pushed is the band window's height at that moment.
    const auto thickness = static_cast<UINT>(infos[0].childClient.bottom);
    EXPECT_GT(thickness, 0u);
    EXPECT_EQ(infos[0].band.cyChild, thickness);
    EXPECT_EQ(infos[0].band.cyMaxChild, thickness);
    EXPECT_EQ(infos[0].band.cyIntegral, 1u);

    const Capture meters = capture(hosted.window);
    EXPECT_GT(meters.count(kRed), 0);
}

TEST_F(Band, ReloadsAfterEverySaveButPushesOnlyLengthChanges) {
    writeConfiguration(kTwoGroups);
    RecordingRebar rebar(400, 40);
    HostedBand hosted(rebar);
    pumpFor(300);
    EXPECT_EQ(bandInfo(hosted.band.Get(), DBIM_ACTUAL).ptActual.x, kTwoGroupsLength);
    // The file is read after the band is made: the first load grows it from nothing.
    EXPECT_EQ(widthsPushed(rebar), std::vector<LPARAM>{kTwoGroupsLength});
    rebar.clear();
    EXPECT_GT(capture(hosted.window).count(kRed), 0);

    ASSERT_TRUE(writeInPlace(configurationFile(), recoloured(kTwoGroups)));
    ASSERT_TRUE(reloadArrives()) << "in-place save";
    EXPECT_TRUE(widthsPushed(rebar).empty()) << "only colours changed";
    const Capture blue = capture(hosted.window);
    EXPECT_EQ(blue.count(kRed), 0);
    EXPECT_GT(blue.count(kBlue), 0);

    ASSERT_TRUE(replaceThroughRename(configurationFile(), kOneGroup));
    ASSERT_TRUE(reloadArrives()) << "save through a temporary file and a rename";
    pumpUntil([&] { return !widthsPushed(rebar).empty(); }, kPromptly);
    EXPECT_EQ(widthsPushed(rebar), std::vector<LPARAM>{kOneGroupLength});

    ASSERT_TRUE(writeInPlace(configurationFile(), kTwoGroups));
    ASSERT_TRUE(reloadArrives());
    pumpUntil([&] { return widthsPushed(rebar).size() >= 2; }, kPromptly);
    EXPECT_EQ(widthsPushed(rebar), (std::vector<LPARAM>{kOneGroupLength, kTwoGroupsLength}));
}

// One full column whose fill and outline are "auto".
const std::string kAutoColumn = R"json({
  "meterGroups": [
    { "name": "auto", "width": 20, "height": 24,
      "meters": [
        { "meterType": "column", "width": 20, "refreshRate": 200, "color": "auto",
          "counters": [ { "counterPath": "(PERFORMANCE_INFORMATION.PhysicalTotal) / (PERFORMANCE_INFORMATION.PhysicalTotal)",
                          "color": "auto", "minValue": 0, "maxValue": 1 } ] } ] } ]
})json";
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;
constexpr const wchar_t* kPersonalize =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

bool setLightTheme(DWORD light) {
    return RegSetKeyValueW(HKEY_CURRENT_USER, kPersonalize, L"SystemUsesLightTheme", REG_DWORD,
                           &light, sizeof(light)) == ERROR_SUCCESS;
}

TEST_F(Band, ThemeChangeBroadcastRedrawsAutoColoursWithoutReloading) {
    ASSERT_TRUE(setLightTheme(0));
    writeConfiguration(kAutoColumn);
    RecordingRebar rebar(400, 40);
    rebar.setBackground(RGB(128, 128, 128));
    HostedBand hosted(rebar);
    pumpFor(300);
    const Capture dark = capture(hosted.window);
    EXPECT_GT(dark.count(kWhite), 0);
    EXPECT_EQ(dark.count(kBlack), 0);

    ASSERT_TRUE(setLightTheme(1));
    // Other settings leave the colours alone.
    SendMessageW(hosted.window, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"));
    pumpFor(300);
    EXPECT_EQ(capture(hosted.window).count(kBlack), 0);
    SendMessageW(hosted.window, WM_SETTINGCHANGE, 0,
                 reinterpret_cast<LPARAM>(L"ImmersiveColorSet"));
    pumpFor(300);
    const Capture light = capture(hosted.window);
    EXPECT_GT(light.count(kBlack), 0);
    EXPECT_EQ(light.count(kWhite), 0);
    setLightTheme(0);
}

TEST_F(Band, OtherFilesAndNamesDifferingInCaseDoNotReload) {
    CreateDirectoryW(configurationFolder().c_str(), nullptr);
    RecordingRebar rebar(400, 40);
    HostedBand hosted(rebar);
    // A reload would find this file, since the file system ignores case; none is asked for.
    ASSERT_TRUE(writeNewFile(configurationFolder() + L"\\tavistoconfig.json", kTwoGroups));
    ASSERT_TRUE(writeNewFile(configurationFolder() + L"\\TavistoConfig.json.bak", kTwoGroups));
    ASSERT_TRUE(writeNewFile(configurationFolder() + L"\\readme.txt", "notes"));
    EXPECT_EQ(reloadsDuring(kQuiet), 0);
    EXPECT_EQ(bandInfo(hosted.band.Get(), DBIM_ACTUAL).ptActual.x, 0);

    ASSERT_TRUE(DeleteFileW((configurationFolder() + L"\\tavistoconfig.json").c_str()));
    pumpFor(300);
    writeConfiguration(kTwoGroups);
    ASSERT_TRUE(reloadArrives());
    EXPECT_EQ(bandInfo(hosted.band.Get(), DBIM_ACTUAL).ptActual.x, kTwoGroupsLength);
}

TEST_F(Band, UnusableFilesLeaveTheRunningBandAsItWas) {
    writeConfiguration(kTwoGroups);
    RecordingRebar rebar(400, 40);
    HostedBand hosted(rebar);
    pumpFor(300);
    rebar.clear();  // the first load's length
    const DESKBANDINFO before = bandInfo(hosted.band.Get(), kAllBits);
    ASSERT_EQ(before.ptActual.x, kTwoGroupsLength);

    ASSERT_TRUE(writeInPlace(configurationFile(), "{ \"meterGroups\": [ { \"width\": 5 "));
    ASSERT_TRUE(reloadArrives()) << "malformed";
    // A document that parses but cannot be interpreted.
    ASSERT_TRUE(writeInPlace(configurationFile(), R"({ "horizontalPadding": "wide" })"));
    ASSERT_TRUE(reloadArrives()) << "not interpretable";
    ASSERT_TRUE(DeleteFileW(configurationFile().c_str()));
    ASSERT_TRUE(reloadArrives()) << "deleted";

    const DESKBANDINFO after = bandInfo(hosted.band.Get(), kAllBits);
    EXPECT_EQ(after.ptMinSize.x, before.ptMinSize.x);
    EXPECT_EQ(after.ptMinSize.y, before.ptMinSize.y);
    EXPECT_EQ(after.ptActual.y, before.ptActual.y);
    EXPECT_TRUE(widthsPushed(rebar).empty());
    pumpFor(300);
    EXPECT_GT(capture(hosted.window).count(kRed), 0) << "still drawing";
}

TEST_F(Band, HostileFilesKeepTheLastGoodConfiguration) {
    writeConfiguration(kTwoGroups);
    RecordingRebar rebar(400, 40);
    HostedBand hosted(rebar);
    pumpFor(300);
    ASSERT_EQ(bandInfo(hosted.band.Get(), DBIM_ACTUAL).ptActual.x, kTwoGroupsLength);
    rebar.clear();  // the first load's length

    // 40 KB of brackets, 20,000 levels deep, once crashed the taskbar thread.
    constexpr std::size_t kLevels = 20000;
    ASSERT_TRUE(writeInPlace(configurationFile(),
                             "{\"meterGroups\":[],\"note\":" + std::string(kLevels, '[') +
                                 std::string(kLevels, ']') + "}"));
    ASSERT_TRUE(reloadArrives()) << "deeply nested";
    EXPECT_EQ(bandInfo(hosted.band.Get(), DBIM_ACTUAL).ptActual.x, kTwoGroupsLength);
    // A good configuration, but over the size limit: refused unread.
    std::string oversized = kOneGroup;
    oversized.resize(2 * 1024 * 1024, ' ');
    ASSERT_TRUE(replaceThroughRename(configurationFile(), oversized));
    ASSERT_TRUE(reloadArrives()) << "oversized";
    EXPECT_EQ(bandInfo(hosted.band.Get(), DBIM_ACTUAL).ptActual.x, kTwoGroupsLength);
    EXPECT_TRUE(widthsPushed(rebar).empty());
    pumpFor(300);
    EXPECT_GT(capture(hosted.window).count(kRed), 0) << "still drawing";

    ASSERT_TRUE(writeInPlace(configurationFile(), kOneGroup));
    ASSERT_TRUE(reloadArrives());
    EXPECT_EQ(bandInfo(hosted.band.Get(), DBIM_ACTUAL).ptActual.x, kOneGroupLength);
}

TEST_F(Band, ClosingTheWindowStopsTheWatcherBeforeTheObjectGoes) {
    writeConfiguration(kTwoGroups);
    const LoadedModule module;
    RecordingRebar rebar(400, 40);
    HostedBand hosted(rebar);
    ASSERT_EQ(threadsStartedIn(module.get()).size(), 1u);
    ASSERT_EQ(hosted.band->CloseDW(0), S_OK);
    // The object lives on (the host still holds it), but nothing posts to its window.
    EXPECT_TRUE(pumpUntil([&] { return threadsStartedIn(module.get()).empty(); }, kPromptly));
    ASSERT_TRUE(writeInPlace(configurationFile(), kOneGroup));
    EXPECT_EQ(reloadsDuring(kQuiet), 0);
}

TEST_F(Band, UninterpretableFirstConfigurationLeavesTheBandEmptyUntilAGoodOne) {
    writeConfiguration(R"({ "meterGroups": [ { "meters": [ { "width": "narrow" } ] } ] })");
    RecordingRebar rebar(400, 40);
    HostedBand hosted(rebar);
    pumpFor(300);
    EXPECT_EQ(bandInfo(hosted.band.Get(), DBIM_ACTUAL).ptActual.x, 0);
    EXPECT_TRUE(capture(hosted.window).uniform());
    ASSERT_TRUE(writeInPlace(configurationFile(), kOneGroup));
    ASSERT_TRUE(reloadArrives());
    EXPECT_EQ(bandInfo(hosted.band.Get(), DBIM_ACTUAL).ptActual.x, kOneGroupLength);
}

TEST_F(Band, MissingFolderIsAwaitedIdlyAndLoadedWhenCreated) {
    const LoadedModule module;
    RecordingRebar rebar(400, 40);
    HostedBand hosted(rebar);
    const std::vector<DWORD> watchers = threadsStartedIn(module.get());
    ASSERT_EQ(watchers.size(), 1u);
    const std::uint64_t before = threadTime(watchers.front());
    pumpFor(1000);
    EXPECT_LT(threadTime(watchers.front()) - before, kIdleLimit);

    writeConfiguration(kTwoGroups);
    ASSERT_TRUE(reloadArrives(kAfterRetry));
    EXPECT_EQ(bandInfo(hosted.band.Get(), DBIM_ACTUAL).ptActual.x, kTwoGroupsLength);
    EXPECT_EQ(widthsPushed(rebar), std::vector<LPARAM>{kTwoGroupsLength});
}

TEST_F(Band, DeletedAndRecreatedFolderIsPickedUp) {
    writeConfiguration(kTwoGroups);
    RecordingRebar rebar(400, 40);
    HostedBand hosted(rebar);
    pumpFor(300);
    rebar.clear();  // the first load's length
    removeFolder(configurationFolder());
    pumpFor(kQuiet);
    EXPECT_EQ(bandInfo(hosted.band.Get(), DBIM_ACTUAL).ptActual.x, kTwoGroupsLength);

    writeConfiguration(kOneGroup);
    ASSERT_TRUE(pumpUntil([&] { return !widthsPushed(rebar).empty(); }, kAfterRetry));
    EXPECT_EQ(widthsPushed(rebar), std::vector<LPARAM>{kOneGroupLength});
}

TEST_F(Band, SizePushWaitsForTheFirstShow) {
    CreateDirectoryW(configurationFolder().c_str(), nullptr);
    RecordingRebar rebar(400, 40);
    HostedBand hosted(rebar, false);
    writeConfiguration(kTwoGroups);
    ASSERT_TRUE(reloadArrives());
    EXPECT_EQ(bandInfo(hosted.band.Get(), DBIM_ACTUAL).ptActual.x, kTwoGroupsLength);
    EXPECT_TRUE(rebar.received(RB_SETBANDINFOW).empty());
    EXPECT_TRUE(widthsPushed(rebar).empty());

    hosted.show();
    EXPECT_EQ(rebar.received(RB_IDTOINDEX).size(), 1u);
    EXPECT_EQ(rebar.received(RB_IDTOINDEX)[0].wParam, HostedBand::kBandId);
    ASSERT_TRUE(writeInPlace(configurationFile(), kOneGroup));
    ASSERT_TRUE(reloadArrives());
    EXPECT_EQ(widthsPushed(rebar), std::vector<LPARAM>{kOneGroupLength});
}

struct Direction {
    int width;
    int height;
    LONG length;
    LONG minimumThickness;
    LONG actualThickness;
};

class BandDirection : public Band, public ::testing::WithParamInterface<Direction> {};

TEST_P(BandDirection, SizesFollowTheParentsShape) {
    writeConfiguration(kTwoGroups);
    RecordingRebar rebar(GetParam().width, GetParam().height);
    HostedBand hosted(rebar);
    pumpFor(300);
    const DESKBANDINFO info = bandInfo(hosted.band.Get(), kAllBits);
    EXPECT_EQ(info.ptMinSize.x, GetParam().length);
    EXPECT_EQ(info.ptActual.x, GetParam().length);
    EXPECT_EQ(info.ptMinSize.y, GetParam().minimumThickness);
    EXPECT_EQ(info.ptActual.y, GetParam().actualThickness);
    EXPECT_GT(capture(hosted.window).count(kRed), 0);
}

// Vertical: 2 × 2 + (20 + 5) + (26 + 5) long; across, the groups are 40 and 60 wide and
// their side-by-side meters 20 wide each, plus 2 × 4.
INSTANTIATE_TEST_SUITE_P(
    Parents, BandDirection,
    ::testing::Values(Direction{400, 40, kTwoGroupsLength, kTwoGroupsMinimumThickness,
                                kTwoGroupsActualThickness},
                      Direction{120, 120, kTwoGroupsLength, kTwoGroupsMinimumThickness,
                                kTwoGroupsActualThickness},
                      Direction{100, 500, 60, 28, 68}));

// One square group of full red columns. No meter sets a height, so the minimum
// thickness (2 × 2) is far below the taskbar's: a host that took it for the band's
// thickness would leave a strip nothing can be drawn in.
std::string squareGroup(int size) {
    const std::string side = std::to_string(size);
    return R"json({
  "horizontalPadding": 1, "verticalPadding": 2,
  "meterGroups": [
    { "name": "square", "width": )json" +
           side + R"json(, "height": )json" + side + R"json(,
      "meters": [
        { "meterType": "column", "width": 10, "refreshRate": 200,
          "counters": [ { "counterPath": "(PERFORMANCE_INFORMATION.PhysicalTotal) / (PERFORMANCE_INFORMATION.PhysicalTotal)",
                          "color": "#FF0000", "minValue": 0, "maxValue": 1 } ] } ] } ]
})json";
}

struct Taskbar {
    int width;
    int height;
};

class BandLengthChange : public Band, public ::testing::WithParamInterface<Taskbar> {};

TEST_P(BandLengthChange, KeepsTheTaskbarsThicknessAndDrawsAfterEveryReload) {
    const bool vertical = GetParam().height > GetParam().width;
    const auto thicknessOf = [vertical](HWND window) {
        RECT client{};
        GetClientRect(window, &client);
        return vertical ? client.right : client.bottom;
    };
    const auto lengthOf = [vertical](HWND window) {
        RECT client{};
        GetClientRect(window, &client);
        return vertical ? client.bottom : client.right;
    };
    writeConfiguration(squareGroup(24));
    RecordingRebar rebar(GetParam().width, GetParam().height);
    HostedBand hosted(rebar);
    pumpFor(300);
    rebar.clear();  // the first load's length
    const LONG taskbarThickness = thicknessOf(rebar.window());
    ASSERT_EQ(thicknessOf(hosted.window), taskbarThickness);

    // Two saves in a row that each change the band's length.
    for (const int size : {26, 24}) {
        SCOPED_TRACE(size);
        ASSERT_TRUE(writeInPlace(configurationFile(), squareGroup(size)));
        ASSERT_TRUE(reloadArrives());
        const LONG length = bandInfo(hosted.band.Get(), DBIM_ACTUAL).ptActual.x;
        ASSERT_FALSE(widthsPushed(rebar).empty());
        EXPECT_EQ(widthsPushed(rebar).back(), length);
        EXPECT_EQ(thicknessOf(hosted.window), taskbarThickness);
        EXPECT_GE(lengthOf(hosted.window), length);
        EXPECT_GT(capture(hosted.window).count(kRed), 0);
    }
    EXPECT_EQ(widthsPushed(rebar).size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Taskbars, BandLengthChange,
                         ::testing::Values(Taskbar{400, 40}, Taskbar{100, 500}));

bool declaresWindows10() {
    return FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)) != nullptr;
}

// The band picks its text rendering with this very check, in the host's process.
bool hostSeesWindows10() {
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwMajorVersion = 10;
    DWORDLONG conditions = 0;
    conditions = VerSetConditionMask(conditions, VER_MAJORVERSION, VER_GREATER_EQUAL);
    conditions = VerSetConditionMask(conditions, VER_MINORVERSION, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION, conditions) != FALSE;
}

TEST(Host, SeesWindows10ExactlyWhenItDeclaresItAsExplorerDoes) {
    EXPECT_EQ(hostSeesWindows10(), declaresWindows10())
        << "the prefix must report Windows 10 (scripts/wine-prefix)";
}

// Large red text on the taskbar: the processor load as a percentage.
const std::string kRedText = R"json({
  "horizontalPadding": 2, "verticalPadding": 2,
  "meterGroups": [
    { "name": "text", "width": 90, "height": 36,
      "meters": [
        { "meterType": "text", "width": 90, "refreshRate": 200,
          "counters": [ { "counterPath": "(\\Processor(_Total)\\% Processor Time)", "units": "percent",
                          "color": "#FF0000", "minValue": 0, "maxValue": 100, "fontSize": 20 } ] } ] } ]
})json";

TEST_F(Band, TextMetersDrawOnTheTaskbar) {
    writeConfiguration(kRedText);
    RecordingRebar rebar(400, 40);
    HostedBand hosted(rebar);
    ASSERT_TRUE(pumpUntil([&] { return capture(hosted.window).count(kRed) > 0; }, kPromptly))
        << (declaresWindows10() ? "Windows 10 text" : "older text");
}

TEST_F(Band, ClicksStartTaskManagerAndTheCompanionWithoutAMenu) {
    RecordingRebar rebar(400, 40);
    HostedBand hosted(rebar);
    const std::vector<DWORD> earlier = processesNamed(L"taskmgr.exe");
    SendMessageW(hosted.window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageW(hosted.window, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    DWORD started = 0;
    pumpUntil(
        [&] {
            for (const DWORD id : processesNamed(L"taskmgr.exe")) {
                if (std::find(earlier.begin(), earlier.end(), id) == earlier.end()) {
                    started = id;
                }
            }
            return started != 0;
        },
        10000);
    ASSERT_NE(started, 0u);
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_TRUE(sameText(processImage(started), std::wstring(system) + L"\\taskmgr.exe"))
        << "started " << std::string(processImage(started).begin(), processImage(started).end());
    // Started by this test through the band: ended by its id.
    if (const win32::KernelHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, started));
        process) {
        TerminateProcess(process.get(), 0);
    }

    const std::wstring record = folderOf(bandModulePath()) + L"\\companion-record.txt";
    DeleteFileW(record.c_str());
    SetEnvironmentVariableW(L"TAVISTO_COMPANION_RECORD", record.c_str());
    const LRESULT answer = SendMessageW(hosted.window, WM_CONTEXTMENU,
                                        reinterpret_cast<WPARAM>(hosted.window), MAKELPARAM(3, 3));
    EXPECT_EQ(answer, 0);
    ASSERT_TRUE(pumpUntil(
        [&] { return GetFileAttributesW(record.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000));
    pumpFor(300);
    std::wstring text;
    {
        const win32::FileHandle file(CreateFileW(record.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                 nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file);
        wchar_t buffer[2048] = {};
        DWORD read = 0;
        ReadFile(file.get(), buffer, sizeof(buffer) - sizeof(wchar_t), &read, nullptr);
        text.assign(buffer, read / sizeof(wchar_t));
    }
    const std::size_t first = text.find(L'\n');
    const std::size_t second = text.find(L'\n', first + 1);
    ASSERT_NE(second, std::wstring::npos);
    const std::wstring folder = folderOf(bandModulePath());
    EXPECT_TRUE(sameText(text.substr(0, first), folder + L"\\Tavisto.exe"));
    EXPECT_TRUE(sameText(text.substr(first + 1, second - first - 1), folder));
    EXPECT_TRUE(rebar.received(WM_CONTEXTMENU).empty()) << "the parent was not asked for a menu";
    const HWND menu = FindWindowW(L"#32768", nullptr);
    EXPECT_TRUE(menu == nullptr || !IsWindowVisible(menu));
    DeleteFileW(record.c_str());
}

TEST_F(Band, AClickOnAShowValuesGroupStartsTheCompanionForItsValues) {
    RecordingRebar rebar(400, 40);
    HostedBand hosted(rebar);
    writeConfiguration(R"json({ "horizontalPadding": 2, "meterGroups": [
      { "name": "values", "width": 40, "click": "showValues", "meters": [
        { "meterType": "column", "width": 40, "refreshRate": 200, "counters": [
          { "counterPath": "(PERFORMANCE_INFORMATION.PhysicalTotal)" } ] } ] } ] })json");
    ASSERT_TRUE(reloadArrives());
    const std::wstring record = folderOf(bandModulePath()) + L"\\companion-record.txt";
    DeleteFileW(record.c_str());
    SetEnvironmentVariableW(L"TAVISTO_COMPANION_RECORD", record.c_str());
    const std::vector<DWORD> earlier = processesNamed(L"taskmgr.exe");
    SendMessageW(hosted.window, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    ASSERT_TRUE(pumpUntil(
        [&] { return GetFileAttributesW(record.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000));
    pumpFor(300);
    std::wstring text(2048, L'\0');
    {
        const win32::FileHandle file(CreateFileW(record.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                 nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file);
        DWORD read = 0;
        ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &read,
                 nullptr);
        text.resize(read / sizeof(wchar_t));
    }
    // Its image, its working folder, then its command line, which ends in the switch.
    EXPECT_TRUE(sameText(text.substr(0, text.find(L'\n')),
                         folderOf(bandModulePath()) + L"\\Tavisto.exe"));
    EXPECT_NE(text.find(L" --values\n"), std::wstring::npos)
        << std::string(text.begin(), text.end());
    EXPECT_EQ(processesNamed(L"taskmgr.exe"), earlier) << "nothing else starts";
    DeleteFileW(record.c_str());
}

TEST_F(Band, FocusChangesReachTheSite) {
    RecordingRebar rebar(400, 40);
    HostedBand hosted(rebar);
    ComPtr<IInputObject> input;
    ASSERT_EQ(hosted.band.As(&input), S_OK);
    ComPtr<IUnknown> identity;
    ASSERT_EQ(hosted.band.As(&identity), S_OK);
    EXPECT_EQ(input->HasFocusIO(), S_FALSE);
    EXPECT_EQ(input->UIActivateIO(TRUE, nullptr), S_OK);
    pumpFor(50);
    EXPECT_EQ(GetFocus(), hosted.window);
    EXPECT_EQ(input->HasFocusIO(), S_OK);
    SetFocus(rebar.frame());
    pumpFor(50);
    EXPECT_EQ(input->HasFocusIO(), S_FALSE);
    ASSERT_EQ(hosted.site->focusChanges.size(), 2u);
    EXPECT_EQ(hosted.site->focusChanges[0].object, identity.Get());
    EXPECT_EQ(hosted.site->focusChanges[0].focused, TRUE);
    EXPECT_EQ(hosted.site->focusChanges[1].focused, FALSE);
}

TEST_F(Band, SiteWithoutWindowGivesNoBandWindow) {
    const LoadedModule module;
    ComPtr<IDeskBand2> band;
    ASSERT_EQ(CoCreateInstance(kBandClassId, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&band)),
              S_OK);
    ComPtr<IObjectWithSite> withSite;
    ASSERT_EQ(band.As(&withSite), S_OK);
    ComPtr<HostSite> site;
    site.Attach(new HostSite(nullptr));
    EXPECT_EQ(withSite->SetSite(static_cast<IOleWindow*>(site.Get())), S_OK);
    HWND window = reinterpret_cast<HWND>(1);
    band->GetWindow(&window);
    EXPECT_EQ(window, nullptr);
    EXPECT_TRUE(threadsStartedIn(module.get()).empty());
    ComPtr<IInputObjectSite> held;
    EXPECT_EQ(withSite->GetSite(IID_PPV_ARGS(&held)), S_OK);
    EXPECT_EQ(held.Get(), static_cast<IInputObjectSite*>(site.Get()));
    EXPECT_EQ(withSite->SetSite(nullptr), S_OK);
    EXPECT_EQ(withSite->GetSite(IID_PPV_ARGS(&held)), E_FAIL);
}

TEST_F(Band, NewSiteReplacesTheWindowAndTheWatcher) {
    const LoadedModule module;
    RecordingRebar first(400, 40);
    RecordingRebar second(300, 40);
    HostedBand hosted(first);
    const HWND firstWindow = hosted.window;
    ComPtr<IObjectWithSite> withSite;
    ASSERT_EQ(hosted.band.As(&withSite), S_OK);
    ComPtr<HostSite> site;
    site.Attach(new HostSite(second.window()));
    ASSERT_EQ(withSite->SetSite(static_cast<IOleWindow*>(site.Get())), S_OK);
    HWND window = nullptr;
    hosted.band->GetWindow(&window);
    EXPECT_NE(window, nullptr);
    EXPECT_EQ(GetParent(window), second.window());
    EXPECT_FALSE(IsWindow(firstWindow));
    EXPECT_EQ(threadsStartedIn(module.get()).size(), 1u);
    hosted.window = window;
}

TEST_F(Band, ClosingAndReleasingLeavesNothingBehind) {
    writeConfiguration(kTwoGroups);
    RecordingRebar rebar(400, 40);
    // Held by the test, so that the counts compare band lifetimes, not module loads.
    auto module = std::make_unique<LoadedModule>();
    const auto hostReloadAndClose = [&rebar, &module] {
        HostedBand hosted(rebar);
        pumpFor(500);
        EXPECT_GT(capture(hosted.window).count(kRed), 0);
        EXPECT_EQ(threadsStartedIn(module->get()).size(), 1u);
        EXPECT_TRUE(writeInPlace(configurationFile(), kOneGroup));
        EXPECT_TRUE(reloadArrives());
        ComPtr<IInputObject> input;
        hosted.band.As(&input);
        input->UIActivateIO(TRUE, nullptr);
        SetFocus(rebar.frame());
        hosted.close();
        EXPECT_TRUE(writeInPlace(configurationFile(), kTwoGroups));
    };
    // A first band loads what the system keeps once loaded (GDI+, fonts, themes).
    hostReloadAndClose();
    pumpFor(200);
    const ResourceCounts before = resourceCounts();
    hostReloadAndClose();
    EXPECT_TRUE(threadsStartedIn(module->get()).empty()) << "the watcher has ended";
    EXPECT_EQ(module->canUnloadNow(), S_OK);
    WNDCLASSW registered{};
    EXPECT_FALSE(GetClassInfoW(module->get(), TAVISTO_BAND_WINDOW_CLASS, &registered));
    pumpFor(200);
    const ResourceCounts after = resourceCounts();
    EXPECT_EQ(after.gdiObjects, before.gdiObjects);
    EXPECT_EQ(after.windows, before.windows);
    EXPECT_EQ(after.handles, before.handles);

    module.reset();
    CoFreeUnusedLibrariesEx(0, 0);
    pumpFor(200);
    EXPECT_EQ(GetModuleHandleW(bandModulePath().c_str()), nullptr) << "the module was unloaded";
}

TEST_F(Band, LoadingAndUnloadingTheModuleWithABandLeaksNoHandle) {
    writeConfiguration(kTwoGroups);
    RecordingRebar rebar(400, 40);
    // Explorer loads the module for a band and unloads it once the band is gone, again
    // and again over a session: nothing may pile up per load.
    const auto bandInAFreshlyLoadedModule = [&rebar] {
        {
            HostedBand hosted(rebar);
            pumpFor(300);
            hosted.close();
        }
        CoFreeUnusedLibrariesEx(0, 0);
        pumpFor(200);
        EXPECT_EQ(GetModuleHandleW(bandModulePath().c_str()), nullptr) << "the module was unloaded";
    };
    // The first round loads what the system keeps once loaded (GDI+, fonts, themes).
    bandInAFreshlyLoadedModule();
    const ResourceCounts before = resourceCounts();
    bandInAFreshlyLoadedModule();
    bandInAFreshlyLoadedModule();
    const ResourceCounts after = resourceCounts();
    EXPECT_EQ(after.handles, before.handles);
    EXPECT_EQ(after.gdiObjects, before.gdiObjects);
    EXPECT_EQ(after.windows, before.windows);
}

TEST_F(Band, WatcherThatCannotEndKeepsTheModuleUntilItLeaves) {
    writeConfiguration(kTwoGroups);
    RecordingRebar rebar(400, 40);
    const Watchdog watchdog(30000);
    LoaderLock stuck;
    ASSERT_TRUE(stuck.held());
    {
        HostedBand hosted(rebar);
        ASSERT_NE(hosted.window, nullptr);
        const ULONGLONG closing = GetTickCount64();
        hosted.close();
        EXPECT_LT(GetTickCount64() - closing, 2500u) << "closing waited for a stuck watcher";
    }
    CoFreeUnusedLibrariesEx(0, 0);
    // The thread holds the module: unloading it now would pull the code from under it.
    EXPECT_NE(GetModuleHandleW(bandModulePath().c_str()), nullptr);
    stuck.release();
    // Let go, the thread ends on its own and takes its reference to the module with it.
    EXPECT_TRUE(
        pumpUntil([] { return GetModuleHandleW(bandModulePath().c_str()) == nullptr; }, kPromptly));
}

TEST_F(Band, ReleaseWithoutCloseDestroysTheWindow) {
    writeConfiguration(kTwoGroups);
    const LoadedModule module;
    RecordingRebar rebar(400, 40);
    HWND window = nullptr;
    {
        ComPtr<IDeskBand2> band;
        ASSERT_EQ(
            CoCreateInstance(kBandClassId, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&band)),
            S_OK);
        ComPtr<IObjectWithSite> withSite;
        ASSERT_EQ(band.As(&withSite), S_OK);
        ComPtr<HostSite> site;
        site.Attach(new HostSite(rebar.window()));
        withSite->SetSite(static_cast<IOleWindow*>(site.Get()));
        band->GetWindow(&window);
        ASSERT_NE(window, nullptr);
        band->ShowDW(TRUE);
        pumpFor(300);
    }
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(threadsStartedIn(module.get()).empty());
    EXPECT_EQ(module.canUnloadNow(), S_OK);
    pumpFor(300);
}

TEST_F(Band, WindowDestroyedWithItsParentLeavesNoWindowClassBehind) {
    writeConfiguration(kTwoGroups);
    const LoadedModule module;
    auto rebar = std::make_unique<RecordingRebar>(400, 40);
    HWND window = nullptr;
    {
        ComPtr<IDeskBand2> band;
        ASSERT_EQ(
            CoCreateInstance(kBandClassId, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&band)),
            S_OK);
        ComPtr<IObjectWithSite> withSite;
        ASSERT_EQ(band.As(&withSite), S_OK);
        ComPtr<HostSite> site;
        site.Attach(new HostSite(rebar->window()));
        withSite->SetSite(static_cast<IOleWindow*>(site.Get()));
        band->GetWindow(&window);
        ASSERT_NE(window, nullptr);
        band->ShowDW(TRUE);
        pumpFor(300);
        // The taskbar goes first, taking the band window with it; no CloseDW follows.
        rebar.reset();
        ASSERT_FALSE(IsWindow(window));
        HWND after = reinterpret_cast<HWND>(1);
        EXPECT_EQ(band->GetWindow(&after), S_OK);
        EXPECT_EQ(after, nullptr);
    }
    // A class left registered would keep the procedure of an unloaded module, and a
    // later load of the module would create its windows with it.
    WNDCLASSW registered{};
    EXPECT_FALSE(GetClassInfoW(module.get(), TAVISTO_BAND_WINDOW_CLASS, &registered));
    EXPECT_TRUE(threadsStartedIn(module.get()).empty());
    EXPECT_EQ(module.canUnloadNow(), S_OK);
}

}  // namespace
}  // namespace tavisto::host
