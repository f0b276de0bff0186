#include "core/project_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_drives.h"
#ifdef VELMORA_FAULT_INJECTION
#include "platform/host_calls.h"
#endif

namespace vlm {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// Drive c: over a fresh temporary folder, so the tests read and write real files.
class ProjectFileOnDisk : public ::testing::Test {
protected:
    void TearDown() override {
#ifdef VELMORA_FAULT_INJECTION
        faults::Reset();
#endif
    }

    void WriteHost(const std::string& name, const std::string& bytes) {
        test::WriteFile(drives_.Host("c:\\" + name), bytes);
    }
    std::string ReadHost(const std::string& name) {
        return test::ReadFile(drives_.Host("c:\\" + name));
    }
    std::vector<std::string> HostNames() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(drives_.HostRoot('c'))) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    test::TempDrives drives_{"c"};
};

ProjectFields PlainProject() {
    ProjectFields fields;
    fields.destdrive = "e: <Removable>";
    fields.destkind = "USB-stick8GB";
    fields.confirm = false;
    fields.precalc = true;
    fields.longnames = false;
    fields.sync = false;
    fields.syncdest = "e:\\not stored";
    fields.items = {"c:\\Data\\Letters", "c:\\Data\\Budget.xls"};
    return fields;
}

ProjectFields SyncProject() {
    ProjectFields fields;
    fields.destdrive = "e: <Removable>";  // a sync project stores no drive
    fields.destkind = "";
    fields.confirm = true;
    fields.precalc = false;
    fields.longnames = true;
    fields.sync = true;
    fields.syncdest = "e:\\Mirror\\Data";
    fields.items = {"c:\\Data"};
    return fields;
}

TEST(ProjectText, ProjectCheckReadsTheKeyWithoutCaseAndTheValueExactly) {
    struct Case {
        std::string text;
        bool isProject;
    };
    const std::vector<Case> cases = {
        {"vlmproject=ok\r\n", true},
        {"VLMPROJECT=ok\r\n", true},
        {"VlmProject=ok", true},
        {"vlmproject=OK\r\n", false},
        {"vlmproject=ok \r\n", false},
        {" vlmproject=ok\r\n", false},
        {"vlmproject =ok\r\n", false},
        {"vlmproject\r\n", false},
        {"", false},
        {"destdrive=e:\r\nitem1=c:\\a\r\nvlmproject=ok\r\n", true},
        {"vlmproject=no\r\nvlmproject=ok\r\n", false},
        {"x=1\0vlmproject=ok\r\n"s, false},
        {"vlmproject=ok\0garbage"s, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProjectText::Parse(c.text).IsProject(), c.isProject) << "text: " << c.text;
    }
}

TEST(ProjectText, EveryKindOfLineEndSplitsTheSameLines) {
    const std::vector<std::string> texts = {
        "vlmproject=ok\r\ndestdrive=e:\r\nitem1=c:\\a\r\nitem2=c:\\b\r\n",
        "vlmproject=ok\ndestdrive=e:\nitem1=c:\\a\nitem2=c:\\b\n",
        "vlmproject=ok\rdestdrive=e:\ritem1=c:\\a\ritem2=c:\\b\r",
        "vlmproject=ok\ndestdrive=e:\r\nitem1=c:\\a\ritem2=c:\\b",
        "vlmproject=ok\n\r\rdestdrive=e:\n\nitem1=c:\\a\r\n\r\nitem2=c:\\b",
    };
    for (const std::string& text : texts) {
        ProjectText project = ProjectText::Parse(text);
        EXPECT_TRUE(project.IsProject()) << text;
        EXPECT_EQ(project.Value("destdrive"), "e:") << text;
        EXPECT_EQ(project.Items(), (std::vector<std::string>{"c:\\a", "c:\\b"})) << text;
    }
}

TEST(ProjectText, ValueIsEverythingAfterTheFirstEqualsOfTheFirstMatchingLine) {
    ProjectText project = ProjectText::Parse(
        "vlmproject=ok\r\n"
        "destkind= USB = stick \r\n"
        "DestKind=second\r\n"
        "item1=c:\\a=b\r\n"
        "confirm=\r\n"
        "no equals here\r\n"
        "=orphan\r\n");
    EXPECT_EQ(project.Value("destkind"), " USB = stick ");
    EXPECT_EQ(project.Value("DESTKIND"), " USB = stick ");
    EXPECT_EQ(project.Value("item1"), "c:\\a=b");
    EXPECT_EQ(project.Value("confirm"), "");
    EXPECT_EQ(project.Value("missing"), "");
    EXPECT_EQ(project.Value("no equals here"), "");
    EXPECT_EQ(project.Value(""), "orphan");
}

