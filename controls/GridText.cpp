#include "GridText.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QRawFont>

#include <algorithm>
#include <cmath>
#include <vector>

namespace gridtext {

// A set pixel of a glyph, relative to its origin on the baseline. Single pixels rather than
// runs: at cell sizes strokes are one or two pixels wide, and a fixed-length store loop does
// not mispredict on every run's length.
struct Pixel
{
    qint16 dx, dy;
};

struct Glyph
{
    bool made = false;
    bool drawable = false;
    int advance = 0;  // in 64ths of a pixel, Qt's fixed point
    qint16 left = 0, right = 0;  // set pixels span columns [left, right) and rows [top, bottom]
    qint16 top = 0, bottom = 0;  // from the origin
    quint32 first = 0, count = 0;
};

namespace {

constexpr int kMaxFonts = 8;             // the grids use one or two fonts; a few more are cheap
constexpr int kMaxOtherGlyphs = 4096;    // characters beyond Latin-1 before a cache starts over,
constexpr size_t kMaxPixels = 1 << 17;   // or glyph pixels (512 KB), which big fonts reach first
// From 64 pixels on Qt fills glyph outlines at fractional positions instead of blitting
// cached glyphs; cell texts are far smaller.
constexpr int kMaxPixelSize = 48;

// Characters Qt draws one glyph per character for, left to right, without shaping: no marks,
// controls, format characters, right-to-left letters or scripts that need shaping.
bool simpleCharacter(QChar ch)
{
    if (ch.isSurrogate() || ch.unicode() == 0xFFFC)  // 0xFFFC: Qt's inline object
        return false;
    switch (ch.category()) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return false;
    default:
        break;
    }
    if (ch.direction() == QChar::DirR || ch.direction() == QChar::DirAL)
        return false;
    switch (ch.script()) {
    case QChar::Script_Common:
    case QChar::Script_Latin:
    case QChar::Script_Greek:
    case QChar::Script_Cyrillic:
        return true;
    default:
        return false;
    }
}

} // namespace

class GlyphCache
{
public:
    explicit GlyphCache(const QFont &f) : font(f)
    {
        const QFontMetrics fm(font);
        ascent = fm.ascent();
        descent = fm.descent();
        pad = fm.height();
        // Lines, spacing and case changes are drawn over or between the glyphs: leave them to Qt.
        fontOk = !font.underline() && !font.strikeOut() && !font.overline() && font.letterSpacing() == 0
                 && font.wordSpacing() == 0 && font.capitalization() == QFont::MixedCase
                 && (font.stretch() == 0 || font.stretch() == 100)
                 && QFontInfo(font).pixelSize() <= kMaxPixelSize;
        dpi = font.pixelSize() > 0 ? 0 : QImage(1, 1, QImage::Format_RGB32).logicalDpiY();
    }

    const Glyph &glyph(char16_t c)
    {
        if (c < 256 && latin[c].made) [[likely]]
            return latin[c];
        return slowGlyph(c);
    }

    const Pixel *pixels(const Glyph &g) const { return store.data() + g.first; }

    // Everything goes to Qt from now on.
    void disable()
    {
        fontOk = false;
        clear();
    }

    QFont font;
    bool fontOk = false;
    int ascent = 0, descent = 0;
    int pad = 0;  // no glyph reaches farther than this beyond its advance, ascent or descent
    int dpi = 0;  // the DPI a point-sized font was measured at; 0 for a pixel-sized one
    bool checked = false;

private:
    Q_NEVER_INLINE const Glyph &slowGlyph(char16_t c)
    {
        if (store.size() > kMaxPixels)
            clear();
        if (c < 256) {
            make(latin[c], c);
            return latin[c];
        }
        const auto it = others.constFind(c);
        if (it != others.cend())
            return *it;
        if (others.size() >= kMaxOtherGlyphs)
            clear();
        Glyph &g = others[c];
        make(g, c);
        return g;
    }

