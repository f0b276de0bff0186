// The installed program: `cmake --install` into a temporary prefix whose bin folder is then made
// read-only, as /usr/bin is to a person. The installed runner must keep its files in the data
// folder of the XDG rules and never beside itself.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine_rig.h"
#include "support/runner_process.h"

namespace vlm {
namespace {

using test::EngineRig;
using test::Exists;
using test::ReadFile;

struct Finished {
    int exitCode = -1;
    std::string output;  // standard output and standard error together
};

// Starts `args` with exactly the environment `environment`, waits, and keeps what it printed.
Finished RunProgram(const std::vector<std::string>& args,
                    const std::vector<std::string>& environment, const std::string& outputFile) {
    Finished finished;
    finished.exitCode = test::WaitForExit(test::StartProgram(args, {outputFile, ""}, &environment));
    finished.output = ReadFile(outputFile);
    return finished;
}

std::vector<std::string> BaseEnvironment() {
    std::vector<std::string> environment = {"LANG=C.UTF-8"};
    if (const char* path = std::getenv("PATH"))
        environment.push_back(std::string("PATH=") + path);
    // The sanitizer build's options travel with the test.
    if (const char* asan = std::getenv("ASAN_OPTIONS"))
        environment.push_back(std::string("ASAN_OPTIONS=") + asan);
    return environment;
}

class InstalledProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        prefix = rig.drives.Base() + "/prefix";
        home = rig.drives.Base() + "/home";
        test::MakeDir(home);
        const Finished installed =
            RunProgram({"cmake", "--install", VELMORA_BUILD_DIR, "--prefix", prefix},
                       BaseEnvironment(), rig.drives.Base() + "/install.txt");
        ASSERT_EQ(installed.exitCode, 0) << installed.output;
        test::SetMode(prefix + "/bin", 0555);
    }
    void TearDown() override { test::SetMode(prefix + "/bin", 0755); }

    std::string Runner() const { return prefix + "/bin/velmora-run"; }
    std::string Output() const { return rig.drives.Base() + "/output.txt"; }

    EngineRig rig;
    std::string prefix;
    std::string home;
};

TEST_F(InstalledProgramTest, EverythingIsInItsPlaceAndBothProgramsTellTheirVersion) {
    for (const char* file :
         {"bin/velmora", "bin/velmora-run", "share/applications/org.velmora.Velmora.desktop",
          "share/metainfo/org.velmora.Velmora.metainfo.xml",
          "share/icons/hicolor/16x16/apps/org.velmora.Velmora.png",
          "share/icons/hicolor/256x256/apps/org.velmora.Velmora.png",
          "share/icons/hicolor/scalable/apps/org.velmora.Velmora.svg", "share/man/man1/velmora.1",
          "share/man/man1/velmora-run.1"})
        EXPECT_TRUE(Exists(prefix + "/" + file)) << file;

    struct Asked {
        std::string program;
        std::string argument;
        std::string expected;
    };
    const Asked cases[] = {
        {"velmora", "--version", "velmora " VELMORA_VERSION "\n"},
        {"velmora-run", "--version", "velmora-run " VELMORA_VERSION "\n"},
    };
    for (const Asked& c : cases) {
        const Finished finished =
            RunProgram({prefix + "/bin/" + c.program, c.argument}, BaseEnvironment(), Output());
        EXPECT_EQ(finished.exitCode, 0) << c.program;
        EXPECT_EQ(finished.output, c.expected) << c.program;
    }
    const Finished help = RunProgram({Runner(), "--help"}, BaseEnvironment(), Output());
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("usage: velmora-run PROJECT.vlm"), std::string::npos);
    // The page names the version CMake gave the project, not a placeholder.
    EXPECT_NE(ReadFile(prefix + "/share/man/man1/velmora-run.1").find("Velmora " VELMORA_VERSION),
              std::string::npos);
}

// The runner decides and creates its folder before it looks at the project, so a project that
// does not exist still shows where the folder went.
TEST_F(InstalledProgramTest, TheProgramFolderIsCreatedWhereTheXdgRulesSay) {
    const std::string xdg = rig.drives.Base() + "/xdg";
    struct EnvironmentCase {
        const char* what;
        std::vector<std::string> extra;
        std::string expectedFolder;
    };
    const EnvironmentCase cases[] = {
        {"XDG_DATA_HOME set", {"HOME=" + home, "XDG_DATA_HOME=" + xdg}, xdg + "/velmora"},
        {"XDG_DATA_HOME unset", {"HOME=" + home}, home + "/.local/share/velmora"},
    };
    for (const EnvironmentCase& c : cases) {
        std::vector<std::string> environment = BaseEnvironment();
        environment.insert(environment.end(), c.extra.begin(), c.extra.end());
        const Finished finished =
            RunProgram({Runner(), rig.drives.Base() + "/none.vlm"}, environment, Output());
        EXPECT_EQ(finished.exitCode, 1) << c.what << "\n" << finished.output;
        EXPECT_TRUE(std::filesystem::is_directory(c.expectedFolder)) << c.what;
    }
    EXPECT_FALSE(Exists(prefix + "/bin/velmora.ini"));
}

TEST_F(InstalledProgramTest, AnInstalledRunLeavesItsHistoryInTheDataFolder) {
    test::WriteFile(rig.Src("docs/a.txt"), "alpha");
    rig.Project(EngineRig::Fields({"c:\\docs"}));
    const std::string dataFolder = rig.drives.Base() + "/xdg/velmora";
    test::MakeDir(dataFolder);
    test::WriteDrivesIni(dataFolder, rig.drives, "cel");

    std::vector<std::string> environment = BaseEnvironment();
    environment.push_back("HOME=" + home);
    environment.push_back("XDG_DATA_HOME=" + rig.drives.Base() + "/xdg");
    const Finished finished =
        RunProgram({Runner(), rig.drives.HostRoot('l') + "/p.vlm", "--log-level", "none"},
                   environment, Output());

    EXPECT_EQ(finished.exitCode, 0) << finished.output;
    EXPECT_EQ(ReadFile(rig.Dst("VLMcopy_drive_c/docs/a.txt")), "alpha");
    ASSERT_TRUE(Exists(dataFolder + "/runoverview.his"));
    EXPECT_NE(ReadFile(dataFolder + "/runoverview.his").find("p.vlm"), std::string::npos);
    EXPECT_FALSE(Exists(prefix + "/bin/runoverview.his"));
    EXPECT_FALSE(Exists(rig.drives.HostRoot('l') + "/runoverview.his"));
}

}  // namespace
}  // namespace vlm