TEST(ProjectText, ItemsFollowTheirNumbersAndStopAtTheFirstGap) {
    ProjectText project = ProjectText::Parse(
        "item2=c:\\second\r\n"
        "vlmproject=ok\r\n"
        "item1=c:\\first\r\n"
        "item4=c:\\fourth\r\n"
        "item01=c:\\leading zero\r\n");
    EXPECT_EQ(project.Items(), (std::vector<std::string>{"c:\\first", "c:\\second"}));

    EXPECT_TRUE(ProjectText::Parse("vlmproject=ok\r\nitem2=c:\\x\r\n").Items().empty());
    EXPECT_EQ(ProjectText::Parse("item1=c:\\x\r\nitem2=\r\nitem3=c:\\y\r\n").Items(),
              (std::vector<std::string>{"c:\\x"}));
}

TEST(ProjectText, OptionsReadDifferentlyForTheEditorAndTheRun) {
    struct Case {
        std::string line;  // the option lines of the file
        bool runConfirm, runPrecalc, runLongnames;
        bool editConfirm, editPrecalc, editLongnames, editSync;
    };
    const std::vector<Case> cases = {
        {"", true, true, true, true, true, false, false},
        {"confirm=Y\r\nprecalc=Y\r\nlongnames=Y\r\nsync=Y\r\n", true, true, true, true, true, true,
         true},
        {"confirm=N\r\nprecalc=N\r\nlongnames=N\r\nsync=N\r\n", false, false, false, false, false,
         false, false},
        {"confirm=n\r\nprecalc=no\r\nlongnames=y\r\nsync=y\r\n", true, true, true, true, true,
         false, false},
        {"CONFIRM=N\r\nlongnames=\r\nsync=Y \r\n", false, true, true, false, true, false, false},
    };
    for (const Case& c : cases) {
        ProjectText project = ProjectText::Parse("vlmproject=ok\r\n" + c.line);
        RunOptions run = ReadRunOptions(project);
        EXPECT_EQ(run.confirm, c.runConfirm) << c.line;
        EXPECT_EQ(run.precalc, c.runPrecalc) << c.line;
        EXPECT_EQ(run.longnames, c.runLongnames) << c.line;
        ProjectFields edit = ReadEditorFields(project);
        EXPECT_EQ(edit.confirm, c.editConfirm) << c.line;
        EXPECT_EQ(edit.precalc, c.editPrecalc) << c.line;
        EXPECT_EQ(edit.longnames, c.editLongnames) << c.line;
        EXPECT_EQ(edit.sync, c.editSync) << c.line;
    }
}

