#include "Formats.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace formats {

namespace {

struct Picture
{
    bool plain = false;  // no picture: the shortest form
    int minInt = 0;      // integer digits always shown
    int minDec = 0;      // decimals always shown
    int maxDec = 0;      // decimals at most
    bool group = false;
};

// The picture rules are those of the classic FormatFloat: the "0" placeholders from the first
// one up to the point are required integer digits, the decimals run up to the last
// placeholder after the point and are required up to the last "0".
Picture readPicture(QStringView p)
{
    Picture r;
    if (p.isEmpty()) {
        r.plain = true;
        return r;
    }
    bool afterPoint = false;
    bool seenZero = false;
    int decPos = 0;
    for (QChar c : p) {
        if (c == u'.') {
            afterPoint = true;
        } else if (c == u',') {
            if (!afterPoint)
                r.group = true;
        } else if (c == u'0' || c == u'#') {
            if (afterPoint) {
                ++decPos;
                r.maxDec = decPos;
                if (c == u'0')
                    r.minDec = decPos;
            } else if (c == u'0' || seenZero) {
                seenZero = true;
                ++r.minInt;
            }
        }
    }
    // Decimals beyond what a double carries are noise; keep silly pictures bounded.
    r.maxDec = std::min(r.maxDec, 30);
    r.minDec = std::min(r.minDec, r.maxDec);
    r.minInt = std::min(r.minInt, 30);
    return r;
}

// The shortest decimal text that reads back as magnitude, split at the point.
void decimalDigits(double magnitude, std::string &ip, std::string &fp)
{
    char buf[400];  // the longest fixed form of a double (5e-324) is 326 characters
    const auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::fixed);
    std::string s(buf, res.ec == std::errc() ? res.ptr : buf);
    const auto dot = s.find('.');
    if (dot == std::string::npos) {
        ip = s;
        fp.clear();
    } else {
        ip = s.substr(0, dot);
        fp = s.substr(dot + 1);
    }
}

// Adds one unit in the last place of ip.fp; a carry out of the top grows ip.
void incrementLast(std::string &ip, std::string &fp)
{
    for (auto it = fp.rbegin(); it != fp.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return;
        }
        *it = '0';
    }
    for (auto it = ip.rbegin(); it != ip.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return;
        }
        *it = '0';
    }
    ip.insert(ip.begin(), '1');
}

QString groupDigits(const std::string &ip, const QString &sep)
{
    QString out;
    const int n = int(ip.size());
    out.reserve(n + n / 3 * sep.size());
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += sep;
        out += QLatin1Char(ip[size_t(i)]);
    }
    return out;
}

bool isAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }

} // namespace

QString formatFloat(double value, QStringView picture, const QLocale &locale)
{
    if (!std::isfinite(value))
        return locale.toString(value);
    const Picture pic = readPicture(picture);
    if (pic.plain) {
        QLocale plain(locale);
        plain.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
        return plain.toString(value, 'g', QLocale::FloatingPointShortest);
    }

    std::string ip, fp;
    decimalDigits(std::fabs(value), ip, fp);
    if (fp.size() > size_t(pic.maxDec)) {
        const bool up = fp[size_t(pic.maxDec)] >= '5';
        fp.resize(size_t(pic.maxDec));
        if (up)
            incrementLast(ip, fp);
    }
    while (fp.size() > size_t(pic.minDec) && fp.back() == '0')
        fp.pop_back();
    while (fp.size() < size_t(pic.minDec))
        fp.push_back('0');
    const auto firstNonZero = ip.find_first_not_of('0');
    ip.erase(0, firstNonZero == std::string::npos ? ip.size() : firstNonZero);
    const bool isZero = ip.empty() && fp.find_first_not_of('0') == std::string::npos;
    while (ip.size() < size_t(pic.minInt))
        ip.insert(ip.begin(), '0');

    QString out;
    if (value < 0 && !isZero)
        out += locale.negativeSign();
    out += pic.group ? groupDigits(ip, locale.groupSeparator()) : QString::fromLatin1(ip);
    if (!fp.empty()) {
        out += locale.decimalPoint();
        out += QString::fromLatin1(fp);
    }
    return out;
}

