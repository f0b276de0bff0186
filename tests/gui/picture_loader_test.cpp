#include "widgets/picture_loader.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <cstdlib>
#include <string>
#include <vector>

#include "gui/qt_test_app.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

using test::TempDrives;
using test::WriteFile;

// A 16 by 8 picture, red on the left half and blue on the right.
QImage TwoColourPicture() {
    QImage image(16, 8, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixelColor(x, y, x < 8 ? QColor(220, 30, 30) : QColor(30, 30, 220));
    }
    return image;
}

std::string Encode(const QImage& image, const char* format, int quality = 95) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format, quality)) << format;
    return bytes.toStdString();
}

bool Near(QColor a, QColor b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

class PictureLoaderTest : public ::testing::Test {
protected:
    PictureLoaderTest() { test::MakeDir(drives.Host("c:\\pics")); }
    // Writes `bytes` as c:\pics\<name> and returns its drive path.
    std::string Put(const std::string& name, const std::string& bytes) {
        const std::string path = "c:\\pics\\" + name;
        WriteFile(drives.Host(path), bytes);
        return path;
    }

    test::WithQtApplication qt;
    TempDrives drives{"c"};
};

TEST_F(PictureLoaderTest, AJpegIsDecodedWithItsSizeAndColours) {
    const std::string jpeg = Encode(TwoColourPicture(), "JPEG");
    for (const char* name : {"x.jpg", "x.jpeg", "X.JPG", "back.Jpeg"}) {
        SCOPED_TRACE(name);
        const QImage image = LoadBackgroundPicture(Put(name, jpeg));

        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(16, 8));
        EXPECT_TRUE(Near(image.pixelColor(2, 4), QColor(220, 30, 30), 24));
        EXPECT_TRUE(Near(image.pixelColor(13, 4), QColor(30, 30, 220), 24));
    }
}

TEST_F(PictureLoaderTest, AGreyJpegComesOutInColourFormat) {
    QImage grey(10, 10, QImage::Format_Grayscale8);
    grey.fill(QColor(128, 128, 128));

    const QImage image = LoadBackgroundPicture(Put("grey.jpg", Encode(grey, "JPEG")));

    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(10, 10));
    EXPECT_TRUE(Near(image.pixelColor(5, 5), QColor(128, 128, 128), 6));
}

TEST_F(PictureLoaderTest, ACorruptJpegGivesNoPictureAndDoesNotEndTheProgram) {
    const std::string jpeg = Encode(TwoColourPicture(), "JPEG");
    // The frame header of a picture without width.
    std::string noWidth = jpeg;
    const std::size_t frame = noWidth.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    noWidth[frame + 7] = '\0';
    noWidth[frame + 8] = '\0';
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"empty file", ""},
        {"text", "this is no picture at all"},
        {"start of image then rubbish", std::string("\xFF\xD8") + std::string(300, '\x5A')},
        {"header cut short", jpeg.substr(0, 40)},
        {"frame header without width", noWidth},
        {"a bitmap named .jpg", Encode(TwoColourPicture(), "BMP")},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(LoadBackgroundPicture(Put("bad.jpg", bytes)).isNull());
        EXPECT_TRUE(DecodeJpeg(bytes).isNull());
    }
}

TEST_F(PictureLoaderTest, AJpegCutInItsImageDataShowsWhatArrived) {
    // Busy enough that most of the file is image data, not tables.
    QImage busy(64, 64, QImage::Format_RGB32);
    unsigned seed = 7;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            seed = seed * 1103515245u + 12345u;
            busy.setPixel(x, y, seed >> 8);
        }
    }
    const std::string jpeg = Encode(busy, "JPEG");
    ASSERT_GT(jpeg.size(), 4000u);

    const QImage image = DecodeJpeg(jpeg.substr(0, jpeg.size() * 3 / 4));

    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(64, 64));
}

TEST_F(PictureLoaderTest, BitmapsAndIconsAreReadByTheirOwnFormat) {
    const QImage picture = TwoColourPicture();
    const QImage bitmap = LoadBackgroundPicture(Put("b.bmp", Encode(picture, "BMP")));
    ASSERT_FALSE(bitmap.isNull());
    EXPECT_EQ(bitmap.convertToFormat(QImage::Format_RGB32), picture);

    QImage square(16, 16, QImage::Format_ARGB32);
    square.fill(QColor(10, 200, 10));
    const QImage icon = LoadBackgroundPicture(Put("i.ico", Encode(square, "ICO")));
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.size(), QSize(16, 16));
    EXPECT_EQ(icon.pixelColor(8, 8), QColor(10, 200, 10));
}

TEST_F(PictureLoaderTest, TheExtensionDecidesAndUndecodableFormatsGiveNoPicture) {
    const std::string jpeg = Encode(TwoColourPicture(), "JPEG");
    const std::vector<std::string> paths = {
        Put("jpeg-named.bmp", jpeg),  // a bitmap reader does not guess another format
        Put("jpeg-named.ico", jpeg), Put("m.emf", jpeg),     Put("m.wmf", jpeg),
        Put("noextension", jpeg),    Put("x.jpg.txt", jpeg), "c:\\pics\\missing.jpg",
        "c:\\pics\\..\\pics\\x.jpg",  // refused by the drive table
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(LoadBackgroundPicture(path).isNull());
    }
}

TEST(PictureFilterTest, OffersTheEntriesInTheDialogsOrder) {
    const QStringList entries = BackgroundPictureFilter().split(QStringLiteral(";;"));
    ASSERT_EQ(entries.size(), 7);
    EXPECT_TRUE(entries[0].startsWith(
        QStringLiteral("All (*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf) (*.jpg *.jpeg")));
    EXPECT_EQ(entries[1], QStringLiteral("JPEG Image File (*.jpg) (*.jpg)"));
    EXPECT_EQ(entries[6], QStringLiteral("Metafiles (*.wmf) (*.wmf)"));
}

}  // namespace
}  // namespace vlm
