// The size checks of the project editor on real trees: the selected size, the destination's
// free size, and the future free size by arithmetic or by the write-once virtual pass.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdint>
#include <string>

#include "editor/exclusions_panel.h"
#include "gui/editor_rig.h"
#include "platform/volumes.h"
#include "util/text_helpers.h"

namespace vlm {
namespace {

using test::EditorRig;
using test::MakeSizedFile;
using test::ReadTree;
using test::WriteFile;
using ::testing::ElementsAre;

constexpr std::time_t kMonday = 1700000000;  // a fixed modification time for copies

class EditorSizeChecksTest : public EditorRig {
protected:
    static std::int64_t Figure(const QLabel* label) {
        return std::stoll(label->text().remove(QLatin1Char('.')).toStdString());
    }
    void UseDestination(const char* drive, const char* kind) {
        E().destdriveC->setEditText(drive);
        E().destkindC->setEditText(kind);
    }
    // c:\data with two files, and optionally their unchanged copies where a run to e: puts them.
    void MakeDataAndCopies(bool withCopies) {
        WriteFile(drives.Host("c:\\data\\a.bin"), std::string(1000, 'a'), kMonday);
        WriteFile(drives.Host("c:\\data\\sub\\b.bin"), std::string(3000, 'b'), kMonday);
        if (!withCopies)
            return;
        WriteFile(drives.Host("e:\\VLMcopy_drive_c\\data\\a.bin"), std::string(1000, 'a'), kMonday);
        WriteFile(drives.Host("e:\\VLMcopy_drive_c\\data\\sub\\b.bin"), std::string(3000, 'b'),
                  kMonday);
    }
};

TEST_F(EditorSizeChecksTest, AllFiguresStartUnchecked) {
    Open();
    for (const QLabel* label : {E().selsizeL, E().actfreesizeL, E().futfreesizeL})
        EXPECT_EQ(label->text().toStdString(), "not checked");
}

TEST_F(EditorSizeChecksTest, TheSelectedSizeAddsFilesAndWholeFolders) {
    MakeSizedFile(drives.Host("c:\\one.bin"), 1500);
    MakeSizedFile(drives.Host("c:\\tree\\deep\\two.bin"), 2000000);
    Open();
    AddItems({"c:\\one.bin", "c:\\tree"});
    E().checkselsizeB->click();
    EXPECT_EQ(E().selsizeL->text().toStdString(), "2.001.500");
    EXPECT_EQ(E().StatusText(), "");
}

TEST_F(EditorSizeChecksTest, WhatTheFormLeavesOutIsNoPartOfTheSizes) {
    MakeSizedFile(drives.Host("c:\\tree\\keep.bin"), 1500);
    MakeSizedFile(drives.Host("c:\\tree\\cache\\big.bin"), 2000000);
    MakeSizedFile(drives.Host("c:\\tree\\x.tmp"), 300);
    Open();
    AddItem("c:\\tree");
    E().exclusionsP->SetPatterns({"cache/", "*.tmp"});
    UseDestination("e:", "HD");
    E().checkfutfreesizeB->click();
    EXPECT_EQ(E().selsizeL->text().toStdString(), "1.500");
    EXPECT_EQ(Figure(E().futfreesizeL), Figure(E().actfreesizeL) - 1500);
}

TEST_F(EditorSizeChecksTest, AMissingItemIsNamedAndStopsCheckAllBeforeTheFutureSize) {
    MakeSizedFile(drives.Host("c:\\one.bin"), 1500);
    Open();
    AddItems({"c:\\gone", "c:\\one.bin", "c:\\lost.txt"});
    UseDestination("e:", "HD");
    E().checkfutfreesizeB->click();
    EXPECT_THAT(dialogs.TextsOf(BoxType::Error),
                ElementsAre("Item c:\\gone does not exist! Please check.",
                            "Item c:\\lost.txt does not exist! Please check."));
    EXPECT_EQ(E().selsizeL->text().toStdString(), "1.500");
    EXPECT_EQ(E().actfreesizeL->text().toStdString(), "not checked");
    EXPECT_EQ(E().futfreesizeL->text().toStdString(), "not checked");
    EXPECT_EQ(E().StatusText(), "");
}

TEST_F(EditorSizeChecksTest, AnEmptyListLeavesTheFutureSizeAtTheActualOne) {
    Open();
    UseDestination("e:", "HD");
    E().checkfutfreesizeB->click();
    EXPECT_TRUE((dialogs.Boxes()).empty());
    EXPECT_EQ(E().selsizeL->text().toStdString(), "0");
    EXPECT_EQ(E().futfreesizeL->text(), E().actfreesizeL->text());
    EXPECT_GT(Figure(E().actfreesizeL), 0);
}

TEST_F(EditorSizeChecksTest, ItemsAlreadyCopiedAreTakenToBeReplacedByTheirSources) {
    MakeDataAndCopies(true);
    Open();
    AddItem("c:\\data");
    UseDestination("e: <Fixed>", "HD");
    E().checkfutfreesizeB->click();
    EXPECT_TRUE((dialogs.Boxes()).empty());
    EXPECT_EQ(E().selsizeL->text().toStdString(), "4.000");
    EXPECT_EQ(E().futfreesizeL->text(), E().actfreesizeL->text());
}

TEST_F(EditorSizeChecksTest, NewItemsLowerTheFutureSizeByTheirSize) {
    MakeDataAndCopies(false);
    Open();
    AddItem("c:\\data");
    UseDestination("<default>", "USB-stick8GB");
    E().checkfutfreesizeB->click();
    EXPECT_EQ(Figure(E().futfreesizeL), Figure(E().actfreesizeL) - 4000);
}

TEST_F(EditorSizeChecksTest, AnAbsentDriveIsInvalidForBothChecks) {
    for (const char* drive : {"q: <Unknown>", "?", "<default>"}) {
        SCOPED_TRACE(drive);
        settings.BackupLocation = "q:\\Backup";
        Open();
        UseDestination(drive, "HD");
        E().CheckactfreesizeB->click();
        EXPECT_THAT(dialogs.TextsOf(BoxType::Error),
                    ElementsAre("Chosen destination drive invalid or not ready!"));
        dialogs.ClearRecord();
        E().checkfutfreesizeB->click();
        EXPECT_THAT(dialogs.TextsOf(BoxType::Error),
                    ElementsAre("Chosen destination drive invalid or not ready!"));
        EXPECT_EQ(E().actfreesizeL->text().toStdString(), "not checked");
        EXPECT_EQ(E().StatusText(), "");
        dialogs.ClearRecord();
    }
}

TEST_F(EditorSizeChecksTest, AnEmptyDestinationAsksForOneFirst) {
    Open();
    E().destdriveC->setEditText("");
    E().CheckactfreesizeB->click();
    E().checkfutfreesizeB->click();
    EXPECT_THAT(dialogs.TextsOf(BoxType::Plain),
                ElementsAre("Select destination drive first and make it ready!",
                            "Select destination first and make drive ready!"));
}

TEST_F(EditorSizeChecksTest, ASynchronisingProjectChecksTheDriveOfItsDestination) {
    settings.ShowSyncOption = true;
    MakeDataAndCopies(false);
    Open();
    E().syncCB->click();
    AddItem("c:\\data");
    E().syncdestE->setText("e:\\Mirror");
    E().CheckactfreesizeB->click();
    EXPECT_TRUE((dialogs.Boxes()).empty());
    EXPECT_GT(Figure(E().actfreesizeL), 0);
    E().checkfutfreesizeB->click();
    EXPECT_TRUE(handOver.SyncMode);
    EXPECT_EQ(handOver.SyncDest, "e:\\Mirror");
    EXPECT_EQ(Figure(E().futfreesizeL), Figure(E().actfreesizeL) - 4000);
}

TEST_F(EditorSizeChecksTest, ANegativeFutureSizeWarnsOnce) {
    const std::int64_t free = DiskFreeBytes('c');
    ASSERT_GT(free, 0);
    MakeSizedFile(drives.Host("c:\\huge.bin"), static_cast<std::uint64_t>(free) * 2 + 1000000);
    Open();
    AddItem("c:\\huge.bin");
    UseDestination("e:", "HD");
    E().checkfutfreesizeB->click();
    const std::string future = E().futfreesizeL->text().toStdString();
    ASSERT_FALSE(future.empty());
    EXPECT_EQ(future[0], '-');
    EXPECT_EQ(future, GroupThousands(Figure(E().futfreesizeL)));
    EXPECT_THAT(dialogs.TextsOf(BoxType::Plain),
                ElementsAre("Attention, if you run this project you could run out of space"));
}

TEST_F(EditorSizeChecksTest, OnWriteOnceMediaUnchangedCopiesCostNothingAndChangedOnesTheirSize) {
    MakeDataAndCopies(true);
    Open();
    AddItem("c:\\data");
    UseDestination("e:", "cdr");
    const auto before = ReadTree(drives.HostRoot('e'));

    E().checkfutfreesizeB->click();
    EXPECT_TRUE((dialogs.Boxes()).empty());
    EXPECT_EQ(E().futfreesizeL->text(), E().actfreesizeL->text());

    // A newer source file would be written again in full: the old copy's space is not given back.
    test::SetMtime(drives.Host("c:\\data\\sub\\b.bin"), kMonday + 3600);
    E().destkindC->setEditText("DVDR");
    E().checkfutfreesizeB->click();
    EXPECT_EQ(Figure(E().futfreesizeL), Figure(E().actfreesizeL) - 3000);

    EXPECT_EQ(ReadTree(drives.HostRoot('e')), before);
    EXPECT_FALSE(test::Exists(drives.Host("c:\\logs\\Vlmlogtmp.txt")));
    EXPECT_FALSE(run.EstimateRunning);
    EXPECT_TRUE(run.ConfirmOn);
}

TEST_F(EditorSizeChecksTest, TheWindowCannotBeClosedOrUsedWhileTheWriteOnceEstimateRuns) {
    for (int i = 0; i < 5; ++i)
        WriteFile(drives.Host("c:\\data\\f" + std::to_string(i) + ".bin"), "12345");
    Open();
    AddItem("c:\\data");
    UseDestination("e:", "CDR");

    bool sawRunning = false, controlsWereEnabled = true;
    QTimer::singleShot(0, [&] {
        sawRunning = E().EstimateRunning();
        controlsWereEnabled = E().SaveprojB->isEnabled() || E().AddfnB->isEnabled();
        Press(&E(), Qt::Key_Escape);
        E().close();
        E().reject();
        E().checkfutfreesizeB->click();
    });
    E().checkfutfreesizeB->click();

    EXPECT_TRUE(sawRunning);
    EXPECT_FALSE(controlsWereEnabled);
    EXPECT_TRUE(E().isVisible());
    EXPECT_TRUE(handOver.EditorOpen);
    EXPECT_FALSE(E().EstimateRunning());
    EXPECT_TRUE(E().SaveprojB->isEnabled());
    EXPECT_EQ(Figure(E().futfreesizeL), Figure(E().actfreesizeL) - 25);

    // Once the estimate has ended, Escape closes as always.
    Press(E().projnameE, Qt::Key_Escape);
    EXPECT_FALSE(E().isVisible());
}

TEST_F(EditorSizeChecksTest, EnterMeasuresTheSelectedSize) {
    MakeSizedFile(drives.Host("c:\\one.bin"), 1234);
    Open();
    AddItem("c:\\one.bin");
    // In the field of what to leave out, Enter adds the pattern only.
    E().exclusionsP->excludeE->setText(QStringLiteral("*.tmp"));
    Press(E().exclusionsP->excludeE, Qt::Key_Return);
    EXPECT_EQ(E().exclusionsP->Patterns(), std::vector<std::string>{"*.tmp"});
    EXPECT_EQ(E().selsizeL->text().toStdString(), "not checked");
    Press(E().projnameE, Qt::Key_Return);
    EXPECT_EQ(E().selsizeL->text().toStdString(), "1.234");
}

}  // namespace
}  // namespace vlm
