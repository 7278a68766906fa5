#include "TextFold.h"

#include <array>

namespace textfold {

namespace {

QChar foldSlow(QChar c)
{
    const QString base = QString(c).normalized(QString::NormalizationForm_D);
    const QString f = (base.isEmpty() ? QString(c) : base.left(1)).toCaseFolded();
    return f.size() == 1 ? f.at(0) : c;
}

// Every text a register holds comes from a Western code page, so a table for the first
// 0x250 characters serves all of them without normalising per record.
QChar fold(QChar c)
{
    static const auto table = [] {
        std::array<char16_t, 0x250> t{};
        for (char16_t u = 0; u < t.size(); ++u)
            t[u] = foldSlow(QChar(u)).unicode();
        return t;
    }();
    return c.unicode() < table.size() ? QChar(table[c.unicode()]) : foldSlow(c);
}

} // namespace

QString folded(QStringView text)
{
    QString out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = fold(text.at(i));
    return out;
}

bool startsWithFolded(QStringView value, QStringView foldedPrefix)
{
    if (value.size() < foldedPrefix.size())
        return false;
    for (qsizetype i = 0; i < foldedPrefix.size(); ++i)
        if (fold(value.at(i)) != foldedPrefix.at(i))
            return false;
    return true;
}

} // namespace textfold
