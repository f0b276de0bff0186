#pragma once
// TprojecteditF: the project editor. One modal window in which the person composes a project
// and saves it as a project file. Its behaviour is split by side of the window:
//   project_editor.cpp      the window, its layout, opening, the name field, saving, closing
//   editor_sources.cpp      the browse pane and the source list
//   editor_destination.cpp  the destination block, synchronising and the example in the status
//   editor_size_checks.cpp  the selected, actual free and future free sizes
//
// The main window makes one for every opening:
//
//     TprojecteditF editor(EditorContext{settings_, run_, handOver_, ...}, this);
//     editor.LoadProject(outcome);          // the fields read by ReadProjectForEditor
//     editor.exec();

#include <QDialog>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/app_settings.h"
#include "core/opening_rules.h"
#include "core/project_file.h"
#include "engine/run_state.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QStatusBar;
class QWidget;

namespace vlm {

class DriveBox;
class ExclusionsPanel;
struct PassContext;
class FileList;
class FolderTree;

// What the editor needs from the window that opens it. The state lives in the main window for
// the whole process; the editor reads and writes it while it is open.
struct EditorContext {
    AppSettings& settings;
    RunState& run;
    HandOverState& handOver;
    // Puts a saved project's path at the top of both recent-projects lists (editing, running).
    std::function<void(const std::string& projectPath)> addToRecentLists;
    // Opens the run window for a project just saved ("Save & Run"); returns when it has closed.
    std::function<void(const std::string& projectPath)> openRunForm;
    // The main window's help contents.
    std::function<void()> openHelp;
    // The folder the browse pane starts at; empty means the person's documents folder.
    std::string documentsFolder;
};

class TprojecteditF : public QDialog {
    Q_OBJECT

public:
    // FormCreate: builds the window, sets EditorOpen, starts the browse pane at the documents
    // folder.
    explicit TprojecteditF(EditorContext context, QWidget* parent = nullptr);
    // Clears EditorOpen, also when the window was never shown.
    ~TprojecteditF() override;

    // Fills the window from what opening the project found (caption, openedprojnameL,
    // projnameE, the fields and the source list) and lays out the destination block for it.
    void LoadProject(const OpenEditOutcome& outcome);

    // --- Lifecycle and saving -------------------------------------------------------------
    void FormActivate();
    void projnameEChange();
    // Writes the project file; the outcome is Saved().
    void Saveproj();
    bool Saved() const { return saved_; }
    // ProjectsLocation + "\" + name + ".vlm", with one separator after a drive root.
    std::string ProjectTargetPath() const;
    void SaveprojBClick();
    void RunBClick();
    void canceleditBClick();
    void HelpBClick();

    // --- Source side ----------------------------------------------------------------------
    void DriVClick();
    void DriVChange();
    void DirVClick();
    void mydocBBClick();
    void filterEChange();
    void infoCBClick();
    void AddfnBClick();
    void DelfnBClick();
    void fdlistLBClick();
    void sourceLClick();
    // The source list entries, in order.
    std::vector<std::string> SourceItems() const;
    bool MultiSelectionMode() const { return multiSelection_; }

    // --- Destination side -----------------------------------------------------------------
    void RebuildDriveEntries();
    // The drive table was read again (a disk plugged in or unplugged): both drive lists
    // show it.
    void RefreshDriveLists();
    void destdriveCEnter();
    void destdriveCExit();
    void destdriveCClick();
    // A row of the open drive list is highlighted: the status line says which disk or folder
    // that letter is, or what it waits for.
    void destdriveCHighlighted(int index);
    void destdriveCChange();
    void destkindCChange();
    void syncCBClick();
    void syncdestBClick();
    void syncdestdelBClick();
    void syncdestEChange();
    void showsynccomponents();
    void showfromtoexample();
    // The synchronisation destination as a drive path (a native path typed there translated).
    std::string SyncDestText() const;

    // --- Size checks ----------------------------------------------------------------------
    // `withProgress` is the button's own click; Check All measures silently.
    void checkselsizeBClick(bool withProgress = true);
    void CheckactfreesizeBClick();
    void checkfutfreesizeBClick();
    bool EstimateRunning() const { return estimateRunning_; }

    // The one text of the status bar.
    std::string StatusText() const;

    // Components, by their names.
    QLabel* SelectL;
    DriveBox* IEDriveComboBox1;
    FolderTree* DriV;
    FileList* DirV;
    QLineEdit* filterE;
    QPushButton* mydocBB;
    QCheckBox* infoCB;
    QLabel* AddfnL;
    QLineEdit* AddfnE;
    QPushButton* AddfnB;
    QPushButton* DelfnB;
    QLabel* sourceL;
    QListWidget* fdlistLB;
    ExclusionsPanel* exclusionsP;  // what to leave out below the sources

