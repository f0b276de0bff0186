#pragma once
// A drive box: the present drives, one entry per letter ("c:", then the host folder the letter
// stands for), each with the picture of its kind. Picking an entry tells which drive to show.

#include <QComboBox>

namespace vlm {

class DriveBox : public QComboBox {
    Q_OBJECT

public:
    explicit DriveBox(QWidget* parent = nullptr);

    // Reads the drive table again and rebuilds the entries from the drives present now; keeps
    // the chosen drive when it is still there.
    void Refresh();

    // The chosen drive letter (lower case), or 0 when no drive is present.
    char Drive() const;
    // Chooses `letter` (either case) without telling anyone; false when it is not listed.
    bool SetDrive(char letter);

signals:
    // The person picked another drive.
    void driveChanged(char letter);
};

}  // namespace vlm
