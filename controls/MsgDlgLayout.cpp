#include "MsgDlgLayout.h"

#include <algorithm>

namespace msgdlg {

QString messageText(const QString &text, QChar lineSeparator)
{
    QString shown = text;
    shown.replace(lineSeparator, QLatin1Char('\r'));
    return shown;
}

QStringList messageLines(const QString &original, QChar lineSeparator)
{
    const QString text = messageText(original, lineSeparator);
    QStringList lines;
    QString current;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r')) {
            lines.append(current);
            current.clear();
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
        } else {
            current.append(c);
        }
    }
    lines.append(current);
    return lines;
}

QVector<Segment> lineSegments(const QString &line, const AdvanceFn &advance, int tabStop)
{
    QVector<Segment> segments;
    int x = 0;
    qsizetype start = 0;
    for (;;) {
        const qsizetype tab = line.indexOf(QLatin1Char('\t'), start);
        const QString run = line.mid(start, tab < 0 ? -1 : tab - start);
        if (!run.isEmpty()) {
            segments.append({x, run});
            x += advance(run);
        }
        if (tab < 0)
            break;
        if (tabStop > 0)
            x = (x / tabStop + 1) * tabStop;
        start = tab + 1;
    }
    // Trailing tabs widen the line: keep an empty run so lineWidth sees where it ends.
    if (segments.isEmpty() || segments.last().x + advance(segments.last().text) < x)
        segments.append({x, QString()});
    return segments;
}

int lineWidth(const QString &line, const AdvanceFn &advance, int tabStop)
{
    const QVector<Segment> segments = lineSegments(line, advance, tabStop);
    const Segment &last = segments.last();
    return last.x + (last.text.isEmpty() ? 0 : advance(last.text));
}

QSize labelSize(const QStringList &lines, const AdvanceFn &advance, int tabStop, int lineHeight)
{
    int width = 0;
    for (const QString &line : lines)
        width = std::max(width, lineWidth(line, advance, tabStop));
    const qint64 height = qint64(std::max<qsizetype>(lines.size(), 1)) * lineHeight;
    return QSize(width, int(std::clamp<qint64>(height, 0, CoordLimit)));
}

namespace {

int sat(qint64 v)
{
    return int(std::clamp<qint64>(v, -CoordLimit, CoordLimit));
}

QRect rect(qint64 x, qint64 y, qint64 w, qint64 h)
{
    return QRect(sat(x), sat(y), sat(w), sat(h));
}

}  // namespace

Layout computeLayout(const LayoutInput &in)
{
    Layout out;
    const qint64 indent = in.indent;
    qint64 width = indent;
    qint64 height = indent;
    if (in.showIcon) {
        out.icon = rect(indent, indent, IconSize, IconSize);
        width = indent + IconSize;
        height = indent + IconSize;
    }

    const qint64 labelLeft = width + indent;
    const qint64 labelTop = indent;
    out.label = rect(labelLeft, labelTop, in.labelSize.width(), in.labelSize.height());
    width = labelLeft + in.labelSize.width() + 2 * indent;
    height = std::max(height, labelTop + in.labelSize.height());

    const qint64 n = std::max(in.buttonCount, 0);
    const qint64 row = n * in.btnWidth + (n - 1) * in.btnSpace;
    qint64 x = (width - row) / 2;  // C++ division truncates toward zero, as the row rule wants
    if (x < 0)
        x = indent;
    const qint64 top = height + indent;
    for (qint64 i = 0; i < n; ++i) {
        out.buttons.append(rect(x, top, in.btnWidth, in.btnHeight));
        x += qint64(in.btnWidth) + in.btnSpace;
    }

    height += qint64(in.btnHeight) + 2 * indent;
    if (x > width) {
        // The rule can also narrow the window (a row just short of centring room); never so
        // far that the message is cut: keep at least indent beside it.
        width = std::max(x + indent - in.btnSpace, labelLeft + in.labelSize.width() + indent);
    }
    out.client = QSize(sat(width), sat(height));
    return out;
}

QPoint windowPosition(bool centre, QPoint pos, QSize frameSize, const QRect &screen)
{
    if (!centre)
        return pos;
    return QPoint(screen.x() + (screen.width() - frameSize.width()) / 2,
                  screen.y() + (screen.height() - frameSize.height()) / 2);
}

}  // namespace msgdlg
