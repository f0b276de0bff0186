#include "app/recent_projects.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "gui/qt_test_app.h"
#include "support/scripted_dialogs.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

using test::ReadFile;
using test::TempDrives;
using test::WriteFile;

constexpr const char* kProgramFolder = "c:\\prog";

std::vector<std::string> Texts(const QList<QAction*>& actions) {
    std::vector<std::string> texts;
    for (const QAction* action : actions)
        texts.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    return texts;
}

// The edit list of the main window over a temporary program folder, its host menu already
// holding "&Browse..." and a separator.
class RecentProjectsTest : public ::testing::Test {
protected:
    RecentProjectsTest() {
        test::MakeDir(drives.Host(kProgramFolder));
        host->addAction(QStringLiteral("&Browse..."));
        host->addSeparator();
        history.SetMenuitem(host.get());
        history.sethistname(QStringLiteral("editfiles.his"));
        history.setmaxhistname(QStringLiteral("editmax.his"));
        history.setmaxitemlenname(QStringLiteral("editmaxlen.his"));
    }

    std::string Host(const char* name) const {
        return drives.Host(std::string(kProgramFolder) + "\\" + name);
    }
    void WriteEntries(const std::vector<std::string>& entries) {
        std::string text;
        for (const std::string& entry : entries)
            text += entry + "\r\n";
        WriteFile(Host("editfiles.his"), text);
    }
    std::string EntriesFile() const { return ReadFile(Host("editfiles.his")); }
    void Load() { history.LoadHistory(kProgramFolder); }
    std::vector<std::string> RemoveTexts() const { return Texts(history.RemoveItems()); }

    test::WithQtApplication qt;
    TempDrives drives{"c"};
    ScriptedDialogs dialogs;
    std::unique_ptr<QMenu> host = std::make_unique<QMenu>();
    TMYcustomhistory history;
};

TEST_F(RecentProjectsTest, LoadBuildsTheHistoryMenuAfterTheHostItems) {
    WriteEntries({"c:\\p\\a.vlm", "c:\\p\\b.vlm"});
    Load();

    EXPECT_EQ(history.maxhist(), 10);
    EXPECT_EQ(history.maxitemlen(), 2000);
    EXPECT_EQ(Texts(host->actions()),
              (std::vector<std::string>{"&Browse...", "-", ">>>", "c:\\p\\a.vlm", "c:\\p\\b.vlm"}));
    EXPECT_EQ(host->actions()[2]->menu(), history.HistoryMenu());
    EXPECT_EQ(host->actions()[2]->data().toInt(), TMYcustomhistory::kHistoryMenuTag);
    EXPECT_EQ(Texts(history.HistoryMenu()->actions()),
              (std::vector<std::string>{"HISTORY MENU:", "-", "Set &max. history items", "-",
                                        "Set ma&x. length per item", "-", "Remove ALL history", "-",
                                        "remove c:\\p\\a.vlm", "remove c:\\p\\b.vlm"}));
    EXPECT_EQ(history.EntryItems()[1]->data().toInt(), 1);
    EXPECT_EQ(history.RemoveItems()[1]->data().toInt(), 1);
    EXPECT_EQ(history.EntriesFilePath(), "c:\\prog\\editfiles.his");
    EXPECT_TRUE((dialogs.Texts()).empty());
}

TEST_F(RecentProjectsTest, AddingAnEqualPathMovesItToTheTopInTheNewLetterCase) {
    WriteEntries({"c:\\P\\A.vlm", "c:\\p\\b.vlm"});
    Load();

    history.AddItem("c:\\p\\a.vlm");

    EXPECT_EQ(history.HistoryList(), (std::vector<std::string>{"c:\\p\\a.vlm", "c:\\p\\b.vlm"}));
    EXPECT_EQ(EntriesFile(), "c:\\p\\a.vlm\r\nc:\\p\\b.vlm\r\n");
    EXPECT_EQ(Texts(history.EntryItems()),
              (std::vector<std::string>{"c:\\p\\a.vlm", "c:\\p\\b.vlm"}));
}

