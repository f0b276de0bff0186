#include "widgets/shown_text.h"

#include <QListWidget>

#include "platform/path_translation.h"

namespace vlm {

QString ShownText(std::string_view text) {
    return QString::fromStdString(ShownName(text));
}

void AddShownItem(QListWidget* list, const std::string& text) {
    auto* item = new QListWidgetItem(ShownText(text), list);
    item->setData(Qt::UserRole, QString::fromStdString(text));
}

std::string StoredText(const QListWidgetItem* item) {
    const QVariant stored = item->data(Qt::UserRole);
    return (stored.isValid() ? stored.toString() : item->text()).toStdString();
}

}  // namespace vlm
