#include "desk_band_host.h"

#include <gdiplus.h>
#include <oleacc.h>
#include <psapi.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <winternl.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>

#include "platform/win32/dib_section.h"
#include "platform/win32/handles.h"
#include "tavisto_identifiers.h"

namespace tavisto::host {
namespace {

int reloads = 0;

inline void findClose(HANDLE search) noexcept {
    FindClose(search);
}
using FileSearch = win32::Owned<win32::handle_traits::Simple<HANDLE, findClose, -1>>;

// The watcher's reload messages go to the engine's window, of this class.
bool isPanelSourceWindow(HWND window) {
    wchar_t name[32] = {};
    return window != nullptr && GetClassNameW(window, name, 32) > 0 &&
           std::wstring(name) == TAVISTO_PANEL_SOURCE_WINDOW_CLASS;
}

bool sameText(const std::wstring& left, const std::wstring& right) {
    return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

LRESULT CALLBACK frameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND createFrame(int width, int height) {
    WNDCLASSW frameClass{};
    frameClass.lpfnWndProc = frameProcedure;
    frameClass.hInstance = GetModuleHandleW(nullptr);
    frameClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    frameClass.lpszClassName = L"TavistoTestTaskbar";
    RegisterClassW(&frameClass);
    return CreateWindowExW(WS_EX_TOOLWINDOW, frameClass.lpszClassName, L"taskbar",
                           WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, width, height, nullptr,
                           nullptr, frameClass.hInstance, nullptr);
}

// Wine reports no GDI or USER counts through GetGuiResources; there the GDI handle
// table that the process environment block points at is counted instead.
int liveGdiObjects() {
    if (const DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) {
        return static_cast<int>(reported);
    }
    struct Entry {
        std::uint64_t object;
        std::uint32_t owner;
        std::uint16_t unique;
        std::uint8_t type;
        std::uint8_t flags;
        std::uint64_t user;
    };
    static_assert(sizeof(Entry) == 24);
    constexpr std::size_t kSharedTableOffset = 0xF8;  // PEB64 GdiSharedHandleTable
    PROCESS_BASIC_INFORMATION basic{};
    if (NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &basic,
                                  sizeof(basic), nullptr) != 0) {
        return -1;
    }
    const auto* peb = reinterpret_cast<const unsigned char*>(basic.PebBaseAddress);
    const Entry* table = *reinterpret_cast<const Entry* const*>(peb + kSharedTableOffset);
    if (table == nullptr) {
        return -1;
    }
    int live = 0;
    for (std::size_t index = 0; index < 0x10000; ++index) {
        live += table[index].type != 0 ? 1 : 0;
    }
    return live;
}

BOOL CALLBACK countWindow(HWND window, LPARAM count) noexcept {
    ++*reinterpret_cast<int*>(count);
    EnumChildWindows(window, countWindow, count);
    return TRUE;
}

// Wine's GetProcessHandleCount answers 0; there valid handle values are probed.
int openHandles() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) {
        return static_cast<int>(count);
    }
    int open = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        open += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    }
    return open;
}

bool writeWhole(HANDLE file, const std::string& content) {
    DWORD written = 0;
    return WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
           written == content.size();
}

}  // namespace

std::wstring environmentValue(const wchar_t* name) {
    wchar_t value[4096] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, 4096);
    return length > 0 && length < 4096 ? std::wstring(value, length) : std::wstring();
}

std::wstring bandModulePath() {
    return environmentValue(L"TAVISTO_DLL");
}

std::wstring folderOf(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(0, separator);
}

std::wstring configurationFolder() {
    wchar_t appData[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE);
    return std::wstring(appData) + L"\\Tavisto";
}

std::wstring configurationFile() {
    return configurationFolder() + L"\\TavistoConfig.json";
}

bool writeNewFile(const std::wstring& path, const std::string& content) {
    const win32::FileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return file && writeWhole(file.get(), content);
}

bool writeInPlace(const std::wstring& path, const std::string& content) {
    // The file keeps its name and directory entry: only its data and last-write time change.
    const win32::FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             TRUNCATE_EXISTING, 0, nullptr));
    return file && writeWhole(file.get(), content);
}