TEST_F(RecentProjectsTest, OfTwoEqualEntriesTheLastOneMoves) {
    WriteEntries({"c:\\p\\A.vlm", "c:\\q.vlm", "c:\\P\\a.vlm"});
    Load();

    history.AddItem("c:\\p\\a.VLM");

    EXPECT_EQ(history.HistoryList(),
              (std::vector<std::string>{"c:\\p\\a.VLM", "c:\\p\\A.vlm", "c:\\q.vlm"}));
}

TEST_F(RecentProjectsTest, OnlyTheLettersAToZAreComparedWithoutCase) {
    WriteEntries({"c:\\\xC3\xA9T\xC3\xA9.vlm"});  // "éTé"
    Load();

    history.AddItem("c:\\\xC3\x89t\xC3\x89.vlm");  // "ÉtÉ": other bytes, not the same entry

    EXPECT_EQ(history.HistoryList().size(), 2u);
}

TEST_F(RecentProjectsTest, TheEleventhPathDropsTheOldest) {
    Load();
    for (int i = 1; i <= 11; ++i)
        history.AddItem("c:\\p\\" + std::to_string(i) + ".vlm");

    ASSERT_EQ(history.HistoryList().size(), 10u);
    EXPECT_EQ(history.HistoryList().front(), "c:\\p\\11.vlm");
    EXPECT_EQ(history.HistoryList().back(), "c:\\p\\2.vlm");
    EXPECT_EQ(history.EntryItems().size(), 10);
    EXPECT_TRUE((dialogs.Texts()).empty());
}

TEST_F(RecentProjectsTest, AMaximumOfZeroDropsEveryPathAtOnce) {
    WriteFile(Host("editmax.his"), "0\r\n");
    Load();

    history.AddItem("c:\\p\\a.vlm");

    EXPECT_TRUE((history.HistoryList()).empty());
    EXPECT_TRUE(history.EntryItems().isEmpty());
    EXPECT_EQ(EntriesFile(), "");
    EXPECT_TRUE((dialogs.Texts()).empty());
}

TEST_F(RecentProjectsTest, SettingTheMaximumToThreeKeepsTheThreeNewest) {
    WriteEntries({"c:\\1", "c:\\2", "c:\\3", "c:\\4", "c:\\5"});
    Load();
    dialogs.ExpectInput("3");

    history.SetMaxHistClick();

    ASSERT_EQ(dialogs.Inputs().size(), 1u);
    EXPECT_EQ(dialogs.Inputs()[0].caption, "Set maximum history items");
    EXPECT_EQ(dialogs.Inputs()[0].prompt, "Give maximum history items (max. 100)");
    EXPECT_EQ(dialogs.Inputs()[0].value, "10");
    EXPECT_EQ(history.maxhist(), 3);
    EXPECT_EQ(history.HistoryList(), (std::vector<std::string>{"c:\\1", "c:\\2", "c:\\3"}));
    EXPECT_EQ(EntriesFile(), "c:\\1\r\nc:\\2\r\nc:\\3\r\n");
    EXPECT_EQ(ReadFile(Host("editmax.his")), "3\r\n");
    EXPECT_EQ(RemoveTexts(),
              (std::vector<std::string>{"remove c:\\1", "remove c:\\2", "remove c:\\3"}));
}

TEST_F(RecentProjectsTest, SettingTheItemLengthShortensTheCaptionsAndIsKept) {
    WriteEntries({"c:\\projects\\x.vlm"});
    Load();
    dialogs.ExpectInput("12");

    history.SetMaxItemLenClick();

    ASSERT_EQ(dialogs.Inputs().size(), 1u);
    EXPECT_EQ(dialogs.Inputs()[0].caption, "Set maximum length of one history item");
    EXPECT_EQ(dialogs.Inputs()[0].prompt, "Give maximum length of one history item (max. 10000)");
    EXPECT_EQ(dialogs.Inputs()[0].value, "2000");
    EXPECT_EQ(history.maxitemlen(), 12);
    EXPECT_EQ(Texts(history.EntryItems()), (std::vector<std::string>{"...cts\\x.vlm"}));
    EXPECT_EQ(RemoveTexts(), (std::vector<std::string>{"remove ...lm"}));
    EXPECT_EQ(ReadFile(Host("editmaxlen.his")), "12\r\n");
}

