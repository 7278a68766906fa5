#pragma once

// Words and their boxes read back from a PDF with pdftotext -bbox (poppler-utils), in
// millimetres from the page's top-left corner. Header-only; the print tests include it.

#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QTextDocumentFragment>

namespace pdfwords {

struct Word
{
    QString text;
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;  // mm
};

struct Page
{
    double width = 0, height = 0;  // mm
    QList<Word> words;
};

// Empty when pdftotext fails; error then says why.
inline QList<Page> read(const QString &pdf, QString *error = nullptr)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("pdftotext failed: ") + QString::fromUtf8(p.readAllStandardError());
        return {};
    }
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    constexpr double mm = 25.4 / 72.0;
    static const QRegularExpression pageRe(QString::fromLatin1(R"re(<page width="([\d.]+)" height="([\d.]+)">)re"));
    static const QRegularExpression wordRe(QString::fromLatin1(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    QList<Page> pages;
    for (const QString &chunk : out.split(QStringLiteral("</page>"))) {
        const auto pm = pageRe.match(chunk);
        if (!pm.hasMatch())
            continue;
        Page page;
        page.width = pm.captured(1).toDouble() * mm;
        page.height = pm.captured(2).toDouble() * mm;
        for (auto it = wordRe.globalMatch(chunk); it.hasNext();) {
            const auto m = it.next();
            Word w;
            w.xMin = m.captured(1).toDouble() * mm;
            w.yMin = m.captured(2).toDouble() * mm;
            w.xMax = m.captured(3).toDouble() * mm;
            w.yMax = m.captured(4).toDouble() * mm;
            w.text = QTextDocumentFragment::fromHtml(m.captured(5)).toPlainText();
            page.words.append(w);
        }
        pages.append(page);
    }
    return pages;
}

// The words of a text that sits on one line, found as a run of consecutive words; the box
// spans them all. Returns false when the run is not on the page.
inline bool find(const Page &page, const QString &text, Word &out, int occurrence = 0)
{
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i + parts.size() <= page.words.size(); ++i) {
        bool match = true;
        for (qsizetype k = 0; k < parts.size() && match; ++k)
            match = page.words.at(i + k).text == parts.at(k);
        if (!match)
            continue;
        if (occurrence-- > 0)
            continue;
        out = page.words.at(i);
        out.text = text;
        out.xMax = page.words.at(i + parts.size() - 1).xMax;
        return true;
    }
    return false;
}

} // namespace pdfwords