bool replaceThroughRename(const std::wstring& path, const std::string& content) {
    const std::wstring temporary = path + L".saving";
    return writeNewFile(temporary, content) &&
           MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

void removeFolder(const std::wstring& folder) {
    {
        WIN32_FIND_DATAW entry;
        // Closed before the folder is removed: an open search keeps it.
        const FileSearch search(FindFirstFileW((folder + L"\\*").c_str(), &entry));
        for (BOOL more = search ? TRUE : FALSE; more; more = FindNextFileW(search.get(), &entry)) {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring path = folder + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeFolder(path);
            } else {
                DeleteFileW(path.c_str());
            }
        }
    }
    RemoveDirectoryW(folder.c_str());
}

long runProgram(const std::wstring& commandLine, DWORD timeoutMilliseconds) {
    std::wstring command = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return -1;
    }
    const win32::KernelHandle thread(process.hThread);
    const win32::KernelHandle started(process.hProcess);
    if (WaitForSingleObject(started.get(), timeoutMilliseconds) != WAIT_OBJECT_0) {
        TerminateProcess(started.get(), 1);
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(started.get(), &code);
    return static_cast<long>(code);
}

LoadedModule::LoadedModule() : module_(LoadLibraryW(bandModulePath().c_str())) {}

LoadedModule::~LoadedModule() {
    if (module_ != nullptr) {
        FreeLibrary(module_);
    }
}

HRESULT LoadedModule::canUnloadNow() const {
    return entry<HRESULT(STDAPICALLTYPE*)()>("DllCanUnloadNow")();
}

HRESULT LoadedModule::registerServer() const {
    return entry<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer")();
}

HRESULT LoadedModule::unregisterServer() const {
    return entry<HRESULT(STDAPICALLTYPE*)()>("DllUnregisterServer")();
}

HRESULT LoadedModule::getClassObject(REFCLSID rclsid, REFIID riid, void** ppv) const {
    return entry<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(
        rclsid, riid, ppv);
}

RecordingRebar::RecordingRebar(int width, int height) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_COOL_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    frame_ = createFrame(width, height);
    const DWORD direction = height > width ? CCS_VERT : 0;
    rebar_ =
        CreateWindowExW(0, REBARCLASSNAMEW, nullptr,
                        WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | CCS_NORESIZE |
                            CCS_NODIVIDER | RBS_VARHEIGHT | direction,
                        0, 0, width, height, frame_, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowSubclass(rebar_, subclass, 1, reinterpret_cast<DWORD_PTR>(this));
    pumpFor(50);
}

RecordingRebar::~RecordingRebar() {
    RemoveWindowSubclass(rebar_, subclass, 1);
    DestroyWindow(frame_);
    pumpFor(20);
}

std::vector<ParentMessage> RecordingRebar::received(UINT message) const {
    std::vector<ParentMessage> matching;
    std::copy_if(messages_.begin(), messages_.end(), std::back_inserter(matching),
                 [message](const ParentMessage& seen) { return seen.message == message; });
    return matching;
}

LRESULT CALLBACK RecordingRebar::subclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR self) noexcept {
    if (message == RB_SETBANDINFOW || message == RB_SETBANDWIDTH || message == RB_IDTOINDEX ||
        message == WM_CONTEXTMENU) {
        ParentMessage seen{message, wParam, lParam, {}, {}};
        if (message == RB_SETBANDINFOW && lParam != 0) {
            seen.band = *reinterpret_cast<const REBARBANDINFOW*>(lParam);
        }
        GetClientRect(GetWindow(window, GW_CHILD), &seen.childClient);
        reinterpret_cast<RecordingRebar*>(self)->messages_.push_back(seen);
    }
    const COLORREF background = reinterpret_cast<RecordingRebar*>(self)->background_;
    if (message == WM_ERASEBKGND && background != CLR_NONE) {
        RECT client{};
        GetClientRect(window, &client);
        const win32::Owned<
            win32::handle_traits::Simple<HBRUSH, win32::handle_traits::deleteGdiObject<HBRUSH>>>
            brush(CreateSolidBrush(background));
        FillRect(reinterpret_cast<HDC>(wParam), &client, brush.get());
        return 1;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

STDMETHODIMP HostSite::QueryInterface(REFIID riid, void** ppv) noexcept {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleWindow)) {
        *ppv = static_cast<IOleWindow*>(this);
    } else if (IsEqualIID(riid, IID_IInputObjectSite)) {
        *ppv = static_cast<IInputObjectSite*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) HostSite::AddRef() noexcept {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

STDMETHODIMP_(ULONG) HostSite::Release() noexcept {
    const LONG remaining = InterlockedDecrement(&references_);
    if (remaining == 0) {
        delete this;
    }
    return static_cast<ULONG>(remaining);
}

STDMETHODIMP HostSite::GetWindow(HWND* phwnd) noexcept {
    if (phwnd == nullptr) {
        return E_POINTER;
    }
    *phwnd = window_;
    return window_ != nullptr ? S_OK : E_FAIL;
}

STDMETHODIMP HostSite::OnFocusChangeIS(IUnknown* object, BOOL focused) noexcept {
    focusChanges.push_back({object, focused});
    return S_OK;
}

bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMilliseconds) {
    const ULONGLONG end = GetTickCount64() + timeoutMilliseconds;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == kReloadMessage && isPanelSourceWindow(message.hwnd)) {
                ++reloads;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done()) {
            return true;
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= end) {
            return done();
        }
        MsgWaitForMultipleObjectsEx(0, nullptr,
                                    static_cast<DWORD>(std::min<ULONGLONG>(end - now, 20)),
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

void pumpFor(DWORD milliseconds) {
    pumpUntil([] { return false; }, milliseconds);
}

int reloadMessagesSeen() {
    return reloads;
}

namespace {

std::wstring programPath() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    return path;
}

}  // namespace

std::optional<std::string> readTextFile(const std::wstring& path) {
    const HANDLE opened = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    const win32::KernelHandle file(opened);
    std::string text(1 << 16, '\0');
    DWORD read = 0;
    if (!ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr)) {
        return std::nullopt;
    }
    text.resize(read);
    return text;
}

