#include "widgets/picture_loader.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <cctype>
#include <csetjmp>
#include <cstdio>
#include <optional>

// libjpeg's header needs FILE and size_t declared before it.
#include <jpeglib.h>

#include "platform/file_system.h"

namespace vlm {

namespace {

// libjpeg ends the process on a fatal error unless error_exit does not return. This one jumps
// back to the decoder, which then gives up on the picture.
struct JpegErrorHandler {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void JumpOnJpegError(j_common_ptr info) {
    auto* handler = reinterpret_cast<JpegErrorHandler*>(info->err);
    std::longjmp(handler->jump, 1);
}

// Warnings of a damaged stream would go to standard error; the picture is shown as far as it
// could be decoded, like other programs do.
void IgnoreJpegMessage(j_common_ptr) {}

// The decoding steps between setjmp and the end. Kept free of objects with destructors: a jump
// out of libjpeg must not skip one.
bool DecodeJpegInto(const unsigned char* data, unsigned long size, QImage* image) {
    jpeg_decompress_struct info;
    JpegErrorHandler handler;
    info.err = jpeg_std_error(&handler.manager);
    handler.manager.error_exit = JumpOnJpegError;
    handler.manager.output_message = IgnoreJpegMessage;
    if (setjmp(handler.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, size);
    jpeg_read_header(&info, TRUE);
    // Grey and colour pictures both come out as RGB; libjpeg refuses CMYK here, which ends
    // in the error path above.
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    *image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                    QImage::Format_RGB888);
    if (image->isNull()) {  // too large to hold
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image->scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

enum class PictureFormat { Jpeg, Bitmap, Icon, Unsupported };

PictureFormat FormatOfPath(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t separator = path.rfind('\\');
    if (dot == std::string_view::npos || (separator != std::string_view::npos && dot < separator))
        return PictureFormat::Unsupported;
    std::string extension(path.substr(dot + 1));
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == "jpg" || extension == "jpeg")
        return PictureFormat::Jpeg;
    if (extension == "bmp")
        return PictureFormat::Bitmap;
    if (extension == "ico")
        return PictureFormat::Icon;
    return PictureFormat::Unsupported;  // .emf, .wmf and everything else
}

// Qt's reader of one named format, never guessing another one from the contents.
QImage DecodeWithQt(std::string_view bytes, const char* format) {
    QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    return reader.read();
}

}  // namespace

QImage DecodeJpeg(std::string_view bytes) {
    QImage image;
    if (bytes.empty())
        return image;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    if (!DecodeJpegInto(data, static_cast<unsigned long>(bytes.size()), &image))
        return QImage();
    return image;
}

QImage LoadBackgroundPicture(std::string_view path) {
    const PictureFormat format = FormatOfPath(path);
    if (format == PictureFormat::Unsupported)
        return QImage();
    const std::optional<std::string> bytes = ReadWholeFile(DrivePath(path));
    if (!bytes)
        return QImage();
    switch (format) {
        case PictureFormat::Jpeg:
            return DecodeJpeg(*bytes);
        case PictureFormat::Bitmap:
            return DecodeWithQt(*bytes, "bmp");
        case PictureFormat::Icon:
            return DecodeWithQt(*bytes, "ico");
        case PictureFormat::Unsupported:
            break;
    }
    return QImage();
}

QString BackgroundPictureFilter() {
    return QStringLiteral(
        "All (*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf) (*.jpg *.jpeg *.bmp *.ico *.emf *.wmf);;"
        "JPEG Image File (*.jpg) (*.jpg);;"
        "JPEG Image File (*.jpeg) (*.jpeg);;"
        "Bitmaps (*.bmp) (*.bmp);;"
        "Icons (*.ico) (*.ico);;"
        "Enhanced Metafiles (*.emf) (*.emf);;"
        "Metafiles (*.wmf) (*.wmf)");
}

}  // namespace vlm
