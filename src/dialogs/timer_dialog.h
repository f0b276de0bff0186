#pragma once
// TTimerF: the timer settings dialog — which project the timer runs, at what hour and minute,
// and whether the timer is switched on and its panel shown at program start. It only edits its
// fields; the scheduler fills it from the settings and takes them over after "&Save".

#include <QDialog>
#include <QSpinBox>
#include <optional>
#include <string>
#include <vector>

#include "core/app_settings.h"
#include "dialogs/project_browse.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace vlm {

// The number a spin field shows after its text was left: a number outside [minimum, maximum]
// goes to the nearest bound, a fraction loses its fractional part (`decimalSeparator` or a
// point); nothing when the text holds no number (empty, or a sign alone).
std::optional<int> SpinFieldNumber(const QString& text, int minimum, int maximum,
                                   QChar decimalSeparator);

// A numeric spin field: takes digits, signs and the decimal separator as keys, at most
// `maxLength` characters, and when it loses the focus puts an out-of-range number back to the
// nearest bound. Text that holds no number gives the field back its last number.
class SpinField : public QSpinBox {
    Q_OBJECT

public:
    SpinField(int minimum, int maximum, int maxLength, QWidget* parent = nullptr);

    QValidator::State validate(QString& text, int& pos) const override;
    void fixup(QString& text) const override;
    // The field's text as the person edits it.
    QLineEdit* Edit() const { return lineEdit(); }
};

class TTimerF : public QDialog {
    Q_OBJECT

public:
    // `runHistory`: the run recent-projects list as it stands when the dialog is created.
    TTimerF(const std::vector<std::string>& runHistory, ProjectBrowseHooks browse,
            QWidget* parent = nullptr);

    // Step 1 of "&Timer...": the fields from the settings.
    void Fill(const AppSettings& settings);
    // After "&Save": the fields into the settings (the project path as typed, unchecked).
    void TakeOver(AppSettings& settings) const;

    void timerCBChange(const QString& text);
    void timervlmbrowseBClick();
    void TimersaveBClick();

    QPushButton* timervlmbrowseB;
    QComboBox* timerCB;
    QLineEdit* TimerprojE;
    SpinField* timerhE;
    SpinField* TimermE;
    QCheckBox* TimerActivateCB;
    QCheckBox* timershowCB;
    QPushButton* TimersaveB;
    QPushButton* TimercancelB;

private:
    // Which project: browse, the run history, the path.
    QGroupBox* BuildProjectGroup(const std::vector<std::string>& runHistory);
    // At what time of day.
    QGroupBox* BuildTimeGroup();

    ProjectBrowseHooks browse_;
};

}  // namespace vlm
