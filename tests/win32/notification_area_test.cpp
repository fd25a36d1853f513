// Alert notices as balloons, seen from a notification area of the test's own: a top-level
// window of the taskbar's class, which Shell_NotifyIconW finds and sends each request to as
// WM_COPYDATA. Wine's shell32 puts the request (NIM_ADD, NIM_DELETE...) in dwData (checked);
// the balloon's title is found by its text, wherever the copied record holds it.

#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "platform/win32/notification_area.h"
#include "tavisto_identifiers.h"
#include "test_window.h"

namespace tavisto::win32 {
namespace {

using testing::pumpMessagesUntil;

constexpr DWORD kPatience = 3000;
// The programs' icon, linked into the tests as it is into the programs.
constexpr WORD kIconResource = TAVISTO_ICON_RESOURCE;

struct Copy {
    ULONG_PTR request = 0;
    std::string bytes;
};

std::vector<Copy> copies;

LRESULT CALLBACK trayProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        copies.push_back(
            {data->dwData, std::string(static_cast<const char*>(data->lpData), data->cbData)});
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The threads of this process.
int threadCount() {
    const KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more;
         more = Thread32Next(snapshot.get(), &entry)) {
        count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    }
    return count;
}

HWND areaWindow() {
    return FindWindowExW(HWND_MESSAGE, nullptr, kNotificationAreaWindowClass, nullptr);
}

class NotificationAreaTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = trayProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"Shell_TrayWnd";
        RegisterClassW(&windowClass);
        copies.clear();
        tray = Window(CreateWindowExW(0, L"Shell_TrayWnd", nullptr, WS_POPUP, 0, 0, 10, 10, nullptr,
                                      nullptr, GetModuleHandleW(nullptr), nullptr));
        ASSERT_TRUE(tray);
        ASSERT_EQ(FindWindowW(L"Shell_TrayWnd", nullptr), tray.get());
    }

    // The balloons shown with the title (their records hold it as UTF-16 text).
    static int balloonsTitled(const std::u16string& title) {
        const std::string text(reinterpret_cast<const char*>(title.data()),
                               title.size() * sizeof(char16_t));
        return static_cast<int>(std::count_if(copies.begin(), copies.end(), [&](const Copy& c) {
            return c.bytes.find(text) != std::string::npos;
        }));
    }
    static int requests(ULONG_PTR request) {
        return static_cast<int>(std::count_if(copies.begin(), copies.end(),
                                              [&](const Copy& c) { return c.request == request; }));
    }
    static bool awaitBalloon(const std::u16string& title) {
        return pumpMessagesUntil([&] { return balloonsTitled(title) > 0; }, kPatience);
    }
    static void tellArea(UINT event) {
        PostMessageW(areaWindow(), NotificationArea::kIconMessage, 0, MAKELPARAM(event, 1));
    }

    Window tray;
    std::atomic<int> clicks{0};
    std::atomic<DWORD> clickThread{0};
    NotificationArea::ClickAction countClicks = [this] {
        ++clicks;
        clickThread = GetCurrentThreadId();
    };
};

TEST_F(NotificationAreaTest, ANoticeShowsOneBalloonWhoseIconGoesWhenItEnds) {
    struct Ending {
        UINT event;
        int clicks;
    };
    for (const Ending ending : {Ending{NIN_BALLOONTIMEOUT, 0}, Ending{NIN_BALLOONHIDE, 0},
                                Ending{NIN_BALLOONUSERCLICK, 1}}) {
        SCOPED_TRACE(ending.event);
        copies.clear();
        clicks = 0;
        NotificationArea area(GetModuleHandleW(nullptr), kIconResource, countClicks);
        area.show({u"Processor busy", u"CPU 97% for 2 minutes"});
        ASSERT_TRUE(awaitBalloon(u"Processor busy"));
        EXPECT_EQ(balloonsTitled(u"Processor busy"), 1);
        EXPECT_EQ(requests(NIM_ADD), 1);
        EXPECT_EQ(requests(NIM_DELETE), 0) << "the icon goes only when the balloon ends";

        tellArea(ending.event);
        ASSERT_TRUE(pumpMessagesUntil([] { return requests(NIM_DELETE) == 1; }, kPatience));
        // The same event again, once the balloon is gone, is not a second click: the next
        // notice's balloon shows that the area has handled it.
        tellArea(ending.event);
        area.show({u"Memory low", u"Memory 95%"});
        ASSERT_TRUE(awaitBalloon(u"Memory low"));
        EXPECT_EQ(clicks.load(), ending.clicks);
        EXPECT_EQ(balloonsTitled(u"Processor busy"), 1);
        if (ending.clicks > 0) {
            EXPECT_NE(clickThread.load(), GetCurrentThreadId())
                << "the click runs on the area's thread";
        }
    }
}

