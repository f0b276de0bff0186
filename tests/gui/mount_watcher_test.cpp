// A mount while the program is open reads the drive table again, but never under a run.

#include "app/mount_watcher.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <string>

#include "gui/qt_test_app.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

// Lets the message loop run until `done` holds or `ms` have passed.
template <typename Done>
bool WaitFor(Done done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

TEST(MountTableWatcherTest, AMountReadsTheDriveTableAgainOnceNoRunHoldsIt) {
    test::EnsureQtApplication();
    test::TempDrives drives("c");
    const std::string program = drives.Base() + "/program";
    const std::string disk = drives.Base() + "/disk";
    test::MakeDir(disk);

    const struct {
        const char* what;
        bool busy;  // a run holds the table when the mount happens
    } cases[] = {{"idle", false}, {"during a run", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::WriteFile(program + "/drives.ini", "[Drives]\n");
        SetActiveDriveTable(DriveTable::Load(program));
        // A pin made since the table was read: only a new reading knows it.
        test::WriteFile(program + "/drives.ini", "[Drives]\nq=" + disk + "\n");
        bool busy = c.busy;
        int changes = 0;
        MountTableWatcher watcher([&busy] { return busy; });
        ASSERT_TRUE(watcher.Watching());
        QObject::connect(&watcher, &MountTableWatcher::drivesChanged, [&] { ++changes; });

        test::TmpfsMount mount(disk);
        if (!mount.Mounted())
            GTEST_SKIP() << "skipped: " << mount.Error();
        if (c.busy) {
            EXPECT_FALSE(WaitFor([&] { return changes > 0; }, 600));
            EXPECT_FALSE(ActiveDriveTable().RootOf('q'));
            busy = false;
        }
        EXPECT_TRUE(WaitFor([&] { return changes > 0; }, 3000));
        EXPECT_EQ(ActiveDriveTable().RootOf('q'), disk);
        // The unmount is a change too.
        const int before = changes;
        ASSERT_TRUE(mount.Unmount());
        EXPECT_TRUE(WaitFor([&] { return changes > before; }, 3000));
    }
}

}  // namespace
}  // namespace vlm