    QWidget* destP;  // the "Destination" block
    QLabel* destL;
    QComboBox* destdriveC;
    QLabel* destkindL;
    QComboBox* destkindC;
    QCheckBox* syncCB;
    QLineEdit* syncdestE;
    QPushButton* syncdestB;
    QPushButton* syncdestdelB;
    QCheckBox* confirmCB;
    QCheckBox* precalcCB;
    QCheckBox* longfnameCB;
    // "Keep replaced and deleted files for ... days": on for a new project.
    QCheckBox* versionsCB;
    QSpinBox* versiondaysSE;
    QCheckBox* verifyCB;  // "verify": read each copy back after the run

    QLabel* selsizeL;
    QLabel* actfreesizeL;
    QLabel* futfreesizeL;
    QPushButton* checkselsizeB;
    QPushButton* CheckactfreesizeB;
    QPushButton* checkfutfreesizeB;

    QLabel* projnameL;
    QLineEdit* projnameE;
    QLabel* openedprojnameL;  // hidden: the opened project's name, or "new"
    QPushButton* SaveprojB;
    QPushButton* canceleditB;
    QPushButton* RunB;
    QPushButton* helpB;
    QStatusBar* StatusBar1;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

public:
    // Every way of closing ends here; refused while the write-once estimate runs.
    void done(int result) override;

private:
    void BuildWindow();
    QWidget* BuildSourceSide();
    QHBoxLayout* BuildBrowseBar(QWidget* side);
    QHBoxLayout* BuildAddRow(QWidget* side);
    QWidget* BuildDestinationBlock();
    QFrame* BuildDestinationPanel(QWidget* block);
    QHBoxLayout* BuildVersionsRow(QWidget* block);
    void BuildDestinationBoxes();
    QWidget* BuildSizeBlock();
    QWidget* BuildBottomRow();
    void ConnectSourceSide();
    void ConnectDestinationSide();
    void ConnectSizeChecks();
    void ConnectLifecycle();

    void SetStatus(const std::string& text);
    // Once the person has typed into `edit`: a native path there is shown as the drive path
    // the editor takes from it.
    void ShowTypedPathAsDrivePath(QLineEdit* edit);
    void ShowFolderInfo();
    // The item that Add takes from AddfnE (a native path translated), trimmed of nothing.
    std::string ItemToAdd() const;
    // Add of one candidate when not synchronising: duplicates, nesting, append.
    void AddCandidate(const std::string& candidate);
    bool IsListedAlready(const std::string& candidate, const std::string& lowerCandidate);
    // False when the person declines to add an item inside a listed one.
    bool AcceptInsideListed(const std::string& candidate, const std::string& lowerCandidate);
    void OfferToRemoveListedInside(const std::string& candidate, const std::string& lowerCandidate);
    void AppendEntry(const std::string& entry);
    // What the form says, as the project file holds it.
    ProjectFields FieldsOfForm() const;
    // The checks before a save, each with its own box; false when one of them refuses.
    bool MaySave(const std::string& name, const ProjectFields& fields, const std::string& target);
    // The destination of the checks and of the example: syncdestE when synchronising, else
    // the text of destdriveC.
    std::string DestinationBoxText() const;
    // Free bytes of the drive of the checks' destination; -1 when it is invalid or not ready.
    std::int64_t DestinationFreeBytes() const;
    // The virtual copy pass of write-once media; false when it ended with an error (shown).
    bool EstimateOnWriteOnceMedium(std::int64_t freeBytes);
    void CopySourcesVirtually(PassContext& pass, const std::string& destination,
                              const DestinationContext& where) const;
    std::optional<std::int64_t> ReadyDestinationFreeBytes();
    std::int64_t ExistingCopiesSize() const;
    void SetControlsEnabled(bool enabled);
    void PlaceKindBox(bool synchronising);

    EditorContext context_;
    bool saved_ = false;
    bool multiSelection_ = false;
    bool sizeError_ = false;
    std::int64_t selectedSize_ = 0;
    bool estimateRunning_ = false;
    bool shownOnce_ = false;
    bool editorOpenCleared_ = false;
    QGridLayout* destGrid_ = nullptr;
    QWidget* body_ = nullptr;
};

// The name the editor shows for a drive type code: codes 0 and 1 both read "Unknown".
std::string DriveTypeName(int code);

// The drive entry of `letter` in the destination box: "e: <Removable>", "q: <Unknown>".
std::string DriveEntryText(char letter);

}  // namespace vlm