    void clear()
    {
        others.clear();
        for (Glyph &g : latin)
            g = Glyph();
        store.clear();
    }

    // Renders the character alone at an integer origin, as QPainter would inside a text.
    void make(Glyph &g, char16_t c)
    {
        g.made = true;
        const QChar ch(c);
        if (!fontOk || !simpleCharacter(ch) || !QRawFont::fromFont(font).supportsCharacter(ch))
            return;
        // Qt lays text out in 64ths of a pixel; an advance that is not one is beyond this model.
        const double advance = QFontMetricsF(font).horizontalAdvance(ch) * 64;
        if (advance < 0 || advance > 64 * 4 * kMaxPixelSize || advance != std::round(advance))
            return;
        g.advance = int(advance);
        const int w = (g.advance + 63) / 64 + 2 * pad;
        const int h = ascent + descent + 2 * pad;
        QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
        img.fill(0);
        {
            QPainter p(&img);
            p.setFont(font);
            p.setPen(QColor(Qt::black));
            p.drawText(pad, pad + ascent, QString(ch));
        }
        const quint32 first = quint32(store.size());
        int left = w, right = 0, top = h, bottom = 0;
        for (int y = 0; y < h; ++y) {
            const QRgb *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
            for (int x = 0; x < w; ++x) {
                if (!qAlpha(line[x]))
                    continue;
                // A glyph touching the border may have lost pixels: leave it to Qt.
                if (y == 0 || y == h - 1 || x == 0 || x == w - 1) {
                    store.resize(first);
                    return;
                }
                store.push_back({qint16(x - pad), qint16(y - pad - ascent)});
                left = std::min(left, x);
                right = std::max(right, x + 1);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
        g.first = first;
        g.count = quint32(store.size()) - first;
        g.left = qint16(g.count ? left - pad : 0);
        g.right = qint16(g.count ? right - pad : 0);
        g.top = qint16(g.count ? top - pad - ascent : 0);
        g.bottom = qint16(g.count ? bottom - pad - ascent : 0);
        g.drawable = true;
    }

    Glyph latin[256];
    QHash<char16_t, Glyph> others;
    std::vector<Pixel> store;
};

namespace {

// Recently used caches, most recent first. Fonts are released before the application's font
// database goes away.
std::vector<std::shared_ptr<GlyphCache>> &registry()
{
    static std::vector<std::shared_ptr<GlyphCache>> caches;
    static bool cleanup = [] {
        qAddPostRoutine([] { registry().clear(); });
        return true;
    }();
    Q_UNUSED(cleanup);
    return caches;
}

std::shared_ptr<GlyphCache> cacheFor(const QFont &font)
{
    auto &caches = registry();
    for (auto it = caches.begin(); it != caches.end(); ++it) {
        if ((*it)->font == font) {
            std::rotate(caches.begin(), it, it + 1);
            return caches.front();
        }
    }
    caches.insert(caches.begin(), std::make_shared<GlyphCache>(font));
    if (caches.size() > size_t(kMaxFonts))
        caches.pop_back();  // painters still holding it keep it alive
    return caches.front();
}

} // namespace

} // namespace gridtext

using gridtext::Glyph;
using gridtext::Pixel;

GridTextPainter::GridTextPainter(const QFont &font)
{
    QFont f = font;
    f.setStyleStrategy(QFont::StyleStrategy(QFont::PreferNoShaping | QFont::NoAntialias));
    m_cache = gridtext::cacheFor(f);
    if (m_cache->checked)
        return;
    m_cache->checked = true;
    // One glyph per character at the floor of the summed advances is how the raster engine
    // places unsmoothed glyphs with this platform's usual font settings. Should a desktop's
    // settings place them otherwise (subpixel positions, say), a sample text shows it, and
    // every text of this font goes to Qt.
    const QString sample = QStringLiteral("Wy fox ÁÇÉÕú 1.234,56 - 31/12/2026 AV");
    if (!canDraw(sample))
        return;
    const QFontMetrics fm(f);
    QImage mine(fm.horizontalAdvance(sample) + 8, fm.height() + 4, QImage::Format_RGB32);
    mine.fill(Qt::white);
    QImage qt = mine.copy();
    {
        QPainter p(&qt);
        p.setFont(f);
        p.setPen(QColor(Qt::black));
        p.drawText(3, 2 + fm.ascent(), sample);
    }
    if (!draw(mine, 3, 2 + fm.ascent(), sample, qRgb(0, 0, 0), mine.rect()) || mine != qt)
        m_cache->disable();
}

GridTextPainter::~GridTextPainter() = default;

const QFont &GridTextPainter::font() const
{
    return m_cache->font;
}

bool GridTextPainter::canDraw(QStringView text) const
{
    for (const QChar ch : text)
        if (!m_cache->glyph(ch.unicode()).drawable)
            return false;
    return true;
}

int GridTextPainter::width(QStringView text) const
{
    qint64 sum = 0;
    for (const QChar ch : text) {
        const Glyph &g = m_cache->glyph(ch.unicode());
        if (!g.drawable)
            return QFontMetrics(m_cache->font).horizontalAdvance(text.toString());
        sum += g.advance;
    }
    return int((sum + 32) >> 6);  // Qt rounds the fixed-point sum half up
}

bool GridTextPainter::draw(QImage &image, int x, int baseline, QStringView text, QRgb colour,
                           const QRect &clip) const
{
    gridtext::GlyphCache &cache = *m_cache;
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        break;
    default:
        return false;
    }
    if (qAlpha(colour) != 255 || image.devicePixelRatio() != 1.0 || image.bytesPerLine() % 4)
        return false;
    if (cache.dpi && image.logicalDpiY() != cache.dpi)
        return false;
    if (!canDraw(text))
        return false;