TEST_F(RecentProjectsTest, InvalidNumbersChangeNothing) {
    struct Case {
        bool itemLength;
        std::optional<std::string> answer;
        std::vector<std::string> errors;
    };
    const std::vector<Case> cases = {
        {false, "abc", {"Invalid number!!"}},
        {false, "", {"Invalid number!!"}},
        {false, "101", {"Number must be between 0 and 100"}},
        {false, "-1", {"Number must be between 0 and 100"}},
        {false, std::nullopt, {}},
        {true, "x1", {"Invalid number!!"}},
        {true, "10001", {"Number must be between 0 and 10000"}},
        {true, std::nullopt, {}},
    };
    WriteEntries({"c:\\1", "c:\\2"});
    Load();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer.value_or("(cancel)"));
        dialogs.ClearRecord();
        dialogs.ExpectInput(c.answer);

        if (c.itemLength)
            history.SetMaxItemLenClick();
        else
            history.SetMaxHistClick();

        EXPECT_EQ(dialogs.TextsOf(BoxType::Error), c.errors);
        EXPECT_EQ(dialogs.Boxes().size(), c.errors.size());
        EXPECT_EQ(history.maxhist(), 10);
        EXPECT_EQ(history.maxitemlen(), 2000);
        EXPECT_EQ(history.HistoryList().size(), 2u);
        EXPECT_FALSE(test::Exists(Host("editmax.his")));
        EXPECT_FALSE(test::Exists(Host("editmaxlen.his")));
    }
}

TEST_F(RecentProjectsTest, UnreadableNumberFilesWarnAndFallBackToTheDefaults) {
    WriteFile(Host("editmax.his"), "ten\r\n");
    WriteFile(Host("editmaxlen.his"), "");
    Load();

    EXPECT_EQ(history.maxhist(), 10);
    EXPECT_EQ(history.maxitemlen(), 2000);
    EXPECT_EQ(dialogs.TextsOf(BoxType::Warning),
              (std::vector<std::string>{"Invalid number in editmax.his",
                                        "Invalid number in editmaxlen.his"}));
    EXPECT_EQ(ReadFile(Host("editmax.his")), "ten\r\n");  // left as they are
}

TEST_F(RecentProjectsTest, NumberFilesAreReadFromTheirFirstLine) {
    WriteFile(Host("editmax.his"), "4\r\nrest");
    WriteFile(Host("editmaxlen.his"), "30");
    Load();

    EXPECT_EQ(history.maxhist(), 4);
    EXPECT_EQ(history.maxitemlen(), 30);
}

TEST_F(RecentProjectsTest, ALongPathShowsThreeDotsAndItsLastCharacters) {
    const std::string path = "c:\\projects\\archive\\2026\\weekly-full.vlm";  // 40 characters
    ASSERT_EQ(path.size(), 40u);
    WriteFile(Host("editmaxlen.his"), "20\r\n");
    WriteEntries({path});
    Load();

    EXPECT_EQ(Texts(history.EntryItems()), (std::vector<std::string>{"..." + path.substr(23)}));
    EXPECT_EQ(RemoveTexts(), (std::vector<std::string>{"remove ..." + path.substr(30)}));
}

TEST_F(RecentProjectsTest, AnAmpersandInAPathIsShownAsItIs) {
    WriteEntries({"c:\\R&D\\x.vlm"});
    Load();

    ASSERT_EQ(history.EntryItems().size(), 1);
    EXPECT_EQ(history.EntryItems()[0]->text(), QStringLiteral("c:\\R&&D\\x.vlm"));
    EXPECT_EQ(history.EntryItems()[0]->iconText(), QStringLiteral("c:\\R&D\\x.vlm"));
}

TEST_F(RecentProjectsTest, RemoveAllOnAnEmptyListOnlySaysSo) {
    Load();

    history.RemoveAllClick();

    EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{"History is already empty!"}));
    EXPECT_EQ(dialogs.Count(BoxType::Plain), 1);
}

