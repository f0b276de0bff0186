#include "platform/desktop_entry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/path_translation.h"
#include "platform/windows_info.h"
#include "support/scoped_env.h"
#include "support/temp_drives.h"

extern char** environ;

namespace vlm {
namespace {

using test::Exists;
using test::MakeDir;
using test::ReadFile;
using test::TempDrives;
using test::WriteFile;
using ::testing::ElementsAre;

// Starts `argv` as a desktop starts a launcher's command: directly, without a shell.
int SpawnAndWait(const std::vector<std::string>& argv) {
    std::vector<char*> raw;
    for (const auto& argument : argv)
        raw.push_back(const_cast<char*>(argument.c_str()));
    raw.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, raw[0], nullptr, nullptr, raw.data(), environ) != 0)
        return -1;
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A stand-in for the program: writes each argument it gets on a line of its own, in brackets.
void WriteArgumentRecorder(const std::string& hostPath, const std::string& outputHost) {
    WriteFile(
        hostPath,
        "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > '" + outputHost + "'\n",
        std::nullopt, 0755);
}

TEST(ExecLineTest, EveryArgumentComesBackExactlyAsItWasGiven) {
    const std::vector<std::string> awkward = {
        "c:\\My Projects\\daily.vlm",
        "c:\\a$HOME\\b.vlm",
        "c:\\$(touch pwned)\\x.vlm",
        "c:\\`id`\\x.vlm",
        "c:\\say \"hi\"\\x.vlm",
        "c:\\it's\\x.vlm",
        "c:\\100% sure\\%f %u %%.vlm",
        "c:\\back\\\\slashes\\",
        " leading and trailing blanks ",
        "semi;colon & amp | pipe > out < in ~ * ? # ( )",
        "",
        "c:\\Ünïcödé \xEF\x81\x9C stand-in",
        "-qrun",
    };
    for (const auto& argument : awkward) {
        const std::vector<std::string> command = {"/opt/velmora/velmora", argument, "-qrun"};
        const std::optional<std::string> value = ExecValue(command);
        ASSERT_TRUE(value) << argument;
        EXPECT_EQ(ParseExecValue(*value), std::optional(command)) << *value;
    }
}

TEST(ExecLineTest, APathIsQuotedAndEscapedForBothReadingSteps) {
    EXPECT_EQ(ExecValue({"/usr/bin/velmora", "c:\\Backup\\daily.vlm", "-qrun"}),
              "\"/usr/bin/velmora\" \"c:\\\\\\\\Backup\\\\\\\\daily.vlm\" \"-qrun\"");
    EXPECT_EQ(QuoteExecArgument("a$b`c\"d%e"), "\"a\\$b\\`c\\\"d%%e\"");
}

TEST(ExecLineTest, AControlCharacterCannotBeCarried) {
    for (const std::string& argument :
         std::vector<std::string>{"a\nb", "a\tb", "a\rb", std::string("a\x01") + "b"}) {
        EXPECT_FALSE(QuoteExecArgument(argument));
        EXPECT_FALSE(ExecValue({"/bin/x", argument}));
    }
    EXPECT_FALSE(ExecValue({}));
}

TEST(ExecLineTest, ReadsLinesWrittenByOthersByTheSameRules) {
    struct Case {
        const char* value;
        std::optional<std::vector<std::string>> arguments;
    };
    using Args = std::vector<std::string>;
    const std::vector<Case> cases = {
        {"prog one two", Args{"prog", "one", "two"}},
        {"prog  one", Args{"prog", "one"}},
        {"prog %f", Args{"prog"}},
        {"prog %U --x", Args{"prog", "--x"}},
        {"prog 100%%", Args{"prog", "100%"}},
        // The string escape comes first: an escaped blank still separates arguments.
        {"prog \"a b\" c\\sd", Args{"prog", "a b", "c", "d"}},
        {"prog \"\"", Args{"prog", ""}},
        {"prog \"unterminated", std::nullopt},
        {"prog \\q", std::nullopt},
        {"prog trailing\\", std::nullopt},
        {"prog $HOME", std::nullopt},
        {"prog `id`", std::nullopt},
        {"prog \"$HOME\"", std::nullopt},
        {"prog \"\\\\q\"", std::nullopt},
        {"prog it's", std::nullopt},
        {"prog %z", std::nullopt},
        {"prog 50%", std::nullopt},
        {"", std::nullopt},
        {"%f", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseExecValue(c.value), c.arguments) << c.value;
}

TEST(DesktopEntryTextTest, NameAndExecAreFoundAgainInTheGroup) {
    const auto text =
        DesktopEntryText(" Run c_x", {"/bin/velmora", "c:\\x"}, HostPath("/srv/work dir"));
    ASSERT_TRUE(text);
    EXPECT_EQ(DesktopEntryValue(*text, "Type"), "Application");
    EXPECT_EQ(DesktopEntryValue(*text, "Name"), "\\sRun c_x");
    EXPECT_EQ(DesktopEntryValue(*text, "Path"), "/srv/work dir");
    EXPECT_EQ(ParseExecValue(*DesktopEntryValue(*text, "Exec")),
              (std::vector<std::string>{"/bin/velmora", "c:\\x"}));
    EXPECT_FALSE(DesktopEntryValue(*text, "Icon"));
    EXPECT_FALSE(DesktopEntryValue("[Other]\nExec=x\n", "Exec"));
    EXPECT_FALSE(DesktopEntryText("n", {"/bin/x", "bad\nline"}, HostPath()));
}

class CreateShortcutTest : public ::testing::Test {
protected:
    CreateShortcutTest() {
        MakeDir(drives.Host("c:\\home\\Desktop"));
        folders.Desktop = "c:\\home\\Desktop";
        WriteArgumentRecorder(drives.Host("c:\\bin\\velmora"), ArgumentsFile());
    }

    std::string ArgumentsFile() const { return drives.Base() + "/arguments.txt"; }

    TempDrives drives{"c"};
    TWindowsInfo folders;
};

TEST_F(CreateShortcutTest, APathWithBlanksAndDollarReachesTheProgramAsTwoArguments) {
    const std::string project = "c:\\My Backups\\$HOME `id` 100%\\daily run.vlm";
    const ShortcutResult result =
        CreateShortcut(DrivePath("c:\\bin\\velmora"), {project, "-qrun"}, DrivePath(),
                       ShellFolderKind::Desktop, "QUICK run x", folders);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.path, "c:\\home\\Desktop\\QUICK run x.desktop");

    const std::string launcher = drives.Host(result.path);
    struct stat st {};
    ASSERT_EQ(stat(launcher.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IXUSR, 0u) << "desktops start only executable launchers";

    const std::string text = ReadFile(launcher);
    EXPECT_EQ(DesktopEntryValue(text, "Name"), "QUICK run x");
    EXPECT_FALSE(DesktopEntryValue(text, "Path"));
    const auto exec = DesktopEntryValue(text, "Exec");
    ASSERT_TRUE(exec);
    const auto argv = ParseExecValue(*exec);
    ASSERT_TRUE(argv);
    EXPECT_THAT(*argv, ElementsAre(drives.Host("c:\\bin\\velmora"), project, "-qrun"));

    ASSERT_EQ(SpawnAndWait(*argv), 0);
    EXPECT_EQ(ReadFile(ArgumentsFile()), "[" + project + "]\n[-qrun]\n");
}

TEST_F(CreateShortcutTest, TheDesktopsOwnLauncherStartsItWithTheSameTwoArguments) {
    // gio reads launchers with GLib's rules, independently of our reader.
    if (std::system("command -v gio >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "gio is not installed";
    const std::string project = "c:\\My Backups\\a\"b\\$x;y\\`z`\\%f.vlm";
    const ShortcutResult result =
        CreateShortcut(DrivePath("c:\\bin\\velmora"), {project, "-saferun"}, DrivePath(),
                       ShellFolderKind::Desktop, "Run x", folders);
    ASSERT_TRUE(result.ok) << result.message;
    const std::string command = "gio launch '" + drives.Host(result.path) + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    // gio does not wait for the program it started.
    for (int i = 0; i < 100 && !Exists(ArgumentsFile()); ++i)
        usleep(50 * 1000);
    usleep(100 * 1000);
    EXPECT_EQ(ReadFile(ArgumentsFile()), "[" + project + "]\n[-saferun]\n");
}

TEST_F(CreateShortcutTest, MakingTheSameShortcutTwiceReplacesTheFirst) {
    ASSERT_TRUE(CreateShortcut(DrivePath("c:\\bin\\velmora"), {"c:\\one.vlm", "-edit"}, DrivePath(),
                               ShellFolderKind::Desktop, "Edit c_x", folders)
                    .ok);
    const ShortcutResult second =
        CreateShortcut(DrivePath("c:\\bin\\velmora"), {"c:\\two.vlm", "-edit"}, DrivePath(),
                       ShellFolderKind::Desktop, "Edit c_x", folders);
    ASSERT_TRUE(second.ok);
    const auto entries = test::ReadTree(drives.Host("c:\\home\\Desktop"));
    ASSERT_EQ(entries.size(), 1u) << "no temporary file is left behind";
    EXPECT_EQ(entries[0].path, "Edit c_x.desktop");
    const auto argv =
        ParseExecValue(*DesktopEntryValue(ReadFile(drives.Host(second.path)), "Exec"));
    EXPECT_THAT(*argv, ElementsAre(drives.Host("c:\\bin\\velmora"), "c:\\two.vlm", "-edit"));
}

TEST_F(CreateShortcutTest, RefusesWhatWouldLandElsewhereAndWritesNothing) {
    struct Case {
        const char* what;
        ShellFolderKind location;
        std::string linkName;
        std::vector<std::string> arguments;
    };
    const std::vector<Case> cases = {
        {"a shell folder the host has none of", ShellFolderKind::Favorites, "Edit x", {"a"}},
        {"a name that climbs out of the folder", ShellFolderKind::Desktop, "../../evil", {"a"}},
        {"a name with a folder in it", ShellFolderKind::Desktop, "sub\\name", {"a"}},
        {"an argument with a line break", ShellFolderKind::Desktop, "Edit y", {"a\nb"}},
    };
    for (const Case& c : cases) {
        const ShortcutResult result = CreateShortcut(DrivePath("c:\\bin\\velmora"), c.arguments,
                                                     DrivePath(), c.location, c.linkName, folders);
        EXPECT_FALSE(result.ok) << c.what;
        EXPECT_FALSE(result.message.empty()) << c.what;
    }
    EXPECT_TRUE(test::ReadTree(drives.Host("c:\\home\\Desktop")).empty());
    EXPECT_THAT(test::ReadTree(drives.Host("c:\\home")),
                ElementsAre(::testing::Field(&test::TreeEntry::path, "Desktop")));
}

TEST_F(CreateShortcutTest, AWholePathNeedsNoShellFolder) {
    MakeDir(drives.Host("c:\\links"));
    const ShortcutResult result = CreateShortcut(
        DrivePath("c:\\bin\\velmora"), {"c:\\p.vlm", "-edit"}, DrivePath("c:\\links"),
        ShellFolderKind::FullPath, "c:\\links\\mine", TWindowsInfo{});
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.path, "c:\\links\\mine.desktop");
    EXPECT_EQ(DesktopEntryValue(ReadFile(drives.Host(result.path)), "Path"),
              drives.Host("c:\\links"));
}

using test::ScopedEnv;

TEST(WindowsInfoTest, DesktopAndDocumentsComeFromTheUserDirectories) {
    TempDrives drives{"c"};
    const std::string home = drives.Host("c:\\home\\ann");
    MakeDir(home + "/Schreibtisch");
    MakeDir(home + "/Dokumente");
    WriteFile(
        home + "/.config/user-dirs.dirs",
        "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_DOCUMENTS_DIR=\"" + home + "/Dokumente\"\n");
    ScopedEnv homeVar("HOME", home);
    ScopedEnv config("XDG_CONFIG_HOME", home + "/.config");

    const TWindowsInfo info;
    EXPECT_EQ(info.Desktop, "c:\\home\\ann\\Schreibtisch");
    EXPECT_EQ(info.Personal, "c:\\home\\ann\\Dokumente");
    EXPECT_EQ(info.FolderOf(ShellFolderKind::Desktop), info.Desktop);
    EXPECT_EQ(info.FolderOf(ShellFolderKind::Personal), info.Personal);
    for (const ShellFolderKind kind :
         {ShellFolderKind::Favorites, ShellFolderKind::Fonts, ShellFolderKind::Startup,
          ShellFolderKind::Templates, ShellFolderKind::FullPath})
        EXPECT_EQ(info.FolderOf(kind), "");
}

}  // namespace
}  // namespace vlm