QString formatNumber(double value, const QLocale &locale)
{
    return formatFloat(value, NumberFormat, locale);
}

QString formatNumber(std::optional<double> value, const QLocale &locale)
{
    return value ? formatNumber(*value, locale) : QString();
}

bool parseNumber(QStringView text, const QLocale &locale, std::optional<double> &out)
{
    const QStringView t = text.trimmed();
    if (t.isEmpty()) {
        out.reset();
        return true;
    }
    const QString dec = locale.decimalPoint();
    const QString grp = locale.groupSeparator();
    const bool grouping = !grp.isEmpty() && grp != dec;
    qsizetype i = 0;
    auto at = [&](const QString &token) {
        return !token.isEmpty() && t.sliced(i).startsWith(token);
    };

    std::string s;
    if (t[i] == u'-' || t[i] == u'+') {
        if (t[i] == u'-')
            s += '-';
        ++i;
    } else if (at(locale.negativeSign())) {
        s += '-';
        i += locale.negativeSign().size();
    } else if (at(locale.positiveSign())) {
        i += locale.positiveSign().size();
    }

    // Integer part; a grouping mark must close a group of 1 to 3 digits (the first) or of
    // exactly 3 (the others), and the digits after the last mark must be 3 as well.
    std::string ip;
    int run = 0;
    bool grouped = false;
    while (i < t.size()) {
        if (isAsciiDigit(t[i])) {
            ip += char(t[i].unicode());
            ++run;
            ++i;
        } else if (grouping && at(grp)) {
            if (run == 0 || run > 3 || (grouped && run != 3))
                return false;
            grouped = true;
            run = 0;
            i += grp.size();
        } else {
            break;
        }
    }
    if (grouped && run != 3)
        return false;

    std::string fp;
    if (at(dec)) {
        i += dec.size();
        while (i < t.size() && isAsciiDigit(t[i]))
            fp += char(t[i++].unicode());
    }
    if (ip.empty() && fp.empty())
        return false;

    std::string ex;
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
        ++i;
        if (i < t.size() && (t[i] == u'-' || t[i] == u'+'))
            ex += char(t[i++].unicode());
        const auto start = ex.size();
        while (i < t.size() && isAsciiDigit(t[i]))
            ex += char(t[i++].unicode());
        if (ex.size() == start)
            return false;
    }
    if (i != t.size())
        return false;

    s += ip.empty() ? std::string("0") : ip;
    if (!fp.empty())
        s += '.' + fp;
    if (!ex.empty())
        s += 'e' + ex;
    double v = 0;
    const auto res = std::from_chars(s.data(), s.data() + s.size(), v);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size() || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

QString invalidNumberMessage(const QString &text, const QString &fieldName)
{
    return QStringLiteral("'%1' is not a valid floating point value for field '%2'").arg(text, fieldName);
}

std::optional<double> numberFromText(const QString &text, const QLocale &locale,
                                     const QString &fieldName)
{
    std::optional<double> v;
    if (!parseNumber(text, locale, v))
        throw ConversionError(invalidNumberMessage(text, fieldName));
    return v;
}

bool isNumberChar(QChar c, const QLocale &locale)
{
    if (c.unicode() < 0x20 || c.unicode() == 0x7F)
        return true;
    if (isAsciiDigit(c) || c == u'+' || c == u'-' || c == u'E' || c == u'e')
        return true;
    return locale.decimalPoint() == QString(c);
}

QString shortDateFormat(const QLocale &locale)
{
    // Asked for every date shown, and the locale builds it afresh each time: keep the last.
    static thread_local QLocale last(QLocale::c());
    static thread_local QString format = last.dateFormat(QLocale::ShortFormat);
    if (!(locale == last)) {
        last = locale;
        format = locale.dateFormat(QLocale::ShortFormat);
    }
    return format;
}

QChar dateSeparator(const QLocale &locale)
{
    const QString f = shortDateFormat(locale);
    bool quoted = false;
    for (QChar c : f) {
        if (c == u'\'') {
            quoted = !quoted;
        } else if (!quoted && !c.isLetter() && !c.isSpace()) {
            return c;
        }
    }
    return u'/';
}

