#pragma once
// A desk-band host for tests: what the taskbar does with a band, through public COM
// only. A rebar parent that records the size messages it receives, a site object
// that records focus changes, a bounded message pump that counts the reload messages
// posted to band windows, captures through WM_PRINTCLIENT, and the counters used to
// check that a band leaves nothing behind.

#include <windows.h>

#include <commctrl.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/handles.h"
#include "tavisto_identifiers.h"

namespace tavisto::host {

using Microsoft::WRL::ComPtr;

inline constexpr CLSID kBandClassId = TAVISTO_CLASS_ID_INITIALIZER;
inline constexpr wchar_t kBandClassKey[] = L"CLSID\\" TAVISTO_CLASS_ID_TEXT;
inline constexpr UINT kReloadMessage = WM_USER + 1;

// Paths of the test setting.
std::wstring environmentValue(const wchar_t* name);
std::wstring bandModulePath();  // TAVISTO_DLL: the staged Tavisto.dll
std::wstring folderOf(const std::wstring& path);
std::wstring configurationFolder();  // %APPDATA%\Tavisto
std::wstring configurationFile();    // ...\Tavisto\TavistoConfig.json

// File operations as editors and tools do them.
bool writeNewFile(const std::wstring& path, const std::string& content);
bool writeInPlace(const std::wstring& path, const std::string& content);
bool replaceThroughRename(const std::wstring& path, const std::string& content);
void removeFolder(const std::wstring& folder);

// Runs a program and waits (bounded) for its exit code; -1 when it did not end.
long runProgram(const std::wstring& commandLine, DWORD timeoutMilliseconds);

// The band module loaded by the test itself (COM may hold it too), for its exports.
class LoadedModule {
  public:
    LoadedModule();
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    HMODULE get() const { return module_; }
    HRESULT canUnloadNow() const;
    HRESULT registerServer() const;
    HRESULT unregisterServer() const;
    HRESULT getClassObject(REFCLSID rclsid, REFIID riid, void** ppv) const;

  private:
    template <typename Entry>
    Entry entry(const char* name) const {
        return reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    HMODULE module_;
};

// The messages a band sends its parent, in order.
struct ParentMessage {
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    REBARBANDINFOW band{};  // for RB_SETBANDINFOW
    RECT childClient{};     // the band window's client area when the message came
};

// A visible frame with a ReBarWindow32 filling it; the rebar is vertical when taller
// than wide.
class RecordingRebar {
  public:
    RecordingRebar(int width, int height);
    ~RecordingRebar();
    RecordingRebar(const RecordingRebar&) = delete;
    RecordingRebar& operator=(const RecordingRebar&) = delete;

    HWND window() const { return rebar_; }
    HWND frame() const { return frame_; }
    std::vector<ParentMessage> received(UINT message) const;
    void clear() { messages_.clear(); }
    // Paints the rebar's background (what bands draw themselves over) in this colour.
    void setBackground(COLORREF colour) { background_ = colour; }

  private:
    static LRESULT CALLBACK subclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR self) noexcept;
    HWND frame_ = nullptr;
    HWND rebar_ = nullptr;
    std::vector<ParentMessage> messages_;
    COLORREF background_ = CLR_NONE;
};

// The host's site: IOleWindow gives the rebar, IInputObjectSite records focus changes.
// COM interfaces have no virtual destructor by design: objects end in their own Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class HostSite final : public IOleWindow, public IInputObjectSite {
  public:
    explicit HostSite(HWND window) : window_(window) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override;
    STDMETHODIMP_(ULONG) Release() noexcept override;
    STDMETHODIMP GetWindow(HWND* phwnd) noexcept override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP OnFocusChangeIS(IUnknown* object, BOOL focused) noexcept override;

    struct FocusChange {
        IUnknown* object;
        BOOL focused;
    };
    std::vector<FocusChange> focusChanges;

  private:
    ~HostSite() = default;
    LONG references_ = 1;
    HWND window_;
};
#pragma GCC diagnostic pop

