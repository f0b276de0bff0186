// A mount while the program is open reads the drive table again, but never under a run.

#include "app/mount_watcher.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <string>

#include "gui/qt_test_app.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

TEST(MountTableWatcherTest, AMountReadsTheDriveTableAgainOnceNoRunHoldsIt) {
    test::EnsureQtApplication();
    test::TempDrives drives("c");
    const std::string program = drives.Base() + "/program", disk = drives.Base() + "/disk";
    test::MakeDir(disk);
    int changes = 0;
    // Lets the message loop run until the watcher has spoken `count` times, or `ms` passed.
    const auto heard = [&changes](int count, int ms) {
        QElapsedTimer clock;
        clock.start();
        while (changes < count && clock.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return changes >= count;
    };

    for (const bool busyAtFirst : {false, true}) {
        SCOPED_TRACE(busyAtFirst ? "a run holds the table" : "idle");
        test::WriteFile(program + "/drives.ini", "[Drives]\n");
        SetActiveDriveTable(DriveTable::Load(HostPath(program)));
        // A pin made since the table was read: only a new reading knows it.
        test::WriteFile(program + "/drives.ini", "[Drives]\nq=" + disk + "\n");
        bool busy = busyAtFirst;
        changes = 0;
        MountTableWatcher watcher([&busy] { return busy; });
        ASSERT_TRUE(watcher.Watching());
        QObject::connect(&watcher, &MountTableWatcher::drivesChanged, [&] { ++changes; });

        test::TmpfsMount mount(disk);
        if (!mount.Mounted())
            GTEST_SKIP() << "skipped: " << mount.Error();
        if (busy) {
            EXPECT_FALSE(heard(1, 600));
            EXPECT_FALSE(ActiveDriveTable().RootOf('q'));
            busy = false;
        }
        EXPECT_TRUE(heard(1, 3000));
        EXPECT_EQ(ActiveDriveTable().RootOf('q'), disk);
        ASSERT_TRUE(mount.Unmount());
        EXPECT_TRUE(heard(2, 3000));  // an unmount is a change too
    }
}

}  // namespace
}  // namespace vlm