// Kept versions are an addition: a file without the keys runs and edits as it always did.
TEST(ProjectText, VersionKeysAreOffUnlessYesAndDaysFallBackToThirty) {
    struct Case {
        const char* lines;
        bool versions;
        int days;
    } const cases[] = {
        {"", false, 30},
        {"versions=Y\nversiondays=7\n", true, 7},
        {"versions=y\nversiondays=7\n", false, 7},
        {"versions=Y\nversiondays=0\n", true, 30},
        {"versions=Y\nversiondays=12a\n", true, 30},
        {"versions=Y\nversiondays=999999\n", true, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        const ProjectText project = ProjectText::Parse("vlmproject=ok\n"s + c.lines);
        const ProjectFields fields = ReadEditorFields(project);
        EXPECT_EQ(ReadRunOptions(project).versions, c.versions);
        EXPECT_EQ(ReadRunOptions(project).versionDays, c.days);
        EXPECT_EQ(fields.versions, c.versions);
        // Written and read back, the fields stay; a project without versions gets no new line.
        const ProjectFields again = ReadEditorFields(ProjectText::Parse(ProjectFileText(fields)));
        EXPECT_EQ(again.versions, c.versions);
        EXPECT_EQ(ProjectFileText(fields).find("version") != std::string::npos, c.versions);
        if (c.versions) {
            EXPECT_EQ(again.versionDays, c.days);
        }
    }
}

TEST(ProjectText, EditorReadsSyncdestOnlyForASynchronisingProject) {
    EXPECT_EQ(ReadEditorFields(ProjectText::Parse("sync=N\r\nsyncdest=e:\\m\r\n")).syncdest, "");
    EXPECT_EQ(ReadEditorFields(ProjectText::Parse("sync=Y\r\nsyncdest=e:\\m\r\n")).syncdest,
              "e:\\m");
}

TEST(ProjectText, ManyItemsAreReadInLinearTime) {
    constexpr int kItems = 100000;
    std::string text = "vlmproject=ok\r\n";
    for (int n = 1; n <= kItems; ++n) {
        text += "item" + std::to_string(n) + "=c:\\data\\folder " + std::to_string(n) + "\r\n";
    }
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> items = ProjectText::Parse(text).Items();
    const auto elapsed = std::chrono::steady_clock::now() - start;

    ASSERT_EQ(items.size(), static_cast<std::size_t>(kItems));
    EXPECT_EQ(items.back(), "c:\\data\\folder 100000");
    // A scan of all lines per key would take minutes here; the index takes well under a second.
    EXPECT_LT(elapsed, std::chrono::seconds(10));
}

TEST(ProjectText, AHundredMegabyteFileIsReadWhole) {
    std::string text = "vlmproject=ok\r\nitem1=c:\\a\r\n";
    const std::string filler(1000, 'x');
    while (text.size() < 100u * 1000 * 1000) {
        text += filler + "\r\n";
    }
    text += "destkind=at the end\r\n";
    ProjectText project = ProjectText::Parse(text);
    EXPECT_TRUE(project.IsProject());
    EXPECT_EQ(project.Value("destkind"), "at the end");
}

TEST(ProjectFileText, PlainProjectIsWrittenLineForLineWithCrLf) {
    EXPECT_EQ(ProjectFileText(PlainProject()),
              "vlmproject=ok\r\n"
              "destdrive=e: <Removable>\r\n"
              "destkind=USB-stick8GB\r\n"
              "confirm=N\r\n"
              "precalc=Y\r\n"
              "longnames=N\r\n"
              "sync=N\r\n"
              "item1=c:\\Data\\Letters\r\n"
              "item2=c:\\Data\\Budget.xls\r\n");
}

TEST(ProjectFileText, SyncProjectHasAnEmptyDriveAndItsDestinationBeforeTheItem) {
    EXPECT_EQ(ProjectFileText(SyncProject()),
              "vlmproject=ok\r\n"
              "destdrive=\r\n"
              "destkind=\r\n"
              "confirm=Y\r\n"
              "precalc=N\r\n"
              "longnames=Y\r\n"
              "sync=Y\r\n"
              "syncdest=e:\\Mirror\\Data\r\n"
              "item1=c:\\Data\r\n");
}

TEST(ProjectFileText, WhatTheWriterStoresTheEditorReadsBack) {
    for (ProjectFields fields : {PlainProject(), SyncProject()}) {
        fields.items.push_back("c:\\a=b");
        fields.items.push_back(
            "c:\\Donn\xC3\xA9"
            "es\\\xC3\x9C"
            "bersicht \xE2\x82\xAC");
        ProjectFields read = ReadEditorFields(ProjectText::Parse(ProjectFileText(fields)));
        EXPECT_EQ(read.destdrive, fields.sync ? "" : fields.destdrive);
        EXPECT_EQ(read.destkind, fields.destkind);
        EXPECT_EQ(read.confirm, fields.confirm);
        EXPECT_EQ(read.precalc, fields.precalc);
        EXPECT_EQ(read.longnames, fields.longnames);
        EXPECT_EQ(read.sync, fields.sync);
        EXPECT_EQ(read.syncdest, fields.sync ? fields.syncdest : "");
        EXPECT_EQ(read.items, fields.items);
    }
}

TEST(ProjectFileCanHold, RefusesValuesThatWouldNotReadBack) {
    struct Case {
        const char* what;
        void (*change)(ProjectFields&);
        bool holds;
    };
    const std::vector<Case> cases = {
        {"plain", [](ProjectFields&) {}, true},
        {"LF in an item", [](ProjectFields& f) { f.items[0] += "\nitem1=c:\\evil"; }, false},
        {"CR in the kind", [](ProjectFields& f) { f.destkind = "HD\rsync=Y"; }, false},
        {"NUL in the drive", [](ProjectFields& f) { f.destdrive = "e:\0x"s; }, false},
        {"LF in an unstored syncdest", [](ProjectFields& f) { f.syncdest = "a\nb"; }, true},
        {"empty item in the middle", [](ProjectFields& f) { f.items.insert(f.items.begin(), ""); },
         false},
    };
    for (const Case& c : cases) {
        ProjectFields fields = PlainProject();
        c.change(fields);
        EXPECT_EQ(ProjectFileCanHold(fields), c.holds) << c.what;
    }
}

TEST_F(ProjectFileOnDisk, WrittenFileHoldsExactlyTheTextAndPassesTheCheck) {
    ASSERT_TRUE(WriteProjectFile(DrivePath("c:\\Budget.vlm"), PlainProject()));
    EXPECT_EQ(ReadHost("Budget.vlm"), ProjectFileText(PlainProject()));
    EXPECT_TRUE(IsProjectFile(DrivePath("c:\\Budget.vlm")));

    std::optional<ProjectText> loaded = ProjectText::Load(DrivePath("c:\\Budget.vlm"));
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->Items(), PlainProject().items);
}

