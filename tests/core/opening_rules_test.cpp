#include "core/opening_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_drives.h"
#ifdef VELMORA_FAULT_INJECTION
#include "platform/host_calls.h"
#endif

namespace vlm {
namespace {

// ---- DestPathFor ----------------------------------------------------------------------------

TEST(DestPathFor, BuildsThePerDriveFolderUnderTheDestination) {
    struct Case {
        std::string item, destdrive, backupLocation, expected;
    };
    const std::vector<Case> cases = {
        {"c:\\Data\\Docs", "e:", "", "e:\\VLMcopy_drive_c\\Data\\Docs"},
        {"c:\\Data\\Docs", "e: <Removable>", "", "e:\\VLMcopy_drive_c\\Data\\Docs"},
        {"c:\\Data\\Docs", "e:\\backup", "", "e:\\VLMcopy_drive_c\\Data\\Docs"},
        {"d:\\Music", "e:", "", "e:\\VLMcopy_drive_d\\Music"},
        {"C:\\Data", "e:", "", "e:\\VLMcopy_drive_C\\Data"},
        {"c:\\", "f:", "", "f:\\VLMcopy_drive_c"},
        {"c:", "f:", "", "f:\\VLMcopy_drive_c"},
        {"c:\\Data\\", "e:", "", "e:\\VLMcopy_drive_c\\Data"},
        {"c:\\Data\\Docs", "<default>", "D:\\Backup", "D:\\Backup\\VLMcopy_drive_c\\Data\\Docs"},
        {"c:\\Data\\Docs", "<default>", "D:\\Backup\\", "D:\\Backup\\VLMcopy_drive_c\\Data\\Docs"},
        {"c:\\Data", "<Default>", "D:\\Backup", "<D\\VLMcopy_drive_c\\Data"},
        {"c:\\Data", "", "D:\\Backup", "?\\VLMcopy_drive_c\\Data"},
        {"c:\\Data", "e", "", "e\\VLMcopy_drive_c\\Data"},
        // A drive root keeps its one backslash.
        {"c:\\Data", "<default>", "z:\\", "z:\\VLMcopy_drive_c\\Data"},
        {"c:\\", "<default>", "E:\\", "E:\\VLMcopy_drive_c"},
        {"c:\\Data", "<default>", "z:\\\\", "z:\\\\VLMcopy_drive_c\\Data"},
    };
    for (const Case& c : cases) {
        DestinationContext context{false, "e:\\unused", c.backupLocation};
        EXPECT_EQ(DestPathFor(c.item, c.destdrive, context), c.expected)
            << c.item << " to " << c.destdrive;
    }
}

TEST(DestPathFor, SynchronisingProjectGoesToSyncDestUnchanged) {
    DestinationContext context{true, "e:\\Mirror\\Data\\", "D:\\Backup"};
    EXPECT_EQ(DestPathFor("c:\\Data", "", context), "e:\\Mirror\\Data\\");
    EXPECT_EQ(DestPathFor("c:\\Data", "<default>", context), "e:\\Mirror\\Data\\");
    // The item is still checked first.
    EXPECT_EQ(DestPathFor("\\\\server\\share", "", context), std::nullopt);
}

TEST(DestPathFor, RefusesItemsWithoutADriveOrThatCouldClimbOut) {
    const std::vector<std::string> refused = {
        "",
        "c",
        "\\\\server\\share\\x",
        "Data\\Docs",
        "/home/a",
        "c:\\..",
        "c:\\a\\..",
        "c:\\a\\..\\..\\etc",
        "c:\\.\\a",
        "c:\\a\\.",
        "c:\\a\\\\b",
        "c:\\\\",
        "c:\\\\a",
        "c:\\a\\\\",
        "c:..",
        "c:\\a/../b",
        "c:\\a//b",
    };
    DestinationContext context{false, "", "D:\\Backup"};
    for (const std::string& item : refused) {
        EXPECT_FALSE(IsSoundSourcePath(item)) << item;
        EXPECT_EQ(DestPathFor(item, "e:", context), std::nullopt) << item;
    }
    for (std::string item : {"c:", "c:\\", "c:\\a", "c:\\a\\", "c:\\...\\a..b\\.c", "c:data"}) {
        EXPECT_TRUE(IsSoundSourcePath(item)) << item;
    }
}

// ---- Projects on disk -----------------------------------------------------------------------

class OpeningRules : public ::testing::Test {
protected:
    // A project file at the drive path `path` with the given lines, each ended by CR LF.
    void Project(const std::string& path, const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& line : lines) {
            text += line + "\r\n";
        }
        test::WriteFile(drives_.Host(path), text);
    }
    void Folder(const std::string& path) { test::MakeDir(drives_.Host(path)); }
    void File(const std::string& path) { test::WriteFile(drives_.Host(path), "x"); }

