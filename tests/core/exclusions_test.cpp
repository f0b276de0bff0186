#include "core/exclusions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/project_file.h"

namespace vlm {
namespace {

TEST(Exclusions, PatternsMatchByTheWrittenRule) {
    struct Case {
        const char* pattern;
        const char* path;
        bool isFolder;
        bool excluded;  // by ExclusionList::Excludes, folders above the entry included
    };
    const std::vector<Case> cases = {
        // A name pattern matches at any depth, files and folders alike.
        {"*.tmp", "a.tmp", false, true},
        {"*.tmp", "deep/er/a.tmp", false, true},
        {"*.tmp", "a.tmp.txt", false, false},
        {"*.tmp", "x.tmp/keep.txt", false, true},  // inside a folder that matches
        // "*" stays within one component; "?" takes one character, a whole UTF-8 one.
        {"a*c", "abbbc", false, true},
        {"a*c", "ab/c", false, false},
        {"*", "anything", false, true},
        {"?.txt", "ä.txt", false, true},
        {"?.txt", "ab.txt", false, false},
        {"a*b*c", "aXbYbZc", false, true},
        {"a*b*c", "aXbYc.d", false, false},
        // A trailing "/" is for folders only; what is inside goes with the folder.
        {".cache/", ".cache", true, true},
        {".cache/", ".cache", false, false},
        {".cache/", "home/.cache/fontconfig/x", false, true},
        {"node_modules/", "web/app/node_modules", true, true},
        // With a "/" inside or in front, the pattern is anchored at the item.
        {"Photos/*.raw", "Photos/a.raw", false, true},
        {"Photos/*.raw", "Old/Photos/a.raw", false, false},
        {"/build/", "build", true, true},
        {"/build/", "src/build", true, false},
        {"/build", "build/obj/x.o", false, true},
        // "**" takes none or more components.
        {"**/Trash/", "Trash", true, true},
        {"**/Trash/", "a/b/Trash", true, true},
        {"**/Trash/", "a/b/Trash", false, false},
        {"a/**/b", "a/b", false, true},
        {"a/**/b", "a/x/y/b", false, true},
        {"a/**/b", "x/a/b", false, false},
        {"**", "any/thing", false, true},
        // Backslashes read as slashes on both sides; case counts.
        {"Photos\\*.raw", "Photos\\a.raw", false, true},
        {"*.TMP", "a.tmp", false, false},
        // Blank patterns leave nothing out.
        {"", "a", false, false},
        {"  ", "a", false, false},
        {"/", "a", true, false},
    };
    for (const Case& c : cases) {
        const ExclusionList list({c.pattern});
        EXPECT_EQ(list.Excludes(c.path, c.isFolder), c.excluded)
            << "pattern \"" << c.pattern << "\", path \"" << c.path << "\"";
    }
}

TEST(Exclusions, AreNumberedProjectLinesReadUpToTheFirstGapAndWrittenBack) {
    const ProjectText read = ProjectText::Parse(
        "vlmproject=ok\r\nitem1=c:\\Data\r\nexclude1=*.tmp\r\nEXCLUDE2=.cache/\r\n"
        "exclude4=never read\r\nverify=Y\r\n");
    EXPECT_EQ(read.Exclusions(), (std::vector<std::string>{"*.tmp", ".cache/"}));
    EXPECT_TRUE(ReadRunOptions(read).verify);

    ProjectFields fields = ReadEditorFields(read);
    EXPECT_TRUE(fields.verify);
    const std::string text = ProjectFileText(fields);
    EXPECT_NE(text.find("item1=c:\\Data\r\nexclude1=*.tmp\r\nexclude2=.cache/\r\nverify=Y\r\n"),
              std::string::npos)
        << text;

    // Without them a project is written as it always was.
    fields.exclusions.clear();
    fields.verify = false;
    EXPECT_EQ(ProjectFileText(fields).find("exclude"), std::string::npos);
    EXPECT_EQ(ProjectFileText(fields).find("verify"), std::string::npos);
    // An empty pattern would cut the list short on reading: such fields are refused.
    fields.exclusions = {"*.tmp", "", "*.bak"};
    EXPECT_FALSE(ProjectFileCanHold(fields));
}

}  // namespace
}  // namespace vlm
