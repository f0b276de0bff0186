#pragma once
// Names as a person reads them on screen. The program keeps and writes every name with the
// stand-ins of the drive-path model (the history, the log, the recent lists, the projects); what
// a window shows passes through here, so a name reads the same in every window and box: the
// characters it stands for, with the stand-ins of control characters kept, so that no name
// breaks a line.

#include <QString>
#include <string>
#include <string_view>

class QListWidget;
class QListWidgetItem;

namespace vlm {

// Text the program writes itself (captions, numbers, messages; UTF-8) as Qt holds it. Names and
// paths a person reads go through ShownText.
inline QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// `text` (a name, a path, a line, a question) as a person reads it.
QString ShownText(std::string_view text);

// Appends an entry that shows `text` as a person reads it and keeps `text` itself for the
// program, which reads it back with StoredText.
void AddShownItem(QListWidget* list, const std::string& text);
std::string StoredText(const QListWidgetItem* item);

}  // namespace vlm
