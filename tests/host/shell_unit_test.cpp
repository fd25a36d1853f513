// The shell's parts that can be driven without a host: the change records that name
// the configuration file, the configuration's location and reading, the launch paths,
// and the watcher thread on a folder of the test's own.

#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>
#include <olectl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "config/configuration_text.h"
#include "desk_band_host.h"
#include "platform/win32/handles.h"
#include "shell/module.h"
#include "shell/registration.h"
#include "window/config_watcher.h"
#include "window/configuration_location.h"

namespace tavisto::window {
namespace {

// The document a read of the file found; nothing when there was no text or it did not
// parse, in which case the read says why.
std::optional<nlohmann::json> readDocument(const std::wstring& path) {
    ConfigurationRead read = readConfiguration(path);
    if (!read.text) {
        return std::nullopt;
    }
    if (read.document.is_null()) {
        EXPECT_FALSE(read.parseError.empty());
        return std::nullopt;
    }
    return std::move(read.document);
}

// Change records as ReadDirectoryChangesW lays them out, DWORD-aligned.
class Records {
  public:
    Records& add(const std::wstring& name, DWORD action = FILE_ACTION_MODIFIED) {
        const std::size_t start = bytes_.size();
        const std::size_t size =
            (offsetof(FILE_NOTIFY_INFORMATION, FileName) + name.size() * sizeof(wchar_t) + 3) &
            ~std::size_t{3};
        bytes_.resize(start + size, 0);
        FILE_NOTIFY_INFORMATION record{};
        record.Action = action;
        record.FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
        std::memcpy(bytes_.data() + start, &record, offsetof(FILE_NOTIFY_INFORMATION, FileName));
        std::memcpy(bytes_.data() + start + offsetof(FILE_NOTIFY_INFORMATION, FileName),
                    name.data(), name.size() * sizeof(wchar_t));
        if (previous_ != std::string::npos) {
            const auto offset = static_cast<DWORD>(start - previous_);
            std::memcpy(bytes_.data() + previous_, &offset, sizeof(offset));
        }
        previous_ = start;
        return *this;
    }
    // Claims a longer name than the buffer holds for the last record.
    Records& overstateLastName(DWORD extraBytes) {
        DWORD length = 0;
        std::memcpy(&length, bytes_.data() + previous_ + 8, sizeof(length));
        length += extraBytes;
        std::memcpy(bytes_.data() + previous_ + 8, &length, sizeof(length));
        return *this;
    }
    bool matches() const {
        std::vector<DWORD> aligned((bytes_.size() + 3) / 4);
        std::memcpy(aligned.data(), bytes_.data(), bytes_.size());
        return namesConfigurationFile(aligned.data(), static_cast<DWORD>(bytes_.size()));
    }

