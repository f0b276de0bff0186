#pragma once
// The small documents-folder picture of the "My documents" buttons.

#include <QIcon>

class QStyle;

namespace vlm {

// The icon theme's documents folder, or the style's folder picture when the theme has none.
QIcon DocumentsFolderIcon(const QStyle* style);

}  // namespace vlm
