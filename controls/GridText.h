#pragma once

// Short single-line cell texts of one font, unsmoothed, written straight into an RGB32 or
// ARGB32 image: the same pixels QPainter::drawText gives with PreferNoShaping | NoAntialias,
// at a fraction of its cost. Each character's glyph is rendered once by QPainter at an integer
// origin and kept as its set pixels; a text is then its glyphs placed at the
// floor of the summed fractional advances, which is where the raster engine puts them.
//
// GUI thread only: the glyph caches are shared between painters of an equal font through a
// small registry that is not locked.

#include <QFont>
#include <QImage>
#include <QRect>
#include <QStringView>

#include <memory>

namespace gridtext {
class GlyphCache;
}

class GridTextPainter
{
public:
    // Draws as this font would with the style strategy PreferNoShaping | NoAntialias.
    explicit GridTextPainter(const QFont &font);
    ~GridTextPainter();
    GridTextPainter(const GridTextPainter &) = default;
    GridTextPainter &operator=(const GridTextPainter &) = default;

    // The font actually drawn: the given one with the unsmoothed, unshaped strategy.
    const QFont &font() const;

    // Whether draw() gives exactly what QPainter would: every character printable, in the
    // BMP, left to right, no mark, control or format character, and present in the font itself
    // (Qt would take a missing one from a fallback font, with its own metrics); and a font of at
    // most 48 pixels without lines, spacing or case changes. Always true for empty text.
    bool canDraw(QStringView text) const;

    // QFontMetrics(font()).horizontalAdvance(text), for right and centred alignment.
    int width(QStringView text) const;

    // Draws text with its origin at x and its baseline at y in the opaque colour, writing only
    // pixels inside clip (image coordinates) and the image. Returns false, having written
    // nothing, when it cannot match QPainter: text canDraw() refuses, a translucent colour,
    // another pixel format, a device pixel ratio other than 1, or a DPI the point-sized font
    // was not measured at. The caller then draws with QPainter.
    bool draw(QImage &image, int x, int baseline, QStringView text, QRgb colour, const QRect &clip) const;

    // The cache behind this painter; painters of an equal font share one.
    const void *cacheId() const { return m_cache.get(); }

private:
    std::shared_ptr<gridtext::GlyphCache> m_cache;
};