  private:
    std::vector<unsigned char> bytes_;
    std::size_t previous_ = std::string::npos;
};

TEST(ConfigurationFileRecords, MatchOnlyTheExactCaseSensitiveName) {
    EXPECT_TRUE(Records().add(L"TavistoConfig.json").matches());
    EXPECT_FALSE(Records().add(L"tavistoconfig.json").matches());
    EXPECT_FALSE(Records().add(L"TAVISTOCONFIG.JSON").matches());
    EXPECT_FALSE(Records().add(L"TavistoConfig.json.bak").matches());
    EXPECT_FALSE(Records().add(L"TavistoConfig.jso").matches());
    EXPECT_FALSE(Records().add(L"Sub\\TavistoConfig.json").matches());
    EXPECT_FALSE(Records().add(L"other.json").matches());
}

TEST(ConfigurationFileRecords, AnyActionAndAnyPositionInTheBatchMatches) {
    EXPECT_TRUE(Records()
                    .add(L"TavistoConfig.json.saving", FILE_ACTION_RENAMED_OLD_NAME)
                    .add(L"TavistoConfig.json", FILE_ACTION_RENAMED_NEW_NAME)
                    .matches());
    EXPECT_TRUE(
        Records().add(L"a").add(L"b").add(L"TavistoConfig.json", FILE_ACTION_REMOVED).matches());
    EXPECT_TRUE(Records()
                    .add(L"TavistoConfig.json", FILE_ACTION_ADDED)
                    .add(L"TavistoConfig.json")
                    .matches());
}

TEST(ConfigurationFileRecords, EmptyOrDamagedBatchesMatchNothing) {
    // A batch too large for the buffer arrives with no records.
    EXPECT_FALSE(Records().matches());
    EXPECT_FALSE(Records().add(L"a").add(L"TavistoConfig.json").overstateLastName(2).matches());
    EXPECT_FALSE(Records().add(L"TavistoConfig.json").overstateLastName(4096).matches());
}

TEST(ConfigurationFileRecords, AnEmptyBatchIsAnOverflowThatAsksForReload) {
    // A batch too large for the buffer arrives as success with no records: the file
    // may be among the changes lost.
    const DWORD aligned[4] = {};
    EXPECT_TRUE(changesAskForReload(aligned, 0));
    std::vector<DWORD> other(16);
    const std::wstring name = L"other.json";
    other[2] = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::memcpy(&other[3], name.data(), name.size() * sizeof(wchar_t));
    EXPECT_FALSE(changesAskForReload(other.data(), static_cast<DWORD>(other.size() * 4)));
}

TEST(ProgramLaunches, CompanionLiesBesideTheModuleAndStartsThere) {
    const Launch launch = companionLaunch(L"C:\\Program Files\\Tavisto\\Tavisto.dll").value();
    EXPECT_EQ(launch.program, L"C:\\Program Files\\Tavisto\\Tavisto.exe");
    EXPECT_EQ(launch.workingFolder, L"C:\\Program Files\\Tavisto");
    const Launch forward = companionLaunch(L"C:\\Tools/band/Tavisto.dll").value();
    EXPECT_EQ(forward.program, L"C:\\Tools/band\\Tavisto.exe");
    EXPECT_EQ(forward.workingFolder, L"C:\\Tools/band");
}

TEST(ProgramLaunches, AGroupsClickStartsOnlyItsOwnProgram) {
    const std::wstring module = L"C:\\Program Files\\Tavisto\\Tavisto.dll";
    const std::wstring companion = L"C:\\Program Files\\Tavisto\\Tavisto.exe";
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0U);
    const struct {
        GroupClick click;
        std::wstring program;  // empty: nothing starts
        std::wstring parameters;
    } cases[] = {
        {GroupClick::TaskManager, std::wstring(system) + L"\\Taskmgr.exe", L""},
        {GroupClick::Unknown, std::wstring(system) + L"\\Taskmgr.exe", L""},
        {GroupClick::ResourceMonitor, std::wstring(system) + L"\\resmon.exe", L""},
        {GroupClick::ShowValues, companion, L"--values"},
        {GroupClick::Settings, companion, L""},
        {GroupClick::None, L"", L""},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(static_cast<int>(test.click));
        const std::optional<Launch> launch = clickLaunch(test.click, module);
        ASSERT_EQ(launch.has_value(), !test.program.empty());
        if (launch) {
            EXPECT_EQ(launch->program, test.program);
            EXPECT_EQ(launch->parameters, test.parameters);
        }
    }
}

TEST(ProgramLaunches, ModulePathWithoutSeparatorIsTakenWhole) {
    const Launch launch = companionLaunch(L"Tavisto.dll").value();
    EXPECT_EQ(launch.program, L"Tavisto.dll\\Tavisto.exe");
    EXPECT_EQ(launch.workingFolder, L"Tavisto.dll");
}

TEST(ProgramLaunches, NothingStartsFromAnUnknownFolder) {
    // Not "\Tavisto.exe" or "\Taskmgr.exe" on the current drive.
    EXPECT_FALSE(companionLaunch(L"").has_value());
    EXPECT_FALSE(taskManagerIn(L"").has_value());
}

TEST(ProgramLaunches, TaskManagerComesFromTheSystemFolderWithoutWorkingFolder) {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const Launch launch = taskManagerLaunch().value();
    EXPECT_EQ(launch.program, std::wstring(system) + L"\\Taskmgr.exe");
    EXPECT_TRUE(launch.workingFolder.empty());
}

TEST(ConfigurationLocation, FileLiesInTavistoFolderOfRoamingApplicationData) {
    wchar_t appData[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE));
    EXPECT_EQ(configurationFolder(), std::wstring(appData) + L"\\Tavisto\\");
    EXPECT_EQ(configurationFile(), std::wstring(appData) + L"\\Tavisto\\TavistoConfig.json");
    EXPECT_EQ(&configurationFolder(), &configurationFolder());
}