TEST_F(RecentProjectsTest, RemoveAllAsksAndEmptiesTheListOnYesOnly) {
    WriteEntries({"c:\\1", "c:\\2"});
    Load();

    dialogs.ExpectQuestion(BoxType::Warning, "Really want to remove all history items??",
                           Answer::No);
    history.RemoveAllClick();
    EXPECT_EQ(history.HistoryList().size(), 2u);
    EXPECT_EQ(EntriesFile(), "c:\\1\r\nc:\\2\r\n");

    dialogs.ExpectQuestion(BoxType::Warning, "Really want to remove all history items??",
                           Answer::Yes);
    history.RemoveAllClick();
    EXPECT_TRUE((history.HistoryList()).empty());
    EXPECT_TRUE(history.EntryItems().isEmpty());
    EXPECT_TRUE(history.RemoveItems().isEmpty());
    EXPECT_EQ(EntriesFile(), "");
}

TEST_F(RecentProjectsTest, ARemoveItemRemovesItsEntry) {
    WriteEntries({"c:\\1", "c:\\2", "c:\\3"});
    Load();

    history.RemoveItems()[1]->trigger();

    EXPECT_EQ(history.HistoryList(), (std::vector<std::string>{"c:\\1", "c:\\3"}));
    EXPECT_EQ(EntriesFile(), "c:\\1\r\nc:\\3\r\n");
    EXPECT_EQ(Texts(host->actions()),
              (std::vector<std::string>{"&Browse...", "-", ">>>", "c:\\1", "c:\\3"}));
}

TEST_F(RecentProjectsTest, ChoosingAnEntryMovesItUpAndReportsItsPath) {
    WriteEntries({"c:\\1", "c:\\2", "c:\\3"});
    Load();
    std::vector<std::string> clicked;
    QObject::connect(&history, &TMYcustomhistory::itemClicked,
                     [&](const QString& path) { clicked.push_back(path.toStdString()); });

    history.EntryItems()[2]->trigger();

    EXPECT_EQ(clicked, (std::vector<std::string>{"c:\\3"}));
    EXPECT_EQ(history.HistoryList(), (std::vector<std::string>{"c:\\3", "c:\\1", "c:\\2"}));
    EXPECT_TRUE((dialogs.Texts()).empty());
}

TEST_F(RecentProjectsTest, ChoosingAnEntryWithNobodyListeningSaysSo) {
    WriteEntries({"c:\\1", "c:\\2"});
    Load();

    history.HistItemClick(1);

    EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{"onitemclicked not assigned yet"}));
    EXPECT_EQ(history.HistoryList(), (std::vector<std::string>{"c:\\2", "c:\\1"}));
}

TEST_F(RecentProjectsTest, AListLongerThanItsMaximumIsShownUpToTheMaximumAndKept) {
    std::vector<std::string> twelve;
    for (int i = 1; i <= 12; ++i)
        twelve.push_back("c:\\" + std::to_string(i));
    WriteEntries(twelve);
    Load();

    EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{"count > maxhist??"}));
    EXPECT_EQ(history.EntryItems().size(), 10);
    EXPECT_EQ(history.HistoryList().size(), 12u);
    const std::string file = EntriesFile();
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 12);
}

TEST_F(RecentProjectsTest, LinesOfTheEntriesFileAreTakenAsTheyAre) {
    WriteFile(Host("editfiles.his"), " c:\\a \nc:\\a\n\nc:\\b");
    Load();

    EXPECT_EQ(history.HistoryList(), (std::vector<std::string>{" c:\\a ", "c:\\a", "", "c:\\b"}));
}

TEST_F(RecentProjectsTest, DisabledEntriesCannotBeChosen) {
    WriteEntries({"c:\\1"});
    history.SetEnabled(false);
    Load();
    ASSERT_EQ(history.EntryItems().size(), 1);
    EXPECT_FALSE(history.EntryItems()[0]->isEnabled());

    history.SetEnabled(true);
    EXPECT_TRUE(history.EntryItems()[0]->isEnabled());
    EXPECT_TRUE(history.RemoveItems()[0]->isEnabled());
}

