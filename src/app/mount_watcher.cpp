#include "app/mount_watcher.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>

#include "platform/drive_table.h"
#include "widgets/guarded_handler.h"

namespace vlm {

namespace {

// A run that holds the table back is asked again this often.
constexpr int kBusyRetryMs = 1000;

// Reads the file to its end from the start: the kernel's flag is cleared by a poll, and a
// reader that drains the file never leaves an old state behind for the next one.
void DrainFromStart(int fd) {
    if (::lseek(fd, 0, SEEK_SET) < 0)
        return;
    char buffer[4096];
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
}

}  // namespace

MountTableWatcher::MountTableWatcher(std::function<bool()> busy, QObject* parent)
    : QObject(parent), busy_(std::move(busy)) {
    waitForIdle_ = new QTimer(this);
    waitForIdle_->setSingleShot(true);
    waitForIdle_->setInterval(kBusyRetryMs);
    connect(waitForIdle_, &QTimer::timeout, this, [this] { ReadDriveTableAgain(); });

    fd_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        return;
    DrainFromStart(fd_);
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Exception, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { MountTableChanged(); });
}

MountTableWatcher::~MountTableWatcher() {
    delete notifier_;
    if (fd_ >= 0)
        ::close(fd_);
}

void MountTableWatcher::MountTableChanged() {
    DrainFromStart(fd_);
    ReadDriveTableAgain();
}

void MountTableWatcher::ReadDriveTableAgain() {
    if (busy_ && busy_()) {
        waitForIdle_->start();
        return;
    }
    Guarded([this] {
        RefreshActiveDriveTable();
        emit drivesChanged();
    });
}

}  // namespace vlm