TEST(ConfigurationLocation, FileLiesInItsFolderAndNowhereWithoutOne) {
    EXPECT_EQ(configurationFileIn(L"C:\\Tavisto"), L"C:\\Tavisto\\TavistoConfig.json");
    EXPECT_TRUE(configurationFileIn(L"").empty());
}

TEST(ConfigurationLocation, WithoutApplicationDataThereIsNoFolderAndNothingIsRead) {
    EXPECT_EQ(configurationFolderIn(L"C:\\Users\\u\\AppData\\Roaming"),
              L"C:\\Users\\u\\AppData\\Roaming\\Tavisto\\");
    EXPECT_TRUE(configurationFolderIn(L"").empty());
    EXPECT_FALSE(readDocument(L"").has_value());
}

class ScratchFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temporary[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temporary);
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        root = std::wstring(temporary) + L"tavisto-shell-" +
               std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::wstring(test.begin(), test.end());
        host::removeFolder(root);
        ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
        folder = root + L"\\Tavisto\\";
        file = folder + L"TavistoConfig.json";
    }
    void TearDown() override { host::removeFolder(root); }

    std::wstring root;
    std::wstring folder;
    std::wstring file;
};

using ReadConfiguration = ScratchFolder;

TEST_F(ReadConfiguration, MissingOrMalformedFileGivesNothing) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_FALSE(readDocument(file).has_value());
    ASSERT_TRUE(host::writeNewFile(file, "{ \"meterGroups\": [ }"));
    EXPECT_FALSE(readDocument(file).has_value());
    ASSERT_TRUE(host::writeNewFile(file, ""));
    EXPECT_FALSE(readDocument(file).has_value());
}

TEST_F(ReadConfiguration, ReadsWhileAnotherProgramHoldsTheFileForWriting) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(host::writeNewFile(file, "{\r\n  \"horizontalPadding\": 3\r\n}\r\n"));
    const win32::FileHandle editor(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(editor);
    const auto document = readDocument(file);
    ASSERT_TRUE(document.has_value());
    EXPECT_EQ((*document)["horizontalPadding"], 3);
}

TEST_F(ReadConfiguration, ReadsWhileAnotherProgramMayDeleteOrReplaceTheFile) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(host::writeNewFile(file, "{ \"verticalPadding\": 5 }"));
    // Editors that save by renaming over the file or delete it on close hold it with
    // delete access; a reader that does not share deletion cannot open it meanwhile.
    const win32::FileHandle editor(
        CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    0, nullptr));
    ASSERT_TRUE(editor);
    const auto document = readDocument(file);
    ASSERT_TRUE(document.has_value());
    EXPECT_EQ((*document)["verticalPadding"], 5);
}

TEST_F(ReadConfiguration, FileOverTheSizeLimitIsRefusedAndOneAtTheLimitIsRead) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::string document = "{ \"verticalPadding\": 6 }";
    std::string atLimit = document;
    atLimit.resize(kMaxConfigurationBytes, ' ');
    ASSERT_TRUE(host::writeNewFile(file, atLimit));
    const auto read = readDocument(file);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ((*read)["verticalPadding"], 6);
    ASSERT_TRUE(host::writeNewFile(file, atLimit + " "));
    EXPECT_FALSE(readDocument(file).has_value());
}

