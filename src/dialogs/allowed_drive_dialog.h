#pragma once
// TalloweddestdriveF: names the one drive that runs may write to ("All": no limitation). The
// dialog edits `AllowedDrive` in memory only; the settings file gets it when the main window
// closes.
//
//     if (alloweddestdriveF->Open())   // defdestdriveMClick
//         SetStatus("Allowed destination drive will be saved to ini-file");

#include <QDialog>

#include "core/app_settings.h"

class QComboBox;
class QPushButton;

namespace vlm {

class TalloweddestdriveF : public QDialog {
    Q_OBJECT

public:
    explicit TalloweddestdriveF(AppSettings& settings, QWidget* parent = nullptr);

    // Shows the current value and the dialog modally; true when a new value was stored.
    bool Open();

    // Validates the text and stores it; a refused entry leaves the dialog open.
    void okBClick();

    QComboBox* alloweddestdriveC;
    QPushButton* okB;
    QPushButton* CancelB;

private:
    // The texts around the box and the buttons below it.
    void BuildLayout();

    AppSettings& settings_;
};

}  // namespace vlm