    const QRect area = clip.isEmpty() ? QRect() : clip & image.rect();
    if (area.isEmpty() || text.isEmpty())
        return true;
    const int top = area.top(), bottom = area.bottom(), left = area.left(), right = area.right();
    // Rows beyond any glyph's reach: nothing to draw, and baseline stays far from overflow below.
    if (qint64(baseline) - cache.ascent - cache.pad > bottom || qint64(baseline) + cache.descent + cache.pad < top)
        return true;

    uchar *const bits = image.bits();
    const qsizetype bpl = image.bytesPerLine();
    qint64 pen = 0;  // 64ths of a pixel; the raster engine puts each glyph at the floor
    for (const QChar ch : text) {
        const Glyph &g = cache.glyph(ch.unicode());
        const qint64 gx64 = x + (pen >> 6);
        pen += g.advance;
        if (gx64 - cache.pad > right)
            break;  // advances are never negative: the rest lies right of the clip too
        if (!g.count || gx64 + g.right <= left)
            continue;
        const int gx = int(gx64);
        const Pixel *px = cache.pixels(g);
        const Pixel *const end = px + g.count;
        if (gx + g.left >= left && gx + g.right <= right + 1 && baseline + g.top >= top
            && baseline + g.bottom <= bottom) {
            const qptrdiff origin = qptrdiff(baseline) * bpl + qptrdiff(gx) * 4;
            for (; px != end; ++px)
                *reinterpret_cast<QRgb *>(bits + origin + qptrdiff(px->dy) * bpl + px->dx * 4) = colour;
        } else {
            // The glyph crosses the clip: test each pixel (one unsigned compare per axis).
            const unsigned w = unsigned(right - left), h = unsigned(bottom - top);
            for (; px != end; ++px) {
                const int xx = gx + px->dx, yy = baseline + px->dy;
                if (unsigned(xx - left) <= w && unsigned(yy - top) <= h)
                    *reinterpret_cast<QRgb *>(bits + qptrdiff(yy) * bpl + qptrdiff(xx) * 4) = colour;
            }
        }
    }
    return true;
}