TEST_F(ReadConfiguration, DeeplyNestedFileIsRefused) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    constexpr std::size_t kLevels = 20000;
    const std::string deep = "{\"meterGroups\":[],\"note\":" + std::string(kLevels, '[') +
                             std::string(kLevels, ']') + "}";
    ASSERT_TRUE(host::writeNewFile(file, deep));
    EXPECT_FALSE(readDocument(file).has_value());
}

TEST_F(ReadConfiguration, ByteOrderMarkAndWindowsLineEndsAreRead) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(host::writeNewFile(file, "\xEF\xBB\xBF{\r\n  \"horizontalSpacing\": 2\r\n}\r\n"));
    const auto read = readDocument(file);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ((*read)["horizontalSpacing"], 2);
}

using shell::registerServerAt;
using shell::unregisterServer;

class Registration : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    }
    void TearDown() override {
        unregisterServer();
        CoUninitialize();
    }
    static bool classKeyExists() {
        HKEY opened = nullptr;
        const LSTATUS status =
            RegOpenKeyExW(HKEY_CLASSES_ROOT, host::kBandClassKey, 0, KEY_READ, &opened);
        const win32::RegistryKey owner(opened);
        return status == ERROR_SUCCESS;
    }
};

TEST_F(Registration, EmptyModulePathFailsAndLeavesNoClassKey) {
    ASSERT_EQ(registerServerAt(L"C:\\Program Files\\Tavisto\\Tavisto.dll"), S_OK);
    ASSERT_TRUE(classKeyExists());
    EXPECT_EQ(registerServerAt(L""), SELFREG_E_CLASS);
    EXPECT_FALSE(classKeyExists()) << "a class that could not be loaded stays listed";
}

using host::threadIds;

constexpr DWORD kPromptly = 3000;
// Longer than the watcher's retry period while the folder is missing.
constexpr DWORD kAfterRetry = 8000;
// Quiet time in which a change that should not reload must stay silent.
constexpr DWORD kQuiet = 1500;
// 100 ns units: a thread that spun for the measured second would show about 10,000,000.
constexpr std::uint64_t kIdleLimit = 200'000;

// A watcher on the scratch folder, posting to a message-only window whose reload
// messages the test counts.
class Watcher : public ScratchFolder {
  protected:
    void SetUp() override {
        ScratchFolder::SetUp();
        window.reset(CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     nullptr, nullptr));
        ASSERT_TRUE(window);
    }
    void TearDown() override {
        watcher.reset();
        window.reset();
        ScratchFolder::TearDown();
    }
    // Starts the watcher and takes the read it makes once its watch is in place.
    void start() {
        const std::vector<DWORD> before = threadIds();
        watcher = std::make_unique<ConfigWatcher>(folder, window.get());
        ASSERT_TRUE(watcher->running());
        const std::vector<DWORD> after = threadIds();
        std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                            std::back_inserter(started));
        ASSERT_EQ(started.size(), 1u);
        ASSERT_EQ(reloadsWithin(kPromptly), 1) << "the first read";
    }
    // Reload messages that arrive within the time, with the count at which to stop; each
    // takes what the watcher read (the newest read, in `lastRead`) unless told not to.
    int reloadsWithin(DWORD milliseconds, int enough = 1, bool take = true) {
        int reloads = 0;
        const ULONGLONG end = GetTickCount64() + milliseconds;
        MSG message;
        const auto drain = [&] {
            while (
                PeekMessageW(&message, window.get(), kReloadMessage, kReloadMessage, PM_REMOVE)) {
                ++reloads;
                if (take && watcher) {
                    if (auto read = watcher->takeRead()) {
                        lastRead = std::move(read);
                    }
                }
            }
        };
        while (reloads < enough && GetTickCount64() < end) {
            drain();
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_POSTMESSAGE);
        }
        drain();
        return reloads;
    }
    std::uint64_t watcherTime() const { return host::threadTime(started.front()); }

    win32::Window window;
    std::unique_ptr<ConfigWatcher> watcher;
    std::vector<DWORD> started;
    std::optional<ConfigurationRead> lastRead;
};


