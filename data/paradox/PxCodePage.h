#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// Single-byte code pages of Paradox text: 437, 850 and 1252 (plus 0/ASCII).
namespace px::codepage {

bool isSupported(int codePage);
// True when every character of text has a byte in the code page (NUL excluded).
bool canEncode(int codePage, QStringView text);
// Encodes text; returns false (and leaves out untouched) when a character has no byte.
bool encode(int codePage, QStringView text, QByteArray &out);
QString decode(int codePage, const char *bytes, qsizetype len);
// Same, into out, reusing its buffer when it is not shared.
void decodeInto(int codePage, const char *bytes, qsizetype len, QString &out);

} // namespace px::codepage
