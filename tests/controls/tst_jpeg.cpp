// The JPEG decoder: good pictures decode to their size and colours; damaged ones give an
// error and never end the process.

#include "JpegImage.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QtTest>

#include <cstdio>

#include <jpeglib.h>

namespace {

QByteArray encode(const QImage &image, int quality = 95)
{
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    QImageWriter w(&buf, "jpeg");
    w.setQuality(quality);
    if (!w.write(image))
        return {};
    return out;
}

// Four flat quadrants, large enough that JPEG keeps their colours close.
QImage quadrants()
{
    QImage img(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const bool right = x >= 32, bottom = y >= 24;
            QRgb c = !right && !bottom ? qRgb(255, 0, 0)
                     : right && !bottom ? qRgb(0, 255, 0)
                     : !right && bottom ? qRgb(0, 0, 255)
                                        : qRgb(255, 255, 255);
            img.setPixel(x, y, c);
        }
    return img;
}

bool near(QRgb a, QRgb b, int tolerance = 12)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance
           && qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Byte offset of the first SOF0 marker's height field, or -1.
qsizetype sofDimensions(const QByteArray &jpeg)
{
    for (qsizetype i = 2; i + 9 < jpeg.size(); ++i)
        if (uchar(jpeg[i]) == 0xFF && (uchar(jpeg[i + 1]) == 0xC0 || uchar(jpeg[i + 1]) == 0xC2))
            return i + 5;
    return -1;
}

// A CMYK JPEG as Adobe programs write it (inverted: 255 is no ink), made with libjpeg's
// compressor since Qt writes no CMYK. Left half red, right half black.
QByteArray adobeCmyk(int width, int height)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    cinfo.write_Adobe_marker = TRUE;
    jpeg_start_compress(&cinfo, TRUE);
    QByteArray row(width * 4, Qt::Uninitialized);
    for (int x = 0; x < width; ++x) {
        const bool red = x < width / 2;
        row[x * 4 + 0] = char(255);              // no cyan
        row[x * 4 + 1] = char(red ? 0 : 255);    // magenta
        row[x * 4 + 2] = char(red ? 0 : 255);    // yellow
        row[x * 4 + 3] = char(red ? 255 : 0);    // black
    }
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW r = reinterpret_cast<JSAMPROW>(row.data());
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray out(reinterpret_cast<const char *>(buffer), qsizetype(size));
    free(buffer);
    return out;
}

} // namespace

