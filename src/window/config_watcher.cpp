#include "window/config_watcher.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>
#include <utility>

#include "core/windows_path.h"
#include "platform/win32/module_thread.h"
#include "window/configuration_location.h"

namespace tavisto::window {
namespace {

// Network folders refuse a larger buffer.
constexpr DWORD kBufferBytes = 64 * 1024;
// In-place saves change only the last-write time; saves through a temporary file
// rename it.
constexpr DWORD kFileFilter =
    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_LAST_ACCESS;
// While the folder is missing: how long to wait before trying it again when its parent
// reports nothing (the parent may be unwatchable, or missing too).
constexpr DWORD kRetryMilliseconds = 5000;
// While a writer holds the file so that nobody may read it: the first and the longest
// pause before looking again.
constexpr DWORD kHeldFirstPauseMilliseconds = 50;
constexpr DWORD kHeldLongestPauseMilliseconds = 1000;
// While the folder refuses change notifications: how often the file is looked at.
constexpr DWORD kPollMilliseconds = 2000;
// How long the owner waits for the thread to end: a stopped watch still has to cancel
// its read of the folder; a thread held by the file system is left to end on its own.
constexpr DWORD kStopMilliseconds = 1500;

// Walks the records, calling `visit(name, length)` until it returns true.
template <typename Visit>
bool anyRecord(const void* records, DWORD size, Visit visit) noexcept {
    const auto* bytes = static_cast<const unsigned char*>(records);
    DWORD offset = 0;
    while (size >= offset && size - offset >= offsetof(FILE_NOTIFY_INFORMATION, FileName)) {
        FILE_NOTIFY_INFORMATION record;
        std::memcpy(&record, bytes + offset, offsetof(FILE_NOTIFY_INFORMATION, FileName));
        const DWORD nameOffset = offset + offsetof(FILE_NOTIFY_INFORMATION, FileName);
        if (record.FileNameLength > size - nameOffset) {
            return false;
        }
        if (visit(reinterpret_cast<const wchar_t*>(bytes + nameOffset),
                  record.FileNameLength / sizeof(wchar_t))) {
            return true;
        }
        if (record.NextEntryOffset == 0) {
            return false;
        }
        offset += record.NextEntryOffset;
    }
    return false;
}

// The folder's parent (with its separator) and its own name; empty when it has no parent.
struct FolderName {
    std::wstring parent;
    std::wstring leaf;
};

FolderName splitFolder(const std::wstring& folder) {
    const std::wstring_view path = withoutTrailingSeparators(folder);
    const std::size_t separator = lastPathSeparator(path);
    if (separator == std::wstring::npos) {
        return {};
    }
    return {std::wstring(path.substr(0, separator + 1)), std::wstring(path.substr(separator + 1))};
}

// What polling compares: whether the file is there, its size and its last write.
struct FileStamp {
    bool present = false;
    std::uint64_t size = 0;
    std::uint64_t written = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const std::wstring& file) noexcept {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) {
        return {};
    }
    return {true, (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow,
            (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                data.ftLastWriteTime.dwLowDateTime};
}

}  // namespace

bool namesConfigurationFile(const void* records, DWORD size) noexcept {
    constexpr std::size_t kLength = std::size(kConfigurationFileName) - 1;
    return anyRecord(records, size, [](const wchar_t* name, std::size_t length) {
        return length == kLength &&
               std::memcmp(name, kConfigurationFileName, kLength * sizeof(wchar_t)) == 0;
    });
}

bool changesAskForReload(const void* records, DWORD size) noexcept {
    return size == 0 || namesConfigurationFile(records, size);
}

class ConfigWatcher::Watch {
  public:
    // Everything is formed here, before the thread starts: the thread must not allocate,
    // since an exception there would end the host process.
    Watch(std::wstring folder, HWND window)
        : folder_(std::move(folder)),
          folderName_(splitFolder(folder_)),
          file_(configurationFileIn(folder_)),
          window_(window),
          stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          changed_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          readAgain_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          buffer_(new (std::nothrow) DWORD[kBufferBytes / sizeof(DWORD)]) {}

    bool ready() const noexcept { return stop_ && changed_ && readAgain_ && buffer_; }
    void readAgain() noexcept { SetEvent(readAgain_.get()); }
    std::optional<ConfigurationRead> takeRead() noexcept {
        const win32::ExclusiveLock held(postLock_);
        posted_ = false;
        return std::exchange(latest_, std::nullopt);
    }
    // After this, nothing more is posted to the window.
    void stop() noexcept {
        {
            const win32::ExclusiveLock held(postLock_);
            stopped_ = true;
        }
        SetEvent(stop_.get());
    }
    void run() noexcept;

