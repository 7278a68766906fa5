#pragma once

// The report model: a report (TQuickRep) with its bands (TQRBand) and the printable controls
// on them (labels, memos, shapes). Every object carries its design name as objectName, so
// forms and tests reach controls by name. Lengths are tenths of a millimetre.

#include "ReportPages.h"

#include <QObject>
#include <QStringList>

#include <functional>

class QWidget;

namespace report {

enum class Alignment : quint8 { Left, Right, Center };
enum class PaperSize : quint8 { A4, Letter, Custom };
enum class Orientation : quint8 { Portrait, Landscape };
enum class PaperSource : quint8 { Automatic, Upper, Lower, Manual };
enum class BandKind : quint8 { Title, ColumnHeader, Detail, Summary };

// The records a report runs over. The report moves through them with first() and next(); a
// band's beforePrint hook reads the current record.
class ReportDataSource
{
public:
    virtual ~ReportDataSource() = default;
    virtual int recordCount() const = 0;
    virtual void first() = 0;
    virtual void next() = 0;
    virtual bool eof() const = 0;
};

// Measures text as the layout does: at a fixed fine resolution, so widths do not depend on
// the device the page is later drawn on.
class TextMeasure
{
public:
    explicit TextMeasure(const FontSpec &font);
    double width(const QString &text) const;  // tenths of a millimetre
    double ascent() const;
    double descent() const;
    double lineHeight() const;  // ascent + descent
    double lineSpacing() const; // from one line's top to the next

private:
    QFont m_font;
    double m_scale;
};

// Lines of one paragraph broken to fit width: at blanks where possible, a single word wider
// than the width between characters. The blanks at a break are dropped.
QStringList wrapParagraph(const QString &text, const TextMeasure &measure, double width);

class TQuickRep;
class TQRBand;

class TQRPrintable : public QObject
{
    Q_OBJECT
public:
    explicit TQRPrintable(TQRBand *band, const QString &name);

    double left = 0, top = 0, width = 0, height = 0;
    Alignment alignment = Alignment::Left;
    bool autoSize = false;
    bool autoStretch = false;
    bool wordWrap = false;
    bool transparent = false;
    QColor color = Qt::white;
    bool parentFont = true;  // use the report's font
    FontSpec ownFont;
    struct Frame
    {
        bool top = false, bottom = false, left = false, right = false;
        QColor colour = Qt::black;
        double width = 1.0;
    } frame;

    FontSpec font() const;
    void setFont(const FontSpec &font);
    TQRBand *band() const;
    TQuickRep *report() const;

    // The lines the control prints at its current width.
    virtual QStringList printLines() const { return {}; }
};

class TQRLabel : public TQRPrintable
{
    Q_OBJECT
public:
    TQRLabel(TQRBand *band, const QString &name, const QString &caption = QString());

    const QString &caption() const { return m_caption; }
    // Replaces the text and, with auto size, sizes the label again around its kept edge.
    void setCaption(const QString &text);
    // Sizes the label to its text now (after a change of font or alignment).
    void adjustSize();
    QStringList printLines() const override;

private:
    QString m_caption;
};

class TQRMemo : public TQRPrintable
{
    Q_OBJECT
public:
    TQRMemo(TQRBand *band, const QString &name);

    const QStringList &lines() const { return m_lines; }
    void setLines(const QStringList &lines) { m_lines = lines; }
    QStringList printLines() const override;

private:
    QStringList m_lines;
};

class TQRShape : public TQRPrintable
{
    Q_OBJECT
public:
    enum class Shape : quint8 { HorLine, VertLine, Rectangle };
    TQRShape(TQRBand *band, const QString &name, Shape shape = Shape::HorLine);
    Shape shape;
    double penWidth = 1.0;  // tenths of a millimetre
};

class TQRBand : public QObject
{
    Q_OBJECT
public:
    TQRBand(TQuickRep *report, const QString &name, BandKind kind, double height);

    BandKind kind;
    double height;
    // Runs before the band is laid out, for every record where it repeats.
    std::function<void(TQRBand *)> beforePrint;

    TQuickRep *report() const;
    QList<TQRPrintable *> controls() const;
};

// What printing did.
enum class PrintOutcome : quint8 { Printed, NoPrinter, Cancelled, Failed };

class TQuickRep : public QObject
{
    Q_OBJECT
public:
    explicit TQuickRep(QObject *parent, const QString &name = QStringLiteral("QuickRep1"));

    // Paper; length and width follow a named size and may be set only when it is Custom.
    PaperSize paperSize() const { return m_paperSize; }
    void setPaperSize(PaperSize size);
    double paperLength() const;  // with orientation applied: the page's height
    double paperWidth() const;
    void setCustomSize(double width, double length);
    Orientation orientation = Orientation::Portrait;
    double topMargin = 100, bottomMargin = 100, leftMargin = 100, rightMargin = 100;
    int columns = 1;
    double columnSpace = 0;

    // Printer settings.
    int printerIndex = -1;  // -1: the default printer
    int copies = 1;
    bool duplex = false;
    int firstPage = 0, lastPage = 0;  // 0, 0: all pages
    PaperSource paperSource = PaperSource::Automatic;

    ReportDataSource *dataSource = nullptr;
    bool printIfEmpty = true;
    QString reportTitle;
    FontSpec font;
    bool showProgress = true;
    // Texts for the top margin of every page after the first, so a separated page still
    // says what it belongs to: a left part at the left margin and a right part ending at the
    // right margin, asked for once the page count is known. Page one carries none.
    std::function<std::pair<QString, QString>(int page, int pageCount)> continuationHeader;

    QList<TQRBand *> bands() const;
    // The band or control of that name, or nullptr.
    template <class T>
    T *control(const QString &name) const { return findChild<T *>(name); }

    // Lays the report out; progress (0..100) is reported when there is a data source, and
    // returning false from it stops the layout.
    ReportPages prepare(const std::function<bool(int)> &progress = {}) const;

    // The print path: one job on the report's printer with its settings, with the progress
    // window when show progress is on. Nothing is printed when no printer is installed.
    PrintOutcome print(QWidget *parent = nullptr);
    // Opens the preview window and returns when it closes.
    void preview(QWidget *parent = nullptr);

private:
    PaperSize m_paperSize = PaperSize::A4;
    double m_customWidth = 2100, m_customLength = 2970;
};

} // namespace report