class TestJpeg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!QImageWriter::supportedImageFormats().contains("jpeg"))
            QSKIP("Qt's JPEG writer is needed to make test pictures");
    }

    void colourPictureDecodesToItsSizeAndColours()
    {
        const QByteArray data = encode(quadrants());
        QString error = QStringLiteral("stale");
        const QImage img = jpeg::decodeJpeg(data, &error);
        QVERIFY2(!img.isNull(), qPrintable(error));
        QVERIFY(error.isEmpty());
        QCOMPARE(img.size(), QSize(64, 48));
        QCOMPARE(img.format(), QImage::Format_RGB32);
        QVERIFY(near(img.pixel(8, 8), qRgb(255, 0, 0)));
        QVERIFY(near(img.pixel(56, 8), qRgb(0, 255, 0)));
        QVERIFY(near(img.pixel(8, 40), qRgb(0, 0, 255)));
        QVERIFY(near(img.pixel(56, 40), qRgb(255, 255, 255)));
    }

    void agreesWithQtsOwnReader()
    {
        // An independent decoder of the same file gives the same pixels.
        const QByteArray data = encode(quadrants(), 60);
        const QImage ours = jpeg::decodeJpeg(data);
        QImage theirs = QImage::fromData(data, "jpeg").convertToFormat(QImage::Format_RGB32);
        QVERIFY(!ours.isNull());
        QCOMPARE(ours.size(), theirs.size());
        int worst = 0;
        for (int y = 0; y < ours.height(); ++y)
            for (int x = 0; x < ours.width(); ++x) {
                const QRgb a = ours.pixel(x, y), b = theirs.pixel(x, y);
                worst = std::max({worst, qAbs(qRed(a) - qRed(b)), qAbs(qGreen(a) - qGreen(b)),
                                  qAbs(qBlue(a) - qBlue(b))});
            }
        QVERIFY2(worst <= 2, qPrintable(QString::number(worst)));
    }

    void greyscalePictureDecodesToGreyRgb()
    {
        QImage grey(40, 30, QImage::Format_Grayscale8);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                grey.scanLine(y)[x] = x < 20 ? 0 : 200;
        const QByteArray data = encode(grey);
        QVERIFY(!data.isEmpty());
        QBuffer file;
        file.setData(data);
        file.open(QIODevice::ReadOnly);
        QCOMPARE(QImageReader(&file, "jpeg").imageFormat(), QImage::Format_Grayscale8);  // one component
        QString error;
        const QImage img = jpeg::decodeJpeg(data, &error);
        QVERIFY2(!img.isNull(), qPrintable(error));
        QCOMPARE(img.size(), QSize(40, 30));
        QCOMPARE(img.format(), QImage::Format_RGB32);
        const QRgb dark = img.pixel(5, 15), light = img.pixel(35, 15);
        QVERIFY(qRed(dark) == qGreen(dark) && qGreen(dark) == qBlue(dark));
        QVERIFY(near(dark, qRgb(0, 0, 0)));
        QVERIFY(near(light, qRgb(200, 200, 200)));
    }

    void adobeCmykPictureDecodes()
    {
        QString error;
        const QImage img = jpeg::decodeJpeg(adobeCmyk(32, 16), &error);
        QVERIFY2(!img.isNull(), qPrintable(error));
        QCOMPARE(img.size(), QSize(32, 16));
        QVERIFY(near(img.pixel(4, 8), qRgb(255, 0, 0), 16));
        QVERIFY(near(img.pixel(28, 8), qRgb(0, 0, 0), 16));
    }

    void damagedPicturesGiveAnError_data()
    {
        QTest::addColumn<QByteArray>("data");
        const QByteArray good = encode(quadrants());
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("truncated to half") << good.left(good.size() / 2);
        QTest::newRow("header only") << good.left(200);
        QTest::newRow("start marker only") << good.left(2);
        QTest::newRow("no end marker") << good.left(good.size() - 2);
        QByteArray random(4096, Qt::Uninitialized);
        QRandomGenerator gen(20090306);
        for (char &c : random)
            c = char(gen.bounded(256));
        QTest::newRow("random bytes") << random;
        QTest::newRow("random after start marker") << (QByteArray("\xFF\xD8", 2) + random);
        QTest::newRow("text") << QByteArray("not a picture at all");
        QByteArray scrambled = good;
        for (qsizetype i = scrambled.size() / 3; i < scrambled.size() - 2; i += 7)
            scrambled[i] = char(~scrambled[i]);
        QTest::newRow("scrambled scan data") << scrambled;
    }

    void damagedPicturesGiveAnError()
    {
        QFETCH(QByteArray, data);
        QString error;
        const QImage img = jpeg::decodeJpeg(data, &error);
        QVERIFY(img.isNull());
        QVERIFY2(error.contains(QLatin1String("JPEG")), qPrintable(error));
        // Without an error text the call must not fail either.
        QVERIFY(jpeg::decodeJpeg(data).isNull());
    }

    void hugeDimensionsAreRefusedBeforeAllocating()
    {
        QByteArray data = encode(quadrants());
        const qsizetype at = sofDimensions(data);
        QVERIFY(at > 0);
        // 65000 x 65000 pixels would need 16 GB.
        data[at] = char(0xFD);
        data[at + 1] = char(0xE8);
        data[at + 2] = char(0xFD);
        data[at + 3] = char(0xE8);
        QString error;
        QVERIFY(jpeg::decodeJpeg(data, &error).isNull());
        QVERIFY2(error.contains(QLatin1String("65000")), qPrintable(error));
    }

    void builtInPicturesDecode()
    {
        QString error;
        const QImage logo = jpeg::builtInPicture(QStringLiteral(":/pictures/agency-logo.jpg"), &error);
        QVERIFY2(!logo.isNull(), qPrintable(error));
        QCOMPARE(logo.size(), QSize(106, 67));
        const QImage about = jpeg::builtInPicture(QStringLiteral(":/pictures/about.jpg"), &error);
        QVERIFY2(!about.isNull(), qPrintable(error));
        QCOMPARE(about.size(), QSize(255, 172));

        QVERIFY(jpeg::builtInPicture(QStringLiteral(":/pictures/none.jpg"), &error).isNull());
        QVERIFY2(error.contains(QLatin1String("none.jpg")), qPrintable(error));
    }
};

QTEST_MAIN(TestJpeg)
#include "tst_jpeg.moc"