TEST_F(Watcher, SavesOfTheConfigurationFilePostReloads) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(host::writeNewFile(file, "{}"));
    start();
    ASSERT_TRUE(host::writeInPlace(file, "{ \"horizontalPadding\": 1 }"));
    EXPECT_GE(reloadsWithin(kPromptly), 1) << "in-place save";
    reloadsWithin(300, 100);
    ASSERT_TRUE(host::replaceThroughRename(file, "{ \"horizontalPadding\": 2 }"));
    EXPECT_GE(reloadsWithin(kPromptly), 1) << "save through a temporary file";
    reloadsWithin(300, 100);
    ASSERT_TRUE(DeleteFileW(file.c_str()));
    EXPECT_GE(reloadsWithin(kPromptly), 1) << "deletion";
}

// An editor may create or rewrite the file through a handle that shares nothing, and
// letting go of that handle reports no change: the reload waits until it can be read.
TEST_F(Watcher, ReloadWaitsForAWriterThatLetsNobodyReadTheFile) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(host::writeNewFile(file, "{}"));
    start();
    for (const DWORD disposition : {DWORD{CREATE_ALWAYS}, DWORD{TRUNCATE_EXISTING}}) {
        {
            const win32::FileHandle writer(
                CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr));
            ASSERT_TRUE(writer);
            DWORD written = 0;
            ASSERT_TRUE(WriteFile(writer.get(), "{ }", 3, &written, nullptr));
            EXPECT_EQ(reloadsWithin(kQuiet, 100), 0) << disposition;
        }
        EXPECT_GE(reloadsWithin(kPromptly), 1) << disposition;
        EXPECT_TRUE(readDocument(file).has_value()) << disposition;
        reloadsWithin(300, 100);
    }
}

// Reads the window has not taken yet are not posted again: one message brings the
// newest text. A reload message someone else posts finds nothing to take, and the
// window can ask for the file to be read again.
TEST_F(Watcher, OneMessageBringsTheNewestReadAndForgedMessagesFindNothing) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(host::writeNewFile(file, "{}"));
    start();
    EXPECT_EQ(lastRead->text, "{}");
    ASSERT_TRUE(host::writeInPlace(file, "{ \"horizontalPadding\": 1 }"));
    ASSERT_TRUE(host::writeInPlace(file, "{ \"horizontalPadding\": 22 }"));
    EXPECT_EQ(reloadsWithin(kQuiet, 100, false), 1);
    const std::optional<ConfigurationRead> newest = watcher->takeRead();
    ASSERT_TRUE(newest);
    EXPECT_EQ(newest->text, "{ \"horizontalPadding\": 22 }");

    ASSERT_TRUE(PostMessageW(window.get(), kReloadMessage, 0, 0));
    EXPECT_EQ(reloadsWithin(300, 100, false), 1);
    EXPECT_FALSE(watcher->takeRead()) << "a forged message";

    ASSERT_TRUE(host::writeInPlace(file, "{ \"verticalPadding\": 3 }"));
    reloadsWithin(kPromptly);
    watcher->readAgain();
    lastRead.reset();
    EXPECT_EQ(reloadsWithin(kPromptly), 1);
    ASSERT_TRUE(lastRead);
    EXPECT_EQ(lastRead->text, "{ \"verticalPadding\": 3 }");
}

TEST_F(Watcher, OtherNamesAndSubfoldersPostNothing) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((folder + L"sub").c_str(), nullptr));
    start();
    ASSERT_TRUE(host::writeNewFile(folder + L"tavistoconfig.json", "{}"));
    ASSERT_TRUE(host::writeNewFile(folder + L"TavistoConfig.json.bak", "{}"));
    ASSERT_TRUE(host::writeNewFile(folder + L"notes.txt", "{}"));
    ASSERT_TRUE(MoveFileW((folder + L"notes.txt").c_str(), (folder + L"notes.old").c_str()));
    ASSERT_TRUE(host::writeNewFile(folder + L"sub\\TavistoConfig.json", "{}"));
    EXPECT_EQ(reloadsWithin(kQuiet, 100), 0);
    // The same watch still reports the file itself.
    ASSERT_TRUE(DeleteFileW((folder + L"tavistoconfig.json").c_str()));
    reloadsWithin(300, 100);
    ASSERT_TRUE(host::writeNewFile(file, "{}"));
    EXPECT_GE(reloadsWithin(kPromptly), 1);
}