TEST_F(ProjectFileOnDisk, WritingReplacesAnOlderProjectWithoutKeepingItsLines) {
    WriteHost("p.vlm", "vlmproject=ok\r\nextra=kept?\r\nitem1=c:\\old\r\nitem2=c:\\old2\r\n");
    ASSERT_TRUE(WriteProjectFile(DrivePath("c:\\p.vlm"), SyncProject()));
    EXPECT_EQ(ReadHost("p.vlm"), ProjectFileText(SyncProject()));
    EXPECT_EQ(HostNames(), std::vector<std::string>{"p.vlm"});
}

TEST_F(ProjectFileOnDisk, ProjectCheckRefusesWhatIsNoReadableProject) {
    WriteHost("other.vlm", "vlmproject=OK\r\n");
    test::MakeDir(drives_.Host("c:\\folder.vlm"));
    EXPECT_FALSE(IsProjectFile(DrivePath("c:\\other.vlm")));
    EXPECT_FALSE(IsProjectFile(DrivePath("c:\\missing.vlm")));
    EXPECT_FALSE(IsProjectFile(DrivePath("c:\\folder.vlm")));
    EXPECT_FALSE(ProjectText::Load(DrivePath("c:\\missing.vlm")).has_value());
}

TEST_F(ProjectFileOnDisk, FieldsTheFileCannotHoldLeaveTheOldFile) {
    const std::string old = "vlmproject=ok\r\nitem1=c:\\kept\r\n";
    WriteHost("p.vlm", old);
    ProjectFields fields = PlainProject();
    fields.items[1] = "c:\\two\nlines";
    EXPECT_FALSE(WriteProjectFile(DrivePath("c:\\p.vlm"), fields));
    EXPECT_EQ(ReadHost("p.vlm"), old);
}

#ifdef VELMORA_FAULT_INJECTION
TEST_F(ProjectFileOnDisk, FailedWriteLeavesTheOldProjectAndNoTemporaryFile) {
    const std::string old = "vlmproject=ok\r\nitem1=c:\\kept\r\n";
    for (faults::Call call :
         {faults::Call::Write, faults::Call::Sync, faults::Call::Close, faults::Call::Rename}) {
        WriteHost("p.vlm", old);
        faults::Reset();
        faults::Arm(call, 1, ENOSPC, -1);
        EXPECT_FALSE(WriteProjectFile(DrivePath("c:\\p.vlm"), PlainProject()))
            << "call " << static_cast<int>(call);
        faults::Reset();
        EXPECT_EQ(ReadHost("p.vlm"), old) << "call " << static_cast<int>(call);
        EXPECT_EQ(HostNames(), std::vector<std::string>{"p.vlm"})
            << "call " << static_cast<int>(call);
    }
}
#endif

}  // namespace
}  // namespace vlm
