#pragma once

#include "paradox/PxError.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringView>

#include <optional>

// A text that does not convert to a field's value, or a value the field cannot take.
class ConversionError : public DataError
{
public:
    using DataError::DataError;
};

// Display and edit formats. Every function takes the locale whose separators it uses, so
// callers pass QLocale() and tests pass pt_BR or en_US.
namespace formats {

// The weight and measurement fields' display and edit format.
inline constexpr char16_t NumberFormat[] = u"###,###,##0.000";
// The reference date's display format; "/" stands for the locale's date separator.
inline constexpr char16_t DateFormat[] = u"DD/MM/YYYY";

// Formats a number with a picture of "#", "0", "," and "." ("###,###,##0.000", "0.00",
// "#,##0"): "0" digits are always shown, "#" digits only when significant, a "," anywhere in
// the integer part turns on grouping by thousands. The value is rounded half away from zero
// at the last decimal place, on its shortest exact decimal form, so 1.0005 gives 1.001.
// Other characters of the picture are ignored. An empty picture gives the plain shortest form
// with the locale's decimal separator and no grouping.
QString formatFloat(double value, QStringView picture, const QLocale &locale);

// "###,###,##0.000"; an empty value gives an empty text.
QString formatNumber(double value, const QLocale &locale);
QString formatNumber(std::optional<double> value, const QLocale &locale);

// Reads a number typed or shown in the locale: surrounding blanks, an optional sign, digits,
// the locale's decimal separator and an optional exponent ("E" or "e", optional sign). The
// integer part may carry the locale's grouping marks, but only between groups of three
// digits, so a text shown by formatNumber() reads back as the same value.
// Returns false when the text is not such a number; empty text gives an empty value.
bool parseNumber(QStringView text, const QLocale &locale, std::optional<double> &out);

// As parseNumber(), but throws ConversionError naming the field when the text is no number.
std::optional<double> numberFromText(const QString &text, const QLocale &locale,
                                     const QString &fieldName);
// "'<text>' is not a valid floating point value for field '<field>'"
QString invalidNumberMessage(const QString &text, const QString &fieldName);

// The characters a number field lets the user type: digits, "+", "-", "E", "e" and the
// locale's decimal separator. Control characters (backspace, return, ...) edit rather than
// type and pass too.
bool isNumberChar(QChar c, const QLocale &locale);

// The locale's date separator, taken from its short date format ("/" when it shows none).
QChar dateSeparator(const QLocale &locale);
// The locale's short date format, as QLocale::dateFormat(QLocale::ShortFormat) gives it.
QString shortDateFormat(const QLocale &locale);

// Formats a date with a picture of D, M and Y runs, case-insensitive ("DD/MM/YYYY",
// "d/m/yy"): one letter shows the number without padding, two pad to two digits; YY is the
// two-digit year, YYYY four digits; DDD/DDDD and MMM/MMMM are the locale's short and long
// day and month names. "/" is the locale's date separator; text in quotes is kept as it is.
// An invalid date gives an empty text.
QString formatDate(const QDate &date, QStringView picture, const QLocale &locale);
// "DD/MM/YYYY"
QString formatDate(const QDate &date, const QLocale &locale);

// Reads a date as the locale writes its short dates (day, month, year in the locale's order,
// separated by its date separator; a two-digit year falls within 50 years of today).
// Returns false when the text is no date; empty text gives an empty value.
bool parseDate(QStringView text, const QLocale &locale, std::optional<QDate> &out);
// "'<text>' is not a valid date"
QString invalidDateMessage(const QString &text);

} // namespace formats
