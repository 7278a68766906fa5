#pragma once

// JPEG pictures decoded with libjpeg's C API. A damaged, truncated or hostile picture gives
// an error text, never a crash: libjpeg's own error handler would end the process.

#include <QByteArray>
#include <QImage>
#include <QString>

namespace jpeg {

// Pictures larger than this (in pixels) are refused before anything is allocated.
inline constexpr qint64 MaxPixels = 16 * 1024 * 1024;

// Decodes a colour, greyscale or CMYK JPEG into a QImage::Format_RGB32 image. On failure
// returns a null image and, when error is given, sets it to a message saying what is wrong.
// A picture that libjpeg can only partly read (corrupt or missing data) counts as a failure.
QImage decodeJpeg(const QByteArray &data, QString *error = nullptr);

// A JPEG built into the program (a Qt resource path such as ":/pictures/logo.jpg"),
// decoded. On failure returns a null image and sets error to a message naming the picture.
QImage builtInPicture(const QString &resourcePath, QString *error = nullptr);
// The raw bytes of a built-in picture; empty when there is none.
QByteArray builtInData(const QString &resourcePath);

} // namespace jpeg
