#include "widgets/folder_dialog.h"

#include <QFileDialog>

#include "widgets/shown_text.h"

namespace vlm {

std::string ChooseFolderWithDialog(QWidget* parent, const std::string& caption,
                                   const std::string& startFolder) {
    return QFileDialog::getExistingDirectory(
               parent, Q(caption), Q(startFolder),
               QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog)
        .toStdString();
}

}  // namespace vlm
