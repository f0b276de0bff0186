#pragma once
// The project editor's list of what to leave out: patterns below the source items that a run
// neither copies nor removes. A field and Add, Remove, and a menu of ready choices.

#include <QWidget>
#include <string>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;

namespace vlm {

class ExclusionsPanel : public QWidget {
    Q_OBJECT

public:
    explicit ExclusionsPanel(QWidget* parent = nullptr);

    void SetPatterns(const std::vector<std::string>& patterns);
    std::vector<std::string> Patterns() const;

    // Adds the pattern in excludeE (trimmed); nothing when it is blank or listed already.
    void AddexclBClick();
    // Removes the selected patterns.
    void DelexclBClick();
    // Adds each pattern of a ready choice that is not listed yet.
    void AddPatterns(const std::vector<std::string>& patterns);

    QListWidget* excludeLB;
    QLineEdit* excludeE;
    QPushButton* AddexclB;
    QPushButton* DelexclB;
    QToolButton* readyexclB;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Listed(const QString& pattern) const;
};

}  // namespace vlm