  private:
    enum class Outcome { Stopped, Changed, Refused, Failed, TimedOut };
    // Watches the open folder until stopped, until the watch fails, or until the folder
    // refuses to be watched (Stopped, Failed or Refused).
    Outcome watchFolder(HANDLE folder) noexcept;
    // Compares the file with what it was at every kPollMilliseconds until stopped.
    void pollFile() noexcept;
    // The watch is in place: posts the reload owed since the folder was missing.
    void markArmed() noexcept;
    // Returns when the folder may have appeared; false when stopped.
    bool waitForFolder() noexcept;
    // One overlapped ReadDirectoryChangesW on `directory`, waited for together with the
    // stop event; `bytes` is the size of the records in the buffer. Refused: the call
    // itself failed, as it does on folders that give no change notifications.
    Outcome waitForChanges(HANDLE directory, DWORD filter, DWORD timeout, DWORD& bytes) noexcept;
    // Returns once the file may be read (or is gone); false when stopped.
    bool waitUntilReadable() noexcept;
    // Waits for the time, reading the file whenever asked to meanwhile; false when stopped.
    bool pause(DWORD milliseconds) noexcept;
    // Reads the file and posts the reload message if none is waiting to be taken.
    void postReload() noexcept;

    const std::wstring folder_;
    const FolderName folderName_;
    const std::wstring file_;
    const HWND window_;
    win32::KernelHandle stop_;
    win32::KernelHandle changed_;
    win32::KernelHandle readAgain_;
    // One buffer for the thread's life, DWORD-aligned as the records need.
    std::unique_ptr<DWORD[]> buffer_;
    // The thread's own: post a reload as soon as the next watch is in place.
    bool reloadWhenArmed_ = false;
    // Held while posting and while handing over a read, so that a stop never overlaps a
    // post to a window that is going.
    SRWLOCK postLock_ = SRWLOCK_INIT;
    std::optional<ConfigurationRead> latest_;
    // A reload message is on its way and the read has not been taken since.
    bool posted_ = false;
    bool stopped_ = false;
};

ConfigWatcher::ConfigWatcher(std::wstring folder, HWND window)
    : watch_(std::make_shared<Watch>(std::move(folder), window)) {
    if (!watch_->ready()) {
        return;
    }
    thread_ = win32::startModuleThread([watch = watch_]() noexcept { watch->run(); },
                                       "the configuration watcher's thread");
}

ConfigWatcher::~ConfigWatcher() {
    watch_->stop();
    if (thread_) {
        // Bounded, for the same reason; a thread that is still busy finishes alone.
        WaitForSingleObject(thread_.get(), kStopMilliseconds);
    }
}

std::optional<ConfigurationRead> ConfigWatcher::takeRead() noexcept {
    return watch_->takeRead();
}

void ConfigWatcher::readAgain() noexcept {
    watch_->readAgain();
}

void ConfigWatcher::Watch::run() noexcept {
    // The first watch reads the file once it is in place: what was written before is
    // read then, and what is written after is seen by the watch.
    bool folderWasMissing = true;
    for (bool first = true;; first = false) {
        win32::FileHandle folder(
            CreateFileW(folder_.c_str(), FILE_LIST_DIRECTORY,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
        if (folder) {
            // The file may have been written while nothing watched: one reload, posted
            // once the new watch is in place so that no later save is missed either.
            reloadWhenArmed_ = folderWasMissing;
            const Outcome outcome = watchFolder(folder.get());
            if (outcome == Outcome::Refused) {
                // Some network file systems never notify: the folder is not watched
                // again, the file is looked at instead for as long as this watch lasts.
                folder.reset();
                pollFile();
                return;
            }
            reloadWhenArmed_ = false;
            if (outcome == Outcome::Stopped) {
                return;
            }
        }
        // The folder is missing, cannot be opened or was deleted under the watch.
        if (first) {
            postReload();  // finds nothing: the window says so
        }
        folderWasMissing = true;
        folder.reset();
        if (!waitForFolder()) {
            return;
        }
    }
}

ConfigWatcher::Watch::Outcome ConfigWatcher::Watch::watchFolder(HANDLE folder) noexcept {
    // The handle stays open between waits, so changes made while a batch is being
    // examined are kept for the next wait instead of being lost.
    for (bool first = true;; first = false) {
        DWORD bytes = 0;
        switch (const Outcome outcome = waitForChanges(folder, kFileFilter, INFINITE, bytes)) {
            case Outcome::Stopped:
                return outcome;
            case Outcome::Refused:
                // Refused later, the folder may have gone: it is looked for again.
                return first ? outcome : Outcome::Failed;
            case Outcome::Failed:
            case Outcome::TimedOut:
                return Outcome::Failed;
            case Outcome::Changed:
                if (changesAskForReload(buffer_.get(), bytes)) {
                    postReload();
                }
                break;
        }
    }
}

void ConfigWatcher::Watch::pollFile() noexcept {
    FileStamp seen = stampOf(file_);
    markArmed();
    while (pause(kPollMilliseconds)) {
        const FileStamp now = stampOf(file_);
        if (now != seen) {
            seen = now;
            postReload();
        }
    }
}

void ConfigWatcher::Watch::markArmed() noexcept {
    if (reloadWhenArmed_) {
        reloadWhenArmed_ = false;
        postReload();
    }
}

bool ConfigWatcher::Watch::waitForFolder() noexcept {
    win32::FileHandle parent;
    if (!folderName_.parent.empty()) {
        parent.reset(CreateFileW(folderName_.parent.c_str(), FILE_LIST_DIRECTORY,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED,
                                 nullptr));
    }
    if (!parent) {
        return pause(kRetryMilliseconds);
    }
    // Folder names are compared as the file system does, without regard to case.
    const auto isFolder = [this](const wchar_t* entry, std::size_t length) {
        return CompareStringOrdinal(entry, static_cast<int>(length), folderName_.leaf.c_str(),
                                    static_cast<int>(folderName_.leaf.size()), TRUE) == CSTR_EQUAL;
    };
    for (;;) {
        DWORD bytes = 0;
        switch (
            waitForChanges(parent.get(), FILE_NOTIFY_CHANGE_DIR_NAME, kRetryMilliseconds, bytes)) {
            case Outcome::Stopped:
                return false;
            case Outcome::Refused:
            case Outcome::Failed:
                return pause(kRetryMilliseconds);
            case Outcome::TimedOut:
                return true;
            case Outcome::Changed:
                // An empty result means the records did not fit: the folder may be among them.
                if (bytes == 0 || anyRecord(buffer_.get(), bytes, isFolder)) {
                    return true;
                }
                break;
        }
    }
}

ConfigWatcher::Watch::Outcome ConfigWatcher::Watch::waitForChanges(HANDLE directory, DWORD filter,
                                                                   DWORD timeout,
                                                                   DWORD& bytes) noexcept {
    std::memset(buffer_.get(), 0, kBufferBytes);
    OVERLAPPED overlapped{};
    overlapped.hEvent = changed_.get();
    ResetEvent(changed_.get());
    if (!ReadDirectoryChangesW(directory, buffer_.get(), kBufferBytes, FALSE, filter, nullptr,
                               &overlapped, nullptr)) {
        return Outcome::Refused;
    }
    markArmed();
    const HANDLE events[] = {stop_.get(), changed_.get(), readAgain_.get()};
    DWORD woken = WaitForMultipleObjects(3, events, FALSE, timeout);
    while (woken == WAIT_OBJECT_0 + 2) {
        // Asked to read again: the watch stays in place meanwhile.
        postReload();
        woken = WaitForMultipleObjects(3, events, FALSE, timeout);
    }
    if (woken == WAIT_OBJECT_0 + 1) {
        return GetOverlappedResult(directory, &overlapped, &bytes, FALSE) ? Outcome::Changed
                                                                          : Outcome::Failed;
    }
    // Stopping, timing out or a failed wait: the read must be finished before the
    // buffer and the OVERLAPPED go away.
    CancelIoEx(directory, &overlapped);
    GetOverlappedResult(directory, &overlapped, &bytes, TRUE);
    if (woken == WAIT_TIMEOUT) {
        return Outcome::TimedOut;
    }
    return woken == WAIT_OBJECT_0 ? Outcome::Stopped : Outcome::Failed;
}

bool ConfigWatcher::Watch::waitUntilReadable() noexcept {
    DWORD pause = kHeldFirstPauseMilliseconds;
    for (;;) {
        // Opened as the reload opens it.
        const win32::FileHandle file(CreateFileW(
            file_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            return true;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) {
            return true;
        }
        if (WaitForSingleObject(stop_.get(), pause) == WAIT_OBJECT_0) {
            return false;
        }
        pause = std::min(pause * 2, kHeldLongestPauseMilliseconds);
    }
}

bool ConfigWatcher::Watch::pause(DWORD milliseconds) noexcept {
    const HANDLE events[] = {stop_.get(), readAgain_.get()};
    const ULONGLONG end = GetTickCount64() + milliseconds;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now < end ? static_cast<DWORD>(end - now) : 0;
        switch (WaitForMultipleObjects(2, events, FALSE, left)) {
            case WAIT_OBJECT_0 + 1:
                postReload();
                break;
            case WAIT_TIMEOUT:
                return true;
            default:
                return false;
        }
    }
}

void ConfigWatcher::Watch::postReload() noexcept {
    // An editor may save through a handle that shares nothing, and letting go of it
    // reports no change: a read while it holds the file would find nothing, and none
    // would follow.
    if (!waitUntilReadable()) {
        return;
    }
    std::optional<ConfigurationRead> read = readConfiguration(file_);
    const win32::ExclusiveLock held(postLock_);
    if (stopped_) {
        return;
    }
    // The read not taken goes once the lock is let go: a large document takes a while to
    // free, and the window's thread takes reads under this lock.
    std::swap(latest_, read);
    if (!posted_) {
        posted_ = PostMessageW(window_, kReloadMessage, 0, 0) != FALSE;
    }
}

}  // namespace tavisto::window
