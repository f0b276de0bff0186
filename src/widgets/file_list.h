#pragma once
// A file list: the files of one folder (no sub-folders), filtered by a file mask, with their
// size and their date and time of last change. The person may select several files; every
// file is known by its drive path.

#include <QTreeWidget>
#include <string>
#include <string_view>
#include <vector>

namespace vlm {

class FileList : public QTreeWidget {
    Q_OBJECT

public:
    explicit FileList(QWidget* parent = nullptr);

    // Lists the files of `drivePath` ("c:\" or "c:\Data"); an unreadable folder lists nothing.
    void SetFolder(const std::string& drivePath);
    const std::string& Folder() const { return folder_; }
    // The mask, e.g. "*.*" or "*.doc;*.xls", and lists the folder again.
    void SetMask(const std::string& mask);
    // Reads the folder again.
    void Reload();

    // Several files at once, or one only (a current multi-selection is cleared).
    void SetMultiSelect(bool on);
    bool MultiSelect() const;

    int SelectedCount() const;
    // The drive paths of the selected files, in the order of the list.
    std::vector<std::string> SelectedPaths() const;
    // The drive paths of all listed files, in the order of the list.
    std::vector<std::string> ListedPaths() const;

private:
    std::string folder_;
    std::string mask_ = "*.*";
};

// True when the file name `name` matches one of the patterns of `mask` (separated by ";"),
// with the rules of a file dialog: "*" any run of characters, "?" one character, letters
// without regard to case, "*.*" every name, and "x.*" also a name "x" without extension.
// An empty mask matches every name.
bool MatchesFileMask(std::string_view name, std::string_view mask);

}  // namespace vlm
