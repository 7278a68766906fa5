#pragma once

// Rules of the print dialogs that need no window.

#include <QLocale>
#include <QString>

#include <optional>

namespace printlogic {

// A weight or measurement as the B/L prints it: "###,###,##0.000" with the locale's
// separators; an empty field counts as 0.
QString numberText(std::optional<double> value, const QLocale &locale);

// The copies typed in the copies dialog: the integer brought into 1..50; a text that is not
// an integer gives 1.
inline constexpr int MinCopies = 1;
inline constexpr int MaxCopies = 50;
int copiesFromText(const QString &text, const QLocale &locale);

// The clerk is told this when a print finds no printer installed, and offered the preview of
// the document ("o B/L", "o protocolo").
QString noPrinterMessage(const QString &document = QStringLiteral("o B/L"));
// Label5 of the dialogs when there is no printer to name.
QString noPrinterName();

} // namespace printlogic
