// The program's own changing files are no part of any backup: a home folder that holds the
// program folder is backed up, verified and kept in versions without them.

#include "engine/own_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine_rig.h"
#include "support/runner_process.h"

namespace vlm {
namespace {

using test::EngineRig;

// Which files are the program's own: by name and by the folder they are in.
TEST(OwnFilesTest, TheProgramsOwnFilesAreKnownByNameAndFolder) {
    EngineRig rig;
    AppSettings settings;
    settings.ProgramFolder = DrivePath("c:\\home\\prog");
    settings.LogLocation = "c:\\home\\logs";
    test::MakeDir(rig.Src("home/prog"));
    test::MakeDir(rig.Src("home/logs"));
    const ProgramOwnFiles own(settings);
    struct Case {
        const char* path;
        bool own;
    };
    const Case cases[] = {
        {"c:\\home\\prog\\runoverview.his", true},
        {"c:\\home\\prog\\runoverview.his.lock", true},
        {"c:\\home\\prog\\runoverview.his.running", true},
        {"c:\\home\\prog\\velmora.ini", true},
        {"c:\\home\\prog\\drives.ini", true},
        {"c:\\home\\prog\\editfiles.his", true},
        {"c:\\home\\prog\\runmaxlen.his", true},
        {"c:\\home\\prog\\.~vlm0123456789ab.tmp", true},
        {"c:\\home\\logs\\Vlmlogtmp.txt", true},
        {"c:\\home\\logs\\croplog.tmp", true},
        {"c:\\home\\prog\\Reports\\2026-12-08-15-15-09 Normal ee42e5cf.txt", true},
        {"c:\\home\\prog\\mount-folders.txt", true},
        {"c:\\home\\prog\\connect-runs.txt", true},
        // The person's files beside them, and the same names elsewhere, are backed up.
        {"c:\\home\\prog\\Home.vlm", false},
        {"c:\\home\\prog\\notes.txt", false},
        {"c:\\home\\prog\\Vlmlogtmp.txt", false},
        {"c:\\home\\logs\\runoverview.his", false},
        {"c:\\home\\runoverview.his", false},
        {"c:\\home\\prog\\sub\\drives.ini", false},
        {"c:\\home\\prog\\velmora.ini.bak", false},
        {"c:\\home\\.~vlm0123456789ab.tmp", false},
        {"c:\\home\\prog\\Reports\\sub\\plan.txt", false},
        {"c:\\home\\Reports\\plan.txt", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(own.Holds(c.path), c.own) << c.path;
    EXPECT_FALSE(ProgramOwnFiles().Holds("c:\\home\\prog\\runoverview.his"));
}

std::vector<std::string> FilesBelow(const std::string& root) {
    std::vector<std::string> files;
    if (!std::filesystem::exists(root))
        return files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files.push_back(std::filesystem::relative(entry.path(), root).string());
    std::sort(files.begin(), files.end());
    return files;
}

// Ten runs of a home folder that holds the program folder, with versions kept: the program's
// own files are never copied nor kept as versions, the report says so once per run, and a
// verification after the runs finds the backup whole.
TEST(OwnFilesTest, AHomeFolderHoldingTheProgramFolderIsBackedUpWithoutIt) {
    ASSERT_TRUE(std::filesystem::exists(test::BuiltRunner()));
    EngineRig rig;
    const std::string program = rig.Src("home/prog");
    test::MakeDir(program);
    test::WriteDrivesIni(program, rig.drives, "ce");
    test::WriteFile(rig.Src("home/doc.txt"), "my document", 1600000000);
    ProjectFields fields = EngineRig::Fields({"c:\\home"});
    fields.versions = true;
    const std::string project = program + "/Home.vlm";
    test::WriteFile(project, ProjectFileText(fields));
    const std::string out = rig.drives.Base() + "/out.txt";
    const auto runner = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {project, "--program-folder", program});
        return test::RunRunner(args, {out, ""});
    };

    for (int run = 0; run < 3; ++run) {
        ASSERT_EQ(runner({"--log-level", "extended"}), 0) << test::ReadFile(out);
        const std::string printed = test::ReadFile(out);
        std::size_t said = 0;
        for (std::size_t at = printed.find(kOwnFilesLeftOut); at != std::string::npos;
             at = printed.find(kOwnFilesLeftOut, at + 1))
            ++said;
        EXPECT_EQ(said, 1u) << printed;
    }
    ASSERT_TRUE(std::filesystem::exists(program + "/runoverview.his"));
    ASSERT_TRUE(std::filesystem::exists(program + "/Vlmlogtmp.txt"));
    EXPECT_EQ(FilesBelow(rig.Dst("VLMcopy_drive_c/home")),
              (std::vector<std::string>{"doc.txt", "prog/Home.vlm"}));
    // Nothing was replaced or removed: the versions hold at most the lists of what runs added.
    for (const std::string& kept : FilesBelow(rig.Dst("VLMversions_drive_c")))
        EXPECT_NE(kept.find(".added"), std::string::npos) << kept;

    EXPECT_EQ(runner({"--verify"}), 0) << test::ReadFile(out);
    EXPECT_NE(test::ReadFile(out).find("2 files the same, 0 differences\n"), std::string::npos)
        << test::ReadFile(out);
}

}  // namespace
}  // namespace vlm
