#pragma once

// Text compared the way a clerk reads it: case and accents dropped, character by character
// ("Ção" and "cao" fold alike). The length stays, so a prefix of the folded text is the
// folded prefix.

#include <QString>
#include <QStringView>

namespace textfold {

QString folded(QStringView text);
// True when value starts with foldedPrefix, itself already folded.
bool startsWithFolded(QStringView value, QStringView foldedPrefix);

} // namespace textfold
