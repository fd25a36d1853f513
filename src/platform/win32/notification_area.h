#pragma once
// Alert notices as balloons of the notification area. The area has a thread of its own with
// a message-only window: show() only queues the notice and posts to that window, because the
// shell's calls to the notification area wait on the taskbar's thread, which may be the
// caller's. The area's icon is there only while a balloon shows, one balloon at a time.

#include <windows.h>

#include <functional>
#include <memory>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace tavisto::win32 {

// The class of the area's message-only window.
inline constexpr wchar_t kNotificationAreaWindowClass[] = L"TavistoNotificationAreaClass";

class NotificationArea final : public platform::Notifications {
  public:
    // The callback message of the area's icon: the shell tells it of the balloon's end and
    // of a click on it.
    static constexpr UINT kIconMessage = WM_APP + 3;
    // At most this many notices wait for their balloon; later ones are dropped.
    static constexpr std::size_t kMostPending = 4;

    // Runs on the area's thread when the user clicks a balloon.
    using ClickAction = std::function<void()>;

    // The icon resource `iconResource` of `module` is the icon beside the balloons and in
    // them. The thread starts with the first notice.
    NotificationArea(HMODULE module, WORD iconResource, ClickAction onClick);
    // Removes the icon and ends the thread, waiting at most about a second for it and
    // answering what the shell sends meanwhile: a thread that does not end in time goes on
    // alone and ends by itself.
    ~NotificationArea() override;
    NotificationArea(const NotificationArea&) = delete;
    NotificationArea& operator=(const NotificationArea&) = delete;

    void show(const platform::AlertNotice& notice) noexcept override;

    // What the owner's thread and the area's thread share.
    struct Shared;

  private:
    std::shared_ptr<Shared> shared_;
    KernelHandle thread_;
};

}  // namespace tavisto::win32
