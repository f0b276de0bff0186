#pragma once
// Notices a disk plugged in or unplugged while the program is open. The kernel marks
// /proc/self/mountinfo with an exceptional condition (POLLPRI, POLLERR) at every mount and
// unmount; the window system's message loop watches for it, and the drive table in force is
// then read again, so that a disk plugged in after start is there.
//
//     auto* watcher = new MountTableWatcher([this] { return run_.RunActive; }, this);
//     connect(watcher, &MountTableWatcher::drivesChanged, this, [this] { ...redraw lists... });

#include <QObject>
#include <functional>

class QSocketNotifier;
class QTimer;

namespace vlm {

class MountTableWatcher : public QObject {
    Q_OBJECT

public:
    // `busy` says when the table in force must stay as it is: a run resolves its letters at its
    // start, and a letter must not move to another disk under it. The table is read again once
    // `busy` says false.
    explicit MountTableWatcher(std::function<bool()> busy, QObject* parent = nullptr);
    ~MountTableWatcher() override;

    // False when the mount table cannot be watched (no /proc): then drives plugged in later
    // appear only when a list of them is made again.
    bool Watching() const { return notifier_ != nullptr; }

signals:
    // The drive table in force has just been read again after the mount table changed.
    void drivesChanged();

private:
    void MountTableChanged();
    void ReadDriveTableAgain();

    std::function<bool()> busy_;
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* waitForIdle_ = nullptr;
};

}  // namespace vlm