TEST_F(NotificationAreaTest, ABalloonWhoseEndIsNeverToldGivesWayToTheNext) {
    // Nothing tells the area that the balloon ended, as Wine's own shell never does; Wine
    // has no setting for how long notifications stay (checked), so the default 5 s holds.
    NotificationArea area(GetModuleHandleW(nullptr), kIconResource, countClicks);
    area.show({u"Processor busy", u"CPU 97%"});
    area.show({u"Memory low", u"Memory 95%"});
    ASSERT_TRUE(awaitBalloon(u"Processor busy"));
    EXPECT_EQ(balloonsTitled(u"Memory low"), 0) << "one balloon at a time";
    const ULONGLONG shown = GetTickCount64();
    EXPECT_TRUE(pumpMessagesUntil([] { return balloonsTitled(u"Memory low") == 1; }, 15000));
    EXPECT_GE(GetTickCount64() - shown, 9000U) << "not before the notification's time is up";
    EXPECT_EQ(requests(NIM_DELETE), 1);
}

TEST_F(NotificationAreaTest, DestroyingTheAreaLeavesNoThreadNorIconBehind) {
    enum class When { RightAfterTheNotice, WhileItsBalloonShows };
    for (const When when : {When::RightAfterTheNotice, When::WhileItsBalloonShows}) {
        SCOPED_TRACE(static_cast<int>(when));
        copies.clear();
        const int threadsBefore = threadCount();
        {
            NotificationArea area(GetModuleHandleW(nullptr), kIconResource, countClicks);
            area.show({u"Disk full", u"C: 99%"});
            if (when == When::WhileItsBalloonShows) {
                ASSERT_TRUE(awaitBalloon(u"Disk full"));
            }
        }
        EXPECT_EQ(threadCount(), threadsBefore);
        EXPECT_EQ(areaWindow(), nullptr);
        EXPECT_EQ(requests(NIM_ADD), requests(NIM_DELETE));
        EXPECT_EQ(clicks.load(), 0);
    }
}

TEST_F(NotificationAreaTest, TextsAreCutToTheirFieldsNeverInsideASurrogatePair) {
    struct Case {
        const char* name;
        std::u16string title;
        std::u16string shown;  // followed by the record's terminator
    };
    const std::u16string smile = u"\U0001F600";
    const Case cases[] = {
        {"fits", u"Network", u"Network"},
        {"one unit too long", std::u16string(64, u'a'), std::u16string(63, u'a')},
        {"pair across the end", std::u16string(62, u'c') + smile + u"d", std::u16string(62, u'c')},
        {"pair just inside", std::u16string(61, u'e') + smile + u"f",
         std::u16string(61, u'e') + smile},
    };
    NotificationArea area(GetModuleHandleW(nullptr), kIconResource, countClicks);
    for (const Case& tried : cases) {
        SCOPED_TRACE(tried.name);
        copies.clear();
        area.show({tried.title, u"text"});
        ASSERT_TRUE(pumpMessagesUntil([] { return requests(NIM_MODIFY) == 1; }, kPatience));
        EXPECT_EQ(balloonsTitled(tried.shown + u'\0'), 1);
        tellArea(NIN_BALLOONTIMEOUT);
        ASSERT_TRUE(pumpMessagesUntil([] { return requests(NIM_DELETE) == 1; }, kPatience));
    }
}

}  // namespace
}  // namespace tavisto::win32
