#include "companion/background_check.h"

#include <cstdint>
#include <new>
#include <utility>

#include "core/failure_sink.h"
#include "window/window_texts.h"

namespace tavisto::companion {
namespace {

// How long the owner waits for the thread to end: an idle one ends at once.
constexpr DWORD kStopMilliseconds = 500;

// The file was not judged, so it chose no language: the user's is spoken.
ConfigurationStatus notChecked(TextId why) {
    const TextTable& texts = window::windowTexts("");
    return {ConfigurationState::Unreadable, window::wideText(texts, why), {}, {}, &texts};
}

// readConfigurationStatus as a barrier: whatever it throws becomes a status and a line
// in the log.
ConfigurationStatus checkFile(const std::wstring& file) noexcept {
    try {
        try {
            return readConfigurationStatus(file);
        } catch (const std::bad_alloc&) {
            reportCaughtException("checking the configuration");
            return notChecked(TextId::SettingsNotCheckedMemory);
        } catch (...) {
            reportCaughtException("checking the configuration");
            return notChecked(TextId::SettingsNotCheckedFailed);
        }
    } catch (...) {
        // Not even the status's text could be formed.
        reportCaughtException("checking the configuration");
        return {ConfigurationState::Unreadable, {}, {}, {}};
    }
}

}  // namespace

// Everything the thread touches, shared with it so that it outlives the owner when the
// thread does.
class BackgroundCheck::Shared {
  public:
    Shared(std::wstring file, HWND window, UINT readyMessage)
        : file_(std::move(file)),
          window_(window),
          readyMessage_(readyMessage),
          wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

    bool ready() const noexcept { return static_cast<bool>(wake_); }

    void request() noexcept {
        {
            const win32::ExclusiveLock held(lock_);
            ++requested_;
        }
        SetEvent(wake_.get());
    }

    std::optional<ConfigurationStatus> take() noexcept {
        const win32::ExclusiveLock held(lock_);
        std::optional<ConfigurationStatus> taken = std::move(result_);
        result_.reset();
        return taken;
    }

    bool checking() noexcept {
        const win32::SharedLock held(lock_);
        return answered_ != requested_;
    }

    // After this, nothing more is posted to the window.
    void stop() noexcept {
        {
            const win32::ExclusiveLock held(lock_);
            stopped_ = true;
        }
        SetEvent(wake_.get());
    }

    void run() noexcept {
        for (;;) {
            WaitForSingleObject(wake_.get(), INFINITE);
            bool stopped = false;
            std::uint64_t checking = 0;
            {
                const win32::SharedLock held(lock_);
                stopped = stopped_;
                checking = requested_;
            }
            if (stopped) {
                return;
            }
            ConfigurationStatus status = checkFile(file_);
            const win32::ExclusiveLock held(lock_);
            // A request made during the check has set the event again: its own check
            // follows. Meanwhile this result is the newest, in place of any not taken.
            if (!stopped_) {
                result_ = std::move(status);
                answered_ = checking;
                PostMessageW(window_, readyMessage_, 0, 0);
            }
        }
    }

  private:
    const std::wstring file_;
    const HWND window_;
    const UINT readyMessage_;
    win32::KernelHandle wake_;
    SRWLOCK lock_ = SRWLOCK_INIT;
    // Under the lock.
    bool stopped_ = false;
    std::uint64_t requested_ = 0;
    std::optional<ConfigurationStatus> result_;
    // The newest request the newest result answers: the check started after it.
    std::uint64_t answered_ = 0;
};

BackgroundCheck::BackgroundCheck(std::wstring file, HWND window, UINT readyMessage)
    : shared_(std::make_shared<Shared>(std::move(file), window, readyMessage)) {
    if (!shared_->ready()) {
        return;
    }
    auto* start = new (std::nothrow) std::shared_ptr<Shared>(shared_);
    if (start != nullptr) {
        thread_.reset(CreateThread(nullptr, 0, threadMain, start, 0, nullptr));
    }
    if (!thread_) {
        delete start;
    }
}

BackgroundCheck::~BackgroundCheck() {
    shared_->stop();
    if (thread_) {
        WaitForSingleObject(thread_.get(), kStopMilliseconds);
    }
}

void BackgroundCheck::request() noexcept {
    shared_->request();
}

std::optional<ConfigurationStatus> BackgroundCheck::take() noexcept {
    return shared_->take();
}

bool BackgroundCheck::checking() const noexcept {
    return shared_->checking();
}

DWORD WINAPI BackgroundCheck::threadMain(void* start) noexcept {
    const std::unique_ptr<std::shared_ptr<Shared>> shared(
        static_cast<std::shared_ptr<Shared>*>(start));
    (*shared)->run();
    return 0;
}

}  // namespace tavisto::companion
