#pragma once

// Laid-out pages: what the layout produces and what the printer, the preview, the PDF writer
// and the saved-report file all draw. Lengths are tenths of a millimetre from the paper's
// top-left corner, independent of any device.

#include <QColor>
#include <QFont>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

namespace report {

// A font as a report states it: family, size in points, style. Kept apart from QFont so a
// page means the same thing on every device.
struct FontSpec
{
    QString family = QStringLiteral("Arial");
    double pointSize = 10.0;
    bool bold = false;
    bool italic = false;
    bool underline = false;

    QFont toQFont() const;
    bool operator==(const FontSpec &) const = default;
};

struct DrawItem
{
    enum class Kind : quint8 { Text, Fill, Line };
    Kind kind = Kind::Text;
    QRectF rect;       // Text: the box of the text line; Fill: the area; Line: from top-left to bottom-right
    QPointF baseline;  // Text: start of the baseline
    QString text;
    FontSpec font;
    QColor colour = Qt::black;
    double lineWidth = 0.0;  // Line: pen width in tenths of a millimetre
    double scaleX = 1.0;     // Text: below 1 when condensed to stay inside the margins

    bool operator==(const DrawItem &) const = default;
};

struct ReportPage
{
    QList<DrawItem> items;
    bool operator==(const ReportPage &) const = default;
};

struct ReportPages
{
    QSizeF paperSize{2100, 2970};  // width, length
    QList<ReportPage> pages;
    bool operator==(const ReportPages &) const = default;
};

} // namespace report