TEST_F(Watcher, EndsPromptlyWhenItsOwnerGoes) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    start();
    const win32::KernelHandle thread(OpenThread(SYNCHRONIZE, FALSE, started.front()));
    ASSERT_TRUE(thread);
    const ULONGLONG before = GetTickCount64();
    watcher.reset();
    EXPECT_LT(GetTickCount64() - before, 2000u);
    EXPECT_EQ(WaitForSingleObject(thread.get(), 0), WAIT_OBJECT_0);
}

TEST_F(Watcher, ThreadThatCannotEndIsLeftToFinishAloneWithItsOwnState) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const host::Watchdog watchdog(20000);
    const std::vector<DWORD> before = threadIds();
    host::LoaderLock stuck;
    ASSERT_TRUE(stuck.held());
    watcher = std::make_unique<ConfigWatcher>(folder, window.get());
    ASSERT_TRUE(watcher->running());
    const ULONGLONG stopping = GetTickCount64();
    watcher.reset();
    const ULONGLONG stopped = GetTickCount64() - stopping;
    stuck.release();
    EXPECT_LT(stopped, 2500u) << "the owner waited for a thread that could not end";
    // Once it can run, the thread finds itself stopped and ends on its own, without
    // touching the object that was destroyed, and posts nothing.
    ASSERT_TRUE(host::writeNewFile(file, "{}"));
    const ULONGLONG end = GetTickCount64() + kPromptly;
    while (threadIds() != before && GetTickCount64() < end) {
        Sleep(20);
    }
    EXPECT_EQ(threadIds(), before);
    EXPECT_EQ(reloadsWithin(300, 100), 0);
}

TEST_F(Watcher, MissingFolderIsWaitedForWithoutSpinningAndLoadedWhenItAppears) {
    start();
    const std::uint64_t before = watcherTime();
    EXPECT_EQ(reloadsWithin(1000, 100), 0);
    EXPECT_LT(watcherTime() - before, kIdleLimit);
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(host::writeNewFile(file, "{}"));
    EXPECT_GE(reloadsWithin(kAfterRetry), 1);
    reloadsWithin(300, 100);
    // Once the folder is there, the ordinary watch takes over.
    ASSERT_TRUE(host::writeInPlace(file, "{ \"verticalPadding\": 1 }"));
    EXPECT_GE(reloadsWithin(kPromptly), 1);
}

TEST_F(Watcher, MissingParentFolderIsRetriedWithoutSpinning) {
    folder = root + L"\\missing\\Tavisto\\";
    start();
    const std::uint64_t before = watcherTime();
    EXPECT_EQ(reloadsWithin(1000, 100), 0);
    EXPECT_LT(watcherTime() - before, kIdleLimit);
    const win32::KernelHandle thread(OpenThread(SYNCHRONIZE, FALSE, started.front()));
    watcher.reset();
    EXPECT_EQ(WaitForSingleObject(thread.get(), 0), WAIT_OBJECT_0);
}

