#include "widgets/documents_icon.h"

#include <QStyle>

namespace vlm {

QIcon DocumentsFolderIcon(const QStyle* style) {
    QIcon icon = QIcon::fromTheme(QStringLiteral("folder-documents"));
    if (icon.isNull())
        icon = QIcon::fromTheme(QStringLiteral("folder"));
    if (icon.isNull() && style != nullptr)
        icon = style->standardIcon(QStyle::SP_DirIcon);
    return icon;
}

}  // namespace vlm
