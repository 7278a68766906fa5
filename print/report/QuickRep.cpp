#include "QuickRep.h"

#include <QFontMetricsF>
#include <QImage>

#include <algorithm>
#include <cmath>

namespace report {

QFont FontSpec::toQFont() const
{
    QFont f(family);
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    f.setItalic(italic);
    f.setUnderline(underline);
    // Hinted glyph widths change with the resolution; pages must measure alike everywhere.
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

namespace {

// 2540 dots per inch: one dot is a hundredth of a millimetre.
constexpr double MeasureDpi = 2540.0;

const QImage &measureDevice()
{
    static const QImage device = [] {
        QImage img(1, 1, QImage::Format_ARGB32);
        const int dpm = int(std::lround(MeasureDpi / 0.0254));
        img.setDotsPerMeterX(dpm);
        img.setDotsPerMeterY(dpm);
        return img;
    }();
    return device;
}

} // namespace

TextMeasure::TextMeasure(const FontSpec &font) : m_font(font.toQFont()), m_scale(254.0 / MeasureDpi) {}

double TextMeasure::width(const QString &text) const
{
    return QFontMetricsF(m_font, &measureDevice()).horizontalAdvance(text) * m_scale;
}

double TextMeasure::ascent() const
{
    return QFontMetricsF(m_font, &measureDevice()).ascent() * m_scale;
}

double TextMeasure::descent() const
{
    return QFontMetricsF(m_font, &measureDevice()).descent() * m_scale;
}

double TextMeasure::lineHeight() const
{
    return ascent() + descent();
}

double TextMeasure::lineSpacing() const
{
    return QFontMetricsF(m_font, &measureDevice()).lineSpacing() * m_scale;
}

QStringList wrapParagraph(const QString &text, const TextMeasure &measure, double width)
{
    QStringList lines;
    if (text.isEmpty() || measure.width(text) <= width)
        return {text};
    QString rest = text;
    while (!rest.isEmpty()) {
        if (measure.width(rest) <= width) {
            lines.append(rest);
            break;
        }
        // The longest prefix that fits, by characters.
        qsizetype lo = 0, hi = rest.size();
        while (lo < hi) {
            const qsizetype mid = (lo + hi + 1) / 2;
            if (measure.width(rest.left(mid)) <= width)
                lo = mid;
            else
                hi = mid - 1;
        }
        qsizetype cut = lo;
        // Back to the last blank within the fitting part. The blanks at a break belong to
        // neither line, so right-aligned and centred lines sit on their text.
        qsizetype blank = -1;
        for (qsizetype i = std::min(cut, rest.size() - 1); i > 0; --i) {
            if (rest.at(i).isSpace()) {
                blank = i;
                break;
            }
        }
        qsizetype end = cut;
        if (blank > 0) {
            end = blank;
            while (end > 0 && rest.at(end - 1).isSpace())
                --end;
            cut = blank;
            while (cut < rest.size() && rest.at(cut).isSpace())
                ++cut;
            if (end == 0)
                end = cut = std::max<qsizetype>(lo, 1);  // only blanks before the word
        } else if (cut == 0) {
            end = cut = 1;  // not even one character fits: one per line
        }
        lines.append(rest.left(end));
        rest = rest.mid(cut);
    }
    return lines;
}

// ---- controls

TQRPrintable::TQRPrintable(TQRBand *band, const QString &name) : QObject(band)
{
    setObjectName(name);
}

FontSpec TQRPrintable::font() const
{
    if (parentFont) {
        if (const TQuickRep *r = report())
            return r->font;
    }
    return ownFont;
}

void TQRPrintable::setFont(const FontSpec &font)
{
    ownFont = font;
    parentFont = false;
}

TQRBand *TQRPrintable::band() const
{
    return qobject_cast<TQRBand *>(parent());
}

TQuickRep *TQRPrintable::report() const
{
    TQRBand *b = band();
    return b ? b->report() : nullptr;
}

TQRLabel::TQRLabel(TQRBand *band, const QString &name, const QString &caption) : TQRPrintable(band, name)
{
    autoSize = true;
    m_caption = caption;
}

void TQRLabel::setCaption(const QString &text)
{
    m_caption = text;
    if (autoSize)
        adjustSize();
}

QStringList TQRLabel::printLines() const
{
    QString text = m_caption;
    text.remove(QLatin1Char('\n'));
    const QStringList parts = text.split(QLatin1Char('\r'));
    if (!wordWrap || autoSize)
        return parts;
    const TextMeasure m(font());
    QStringList lines;
    for (const QString &p : parts)
        lines += wrapParagraph(p, m, width);
    return lines;
}

void TQRLabel::adjustSize()
{
    const TextMeasure m(font());
    QString text = m_caption;
    text.remove(QLatin1Char('\n'));
    const QStringList parts = text.split(QLatin1Char('\r'));
    double w = 0;
    for (const QString &p : parts)
        w = std::max(w, m.width(p));
    const double right = left + width;
    const double centre = left + width / 2;
    switch (alignment) {
    case Alignment::Left:
        break;
    case Alignment::Right:
        left = right - w;
        break;
    case Alignment::Center:
        left = centre - w / 2;
        break;
    }
    width = w;
    height = std::max(height, parts.size() * m.lineHeight());
}

TQRMemo::TQRMemo(TQRBand *band, const QString &name) : TQRPrintable(band, name)
{
    wordWrap = true;
}

QStringList TQRMemo::printLines() const
{
    if (!wordWrap)
        return m_lines;
    const TextMeasure m(font());
    QStringList out;
    for (const QString &line : m_lines)
        out += wrapParagraph(line, m, width);
    return out;
}

TQRShape::TQRShape(TQRBand *band, const QString &name, Shape s) : TQRPrintable(band, name), shape(s)
{
    transparent = true;
}

TQRBand::TQRBand(TQuickRep *report, const QString &name, BandKind k, double h)
    : QObject(report), kind(k), height(h)
{
    setObjectName(name);
}

TQuickRep *TQRBand::report() const
{
    return qobject_cast<TQuickRep *>(parent());
}

QList<TQRPrintable *> TQRBand::controls() const
{
    return findChildren<TQRPrintable *>(QString(), Qt::FindDirectChildrenOnly);
}

// ---- report

TQuickRep::TQuickRep(QObject *parent, const QString &name) : QObject(parent)
{
    setObjectName(name);
}

void TQuickRep::setPaperSize(PaperSize size)
{
    m_paperSize = size;
}

void TQuickRep::setCustomSize(double width, double length)
{
    m_customWidth = width;
    m_customLength = length;
}

namespace {
QSizeF portraitSize(PaperSize size, double customWidth, double customLength)
{
    switch (size) {
    case PaperSize::A4:
        return {2100, 2970};
    case PaperSize::Letter:
        return {2159, 2794};
    case PaperSize::Custom:
        break;
    }
    return {customWidth, customLength};
}
} // namespace

double TQuickRep::paperLength() const
{
    const QSizeF s = portraitSize(m_paperSize, m_customWidth, m_customLength);
    return orientation == Orientation::Portrait ? s.height() : s.width();
}

double TQuickRep::paperWidth() const
{
    const QSizeF s = portraitSize(m_paperSize, m_customWidth, m_customLength);
    return orientation == Orientation::Portrait ? s.width() : s.height();
}

QList<TQRBand *> TQuickRep::bands() const
{
    return findChildren<TQRBand *>(QString(), Qt::FindDirectChildrenOnly);
}

namespace {

// One band laid out at its own top-left corner.
struct BandImage
{
    QList<DrawItem> items;
    double height = 0;
    double designHeight = 0;  // before its controls stretched
};

// One line of text laid out in a band, with the edge it grows from.
struct LineText
{
    DrawItem *item;
    Alignment alignment;
    bool oneLine;  // a label's only line: free to condense; memo lines keep their wrap
    int control;
};

// Where a text is anchored: it grows away from this x.
double anchorX(const QRectF &r, Alignment a)
{
    return a == Alignment::Left ? r.left() : a == Alignment::Right ? r.right() : r.center().x();
}

// A one-line text that would reach another text of its line (a value running into the next
// heading) is condensed across to end a little before it, keeping its font size and the edge
// it grows from, as at the margins. Of two texts that meet, the one that has run further from
// its anchor into the other gives way; texts that stand apart stay as laid out.
void keepLineTextsApart(QList<LineText> &texts)
{
    constexpr double Gap = 10;        // 1 mm clear before the next text
    constexpr double SameLine = 5;    // boxes that share more than this height share a line
    QList<QRectF> before;             // decisions read the boxes as laid out
    for (const LineText &t : texts)
        before.append(t.item->rect);
    for (qsizetype i = 0; i < texts.size(); ++i) {
        LineText &t = texts[i];
        if (!t.oneLine || t.alignment == Alignment::Center)
            continue;
        const QRectF r = before.at(i);
        double lo = r.left(), hi = r.right();
        for (qsizetype k = 0; k < texts.size(); ++k) {
            const LineText &o = texts.at(k);
            const QRectF q = before.at(k);
            if (o.control == t.control || std::min(r.bottom(), q.bottom()) - std::max(r.top(), q.top()) <= SameLine)
                continue;
            const double from = std::max(r.left(), q.left() - Gap), to = std::min(r.right(), q.right() + Gap);
            if (from >= to)
                continue;  // clear of each other, gap included
            const double ownRun = t.alignment == Alignment::Left ? to - r.left() : r.right() - from;
            const double ao = anchorX(q, o.alignment);
            const double otherRun = std::max(std::abs(from - ao), std::abs(to - ao));
            if (ownRun <= otherRun && o.oneLine)
                continue;  // the other one ran into this one
            if (t.alignment == Alignment::Left && q.left() > r.left())
                hi = std::min(hi, q.left() - Gap);
            else if (t.alignment == Alignment::Right && q.right() < r.right())
                lo = std::max(lo, q.right() + Gap);
        }
        if (hi - lo >= r.width() - 1e-6 || hi <= lo)
            continue;
        t.item->scaleX *= (hi - lo) / r.width();
        t.item->rect = QRectF(lo, r.top(), hi - lo, r.height());
        t.item->baseline.setX(lo);
    }
}

BandImage layoutBand(TQRBand *band)
{
    if (band->beforePrint)
        band->beforePrint(band);
    struct Placed
    {
        TQRPrintable *c;
        QStringList lines;
        double top, height, grow;
    };
    QList<Placed> placed;
    for (TQRPrintable *c : band->controls()) {
        Placed p{c, c->printLines(), c->top, c->height, 0};
        if (c->autoStretch && !qobject_cast<TQRShape *>(c)) {
            const double need = p.lines.size() * TextMeasure(c->font()).lineSpacing();
            if (need > c->height)
                p.grow = need - c->height;
        }
        placed.append(p);
    }
    // A control that grows pushes down every control that lies wholly below it.
    std::stable_sort(placed.begin(), placed.end(), [](const Placed &a, const Placed &b) { return a.top < b.top; });
    for (qsizetype j = 0; j < placed.size(); ++j) {
        double shift = 0;
        for (qsizetype i = 0; i < j; ++i) {
            const Placed &a = placed.at(i);
            if (a.c->top + a.c->height <= placed.at(j).c->top + 1e-6)
                shift = std::max(shift, (a.top - a.c->top) + a.grow);
        }
        placed[j].top += shift;
        placed[j].height += placed[j].grow;
    }
    BandImage img;
    double growth = 0;
    for (const Placed &p : placed)
        growth = std::max(growth, (p.top + p.height) - (p.c->top + p.c->height));
    img.height = band->height + growth;
    img.designHeight = band->height;

    // Every control's text lines at their places, before anything is drawn: a one-line text
    // that runs into another text of its line is condensed first (keepLineTextsApart).
    QList<QList<DrawItem>> texts(placed.size());
    for (qsizetype j = 0; j < placed.size(); ++j) {
        const Placed &p = placed.at(j);
        TQRPrintable *c = p.c;
        if (qobject_cast<TQRShape *>(c))
            continue;
        const QRectF rect(c->left, p.top, c->width, p.height);
        const FontSpec font = c->font();
        const TextMeasure m(font);
        const double spacing = m.lineSpacing();
        const double ascent = m.ascent();
        for (qsizetype k = 0; k < p.lines.size(); ++k) {
            const QString &line = p.lines.at(k);
            if (line.isEmpty())
                continue;
            const double w = m.width(line);
            double x = rect.left();
            if (c->alignment == Alignment::Right)
                x = rect.right() - w;
            else if (c->alignment == Alignment::Center)
                x = rect.left() + (rect.width() - w) / 2;
            const double y = rect.top() + k * spacing;
            DrawItem t;
            t.kind = DrawItem::Kind::Text;
            t.rect = QRectF(x, y, w, m.lineHeight());
            t.baseline = QPointF(x, y + ascent);
            t.text = line;
            t.font = font;
            texts[j].append(t);
        }
    }
    QList<LineText> lineTexts;
    for (qsizetype j = 0; j < placed.size(); ++j)
        for (DrawItem &t : texts[j])
            lineTexts.append(LineText{&t, placed.at(j).c->alignment, texts.at(j).size() == 1, int(j)});
    keepLineTextsApart(lineTexts);

    for (qsizetype j = 0; j < placed.size(); ++j) {
        const Placed &p = placed.at(j);
        TQRPrintable *c = p.c;
        const QRectF rect(c->left, p.top, c->width, p.height);
        if (auto *shape = qobject_cast<TQRShape *>(c)) {
            DrawItem line;
            line.kind = DrawItem::Kind::Line;
            line.lineWidth = shape->penWidth;
            switch (shape->shape) {
            case TQRShape::Shape::HorLine:
                line.rect = QRectF(QPointF(rect.left(), rect.center().y()), QPointF(rect.right(), rect.center().y()));
                img.items.append(line);
                break;
            case TQRShape::Shape::VertLine:
                line.rect = QRectF(QPointF(rect.center().x(), rect.top()), QPointF(rect.center().x(), rect.bottom()));
                img.items.append(line);
                break;
            case TQRShape::Shape::Rectangle:
                for (const auto &[a, b] : {std::pair{rect.topLeft(), rect.topRight()},
                                          std::pair{rect.topRight(), rect.bottomRight()},
                                          std::pair{rect.bottomLeft(), rect.bottomRight()},
                                          std::pair{rect.topLeft(), rect.bottomLeft()}}) {
                    line.rect = QRectF(a, b);
                    img.items.append(line);
                }
                break;
            }
            continue;
        }
        if (!c->transparent) {
            DrawItem fill;
            fill.kind = DrawItem::Kind::Fill;
            fill.rect = rect;
            // A condensed one-line text takes its ground with it.
            if (texts.at(j).size() == 1 && texts.at(j).first().scaleX < 1.0) {
                const QRectF t = texts.at(j).first().rect;
                if (c->alignment == Alignment::Right)
                    fill.rect.setLeft(std::max(rect.left(), t.left()));
                else
                    fill.rect.setRight(std::min(rect.right(), t.right()));
            }
            fill.colour = c->color;
            img.items.append(fill);
        }
        img.items.append(texts.at(j));
        const auto &f = c->frame;
        auto frameLine = [&](QPointF a, QPointF b) {
            DrawItem l;
            l.kind = DrawItem::Kind::Line;
            l.rect = QRectF(a, b);
            l.colour = f.colour;
            l.lineWidth = f.width;
            img.items.append(l);
        };
        if (f.top)
            frameLine(rect.topLeft(), rect.topRight());
        if (f.bottom)
            frameLine(rect.bottomLeft(), rect.bottomRight());
        if (f.left)
            frameLine(rect.topLeft(), rect.bottomLeft());
        if (f.right)
            frameLine(rect.topRight(), rect.bottomRight());
    }
    return img;
}

DrawItem moved(DrawItem item, double dx, double dy)
{
    item.rect.translate(dx, dy);
    item.baseline += QPointF(dx, dy);
    return item;
}

FontSpec continuationFont(const TQuickRep &r)
{
    FontSpec font = r.font;
    font.pointSize = 8;
    return font;
}

// Pages after the first keep the top of their printable area for the continuation header:
// its line and 2 mm under it.
double continuationRoom(const TQuickRep &r)
{
    return r.continuationHeader ? TextMeasure(continuationFont(r)).lineHeight() + 20 : 0;
}

class Paginator
{
public:
    explicit Paginator(const TQuickRep &r) : m_rep(r)
    {
        m_out.paperSize = QSizeF(r.paperWidth(), r.paperLength());
        m_bottom = r.paperLength() - r.bottomMargin;
        for (TQRBand *b : r.bands())
            if (b->kind == BandKind::ColumnHeader)
                m_headers.append(b);
    }

    void startFirstPage(const QList<TQRBand *> &titles)
    {
        m_out.pages.append(ReportPage{});
        m_y = m_rep.topMargin;
        for (TQRBand *t : titles)
            place(layoutBand(t), false);
        placeHeaders(true);
    }

    void place(const BandImage &band, bool mayBreak = true)
    {
        // A band that stretched past the room left goes on from here when its designed
        // height fits, so a long goods text continues on the next page instead of leaving
        // the B/L's headings alone on the first.
        const bool continuesHere = band.height > band.designHeight + 1e-6
                                   && m_y + band.designHeight <= m_bottom + 1e-6;
        if (mayBreak && !continuesHere && m_y + band.height > m_bottom + 1e-6 && m_y > m_pageTop + 1e-6)
            newPage();
        if (m_y + band.height <= m_bottom + 1e-6) {
            for (const DrawItem &i : band.items)
                page().items.append(moved(i, m_rep.leftMargin, m_y));
            m_y += band.height;
            return;
        }
        split(band);
    }

    ReportPages result() { return std::move(m_out); }

private:
    ReportPage &page() { return m_out.pages.last(); }

    void newPage()
    {
        m_out.pages.append(ReportPage{});
        m_y = m_rep.topMargin + continuationRoom(m_rep);
        placeHeaders(false);
    }

    // Column headers repeat at the top of every page. One that stretched carries content of
    // its own (the receipt's list of booking numbers): it prints once, on the first page, runs
    // on over as many pages as it needs, and counts as content, so a band after it that does
    // not fit moves whole to the next page.
    void placeHeaders(bool firstPage)
    {
        bool repeating = true;
        for (TQRBand *h : m_headers) {
            const BandImage img = layoutBand(h);
            const bool stretched = img.height > img.designHeight + 1e-6;
            if (stretched && !firstPage)
                continue;
            if (repeating && !stretched) {
                for (const DrawItem &i : img.items)
                    page().items.append(moved(i, m_rep.leftMargin, m_y));
                m_y += img.height;
                continue;
            }
            if (repeating) {
                m_pageTop = m_y;
                repeating = false;
            }
            place(img, false);
        }
        if (repeating)
            m_pageTop = m_y;
    }

    // A band taller than the room left: its lines go on as many pages as they need, a page
    // break falling before the first line that does not fit.
    void split(const BandImage &band)
    {
        struct Chunk
        {
            qsizetype page;
            double offset, y, room;
        };
        QList<DrawItem> drawn, fills;
        for (const DrawItem &i : band.items)
            (i.kind == DrawItem::Kind::Fill ? fills : drawn).append(i);
        std::stable_sort(drawn.begin(), drawn.end(),
                         [](const DrawItem &a, const DrawItem &b) { return a.rect.top() < b.rect.top(); });
        QList<Chunk> chunks{{m_out.pages.size() - 1, 0, m_y, m_bottom - m_y}};
        for (const DrawItem &i : drawn) {
            Chunk c = chunks.last();
            const double top = std::min(i.rect.top(), i.rect.bottom());
            const double bottom = std::max(i.rect.top(), i.rect.bottom());
            if (bottom - c.offset > c.room + 1e-6 && top > c.offset + 1e-6) {
                newPage();
                chunks.append(Chunk{m_out.pages.size() - 1, top, m_y, m_bottom - m_y});
            }
            const Chunk &now = chunks.last();
            m_out.pages[now.page].items.append(moved(i, m_rep.leftMargin, now.y - now.offset));
        }
        for (const DrawItem &f : fills) {
            for (const Chunk &c : chunks) {
                const QRectF part = f.rect.intersected(QRectF(f.rect.left(), c.offset, f.rect.width(), c.room));
                if (part.isEmpty())
                    continue;
                DrawItem piece = f;
                piece.rect = part;
                auto &items = m_out.pages[c.page].items;
                items.prepend(moved(piece, m_rep.leftMargin, c.y - c.offset));
            }
        }
        const Chunk &last = chunks.last();
        m_y = last.y + (band.height - last.offset);
    }

    const TQuickRep &m_rep;
    ReportPages m_out;
    QList<TQRBand *> m_headers;
    double m_y = 0, m_bottom = 0, m_pageTop = 0;
};

// Pages after the first carry the report's continuation header at the top of their printable
// area, in a smaller type, in the room the paginator kept for it. Its left part gives way to
// the right part as a value gives way to the next text on its line.
void addContinuationHeaders(const TQuickRep &r, ReportPages &out)
{
    const int count = int(out.pages.size());
    if (!r.continuationHeader || count < 2)
        return;
    const FontSpec font = continuationFont(r);
    const TextMeasure m(font);
    const double top = r.topMargin;
    for (int n = 1; n < count; ++n) {
        const auto [left, right] = r.continuationHeader(n + 1, count);
        QList<DrawItem> parts;
        QList<LineText> line;
        auto add = [&](const QString &text, double x) {
            DrawItem t;
            t.kind = DrawItem::Kind::Text;
            t.rect = QRectF(x, top, m.width(text), m.lineHeight());
            t.baseline = QPointF(x, top + m.ascent());
            t.text = text;
            t.font = font;
            parts.append(t);
        };
        if (!left.isEmpty())
            add(left, r.leftMargin);
        if (!right.isEmpty())
            add(right, r.paperWidth() - r.rightMargin - m.width(right));
        for (qsizetype k = 0; k < parts.size(); ++k)
            line.append(LineText{&parts[k], k == 0 && !left.isEmpty() ? Alignment::Left : Alignment::Right, true, int(k)});
        keepLineTextsApart(line);
        out.pages[n].items.append(parts);
    }
}

// A text that would pass a side margin is condensed across, keeping its font size and the
// edge it grows from, so a printer's unprintable border cuts nothing. Texts that fit stay
// exactly as laid out.
void keepInsideMargins(const TQuickRep &r, ReportPages &out)
{
    constexpr double Slack = 0.05;  // rounding of the layout, not a real overrun
    const double minX = r.leftMargin;
    const double maxX = r.paperWidth() - r.rightMargin;
    for (ReportPage &page : out.pages) {
        for (DrawItem &i : page.items) {
            if (i.kind != DrawItem::Kind::Text || i.rect.width() <= 0)
                continue;
            if (i.rect.right() > maxX + Slack && i.rect.left() < maxX) {
                i.scaleX *= (maxX - i.rect.left()) / i.rect.width();
                i.rect.setRight(maxX);
            } else if (i.rect.left() < minX - Slack && i.rect.right() > minX) {
                i.scaleX *= (i.rect.right() - minX) / i.rect.width();
                i.rect.setLeft(minX);
                i.baseline.setX(minX);
            }
        }
    }
}

} // namespace

ReportPages TQuickRep::prepare(const std::function<bool(int)> &progress) const
{
    const QList<TQRBand *> all = bands();
    auto ofKind = [&](BandKind k) {
        QList<TQRBand *> out;
        for (TQRBand *b : all)
            if (b->kind == k)
                out.append(b);
        return out;
    };
    Paginator pages(*this);
    pages.startFirstPage(ofKind(BandKind::Title));
    const QList<TQRBand *> details = ofKind(BandKind::Detail);
    if (dataSource && dataSource->recordCount() > 0) {
        const int total = dataSource->recordCount();
        int done = 0, shown = 0;
        for (dataSource->first(); !dataSource->eof(); dataSource->next()) {
            for (TQRBand *d : details)
                pages.place(layoutBand(d));
            ++done;
            const int percent = done * 100 / total / 5 * 5;
            if (progress && percent != shown) {
                shown = percent;
                if (!progress(percent))
                    break;
            }
        }
    } else if (printIfEmpty) {
        for (TQRBand *d : details)
            pages.place(layoutBand(d));
    }
    for (TQRBand *s : ofKind(BandKind::Summary))
        pages.place(layoutBand(s));
    ReportPages out = pages.result();
    addContinuationHeaders(*this, out);
    keepInsideMargins(*this, out);
    return out;
}

} // namespace report