std::wstring windowArgument(HWND window) {
    return std::to_wstring(reinterpret_cast<INT_PTR>(window));
}

std::optional<std::string> runAccessibleReader(const std::wstring& arguments,
                                               DWORD timeoutMilliseconds) {
    wchar_t folder[MAX_PATH]{};
    wchar_t output[MAX_PATH]{};
    if (GetTempPathW(MAX_PATH, folder) == 0 || GetTempFileNameW(folder, L"acc", 0, output) == 0) {
        return std::nullopt;
    }
    std::wstring command = L"\"" + folderOf(programPath()) + L"\\accessible-reader.exe\" \"" +
                           output + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        DeleteFileW(output);
        return std::nullopt;
    }
    const win32::KernelHandle thread(process.hThread);
    const win32::KernelHandle started(process.hProcess);
    const bool ended =
        pumpUntil([&] { return WaitForSingleObject(started.get(), 0) == WAIT_OBJECT_0; },
                  timeoutMilliseconds);
    DWORD code = 1;
    if (!ended) {
        TerminateProcess(started.get(), 1);
        WaitForSingleObject(started.get(), 5000);
    } else {
        GetExitCodeProcess(started.get(), &code);
    }
    std::optional<std::string> text = readTextFile(output);
    DeleteFileW(output);
    if (!ended || !text) {
        return std::nullopt;
    }
    if (code != 0) {
        text->insert(0, "exit code " + std::to_string(code) + "\n");
    }
    return text;
}

TrivialAccessibleWindow::TrivialAccessibleWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TavistoTestTrivialAccessible";
    RegisterClassW(&windowClass);
    window_ = CreateWindowExW(0, windowClass.lpszClassName, L"trivial", WS_POPUP, 0, 0, 100, 30,
                              nullptr, nullptr, windowClass.hInstance, nullptr);
}

TrivialAccessibleWindow::~TrivialAccessibleWindow() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

