// The program's own files on the bad day: every host call of saving a project, the settings
// and the run history (and of the history's start-up rewrite) fails in turn. Whatever fails, the
// file on disk is the old one or the new one, whole, no temporary file stays, and the caller
// learns of the failure.

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/app_settings.h"
#include "core/project_file.h"
#include "core/run_history.h"
#include "platform/host_calls.h"
#include "reliability_rig.h"

// Every test here makes host calls fail: the file is empty where the fault seam is off.
#ifdef VELMORA_FAULT_INJECTION

namespace vlm {
namespace {

using faults::Call;

const Call kCalls[] = {Call::Open,   Call::Read,    Call::Write,   Call::Close, Call::Rename,
                       Call::Delete, Call::MakeDir, Call::SetTime, Call::Sync};

struct SavedFile {
    const char* name;
    std::string drivePath;  // on l:
    std::string oldText;
    // Reads what the save starts from (without faults) and returns the save, which is true
    // when the saver says it succeeded.
    std::function<std::function<bool()>()> begin;
};

ProjectFields NewProject() {
    ProjectFields fields;
    fields.destdrive = "e: <Fixed>";
    fields.destkind = "HD";
    fields.items = {"c:\\Data", "c:\\Grüße\\x.txt"};
    return fields;
}

std::vector<SavedFile> Files() {
    return {
        {"project", "l:\\p.vlm", "vlmproject=ok\r\ndestdrive=f:\r\nitem1=c:\\old\r\n",
         [] { return [] { return WriteProjectFile(DrivePath("l:\\p.vlm"), NewProject()); }; }},
        {"settings", "l:\\velmora.ini", "[Log]\r\nLocation=l:\\old\r\n[Mine]\r\nkeep=1\r\n",
         [] {
             AppSettings settings = LoadSettings(DrivePath("l:\\velmora.ini"), DrivePath("l:"));
             settings.LogLocation = "l:\\new";
             // The save reads the file again itself, to keep what it does not know.
             return [settings] { return SaveSettings(settings, DrivePath("l:\\velmora.ini")).ok; };
         }},
        {"history start", "l:\\runoverview.his", "l:\\a.vlm|d|Normal|0:0:1|OK|\r\n",
         [] {
             auto history = std::make_shared<RunHistory>();
             history->LoadFromFile(DrivePath("l:\\runoverview.his"));
             return [history] {
                 return history
                     ->StartHistoryEntry(DrivePath("l:\\runoverview.his"), "l:\\b.vlm", "now",
                                         "Timer", 256)
                     .empty();
             };
         }},
        {"history start-up rewrite", "l:\\runoverview.his", "l:\\a.vlm|d|Normal|\r\n",
         [] {
             return [] {
                 RunHistory history;
                 return history.StartupLoad(DrivePath("l:\\runoverview.his"), 256).empty();
             };
         }},
    };
}

TEST(SafeWriteSweepTest, AFailingSaveLeavesTheOldFileOrTheNewOneWhole) {
    int faulted = 0;
    for (const SavedFile& file : Files()) {
        // The new content, from a save without faults.
        std::string newText;
        std::vector<int> callsOfCleanSave;
        {
            test::TempDrives drives("l");
            test::AnsweringDialogs dialogs;
            test::WriteFile(drives.Host(file.drivePath), file.oldText);
            const auto save = file.begin();
            faults::Reset();
            ASSERT_TRUE(save()) << file.name;
            for (Call call : kCalls)
                callsOfCleanSave.push_back(faults::Count(call));
            newText = test::ReadFile(drives.Host(file.drivePath));
            ASSERT_NE(newText, file.oldText) << file.name;
        }
        for (std::size_t k = 0; k < std::size(kCalls); ++k) {
            for (int nth = 1; nth <= callsOfCleanSave[k]; ++nth) {
                for (int error : {ENOSPC, EIO, EROFS}) {
                    SCOPED_TRACE(std::string(file.name) + ": call kind " + std::to_string(k) +
                                 " #" + std::to_string(nth) + ", errno " + std::to_string(error));
                    test::TempDrives drives("l");
                    test::AnsweringDialogs dialogs;
                    const std::string host = drives.Host(file.drivePath);
                    test::WriteFile(host, file.oldText);
                    const auto save = file.begin();
                    faults::Reset();
                    faults::Arm(kCalls[k], nth, error);
                    const bool saved = save();
                    faults::Reset();
                    ++faulted;
                    const std::string now = test::ReadFile(host);
                    EXPECT_TRUE(now == file.oldText || now == newText) << now;
                    // A save that says it succeeded has written the new file.
                    if (saved) {
                        EXPECT_EQ(now, newText);
                    }
                    EXPECT_EQ(test::TemporaryFilesBelow(drives.Base()), std::vector<std::string>{});
                }
            }
        }
    }
    std::printf("[ saves    ] %d faulted saves of the program's own files survived\n", faulted);
}

}  // namespace
}  // namespace vlm

namespace vlm {
namespace {

// The settings are written over the file as it was read, to keep what the program does not know.
// When that read fails, the save must not write a file without it (it used to, and the
// person's own sections and keys were gone).
TEST(SafeWriteSweepTest, SettingsAreNotWrittenOverAFileThatCouldNotBeRead) {
    for (Call call : {Call::Open, Call::Read}) {
        test::TempDrives drives("l");
        test::AnsweringDialogs dialogs;
        const std::string text = "[Log]\r\nLocation=l:\\old\r\n[Mine]\r\nkeep=1\r\n";
        test::WriteFile(drives.Host("l:\\velmora.ini"), text);
        AppSettings settings = LoadSettings(DrivePath("l:\\velmora.ini"), DrivePath("l:"));
        settings.LogLocation = "l:\\new";
        faults::Reset();
        faults::Arm(call, 1, EIO);
        const SaveResult result = SaveSettings(settings, DrivePath("l:\\velmora.ini"));
        faults::Reset();
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.message, "Unable to write to l:\\velmora.ini");
        EXPECT_EQ(test::ReadFile(drives.Host("l:\\velmora.ini")), text);

        // Without the fault the same save keeps the person's section.
        ASSERT_TRUE(SaveSettings(settings, DrivePath("l:\\velmora.ini")).ok);
        EXPECT_NE(test::ReadFile(drives.Host("l:\\velmora.ini")).find("[Mine]\r\nkeep=1"),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace vlm

#endif  // VELMORA_FAULT_INJECTION