// Pumps this thread's messages until `done` holds or the time is up; returns the last
// value of `done`. Reload messages posted to band windows are counted on the way.
bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMilliseconds);
void pumpFor(DWORD milliseconds);
int reloadMessagesSeen();

// accessible-reader.exe (beside this program) with `arguments` after its output file,
// pumping this thread's messages while it runs, as a window of this thread must answer
// it; its output, or nothing when it failed or ran out of time.
std::optional<std::string> runAccessibleReader(const std::wstring& arguments,
                                               DWORD timeoutMilliseconds);
std::wstring windowArgument(HWND window);
// A file of at most 64 KiB; nothing when it cannot be read.
std::optional<std::string> readTextFile(const std::wstring& path);

// A window of this thread whose client area answers with the system's standard accessible
// object: the least a window can serve, to compare the meters' object with.
class TrivialAccessibleWindow {
  public:
    TrivialAccessibleWindow();
    ~TrivialAccessibleWindow();
    TrivialAccessibleWindow(const TrivialAccessibleWindow&) = delete;
    TrivialAccessibleWindow& operator=(const TrivialAccessibleWindow&) = delete;
    HWND window() const { return window_; }

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam,
                                      LPARAM lParam) noexcept;
    HWND window_ = nullptr;
};

DESKBANDINFO bandInfo(IDeskBand* band, DWORD mask, DWORD bandId = 7, DWORD viewMode = 0);

// A band created from the registry, sited in a rebar, inserted and shown.
struct HostedBand {
    static constexpr DWORD kBandId = 7;

    explicit HostedBand(RecordingRebar& rebar, bool show = true);
    ~HostedBand();
    HostedBand(const HostedBand&) = delete;
    HostedBand& operator=(const HostedBand&) = delete;

    void show();
    // CloseDW, SetSite(null) and the last Release, as the taskbar ends a band.
    void close();

    RecordingRebar& rebar;
    ComPtr<IDeskBand2> band;
    ComPtr<HostSite> site;
    HWND window = nullptr;
};

struct Capture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, top row first

    std::uint32_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
    int count(std::uint32_t rgb) const;
    bool uniform() const;
};

// The window's client area as WM_PRINTCLIENT paints it.
Capture capture(HWND window);
// Writes the capture as PNG through GDI+ (started by the caller).
bool savePng(const Capture& image, const std::wstring& path);

// Threads of this process that started inside the given module.
std::vector<DWORD> threadsStartedIn(HMODULE module);
// Every thread of this process, in ascending order of identifier.
std::vector<DWORD> threadIds();
// Processor time of a thread in 100 ns units.
std::uint64_t threadTime(DWORD threadId);

// Process resources that a band must give back.
struct ResourceCounts {
    int gdiObjects = 0;
    int windows = 0;  // windows of this thread, children included
    int handles = 0;
    bool operator==(const ResourceCounts&) const = default;
};
ResourceCounts resourceCounts();

// Processes whose executable has the given file name, by id.
std::vector<DWORD> processesNamed(const std::wstring& fileName);
std::wstring processImage(DWORD processId);

// The loader lock, as ntdll exports it: while this thread holds it, a new thread of the
// process cannot begin to run, as a watcher stuck in the file system cannot go on.
class LoaderLock {
  public:
    LoaderLock();
    ~LoaderLock();
    LoaderLock(const LoaderLock&) = delete;
    LoaderLock& operator=(const LoaderLock&) = delete;
    bool held() const { return held_; }
    void release();

  private:
    ULONG_PTR cookie_ = 0;
    bool held_ = false;
};

// Ends the process with a failure when a test hangs past its time: a wait that never
// returns would otherwise hang the whole run.
class Watchdog {
  public:
    explicit Watchdog(DWORD milliseconds);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

  private:
    static DWORD WINAPI watch(void* self) noexcept;
    win32::KernelHandle cancelled_;
    DWORD milliseconds_;
    win32::KernelHandle thread_;
};

}  // namespace tavisto::host