LRESULT CALLBACK TrivialAccessibleWindow::procedure(HWND window, UINT message, WPARAM wParam,
                                                    LPARAM lParam) noexcept {
    if (message == WM_GETOBJECT && static_cast<LONG>(lParam) == static_cast<LONG>(OBJID_CLIENT)) {
        Microsoft::WRL::ComPtr<IAccessible> standard;
        if (SUCCEEDED(CreateStdAccessibleObject(window, OBJID_CLIENT, __uuidof(IAccessible),
                                                &standard))) {
            return LresultFromObject(__uuidof(IAccessible), wParam, standard.Get());
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

DESKBANDINFO bandInfo(IDeskBand* band, DWORD mask, DWORD bandId, DWORD viewMode) {
    DESKBANDINFO info{};
    info.dwMask = mask;
    info.ptMinSize = {-7, -7};
    info.ptActual = {-7, -7};
    band->GetBandInfo(bandId, viewMode, &info);
    return info;
}

HostedBand::HostedBand(RecordingRebar& host, bool showNow) : rebar(host) {
    site.Attach(new HostSite(host.window()));
    if (FAILED(
            CoCreateInstance(kBandClassId, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&band)))) {
        return;
    }
    ComPtr<IObjectWithSite> withSite;
    band.As(&withSite);
    withSite->SetSite(static_cast<IOleWindow*>(site.Get()));
    band->GetWindow(&window);
    const DESKBANDINFO info =
        bandInfo(band.Get(), DBIM_MINSIZE | DBIM_ACTUAL | DBIM_MODEFLAGS, kBandId);
    // The band fills the rebar's row across, as a taskbar row does.
    RECT client{};
    GetClientRect(rebar.window(), &client);
    const bool vertical = (GetWindowLongW(rebar.window(), GWL_STYLE) & CCS_VERT) != 0;
    const auto across = static_cast<UINT>(std::max(vertical ? client.right : client.bottom, 1L));
    REBARBANDINFOW inserted{};
    inserted.cbSize = sizeof(inserted);
    inserted.fMask = RBBIM_CHILD | RBBIM_ID | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_STYLE;
    // As the taskbar does, a band that declares a variable height gets a rebar band of
    // variable height: only such a band keeps the height it is given (cyChild) when its
    // sizes are set again, any other is cut to its minimum height.
    inserted.fStyle =
        RBBS_NOGRIPPER | ((info.dwModeFlags & DBIMF_VARIABLEHEIGHT) ? RBBS_VARIABLEHEIGHT : 0u);
    inserted.hwndChild = window;
    inserted.wID = kBandId;
    inserted.cxMinChild = static_cast<UINT>(info.ptMinSize.x);
    inserted.cyMinChild = across;
    inserted.cyChild = across;
    inserted.cyMaxChild = across;
    inserted.cx = static_cast<UINT>(info.ptActual.x);
    SendMessageW(rebar.window(), RB_INSERTBANDW, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(&inserted));
    if (showNow) {
        show();
    }
}

HostedBand::~HostedBand() {
    close();
}

void HostedBand::show() {
    band->ShowDW(TRUE);
    pumpFor(50);
}

void HostedBand::close() {
    if (!band) {
        return;
    }
    const LRESULT index = SendMessageW(rebar.window(), RB_IDTOINDEX, kBandId, 0);
    if (index >= 0) {
        SendMessageW(rebar.window(), RB_DELETEBAND, static_cast<WPARAM>(index), 0);
    }
    band->CloseDW(0);
    ComPtr<IObjectWithSite> withSite;
    if (SUCCEEDED(band.As(&withSite))) {
        withSite->SetSite(nullptr);
    }
    withSite.Reset();
    band.Reset();
    window = nullptr;
}

int Capture::count(std::uint32_t rgb) const {
    return static_cast<int>(std::count(pixels.begin(), pixels.end(), rgb));
}

bool Capture::uniform() const {
    return !pixels.empty() &&
           std::all_of(pixels.begin(), pixels.end(),
                       [first = pixels.front()](std::uint32_t pixel) { return pixel == first; });
}

Capture capture(HWND window) {
    Capture image;
    RECT client{};
    GetClientRect(window, &client);
    image.width = client.right - client.left;
    image.height = client.bottom - client.top;
    if (image.width <= 0 || image.height <= 0) {
        return image;
    }
    const win32::MemoryDc memory(CreateCompatibleDC(win32::windowDc(nullptr).get()));
    const win32::DibSection section =
        win32::createTopDownDib(memory.get(), image.width, image.height);
    if (!memory || !section) {
        return image;
    }
    // The DC's own first bitmap is a stock object: put back, never deleted.
    const HGDIOBJ original = SelectObject(memory.get(), section.bitmap.get());
    SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory.get()), PRF_CLIENT);
    GdiFlush();
    const std::uint32_t* pixels = section.pixels;
    image.pixels.assign(pixels, pixels + image.width * image.height);
    for (std::uint32_t& pixel : image.pixels) {
        pixel &= 0x00FFFFFF;
    }
    SelectObject(memory.get(), original);
    return image;
}

bool savePng(const Capture& image, const std::wstring& path) {
    using namespace Gdiplus;
    // {557CF406-1A04-11D3-9A73-0000F81EF32E}
    constexpr CLSID kPngEncoder = {
        0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
    std::vector<std::uint32_t> pixels = image.pixels;
    GpBitmap* bitmap = nullptr;
    if (DllExports::GdipCreateBitmapFromScan0(
            image.width, image.height, image.width * 4, PixelFormat32bppRGB,
            reinterpret_cast<BYTE*>(pixels.data()), &bitmap) != Ok) {
        return false;
    }
    const bool saved =
        DllExports::GdipSaveImageToFile(bitmap, path.c_str(), &kPngEncoder, nullptr) == Ok;
    DllExports::GdipDisposeImage(bitmap);
    return saved;
}

std::vector<DWORD> threadIds() {
    std::vector<DWORD> ids;
    const win32::FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot.get(), &entry); more;
         more = Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) {
            ids.push_back(entry.th32ThreadID);
        }
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

