#pragma once
// The readers of the main window's background picture. The extension of the file decides the
// decoder: JPEG through libjpeg, bitmaps and icons through Qt's readers. Metafiles cannot be
// shown on this platform.

#include <QImage>
#include <QString>
#include <string>
#include <string_view>

namespace vlm {

// The picture at the drive path `path`; a null image when the file cannot be read, its
// extension names no supported format, or its contents are not a valid picture of that format.
QImage LoadBackgroundPicture(std::string_view path);

// Decodes JPEG bytes with libjpeg. A corrupt or truncated header gives a null image; the
// decoder's fatal errors never end the program.
QImage DecodeJpeg(std::string_view bytes);

// The filter list of the picture dialog, in the order the dialog offers its entries. Each entry
// names its patterns twice, once in the caption the person reads and once in the form a Qt file
// dialog reads; show it with QFileDialog::HideNameFilterDetails so only the caption shows.
QString BackgroundPictureFilter();

}  // namespace vlm