    OpenRunOutcome Run(const std::string& path, const std::string& backupLocation = "c:\\backup") {
        return CheckProjectForRun(path, backupLocation, handOver_);
    }

    test::TempDrives drives_{"ce"};
    HandOverState handOver_;
};

TEST_F(OpeningRules, EveryRefusalOfARunHasItsOwnText) {
    Folder("c:\\data");
    Folder("c:\\data\\copy");
    Folder("e:\\mirror");
    File("c:\\data.txt");
    File("e:\\mirror.txt");
    Folder("c:\\folder.vlm");
    Project("c:\\notproject.vlm", {"vlmproject=OK", "item1=c:\\data"});

    struct Case {
        const char* what;
        std::vector<std::string> lines;  // empty: the project file is not written
        std::string expected;
    };
    const std::string p = "c:\\p.vlm";
    const std::vector<Case> cases = {
        {"not there", {}, "c:\\p.vlm does not exist!! Unable to run project."},
        {"no project",
         {"vlmproject=ok "},
         "c:\\p.vlm Invalid VLM-project file!! Unable to run project."},
        {"no sync destination",
         {"vlmproject=ok", "sync=Y", "item1=c:\\data"},
         "Fatal error: no sync destination found! Edit project file."},
        {"no sync source",
         {"vlmproject=ok", "sync=Y", "syncdest=e:\\mirror", "item2=c:\\data"},
         "Fatal error: no source item found for synchronizing! Edit project file."},
        {"sync to a drive root",
         {"vlmproject=ok", "sync=Y", "syncdest=e:\\", "item1=c:\\data"},
         "Fatal error: impossible to synchronize to e:\\ ! Must be a normal folder or file. "
         "Edit project file."},
        {"sync to a drive",
         {"vlmproject=ok", "sync=Y", "syncdest=e:", "item1=c:\\data"},
         "Fatal error: impossible to synchronize to e: ! Must be a normal folder or file. "
         "Edit project file."},
        {"two sync sources",
         {"vlmproject=ok", "sync=Y", "syncdest=e:\\mirror", "item1=c:\\data", "item2=c:\\x"},
         "Fatal error: more than one source item is forbidden when synchronizing! Edit project "
         "file."},
        {"sync source missing",
         {"vlmproject=ok", "sync=Y", "syncdest=e:\\mirror", "item1=c:\\gone"},
         "Fatal error: source c:\\gone does not exist."},
        {"folder to file",
         {"vlmproject=ok", "sync=Y", "syncdest=e:\\mirror.txt", "item1=c:\\data"},
         "Fatal error: impossible to synchronize a folder to a file!! Edit project file."},
        {"file to folder",
         {"vlmproject=ok", "sync=Y", "syncdest=e:\\mirror", "item1=c:\\data.txt"},
         "Fatal error: impossible to synchronize a file to a folder!! Edit project file."},
        {"sync into its own folder",
         {"vlmproject=ok", "sync=Y", "syncdest=c:\\data\\copy", "item1=c:\\data"},
         "Nesting forbidden! c:\\data and c:\\data\\copy are part of each other!!"},
        {"sync into a folder of similar name (text test)",
         {"vlmproject=ok", "sync=Y", "syncdest=c:\\data2\\copy", "item1=c:\\data"},
         "Nesting forbidden! c:\\data and c:\\data2\\copy are part of each other!!"},
        {"sync out of its own destination",
         {"vlmproject=ok", "sync=Y", "syncdest=C:\\Data\\Copy\\new", "item1=c:\\data\\copy"},
         "Nesting forbidden! c:\\data\\copy and C:\\Data\\Copy\\new are part of each other!!"},
        {"network source",
         {"vlmproject=ok", "destdrive=e:", "sync=N", "item1=c:\\data", "item2=\\\\server\\share"},
         "Fatal error: Incorrect source path!"},
        {"network source of a sync",
         {"vlmproject=ok", "sync=Y", "syncdest=e:\\mirror", "item1=\\\\server\\share"},
         "Fatal error: Incorrect source path!"},
        {"relative source",
         {"vlmproject=ok", "destdrive=e:", "item1=data"},
         "Fatal error: Incorrect source path!"},
        {"source climbing out",
         {"vlmproject=ok", "destdrive=e:", "item1=c:\\data\\..\\..\\x"},
         "Fatal error: Incorrect source path!"},
        {"source with a dot",
         {"vlmproject=ok", "destdrive=e:", "item1=c:\\.\\data"},
         "Fatal error: Incorrect source path!"},
        {"source with an empty component",
         {"vlmproject=ok", "destdrive=e:", "item1=c:\\data\\\\copy"},
         "Fatal error: Incorrect source path!"},
        {"sync destination climbing out",
         {"vlmproject=ok", "sync=Y", "syncdest=e:\\mirror\\..\\..", "item1=c:\\data"},
         "Fatal error: Incorrect source path!"},
        {"sync destination with an empty component",
         {"vlmproject=ok", "sync=Y", "syncdest=e:\\\\mirror", "item1=c:\\data"},
         "Fatal error: Incorrect source path!"},
        {"drive root to its own drive",
         {"vlmproject=ok", "destdrive=c: <Fixed>", "item1=c:\\data", "item2=c:\\"},
         "Nesting forbidden! c:\\ and c:\\VLMcopy_drive_c are part of each other!!"},
        {"drive to its own drive",
         {"vlmproject=ok", "destdrive=c:", "item1=c:"},
         "Nesting forbidden! c: and c:\\VLMcopy_drive_c are part of each other!!"},
        {"default destination inside the source",
         {"vlmproject=ok", "destdrive=<default>", "item1=c:\\"},
         "Nesting forbidden! c:\\ and c:\\backup\\VLMcopy_drive_c are part of each other!!"},
    };
    for (const Case& c : cases) {
        test::RemoveTree(drives_.Host(p));
        if (!c.lines.empty()) {
            Project(p, c.lines);
        }
        OpenRunOutcome outcome = Run(p);
        EXPECT_FALSE(outcome.ok()) << c.what;
        EXPECT_EQ(outcome.error.value_or("<accepted>"), c.expected) << c.what;
        EXPECT_TRUE(outcome.request.items.empty()) << c.what;
    }

    EXPECT_EQ(Run("c:\\folder.vlm").error,
              "c:\\folder.vlm does not exist!! Unable to run project.");
    EXPECT_EQ(Run("c:\\notproject.vlm").error,
              "c:\\notproject.vlm Invalid VLM-project file!! Unable to run project.");
}

TEST_F(OpeningRules, AcceptedSynchronisationsGoToSyncDest) {
    Folder("c:\\data");
    Folder("e:\\mirror");
    File("c:\\data.txt");
    File("e:\\mirror.txt");
    struct Case {
        const char* what;
        std::string item, syncdest;
    };
    const std::vector<Case> cases = {
        {"folder to a folder of another name", "c:\\data", "c:\\data2"},
        {"folder to an existing folder", "c:\\data", "e:\\mirror"},
        {"folder to a folder not there yet", "c:\\data", "e:\\new\\place"},
        {"file to a file", "c:\\data.txt", "e:\\mirror.txt"},
        {"file to a file not there yet", "c:\\data.txt", "e:\\copy.txt"},
        {"two missing paths", "c:\\none", "e:\\nothing"},
    };
    for (const Case& c : cases) {
        Project("c:\\Mirror Job.vlm", {"vlmproject=ok", "destdrive=", "sync=Y",
                                       "syncdest=" + c.syncdest, "item1=" + c.item});
        handOver_ = HandOverState();
        OpenRunOutcome outcome = Run("c:\\Mirror Job.vlm");
        ASSERT_TRUE(outcome.ok()) << c.what << ": " << *outcome.error;
        EXPECT_EQ(outcome.caption, "Running: Mirror Job") << c.what;
        EXPECT_EQ(outcome.request.items, std::vector<std::string>{c.item}) << c.what;
        EXPECT_EQ(outcome.request.destinations, std::vector<std::string>{c.syncdest}) << c.what;
        EXPECT_TRUE(handOver_.SyncMode) << c.what;
        EXPECT_EQ(handOver_.SyncDest, c.syncdest) << c.what;
    }
}

TEST_F(OpeningRules, PlainProjectFillsTheRunWindowUpToTheFirstGap) {
    Project("c:\\projects\\Budget.2024.vlm",
            {"item5=c:\\never", "vlmproject=ok", "destdrive=e: <Removable>", "sync=N",
             "syncdest=e:\\ignored", "item1=c:\\Data\\Letters", "item2=d:\\Budget.xls",
             "item3=c:\\Notes: 1.txt"});
    OpenRunOutcome outcome = Run("c:\\projects\\Budget.2024.vlm");
    ASSERT_TRUE(outcome.ok()) << *outcome.error;
    EXPECT_EQ(outcome.caption, "Running: Budget.2024");
    // A name written with ':' is the one held with its stand-in (U+F03A).
    EXPECT_EQ(outcome.request.items,
              (std::vector<std::string>{"c:\\Data\\Letters", "d:\\Budget.xls",
                                        "c:\\Notes\xEF\x80\xBA 1.txt"}));
    EXPECT_EQ(outcome.request.destinations,
              (std::vector<std::string>{"e:\\VLMcopy_drive_c\\Data\\Letters",
                                        "e:\\VLMcopy_drive_d\\Budget.xls",
                                        "e:\\VLMcopy_drive_c\\Notes\xEF\x80\xBA 1.txt"}));
    EXPECT_EQ(outcome.request.projectPath, "c:\\projects\\Budget.2024.vlm");
    EXPECT_FALSE(handOver_.SyncMode);
}

TEST_F(OpeningRules, TheRunRequestHoldsTheOptionsAsTheRunReadsThem) {
    struct Case {
        std::vector<std::string> lines;
        RunOptions expected;
        std::string destkind;
    };
    // Only the exact value "N" switches an option off; a missing key leaves it on.
    const std::vector<Case> cases = {
        {{}, {true, true, true}, ""},
        {{"confirm=N", "precalc=N", "longnames=N", "destkind=CDR"}, {false, false, false}, "CDR"},
        {{"CONFIRM=N", "precalc=n", "longnames=No", "destkind=cdr"}, {false, true, true}, "cdr"},
        {{"confirm=Y", "precalc=", "longnames=N", "destkind=DVDR"}, {true, true, false}, "DVDR"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines = {"vlmproject=ok", "destdrive=e:", "item1=c:\\a"};
        lines.insert(lines.end(), c.lines.begin(), c.lines.end());
        Project("c:\\p.vlm", lines);
        const OpenRunOutcome outcome = Run("c:\\p.vlm");
        ASSERT_TRUE(outcome.ok()) << *outcome.error;
        const RunRequest& request = outcome.request;
        SCOPED_TRACE(testing::PrintToString(c.lines));
        EXPECT_EQ(request.options.confirm, c.expected.confirm);
        EXPECT_EQ(request.options.precalc, c.expected.precalc);
        EXPECT_EQ(request.options.longnames, c.expected.longnames);
        EXPECT_EQ(request.destkind, c.destkind);
        EXPECT_EQ(request.project.Value("destdrive"), "e:");
    }
}

TEST_F(OpeningRules, DefaultDestinationIsTheBackupLocation) {
    Project("c:\\p.vlm", {"vlmproject=ok", "destdrive=<default>", "item1=c:\\Data"});
    OpenRunOutcome outcome = Run("c:\\p.vlm", "e:\\Backup\\");
    ASSERT_TRUE(outcome.ok()) << *outcome.error;
    EXPECT_EQ(outcome.request.destinations,
              std::vector<std::string>{"e:\\Backup\\VLMcopy_drive_c\\Data"});
}

TEST_F(OpeningRules, HandOverStateIsSetWhereTheOpeningSetsIt) {
    handOver_.SyncDest = "earlier";
    handOver_.SyncMode = true;
    Project("c:\\plain.vlm", {"vlmproject=ok", "destdrive=e:", "item1=c:\\a"});
    ASSERT_TRUE(Run("c:\\plain.vlm").ok());
    EXPECT_FALSE(handOver_.SyncMode);
    EXPECT_EQ(handOver_.SyncDest, "earlier");  // kept when the project does not synchronise

    // A project that fails the first two checks changes nothing.
    handOver_.SyncMode = true;
    EXPECT_FALSE(Run("c:\\missing.vlm").ok());
    EXPECT_TRUE(handOver_.SyncMode);

    // SyncMode and SyncDest are set before the synchronisation checks refuse.
    Project("c:\\sync.vlm", {"vlmproject=ok", "sync=Y", "syncdest=e:\\", "item1=c:\\a"});
    EXPECT_FALSE(Run("c:\\sync.vlm").ok());
    EXPECT_TRUE(handOver_.SyncMode);
    EXPECT_EQ(handOver_.SyncDest, "e:\\");

    Project("c:\\sync.vlm", {"vlmproject=ok", "sync=Y", "item1=c:\\a"});
    EXPECT_FALSE(Run("c:\\sync.vlm").ok());
    EXPECT_TRUE(handOver_.SyncMode);
    EXPECT_EQ(handOver_.SyncDest, "");
}

TEST_F(OpeningRules, NestingIsJudgedOnTheHostFolders) {
    // e: lies inside c:, as a volume mounted under /media lies inside the root drive.
    drives_.PinTo('e', drives_.Host("c:\\media\\e"));
    test::MakeDir(drives_.Host("c:\\media\\e"));
    Folder("c:\\data");

    Project("c:\\p.vlm", {"vlmproject=ok", "destdrive=e:", "item1=c:\\data"});
    EXPECT_TRUE(Run("c:\\p.vlm").ok());

    Project("c:\\p.vlm", {"vlmproject=ok", "destdrive=e:", "item1=c:\\data", "item2=c:\\media"});
    EXPECT_EQ(Run("c:\\p.vlm").error,
              "Nesting forbidden! c:\\media and e:\\VLMcopy_drive_c\\media are part of each "
              "other!!");

    // The destination folder reached through a link still counts as the folder it is.
    test::MakeSymlink(drives_.HostRoot('c'), drives_.Host("e:\\VLMcopy_drive_c"));
    Project("c:\\p.vlm", {"vlmproject=ok", "destdrive=e:", "item1=c:\\data"});
    EXPECT_EQ(Run("c:\\p.vlm").error,
              "Nesting forbidden! c:\\data and e:\\VLMcopy_drive_c\\data are part of each "
              "other!!");
}

TEST(NestedOnHost, ComparesWholeComponents) {
    test::TempDrives drives("c");
    struct Case {
        std::string a, b;
        bool nested;
    };
    const std::vector<Case> cases = {
        {"c:\\data", "c:\\data\\copy", true},   {"c:\\data\\copy", "c:\\data", true},
        {"c:\\data", "c:\\data2\\copy", false}, {"c:\\data", "c:\\data", true},
        {"c:\\", "c:\\anything", true},         {"c:\\data\\", "c:\\data\\x", true},
        {"c:\\Data", "c:\\data\\x", false},     {"c:\\data", "?\\VLMcopy_drive_c\\data", false},
        {"c:\\data", "z:\\data", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NestedOnHost(c.a, c.b), c.nested) << c.a << " / " << c.b;
    }
}

#ifdef VELMORA_FAULT_INJECTION
TEST_F(OpeningRules, UnreadableProjectIsRefusedWithItsPath) {
    Project("c:\\p.vlm", {"vlmproject=ok", "destdrive=e:", "item1=c:\\a"});
    faults::Reset();
    faults::Arm(faults::Call::Open, 1, EACCES, -1);
    OpenRunOutcome run = Run("c:\\p.vlm");
    OpenEditOutcome edit = ReadProjectForEditor("c:\\p.vlm");
    faults::Reset();
    EXPECT_EQ(run.error, "Unable to read project file c:\\p.vlm");
    EXPECT_EQ(edit.refusal, OpenEditOutcome::Refusal::Unreadable);
    EXPECT_EQ(edit.message, "Unable to read project file c:\\p.vlm");
}
#endif

// ---- Opening for the editor -----------------------------------------------------------------

TEST(ReadProjectForEditor, EmptyPathGivesTheNewProjectForm) {
    OpenEditOutcome outcome = ReadProjectForEditor("");
    ASSERT_TRUE(outcome.ok());
    EXPECT_TRUE(outcome.isNew);
    EXPECT_EQ(outcome.caption, "Project Editor: <New Project>");
    EXPECT_EQ(outcome.name, "new");
    EXPECT_EQ(outcome.projectName, "");
    EXPECT_TRUE(outcome.fields.precalc);
    EXPECT_FALSE(outcome.fields.confirm);
    EXPECT_FALSE(outcome.fields.longnames);
    EXPECT_FALSE(outcome.fields.sync);
    EXPECT_TRUE(outcome.fields.items.empty());
}

TEST_F(OpeningRules, EditorIsFilledFromTheProjectFile) {
    Project("c:\\Weekly.vlm",
            {"VLMPROJECT=ok", "destdrive=e: <Unknown>", "destkind=CDR", "precalc=N", "sync=Y",
             "syncdest=e:\\m", "item1=c:\\a=b", "item2=c:\\b", "item4=c:\\d"});
    OpenEditOutcome outcome = ReadProjectForEditor("c:\\Weekly.vlm");
    ASSERT_TRUE(outcome.ok()) << outcome.message;
    EXPECT_FALSE(outcome.isNew);
    EXPECT_EQ(outcome.caption, "Project Editor: Weekly");
    EXPECT_EQ(outcome.name, "Weekly");
    EXPECT_EQ(outcome.projectName, "Weekly");
    EXPECT_EQ(outcome.fields.destdrive, "e: <Unknown>");
    EXPECT_EQ(outcome.fields.destkind, "CDR");
    EXPECT_TRUE(outcome.fields.confirm);     // missing: on
    EXPECT_FALSE(outcome.fields.precalc);    // "N": off
    EXPECT_FALSE(outcome.fields.longnames);  // missing: off in the editor
    EXPECT_TRUE(outcome.fields.sync);
    EXPECT_EQ(outcome.fields.syncdest, "e:\\m");
    EXPECT_EQ(outcome.fields.items, (std::vector<std::string>{"c:\\a=b", "c:\\b"}));
}

TEST_F(OpeningRules, EditorRefusesWhatIsNoProject) {
    Project("c:\\other.vlm", {"vlmproject=yes"});
    OpenEditOutcome notProject = ReadProjectForEditor("c:\\other.vlm");
    EXPECT_EQ(notProject.refusal, OpenEditOutcome::Refusal::NotAProject);
    EXPECT_EQ(notProject.message, "Invalid vlm-project!");
    EXPECT_TRUE(notProject.caption.empty());

    OpenEditOutcome missing = ReadProjectForEditor("c:\\gone.vlm");
    EXPECT_EQ(missing.refusal, OpenEditOutcome::Refusal::Unreadable);
    EXPECT_EQ(missing.message, "Unable to read project file c:\\gone.vlm");
}

}  // namespace
}  // namespace vlm