// Under Wine a volume opened as a folder refuses change notifications, as some network
// folders do, while the file beside it can be read: the file is then polled.
TEST_F(Watcher, FolderThatRefusesNotificationsHasItsFilePolledWithoutSpinning) {
    folder = L"\\\\.\\C:";
    const std::wstring polled = L"C:\\TavistoConfig.json";
    DeleteFileW(polled.c_str());
    start();
    const std::uint64_t before = watcherTime();
    EXPECT_EQ(reloadsWithin(kQuiet, 100), 0);
    EXPECT_LT(watcherTime() - before, kIdleLimit);
    const struct {
        const char* change;
        bool (*make)(const std::wstring&);
    } changes[] = {
        {"created", [](const std::wstring& path) { return host::writeNewFile(path, "{ }"); }},
        {"saved with another size",
         [](const std::wstring& path) { return host::writeInPlace(path, "{ \"a\": 1 }"); }},
        {"saved with the same size",
         [](const std::wstring& path) { return host::writeInPlace(path, "{ \"a\": 2 }"); }},
        {"deleted", [](const std::wstring& path) { return DeleteFileW(path.c_str()) != FALSE; }},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.change);
        reloadsWithin(300, 100);
        ASSERT_TRUE(change.make(polled));
        EXPECT_GE(reloadsWithin(kAfterRetry), 1);
    }
    const ULONGLONG stopping = GetTickCount64();
    watcher.reset();
    EXPECT_LT(GetTickCount64() - stopping, 2000u);
    DeleteFileW(polled.c_str());
}

TEST_F(Watcher, DeletedAndRecreatedFolderIsPickedUp) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(host::writeNewFile(file, "{}"));
    start();
    host::removeFolder(folder.substr(0, folder.size() - 1));
    reloadsWithin(kQuiet, 100);
    const std::uint64_t before = watcherTime();
    EXPECT_EQ(reloadsWithin(1000, 100), 0);
    EXPECT_LT(watcherTime() - before, kIdleLimit);
    // Windows removes the folder once the watch lets go of it; Wine keeps it, pending
    // deletion, while the watch is open, and then creating it again finds it there.
    if (!CreateDirectoryW(folder.c_str(), nullptr)) {
        ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    }
    ASSERT_TRUE(host::writeNewFile(file, "{ \"horizontalSpacing\": 4 }"));
    EXPECT_GE(reloadsWithin(kAfterRetry), 1);
}

}  // namespace
}  // namespace tavisto::window

namespace tavisto::shell {
namespace {

// Calls itself back while it is destroyed, as a host does that releases, during the
// band's teardown, an interface the band handed it.
class CallsBackWhileDestroyed final : public ComObject<CallsBackWhileDestroyed, IUnknown> {
  public:
    using CallBack = void (*)(IUnknown& self);
    CallsBackWhileDestroyed(CallBack callBack, int& destructions)
        : callBack_(callBack), destructions_(destructions) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
        if (!IsEqualIID(riid, IID_IUnknown)) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }

  private:
    friend class ComObject<CallsBackWhileDestroyed, IUnknown>;
    ~CallsBackWhileDestroyed() {
        ++destructions_;
        callBack_(*this);
    }

    CallBack callBack_;
    int& destructions_;
};

TEST(ComObject, CallsBackDuringDestructionDoNotDestroyItAgain) {
    struct Case {
        const char* name;
        CallsBackWhileDestroyed::CallBack callBack;
    };
    const Case cases[] = {
        {"none", [](IUnknown&) {}},
        {"AddRef then Release",
         [](IUnknown& self) {
             self.AddRef();
             self.Release();
         }},
        {"QueryInterface then Release",
         [](IUnknown& self) {
             void* again = nullptr;
             if (SUCCEEDED(self.QueryInterface(IID_IUnknown, &again))) {
                 static_cast<IUnknown*>(again)->Release();
             }
         }},
    };
    ASSERT_FALSE(moduleLocked());
    for (const Case& testCase : cases) {
        int destructions = 0;
        auto* object = new CallsBackWhileDestroyed(testCase.callBack, destructions);
        EXPECT_TRUE(moduleLocked()) << testCase.name;
        object->AddRef();
        EXPECT_EQ(object->Release(), 1u) << testCase.name;
        EXPECT_EQ(object->Release(), 0u) << testCase.name;
        EXPECT_EQ(destructions, 1) << testCase.name;
        EXPECT_FALSE(moduleLocked()) << testCase.name;
    }
}

}  // namespace
}  // namespace tavisto::shell
