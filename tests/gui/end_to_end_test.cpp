// The built program, started as a desktop shortcut starts it: copied into a program folder of
// its own with a drives.ini that pins the letters to temporary folders.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <filesystem>
#include <string>
#include <vector>

#include "core/project_file.h"
#include "gui/qt_test_app.h"
#include "support/runner_process.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::ReadTree;
using test::WriteFile;

// The program beside the test program's folder, or in the build folder named by the
// environment.
std::string BuiltProgram() {
    if (const char* buildDir = std::getenv("VELMORA_BUILD_DIR"))
        return std::string(buildDir) + "/velmora";
    return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "velmora").string();
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class EndToEndTest : public ::testing::Test {
protected:
    EndToEndTest() {
        test::EnsureQtApplication();
        programFolder = drives.Base() + "/prog";
        test::MakeDir(programFolder);
        const std::string built = BuiltProgram();
        if (!fs::exists(built))
            return;
        fs::copy_file(built, programFolder + "/velmora");
        fs::permissions(programFolder + "/velmora", fs::perms::owner_all);
        test::WriteDrivesIni(programFolder, drives, "ce", {{'p', programFolder}});
        WriteFile(drives.Host("c:\\src\\a.txt"), "alpha", 1700000000);
        WriteFile(drives.Host("c:\\src\\sub\\b.txt"), "beta", 1700000100);
        // Copies carry the 2-second stamp, so the sources get even seconds to compare exactly.
        WriteFile(drives.Host("c:\\src\\sub\\deeper\\c.txt"), std::string(70000, 'c'), 1700000200);
    }

    void WriteProject(const std::string& hostPath, const std::string& destdrive) {
        ProjectFields fields;
        fields.destdrive = destdrive;
        fields.destkind = "Fixed";
        fields.confirm = false;
        fields.items = {"c:\\src"};
        WriteFile(hostPath, ProjectFileText(fields));
    }

    // Starts the program and waits for it; its exit code, or -1 when it did not end.
    int Run(const QString& program, const QStringList& arguments, const QString& platform) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", platform);
        // The window system's own libraries keep memory to the end; that is not ours to judge.
        environment.insert("ASAN_OPTIONS", "detect_leaks=0");
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(QString::fromStdString(programFolder));
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (!process.waitForFinished(90000)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        output = process.readAll().toStdString();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    bool ProgramBuilt() const { return fs::exists(programFolder + "/velmora"); }

    test::TempDrives drives{"ce"};
    std::string programFolder;
    std::string output;
};

TEST_F(EndToEndTest, AQuickRunThatClosesMirrorsTheSourceAndExitsZero) {
    ASSERT_TRUE(ProgramBuilt()) << BuiltProgram();
    WriteProject(programFolder + "/daily.vlm", "e:");
    // The project path as a person's shell passes it: natively.
    const int exitCode =
        Run(QString::fromStdString(programFolder + "/velmora"),
            {QString::fromStdString(programFolder + "/daily.vlm"), "-qrun", "quiet", "-close"},
            "offscreen");
    ASSERT_EQ(exitCode, 0) << output;

    EXPECT_EQ(ReadTree(drives.HostRoot('e') + "/VLMcopy_drive_c/src"),
              ReadTree(drives.HostRoot('c') + "/src"));

    const std::string history = ReadFile(programFolder + "/runoverview.his");
    EXPECT_EQ(history.rfind("p:\\daily.vlm|", 0), 0u) << history;
    EXPECT_TRUE(Contains(history, "|Shortcut|")) << history;
    EXPECT_TRUE(Contains(history, "|OK|")) << history;

    const std::string log = ReadFile(programFolder + "/Vlmlogtmp.txt");
    for (const char* line :
         {"Start time: ", "QUICK Run executed by user!!", "Project: p:\\daily.vlm",
          "End time: ", "Elapsed time: ", "Auto-closing"}) {
        EXPECT_TRUE(Contains(log, line)) << line << "\n" << log;
    }
    // The settings are not written by a program that ends by itself.
    EXPECT_FALSE(fs::exists(programFolder + "/velmora.ini"));
}

TEST_F(EndToEndTest, ARunThatFailsExitsOne) {
    ASSERT_TRUE(ProgramBuilt()) << BuiltProgram();
    // Every failure of a run is told in a box; answering it needs a real display and a hand
    // on the keyboard, which xvfb-run and xdotool give.
    if (QStandardPaths::findExecutable("xvfb-run").isEmpty() ||
        QStandardPaths::findExecutable("xdotool").isEmpty())
        GTEST_SKIP() << "xvfb-run and xdotool are needed to answer the error box";
    // The destination drive g: is not present: the run is refused before it copies anything.
    WriteProject(programFolder + "/unplugged.vlm", "g:");
    const std::string script = programFolder + "/answer.sh";
    WriteFile(script,
              // Answers every error box until the program has ended, and never waits longer
              // than a minute: a box that could not be answered fails the test, not the suite.
              // The program's own exit code is kept in a file, apart from xvfb-run's.
              "#!/bin/sh\n"
              "./velmora 'p:\\unplugged.vlm' -qrun quiet -close &\n"
              "pid=$!\n"
              "i=0\n"
              "while kill -0 $pid 2>/dev/null && [ $i -lt 600 ]; do\n"
              "  id=$(xdotool search --name '^Error$' 2>/dev/null | head -1)\n"
              "  if [ -n \"$id\" ]; then\n"
              "    xdotool windowactivate --sync \"$id\" 2>/dev/null\n"
              "    xdotool key --window \"$id\" Return\n"
              "  fi\n"
              "  sleep 0.1\n"
              "  i=$((i+1))\n"
              "done\n"
              "kill $pid 2>/dev/null\n"
              "wait $pid\n"
              "echo $? > exit-code\n");
    Run("xvfb-run", {"-a", "-s", "-screen 0 1280x800x24", "sh", QString::fromStdString(script)},
        "xcb");
    ASSERT_TRUE(fs::exists(programFolder + "/exit-code")) << output;
    EXPECT_EQ(ReadFile(programFolder + "/exit-code"), "1\n") << output;
    EXPECT_FALSE(fs::exists(drives.HostRoot('e') + "/VLMcopy_drive_c"));
    EXPECT_FALSE(fs::exists(programFolder + "/runoverview.his") &&
                 Contains(ReadFile(programFolder + "/runoverview.his"), "unplugged"));
}

}  // namespace
}  // namespace vlm
