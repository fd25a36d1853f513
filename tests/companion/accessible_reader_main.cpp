// accessible-reader.exe: a screen reader's view of a window from another process, for
// the accessibility tests and the cost benchmark. Writes UTF-8 to <out-file>:
//   read <hwnd>               "children N", "name <window's name>", then one
//                             "<name>\t<value>" line per child
//   time <requests> <hwnd>... per window, the milliseconds <requests> requests took,
//                             one line each; the windows take turns in blocks of 50
//   listen <ms> <hwnd>        holds the object <ms> milliseconds and writes, for each
//                             value change of its first child, "<ms since listening>\t<value>"
// A request gets the client area's object, its child count and the first child's name
// and value, and releases it. Exit code 0, or 1 when a call failed (the file says which).

#include <windows.h>

#include <oleacc.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Microsoft::WRL::ComPtr;

std::string utf8(const wchar_t* text, UINT length) {
    if (length == 0) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), size, nullptr,
                        nullptr);
    return out;
}

// The text of a BSTR-returning call, which it frees; "<error 0x...>" when it failed.
template <typename Call>
std::string textOf(Call call, bool& failed) {
    BSTR text = nullptr;
    const HRESULT result = call(&text);
    if (FAILED(result)) {
        failed = true;
        char buffer[32];
        std::snprintf(buffer, sizeof(buffer), "<error 0x%08lX>",
                      static_cast<unsigned long>(result));
        return buffer;
    }
    std::string out = text != nullptr ? utf8(text, SysStringLen(text)) : std::string();
    SysFreeString(text);
    return out;
}

VARIANT child(long id) {
    VARIANT variant;
    VariantInit(&variant);
    variant.vt = VT_I4;
    variant.lVal = id;
    return variant;
}

HWND windowArgument(const wchar_t* text) {
    return reinterpret_cast<HWND>(static_cast<INT_PTR>(std::wcstoll(text, nullptr, 10)));
}

bool read(HWND window, std::string& out) {
    ComPtr<IAccessible> object;
    const HRESULT got = AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT),
                                                   __uuidof(IAccessible), &object);
    if (FAILED(got) || !object) {
        out += "no object " + std::to_string(got) + "\n";
        return false;
    }
    long count = -1;
    bool failed = FAILED(object->get_accChildCount(&count));
    out += "children " + std::to_string(count) + "\n";
    out +=
        "name " +
        textOf([&](BSTR* text) { return object->get_accName(child(CHILDID_SELF), text); }, failed) +
        "\n";
    for (long id = 1; id <= count; ++id) {
        out += textOf([&](BSTR* text) { return object->get_accName(child(id), text); }, failed);
        out += "\t";
        out += textOf([&](BSTR* text) { return object->get_accValue(child(id), text); }, failed);
        out += "\n";
    }
    return !failed;
}

// One request as a screen reader makes it when it looks at the window.
void request(HWND window) {
    ComPtr<IAccessible> object;
    if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT),
                                          __uuidof(IAccessible), &object)) ||
        !object) {
        return;
    }
    long count = 0;
    object->get_accChildCount(&count);
    BSTR text = nullptr;
    if (SUCCEEDED(object->get_accName(child(1), &text))) {
        SysFreeString(text);
    }
    text = nullptr;
    if (SUCCEEDED(object->get_accValue(child(1), &text))) {
        SysFreeString(text);
    }
}

void time(long requests, const std::vector<HWND>& windows, std::string& out) {
    std::vector<double> milliseconds(windows.size());
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    constexpr long kBlock = 50;
    for (long done = 0; done < requests; done += kBlock) {
        for (std::size_t index = 0; index < windows.size(); ++index) {
            LARGE_INTEGER start{};
            LARGE_INTEGER end{};
            QueryPerformanceCounter(&start);
            for (long at = done; at < done + kBlock && at < requests; ++at) {
                request(windows[index]);
            }
            QueryPerformanceCounter(&end);
            milliseconds[index] += static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
                                   static_cast<double>(frequency.QuadPart);
        }
    }
    for (const double total : milliseconds) {
        out += std::to_string(total) + "\n";
    }
}

// The listener's window, object and lines, for the event hook's callback.
struct Listening {
    HWND window = nullptr;
    ComPtr<IAccessible> object;
    ULONGLONG start = 0;
    std::string out;
};
Listening listening;

void CALLBACK valueChanged(HWINEVENTHOOK, DWORD, HWND window, LONG objectId, LONG childId, DWORD,
                           DWORD) {
    if (window != listening.window || objectId != OBJID_CLIENT || childId != 1) {
        return;
    }
    bool failed = false;
    listening.out += std::to_string(GetTickCount64() - listening.start) + "\t" +
                     textOf([](BSTR* text) { return listening.object->get_accValue(child(1), text); },
                            failed) +
                     "\n";
}

// As a screen reader that keeps the window's object while it listens to its changes.
bool listen(DWORD milliseconds, HWND window, std::string& out) {
    listening.window = window;
    if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT),
                                          __uuidof(IAccessible), &listening.object))) {
        return false;
    }
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    const HWINEVENTHOOK hook =
        SetWinEventHook(EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr,
                        &valueChanged, process, 0, WINEVENT_OUTOFCONTEXT);
    if (hook == nullptr) {
        return false;
    }
    listening.start = GetTickCount64();
    const ULONGLONG end = listening.start + milliseconds;
    for (ULONGLONG now = listening.start; now < end; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    }
    UnhookWinEvent(hook);
    listening.object.Reset();
    out = std::move(listening.out);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4 || FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 2;
    }
    std::string out;
    bool succeeded = true;
    const std::wstring command = argv[2];
    if (command == L"read") {
        succeeded = read(windowArgument(argv[3]), out);
    } else if (command == L"time" && argc >= 5) {
        std::vector<HWND> windows;
        for (int index = 4; index < argc; ++index) {
            windows.push_back(windowArgument(argv[index]));
        }
        time(std::wcstol(argv[3], nullptr, 10), windows, out);
    } else if (command == L"listen" && argc == 5) {
        succeeded = listen(static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)),
                           windowArgument(argv[4]), out);
    } else {
        return 2;
    }
    CoUninitialize();
    FILE* file = _wfopen(argv[1], L"wb");
    if (file == nullptr) {
        return 2;
    }
    std::fwrite(out.data(), 1, out.size(), file);
    std::fclose(file);
    return succeeded ? 0 : 1;
}
