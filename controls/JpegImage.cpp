#include "JpegImage.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

// Registers the resource file compiled into this library. Outside any namespace, as the
// macro demands; called before the first lookup because a static library's own initialiser
// may be dropped by the linker.
static void initPictures()
{
    static bool registered = false;
    if (!registered) {
        Q_INIT_RESOURCE(pictures);
        registered = true;
    }
}

namespace jpeg {

namespace {

// libjpeg reports errors through error_exit, which by default prints and calls exit().
// Ours keeps the message and jumps back to the decoder.
struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool warned;
};

extern "C" void onError(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings are corrupt or missing data that libjpeg papers over (a truncated file gets a
// grey bottom). A damaged picture must not pass for a good one: treat them as errors.
extern "C" void onMessage(j_common_ptr cinfo, int msgLevel)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    if (msgLevel < 0) {
        (*cinfo->err->format_message)(cinfo, err->message);
        err->warned = true;
        std::longjmp(err->jump, 1);
    }
}

extern "C" void silent(j_common_ptr) {}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

// Converts one decoded scanline into RGB32. CMYK from Adobe files is stored inverted.
void toRgb32(const JSAMPLE *in, QRgb *out, JDIMENSION width, J_COLOR_SPACE space, bool invertedCmyk)
{
    switch (space) {
    case JCS_GRAYSCALE:
        for (JDIMENSION x = 0; x < width; ++x)
            out[x] = qRgb(in[x], in[x], in[x]);
        break;
    case JCS_RGB:
        for (JDIMENSION x = 0; x < width; ++x, in += 3)
            out[x] = qRgb(in[0], in[1], in[2]);
        break;
    case JCS_CMYK:
        for (JDIMENSION x = 0; x < width; ++x, in += 4) {
            int c = in[0], m = in[1], y = in[2], k = in[3];
            if (!invertedCmyk) {
                c = 255 - c;
                m = 255 - m;
                y = 255 - y;
                k = 255 - k;
            }
            out[x] = qRgb(c * k / 255, m * k / 255, y * k / 255);
        }
        break;
    default:
        break;
    }
}

// The part that runs under setjmp. No object with a destructor lives in this frame: a
// longjmp out of libjpeg skips destructors. The image is owned by the caller.
bool decodeInto(const unsigned char *bytes, unsigned long size, QImage *image, ErrorManager *err,
                QString *error)
{
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&err->pub);
    err->pub.error_exit = onError;
    err->pub.emit_message = onMessage;
    err->pub.output_message = silent;
    err->message[0] = '\0';
    err->warned = false;

    JSAMPARRAY row = nullptr;
    if (setjmp(err->jump)) {
        jpeg_destroy_decompress(&cinfo);
        *image = QImage();
        setError(error, QStringLiteral("A imagem JPEG está danificada: %1").arg(QString::fromLocal8Bit(err->message)));
        return false;
    }

    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes, size);
    jpeg_read_header(&cinfo, TRUE);

    const qint64 pixels = qint64(cinfo.image_width) * qint64(cinfo.image_height);
    if (cinfo.image_width == 0 || cinfo.image_height == 0 || pixels > MaxPixels) {
        jpeg_destroy_decompress(&cinfo);
        setError(error, QStringLiteral("A imagem JPEG é grande demais (%1 × %2 pixels)")
                            .arg(cinfo.image_width)
                            .arg(cinfo.image_height));
        return false;
    }

    bool invertedCmyk = false;
    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
        cinfo.out_color_space = JCS_GRAYSCALE;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo.out_color_space = JCS_CMYK;
        invertedCmyk = cinfo.saw_Adobe_marker;
        break;
    default:
        cinfo.out_color_space = JCS_RGB;
        break;
    }

    jpeg_start_decompress(&cinfo);
    *image = QImage(int(cinfo.output_width), int(cinfo.output_height), QImage::Format_RGB32);
    if (image->isNull()) {
        jpeg_destroy_decompress(&cinfo);
        setError(error, QStringLiteral("Memória insuficiente para a imagem JPEG"));
        return false;
    }
    row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                     cinfo.output_width * JDIMENSION(cinfo.output_components), 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        const JDIMENSION y = cinfo.output_scanline;
        if (jpeg_read_scanlines(&cinfo, row, 1) != 1)
            break;
        toRgb32(row[0], reinterpret_cast<QRgb *>(image->scanLine(int(y))), cinfo.output_width,
                cinfo.out_color_space, invertedCmyk);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

} // namespace

QImage decodeJpeg(const QByteArray &data, QString *error)
{
    if (error)
        error->clear();
    if (data.isEmpty()) {
        setError(error, QStringLiteral("A imagem JPEG está vazia"));
        return {};
    }
    // jpeg_mem_src takes a non-const pointer but only reads.
    const auto *bytes = reinterpret_cast<const unsigned char *>(data.constData());
    QImage image;
    ErrorManager err;
    if (!decodeInto(bytes, static_cast<unsigned long>(data.size()), &image, &err, error))
        return {};
    return image;
}

QByteArray builtInData(const QString &resourcePath)
{
    initPictures();
    QFile f(resourcePath);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QImage builtInPicture(const QString &resourcePath, QString *error)
{
    const QByteArray data = builtInData(resourcePath);
    if (data.isEmpty()) {
        setError(error, QStringLiteral("A imagem %1 não existe").arg(resourcePath));
        return {};
    }
    QString why;
    QImage image = decodeJpeg(data, &why);
    if (image.isNull())
        setError(error, QStringLiteral("%1 (%2)").arg(why, resourcePath));
    else if (error)
        error->clear();
    return image;
}

} // namespace jpeg
