// Damaged recent-projects files: the list reader of the main window's menus either shows its
// entries (no more than the maximum) or says what is wrong in its own boxes, and never crashes.
// The reader lives in the Qt layer, so this test joins only where that layer is built.

#ifdef VELMORA_WITH_GUI

#include <QApplication>
#include <QMenu>
#include <random>
#include <string>

#include "app/recent_projects.h"
#include "platform/host_calls.h"
#include "reliability_rig.h"

namespace vlm {
namespace {

#ifdef VELMORA_FAULT_INJECTION
using faults::Call;
#endif

QApplication& Application() {
    static int argc = 1;
    static char name[] = "reliability_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's globals are gone before static objects are.
    static QApplication* application = new QApplication(argc, argv);
    return *application;
}

std::string LongPath() {
    std::string path = "c:";
    while (path.size() < 10000)
        path += "\\folder";
    return path;
}

TEST(BadRecentListTest, DamagedListFilesGiveEntriesOrAClearMessage) {
    Application();
    std::mt19937 random(5);
    std::string binary(256 * 1024, '\0');
    for (char& c : binary)
        c = static_cast<char>(random());
    std::string many;
    for (int i = 0; i < 100000; ++i)
        many += "c:\\p" + std::to_string(i) + ".vlm\r\n";
    const struct {
        const char* name;
        std::string entries;
        std::string maximum;  // the contents of the maximum file; empty: no such file
        const char* box;      // the message expected, or nullptr for none
    } cases[] = {
        {"empty", "", "", nullptr},
        {"binary", binary, "", "count > maxhist??"},
        {"100,000 items", many, "", "count > maxhist??"},
        {"NUL in the middle", std::string("c:\\a.vlm\r\nc:\\b\0c.vlm\r\n", 22), "", nullptr},
        {"path of 10,000 characters", LongPath() + "\r\n", "", nullptr},
        {"one line of 8 MB", std::string(8u << 20, 'x'), "", nullptr},
        {"binary maximum", "c:\\a.vlm\r\n", binary, "Invalid number in editmax.his"},
        {"empty maximum", "c:\\a.vlm\r\n", "\r\n", "Invalid number in editmax.his"},
        {"huge maximum", many, "99999999999999999999", "Invalid number in editmax.his"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDrives drives("l");
        test::AnsweringDialogs dialogs;
        test::WriteFile(drives.Host("l:\\editfiles.his"), c.entries);
        if (!c.maximum.empty())
            test::WriteFile(drives.Host("l:\\editmax.his"), c.maximum);
        QMenu host;
        TMYcustomhistory list;
        list.SetMenuitem(&host);
        list.sethistname("editfiles.his");
        list.setmaxhistname("editmax.his");
        list.setmaxitemlenname("editmaxlen.his");
        list.LoadHistory("l:");
        if (c.box) {
            ASSERT_FALSE(dialogs.texts.empty());
            EXPECT_EQ(dialogs.texts.front(), c.box);
        } else {
            EXPECT_EQ(dialogs.texts, std::vector<std::string>{});
        }
        EXPECT_LE(list.EntryItems().size(), static_cast<std::size_t>(list.maxhist()));
        // The list can still take a new entry and store it.
        list.AddItem("c:\\new.vlm");
        EXPECT_EQ(list.HistoryList().front(), "c:\\new.vlm");
    }
}

#ifdef VELMORA_FAULT_INJECTION
// An entries file that is there but cannot be read is said so, and is not written over with
// an empty list at start (it used to be: the recent projects were gone).
TEST(BadRecentListTest, AnUnreadableListFileIsReportedAndKept) {
    Application();
    for (Call call : {Call::Open, Call::Read}) {
        test::TempDrives drives("l");
        test::AnsweringDialogs dialogs;
        const std::string entries = "c:\\a.vlm\r\nc:\\b.vlm\r\n";
        test::WriteFile(drives.Host("l:\\editfiles.his"), entries);
        QMenu host;
        TMYcustomhistory list;
        list.SetMenuitem(&host);
        list.sethistname("editfiles.his");
        list.setmaxhistname("editmax.his");
        list.setmaxitemlenname("editmaxlen.his");
        faults::Reset();
        faults::Arm(call, 1, EIO);
        list.LoadHistory("l:");
        faults::Reset();
        ASSERT_EQ(dialogs.texts.size(), 1u);
        EXPECT_EQ(dialogs.texts[0].rfind("Cannot read file \"l:\\editfiles.his\".", 0), 0u)
            << dialogs.texts[0];
        EXPECT_EQ(test::ReadFile(drives.Host("l:\\editfiles.his")), entries);
    }
}
#endif  // VELMORA_FAULT_INJECTION

}  // namespace
}  // namespace vlm

#endif