TEST_F(RecentProjectsTest, AnEntriesFileThatCannotBeWrittenIsReported) {
    test::MakeDir(Host("editfiles.his"));  // a folder where the file should be
    Load();
    dialogs.ClearRecord();

    history.AddItem("c:\\p\\a.vlm");

    ASSERT_EQ(dialogs.Count(BoxType::Error), 1);
    EXPECT_EQ((dialogs.TextsOf(BoxType::Error)[0])
                  .rfind("Cannot create file \"c:\\prog\\editfiles.his\".", 0),
              0u)
        << dialogs.TextsOf(BoxType::Error)[0];
}

TEST_F(RecentProjectsTest, AMaximumThatCannotBeSavedStaysInForce) {
    test::MakeDir(Host("editmax.his"));
    Load();
    dialogs.ExpectInput("5");

    history.SetMaxHistClick();

    EXPECT_EQ(
        dialogs.TextsOf(BoxType::Error),
        (std::vector<std::string>{"Unable to save max history file c:\\prog\\editmax.his!!"}));
    EXPECT_EQ(history.maxhist(), 5);
}

TEST_F(RecentProjectsTest, TheListSurvivesIntoTheNextStart) {
    Load();
    history.AddItem("c:\\p\\a.vlm");
    history.AddItem("c:\\p\\b.vlm");

    QMenu otherHost;
    TMYcustomhistory again;
    again.SetMenuitem(&otherHost);
    again.sethistname(QStringLiteral("editfiles.his"));
    again.LoadHistory(kProgramFolder);

    EXPECT_EQ(again.HistoryList(), (std::vector<std::string>{"c:\\p\\b.vlm", "c:\\p\\a.vlm"}));
}

// Two windows (or two programs) keep lists of one file. Each change is made to the file as it
// is at that moment, so neither writes its old list over what the other added or removed, and
// each list then shows the file.
TEST_F(RecentProjectsTest, TwoListsOfOneFileLoseNoChange) {
    enum class Op { Add, RemoveFirst, RemoveLast };
    struct Step {
        int who;
        Op op;
        std::string path;  // Add
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::string file;
    };
    const std::vector<Case> cases = {
        {"both add",
         {{0, Op::Add, "c:\\a"}, {1, Op::Add, "c:\\b"}, {0, Op::Add, "c:\\c"}},
         "c:\\c\r\nc:\\b\r\nc:\\a\r\nc:\\old\r\n"},
        {"one moves an entry the other added up",
         {{1, Op::Add, "c:\\b"}, {0, Op::Add, "c:\\a"}, {1, Op::Add, "c:\\OLD"}},
         "c:\\OLD\r\nc:\\a\r\nc:\\b\r\n"},
        {"a remove takes only its own entry",
         {{0, Op::Add, "c:\\a"}, {1, Op::Add, "c:\\b"}, {0, Op::RemoveFirst, ""}},
         "c:\\b\r\nc:\\old\r\n"},
        {"a remove of an entry already gone removes nothing else",
         {{1, Op::RemoveLast, ""}, {1, Op::Add, "c:\\b"}, {0, Op::RemoveLast, ""}},
         "c:\\b\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteEntries({"c:\\old"});
        QMenu hosts[2];
        TMYcustomhistory lists[2];
        for (int who = 0; who < 2; ++who) {
            lists[who].SetMenuitem(&hosts[who]);
            lists[who].sethistname(QStringLiteral("editfiles.his"));
            lists[who].LoadHistory(kProgramFolder);
        }
        for (const Step& step : c.steps) {
            TMYcustomhistory& list = lists[step.who];
            if (step.op == Op::Add)
                list.AddItem(step.path);
            else
                list.RemoveItemClick(step.op == Op::RemoveFirst
                                         ? 0
                                         : static_cast<int>(list.HistoryList().size()) - 1);
            std::string text;
            for (const std::string& entry : list.HistoryList())
                text += entry + "\r\n";
            EXPECT_EQ(EntriesFile(), text);  // the list shows what was written
            EXPECT_EQ(list.EntryItems().size(), static_cast<int>(list.HistoryList().size()));
        }
        EXPECT_EQ(EntriesFile(), c.file);
        EXPECT_TRUE(dialogs.Texts().empty());
    }
}

}  // namespace
}  // namespace vlm
