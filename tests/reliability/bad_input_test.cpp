// Files edited by hand, damaged or replaced by something else: project, settings, history and
// recent-list files that are empty, binary, huge, with 100,000 items, with a NUL in the middle,
// with very long lines or with paths of 10,000 characters. Each reader either handles them or
// refuses them with a clear message; none crashes, and none hangs.

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

#include "../engine/engine_rig.h"
#include "core/app_settings.h"
#include "core/opening_rules.h"
#include "core/project_file.h"
#include "core/run_history.h"
#include "reliability_rig.h"
#include "support/runner_process.h"

namespace vlm {
namespace {

using test::EngineRig;

struct BadInput {
    const char* name;
    std::function<std::string(const std::string& typicalLine)> bytes;
};

std::string Repeat(const std::string& line, std::size_t totalBytes) {
    std::string text;
    text.reserve(totalBytes + line.size());
    while (text.size() < totalBytes)
        text += line;
    return text;
}

std::string Binary(std::size_t size) {
    std::mt19937 random(77);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

// The size of the huge file: 100 MB in the long run, less in CI where every reader under the
// sanitizers reads it several times (VELMORA_BAD_INPUT_MB sets it).
std::size_t HugeMegabytes() {
    const char* text = std::getenv("VELMORA_BAD_INPUT_MB");
    return text && *text ? static_cast<std::size_t>(std::atol(text)) : 16;
}

// The same damage for every kind of file, built around a line typical of that kind.
std::vector<BadInput> BadInputs() {
    return {
        {"empty", [](const std::string&) { return std::string(); }},
        {"binary", [](const std::string&) { return Binary(256 * 1024); }},
        {"huge", [](const std::string& line) { return Repeat(line, HugeMegabytes() << 20); }},
        {"100,000 items",
         [](const std::string& line) {
             std::string text;
             for (int i = 1; i <= 100000; ++i)
                 text += line.substr(0, line.size() - 2) + std::to_string(i) + "\r\n";
             return text;
         }},
        {"NUL in the middle",
         [](const std::string& line) { return line + std::string(1, '\0') + line + line; }},
        {"one line of 8 MB", [](const std::string&) { return std::string(8u << 20, 'x'); }},
        {"path of 10,000 characters",
         [](const std::string& line) {
             std::string path = "c:";
             while (path.size() < 10000)
                 path += "\\folder";
             return line + "item1=" + path + "\r\n" + path + "|" + path + "|Normal|\r\n" +
                    "[Log]\r\nLocation=" + path + "\r\n" + path + "\r\n";
         }},
        {"lone CRs and no line end",
         [](const std::string& line) { return std::string(100000, '\r') + line + "x=y"; }},
    };
}

const char* const kProjectLine = "vlmproject=ok\r\ndestdrive=e:\r\nitem1=c:\\docs\r\n";
const char* const kSettingsLine = "[Log]\r\nRun history max items=12\r\n";
const char* const kHistoryLine = "l:\\p.vlm|2026-12-07 10:00:00|Normal|0:0:1.5|OK|\r\n";

TEST(BadInputTest, ProjectFilesAreReadOrRefusedWithAMessage) {
    EngineRig rig;
    test::WriteFile(rig.Src("docs/a.txt"), "a");
    for (const BadInput& input : BadInputs()) {
        SCOPED_TRACE(input.name);
        const std::string bytes = input.bytes(kProjectLine);
        test::WriteFile(rig.drives.Host("l:\\bad.vlm"), bytes);
        // The project check and both openings answer; a refusal carries its message.
        const bool isProject = IsProjectFile(DrivePath("l:\\bad.vlm"));
        HandOverState handOver;
        const OpenRunOutcome run = CheckProjectForRun("l:\\bad.vlm", "l:\\backup", handOver);
        if (!run.ok()) {
            EXPECT_FALSE(run.error->empty());
        } else {
            EXPECT_TRUE(isProject);
            EXPECT_EQ(run.request.items.size(), run.request.destinations.size());
        }
        const OpenEditOutcome edit = ReadProjectForEditor("l:\\bad.vlm");
        EXPECT_TRUE(edit.ok() || !edit.message.empty());
        EXPECT_EQ(edit.ok(), isProject);
    }
}

TEST(BadInputTest, ProjectFileReaderStopsAtTheNulAndKeepsTheLinesBeforeIt) {
    const ProjectText text = ProjectText::Parse(std::string("vlmproject=ok\r\nitem1=c:\\a\r\n") +
                                                '\0' + "item2=c:\\b\r\n");
    EXPECT_TRUE(text.IsProject());
    EXPECT_EQ(text.Items(), std::vector<std::string>{"c:\\a"});
}

TEST(BadInputTest, SettingsFilesGiveSettingsAndCanBeWrittenBack) {
    EngineRig rig;
    for (const BadInput& input : BadInputs()) {
        SCOPED_TRACE(input.name);
        test::WriteFile(rig.drives.Host("l:\\velmora.ini"), input.bytes(kSettingsLine));
        const AppSettings settings = LoadSettings(DrivePath("l:\\velmora.ini"), DrivePath("l:"));
        // Every location has a value; a value is read up to 2047 characters.
        for (const std::string* location :
             {&settings.BackupLocation, &settings.ProjectsLocation, &settings.LogLocation})
            EXPECT_LE(location->size(), 2047u);
        EXPECT_FALSE(settings.LogLocation.empty());
        EXPECT_TRUE(SaveSettings(settings, DrivePath("l:\\velmora.ini")).ok);
        const AppSettings again = LoadSettings(DrivePath("l:\\velmora.ini"), DrivePath("l:"));
        EXPECT_EQ(again.LogLocation, settings.LogLocation);
        EXPECT_EQ(again.RunHistoryMax, settings.RunHistoryMax);
        EXPECT_EQ(again.TimerHour, settings.TimerHour);
    }
}

TEST(BadInputTest, HistoryFilesLoadAtMostTheMaximumAndAreRewritten) {
    EngineRig rig;
    for (const BadInput& input : BadInputs()) {
        SCOPED_TRACE(input.name);
        const std::string path = rig.drives.Host("l:\\runoverview.his");
        test::WriteFile(path, input.bytes(kHistoryLine));
        RunHistory history;
        const std::string error = history.StartupLoad(DrivePath("l:\\runoverview.his"), 256);
        EXPECT_EQ(error, "");
        EXPECT_LE(history.Rows().size(), 256u);
        // What was kept is written back, and reads back the same.
        RunHistory again;
        EXPECT_EQ(again.StartupLoad(DrivePath("l:\\runoverview.his"), 256), "");
        EXPECT_EQ(again.Rows(), history.Rows());
        EXPECT_LE(std::filesystem::file_size(path), 100u * 1024 * 1024);
    }
}

// The headless runner over a program folder whose every file is damaged the same way: it runs
// or refuses with its message, with the exit code that says which.
TEST(BadInputTest, TheRunnerSurvivesAProgramFolderOfDamagedFiles) {
    const std::string runner = test::BuiltRunner();
    ASSERT_TRUE(std::filesystem::exists(runner)) << runner << " is not built";
    for (const BadInput& input : BadInputs()) {
        SCOPED_TRACE(input.name);
        EngineRig rig;
        const std::string l = rig.drives.HostRoot('l');
        test::WriteFile(rig.Src("docs/a.txt"), "a");
        test::WriteDrivesIni(l, rig.drives, "cel");
        test::WriteFile(l + "/bad.vlm", input.bytes(kProjectLine));
        test::WriteFile(l + "/velmora.ini", input.bytes(kSettingsLine));
        test::WriteFile(l + "/runoverview.his", input.bytes(kHistoryLine));
        const std::string output = rig.drives.Base() + "/output.txt";
        // A run that does not end within the generous limit is killed and counts as a hang.
        const int code = test::WaitForExit(
            test::StartRunner({l + "/bad.vlm", "--program-folder", l, "--log-level", "normal"},
                              {output, ""}),
            240);
        EXPECT_TRUE(code == 0 || code == 1)
            << "exit " << code << ": " << test::ReadFile(output).substr(0, 2000);
        if (code == 1) {
            // A refusal says why.
            EXPECT_FALSE(test::ReadFile(output).empty());
        }
    }
}

}  // namespace
}  // namespace vlm