QString formatDate(const QDate &date, QStringView picture, const QLocale &locale)
{
    if (!date.isValid())
        return {};
    const QChar sep = dateSeparator(locale);
    // A grid formats a date for every row it shows: digits are put in place, not through
    // a number-to-text conversion per part.
    auto padded = [](int n, int width) {
        char16_t digits[12];
        int len = 0;
        unsigned v = unsigned(n);
        do {
            digits[len++] = char16_t(u'0' + v % 10);
            v /= 10;
        } while (v);
        while (len < width && len < 12)
            digits[len++] = u'0';
        std::reverse(digits, digits + len);
        return QStringView(digits, len).toString();
    };
    auto lowerOf = [](QChar c) {
        const char16_t u = c.unicode();
        return u >= u'A' && u <= u'Z' ? QChar(char16_t(u | 0x20)) : (u < 0x80 ? c : c.toLower());
    };
    QString out;
    out.reserve(picture.size() + 4);
    qsizetype i = 0;
    while (i < picture.size()) {
        const QChar c = picture[i];
        const QChar lower = lowerOf(c);
        if (c == u'"' || c == u'\'') {
            const qsizetype end = picture.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? picture.size() : end;
            out += picture.sliced(i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        if (lower != u'd' && lower != u'm' && lower != u'y') {
            out += c == u'/' ? sep : c;
            ++i;
            continue;
        }
        qsizetype run = 1;
        while (i + run < picture.size() && lowerOf(picture[i + run]) == lower)
            ++run;
        i += run;
        if (lower == u'd') {
            if (run <= 2)
                out += padded(date.day(), int(run));
            else
                out += locale.dayName(date.dayOfWeek(), run == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
        } else if (lower == u'm') {
            if (run <= 2)
                out += padded(date.month(), int(run));
            else
                out += locale.monthName(date.month(), run == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
        } else {
            const int y = date.year();
            if (run <= 2)
                out += padded(std::abs(y) % 100, 2);
            else
                out += (y < 0 ? QStringLiteral("-") : QString()) + padded(std::abs(y), 4);
        }
    }
    return out;
}

QString formatDate(const QDate &date, const QLocale &locale)
{
    return formatDate(date, DateFormat, locale);
}

bool parseDate(QStringView text, const QLocale &locale, std::optional<QDate> &out)
{
    const QStringView t = text.trimmed();
    if (t.isEmpty()) {
        out.reset();
        return true;
    }
    // The order of day, month and year in the locale's short format.
    QString order;
    for (QChar c : shortDateFormat(locale)) {
        const QChar l = c.toLower();
        if ((l == u'd' || l == u'm' || l == u'y') && !order.contains(l))
            order += l;
    }
    if (order.size() != 3)
        order = QStringLiteral("dmy");

    const QList<QStringView> parts = t.split(dateSeparator(locale));
    if (parts.size() != 2 && parts.size() != 3)
        return false;
    int day = 0, month = 0, year = QDate::currentDate().year();
    bool yearGiven = false;
    int yearDigits = 0;
    int part = 0;
    for (QChar which : std::as_const(order)) {
        if (which == u'y' && parts.size() == 2)
            continue;  // day and month alone: this year
        const QStringView p = parts[part++].trimmed();
        if (p.isEmpty() || p.size() > 4)
            return false;
        for (QChar c : p)
            if (!isAsciiDigit(c))
                return false;
        const int n = p.toInt();
        if (which == u'd') {
            day = n;
        } else if (which == u'm') {
            month = n;
        } else {
            year = n;
            yearGiven = true;
            yearDigits = int(p.size());
        }
    }
    if (yearGiven && yearDigits <= 2) {
        const int now = QDate::currentDate().year();
        year += now - now % 100;
        if (year > now + 50)
            year -= 100;
        else if (year <= now - 50)
            year += 100;
    }
    const QDate d(year, month, day);
    if (!d.isValid())
        return false;
    out = d;
    return true;
}

QString invalidDateMessage(const QString &text)
{
    return QStringLiteral("'%1' não é uma data válida").arg(text);
}

} // namespace formats