std::vector<DWORD> threadsStartedIn(HMODULE module) {
    std::vector<DWORD> threads;
    MODULEINFO range{};
    if (module == nullptr ||
        !GetModuleInformation(GetCurrentProcess(), module, &range, sizeof(range))) {
        return threads;
    }
    using QueryThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto queryThread = reinterpret_cast<QueryThread>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    const win32::FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot.get(), &entry); more;
         more = Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId()) {
            continue;
        }
        const win32::KernelHandle thread(
            OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID));
        void* start = nullptr;
        constexpr int kThreadStartAddress = 9;  // ThreadQuerySetWin32StartAddress
        if (thread &&
            queryThread(thread.get(), kThreadStartAddress, &start, sizeof(start), nullptr) == 0) {
            const auto* base = static_cast<const unsigned char*>(range.lpBaseOfDll);
            const auto* address = static_cast<const unsigned char*>(start);
            if (address >= base && address < base + range.SizeOfImage) {
                threads.push_back(entry.th32ThreadID);
            }
        }
    }
    return threads;
}

std::uint64_t threadTime(DWORD threadId) {
    const win32::KernelHandle thread(OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, threadId));
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!thread || !GetThreadTimes(thread.get(), &created, &exited, &kernel, &user)) {
        return 0;
    }
    const auto value = [](FILETIME time) {
        return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return value(kernel) + value(user);
}

ResourceCounts resourceCounts() {
    ResourceCounts counts;
    counts.gdiObjects = liveGdiObjects();
    EnumThreadWindows(GetCurrentThreadId(), countWindow, reinterpret_cast<LPARAM>(&counts.windows));
    counts.handles = openHandles();
    return counts;
}

std::vector<DWORD> processesNamed(const std::wstring& fileName) {
    std::vector<DWORD> found;
    const win32::FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (sameText(entry.szExeFile, fileName)) {
            found.push_back(entry.th32ProcessID);
        }
    }
    return found;
}

std::wstring processImage(DWORD processId) {
    const win32::KernelHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    wchar_t image[MAX_PATH * 2] = {};
    DWORD length = MAX_PATH * 2;
    if (!process || !QueryFullProcessImageNameW(process.get(), 0, image, &length)) {
        return {};
    }
    return std::wstring(image, length);
}

namespace {

using LockLoader = LONG(NTAPI*)(ULONG, ULONG*, ULONG_PTR*);
using UnlockLoader = LONG(NTAPI*)(ULONG, ULONG_PTR);

template <typename Entry>
Entry ntdllEntry(const char* name) {
    return reinterpret_cast<Entry>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

}  // namespace

LoaderLock::LoaderLock() {
    const auto lock = ntdllEntry<LockLoader>("LdrLockLoaderLock");
    held_ = lock != nullptr && ntdllEntry<UnlockLoader>("LdrUnlockLoaderLock") != nullptr &&
            lock(0, nullptr, &cookie_) == 0;
}

LoaderLock::~LoaderLock() {
    release();
}

void LoaderLock::release() {
    if (held_) {
        ntdllEntry<UnlockLoader>("LdrUnlockLoaderLock")(0, cookie_);
        held_ = false;
    }
}

Watchdog::Watchdog(DWORD milliseconds)
    : cancelled_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), milliseconds_(milliseconds) {
    thread_.reset(CreateThread(nullptr, 0, watch, this, 0, nullptr));
}

Watchdog::~Watchdog() {
    SetEvent(cancelled_.get());
    WaitForSingleObject(thread_.get(), INFINITE);
}

DWORD WINAPI Watchdog::watch(void* self) noexcept {
    auto* watchdog = static_cast<Watchdog*>(self);
    if (WaitForSingleObject(watchdog->cancelled_.get(), watchdog->milliseconds_) == WAIT_TIMEOUT) {
        std::fputs("watchdog: the test hung; ending the process\n", stderr);
        std::fflush(stderr);
        // Not ExitProcess: that takes the loader lock the hung test may hold.
        TerminateProcess(GetCurrentProcess(), 3);
    }
    return 0;
}

}  // namespace tavisto::host
