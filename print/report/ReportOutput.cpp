#include "ReportOutput.h"

#include <QApplication>
#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QLabel>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>

#include <cmath>

namespace report {

void paintPage(QPainter &painter, const ReportPage &page)
{
    const double sx = painter.device()->logicalDpiX() / 254.0;
    const double sy = painter.device()->logicalDpiY() / 254.0;
    auto map = [&](QPointF p) { return QPointF(p.x() * sx, p.y() * sy); };
    auto mapRect = [&](const QRectF &r) { return QRectF(map(r.topLeft()), map(r.bottomRight())); };
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    for (const DrawItem &i : page.items) {
        switch (i.kind) {
        case DrawItem::Kind::Fill:
            painter.fillRect(mapRect(i.rect), i.colour);
            break;
        case DrawItem::Kind::Line: {
            QPen pen(i.colour);
            pen.setWidthF(std::max(1.0, i.lineWidth * sx));
            painter.setPen(pen);
            painter.drawLine(map(i.rect.topLeft()), map(i.rect.bottomRight()));
            break;
        }
        case DrawItem::Kind::Text:
            // Point sizes follow the device's resolution through the font itself.
            painter.setFont(i.font.toQFont());
            painter.setPen(i.colour);
            if (i.scaleX != 1.0) {
                // A condensed text fills its box exactly: the scale is taken against this
                // device's own advance of the text, which differs a little from the layout's.
                const double natural = QFontMetricsF(painter.font(), painter.device()).horizontalAdvance(i.text);
                const double scale = natural > 0 ? i.rect.width() * sx / natural : i.scaleX;
                painter.save();
                painter.translate(map(i.baseline));
                painter.scale(scale, 1.0);
                painter.drawText(QPointF(0, 0), i.text);
                painter.restore();
            } else {
                painter.drawText(map(i.baseline), i.text);
            }
            break;
        }
    }
    painter.restore();
}

namespace {

QPageSize pageSizeOf(const QSizeF &tenths)
{
    const QSizeF mm(tenths.width() / 10.0, tenths.height() / 10.0);
    const QSizeF portrait(std::min(mm.width(), mm.height()), std::max(mm.width(), mm.height()));
    if (std::abs(portrait.width() - 210) < 0.05 && std::abs(portrait.height() - 297) < 0.05)
        return QPageSize(QPageSize::A4);
    return QPageSize(portrait, QPageSize::Millimeter);
}

} // namespace

bool writePdf(const ReportPages &pages, const QString &path, QString *error)
{
    // Laid out in memory, then saved whole: a full or pulled medium leaves no half PDF
    // behind, and the write's failure is reported instead of lost inside the PDF writer.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(1200);
        writer.setCreator(QStringLiteral("bl-emissao"));
        const bool landscape = pages.paperSize.width() > pages.paperSize.height();
        writer.setPageLayout(QPageLayout(pageSizeOf(pages.paperSize),
                                         landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF()));
        QPainter painter;
        if (!painter.begin(&writer)) {
            if (error)
                *error = QStringLiteral("Não foi possível gravar %1").arg(path);
            return false;
        }
        for (qsizetype n = 0; n < pages.pages.size(); ++n) {
            if (n > 0)
                writer.newPage();
            paintPage(painter, pages.pages.at(n));
        }
        if (!painter.end()) {
            if (error)
                *error = QStringLiteral("Não foi possível gravar %1").arg(path);
            return false;
        }
    }
    const QFileInfo target(path);
    if (target.exists() && !target.isFile()) {
        // A device or pipe (/dev/stdout for a script) is written in place: a save file would
        // rename a regular file over it.
        QFile device(path);
        if (!device.open(QIODevice::WriteOnly) || device.write(buffer.data()) != buffer.size() || !device.flush()) {
            if (error)
                *error = device.errorString();
            return false;
        }
        return true;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(buffer.data()) != buffer.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QImage renderPage(const ReportPages &pages, int index, double dpi)
{
    const int w = std::max(1, int(std::lround(pages.paperSize.width() * dpi / 254.0)));
    const int h = std::max(1, int(std::lround(pages.paperSize.height() * dpi / 254.0)));
    QImage img(w, h, QImage::Format_RGB32);
    const int dpm = int(std::lround(dpi / 0.0254));
    img.setDotsPerMeterX(dpm);
    img.setDotsPerMeterY(dpm);
    img.fill(Qt::white);
    if (index >= 0 && index < pages.pages.size()) {
        QPainter p(&img);
        paintPage(p, pages.pages.at(index));
    }
    return img;
}

// ---- saved report

namespace {

constexpr char Signature[] = "BLQRP";
// Version 2 adds each text's horizontal scale; version 1 files still load.
constexpr quint16 FileVersion = 2;
// Limits far beyond any real report that keep a damaged file from asking for huge memory.
constexpr quint32 MaxPages = 100000;
constexpr quint32 MaxItems = 1000000;
constexpr qsizetype MaxText = 1 << 20;

QDataStream &operator<<(QDataStream &s, const FontSpec &f)
{
    return s << f.family << f.pointSize << f.bold << f.italic << f.underline;
}

} // namespace

bool saveReport(const ReportPages &pages, const QString &path, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QDataStream s(&file);
    s.setVersion(QDataStream::Qt_6_4);
    s.writeRawData(Signature, sizeof Signature - 1);
    s << FileVersion << pages.paperSize << quint32(pages.pages.size());
    for (const ReportPage &p : pages.pages) {
        s << quint32(p.items.size());
        for (const DrawItem &i : p.items)
            s << quint8(i.kind) << i.rect << i.baseline << i.text << i.font << i.colour.rgba() << i.lineWidth
              << i.scaleX;
    }
    if (s.status() != QDataStream::Ok || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

std::optional<ReportPages> loadReport(const QString &path, QString *error)
{
    auto fail = [&](const QString &why) -> std::optional<ReportPages> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    QFile file(path);
    if (!file.exists())
        return fail(QStringLiteral("File does not exist"));
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    QDataStream s(&file);
    s.setVersion(QDataStream::Qt_6_4);
    char sig[sizeof Signature - 1];
    quint16 version = 0;
    if (s.readRawData(sig, sizeof sig) != int(sizeof sig) || memcmp(sig, Signature, sizeof sig) != 0)
        return fail(QStringLiteral("%1 não é um relatório gravado").arg(path));
    ReportPages out;
    quint32 count = 0;
    s >> version >> out.paperSize >> count;
    if (s.status() != QDataStream::Ok || version < 1 || version > FileVersion)
        return fail(QStringLiteral("%1: versão de relatório desconhecida").arg(path));
    const QSizeF ps = out.paperSize;
    if (!(ps.width() > 0 && ps.width() < 100000 && ps.height() > 0 && ps.height() < 100000) || count > MaxPages)
        return fail(QStringLiteral("%1 está danificado").arg(path));
    for (quint32 n = 0; n < count; ++n) {
        quint32 items = 0;
        s >> items;
        if (s.status() != QDataStream::Ok || items > MaxItems)
            return fail(QStringLiteral("%1 está danificado").arg(path));
        ReportPage page;
        for (quint32 k = 0; k < items; ++k) {
            DrawItem i;
            quint8 kind = 0;
            QRgb rgba = 0;
            s >> kind >> i.rect >> i.baseline >> i.text >> i.font.family >> i.font.pointSize >> i.font.bold
                >> i.font.italic >> i.font.underline >> rgba >> i.lineWidth;
            if (version >= 2)
                s >> i.scaleX;
            if (s.status() != QDataStream::Ok || kind > quint8(DrawItem::Kind::Line) || i.text.size() > MaxText
                || !(i.font.pointSize >= 0 && i.font.pointSize < 1000) || !std::isfinite(i.lineWidth)
                || !(i.scaleX > 0 && i.scaleX <= 1))
                return fail(QStringLiteral("%1 está danificado").arg(path));
            i.kind = DrawItem::Kind(kind);
            i.colour = QColor::fromRgba(rgba);
            page.items.append(i);
        }
        out.pages.append(page);
    }
    return out;
}

// ---- printing

JobSettings jobSettings(const TQuickRep &r, PrinterServices &services)
{
    JobSettings j;
    j.index = r.printerIndex >= 0 && r.printerIndex < services.printers().size() ? r.printerIndex
                                                                                  : services.defaultPrinter();
    j.copies = services.supportsCopies(j.index) ? std::max(1, r.copies) : 1;
    j.duplex = r.duplex;
    j.orientation = r.orientation;
    j.source = r.paperSource;
    j.namedA4 = r.paperSize() == PaperSize::A4;
    j.namedLetter = r.paperSize() == PaperSize::Letter;
    const bool portrait = r.orientation == Orientation::Portrait;
    j.paperMm = portrait ? QSizeF(r.paperWidth() / 10, r.paperLength() / 10)
                         : QSizeF(r.paperLength() / 10, r.paperWidth() / 10);
    j.title = r.reportTitle.isEmpty() ? QStringLiteral("Bill of Lading") : r.reportTitle;
    return j;
}

TQRProgressForm::TQRProgressForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("QRProgressForm"));
    setWindowTitle(QStringLiteral("Printing progress"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    setFixedSize(300, 110);
    Gauge = new QProgressBar(this);
    Gauge->setObjectName(QStringLiteral("Gauge"));
    Gauge->setRange(0, 100);
    Gauge->setValue(0);
    Gauge->setTextVisible(false);
    Gauge->setGeometry(12, 12, 276, 20);
    Info = new QLabel(this);
    Info->setObjectName(QStringLiteral("Info"));
    Info->setGeometry(12, 40, 276, 16);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(112, 70, 75, 25);
    connect(CancelButton, &QPushButton::clicked, this, [this] { m_cancelled = true; });
}

void TQRProgressForm::setProgress(int percent)
{
    percent = std::clamp(percent / 5 * 5, 0, 100);
    Gauge->setValue(percent);
    Info->setText(QStringLiteral("%1%").arg(percent));
}

PrintOutcome printPages(const ReportPages &pages, const TQuickRep &report, QWidget *parent, bool withProgress,
                        bool showPercent)
{
    PrinterServices &services = printerServices();
    if (!services.hasPrinter())
        return PrintOutcome::NoPrinter;
    const JobSettings settings = jobSettings(report, services);

    // The page range: 0, 0 is all pages.
    int first = 1, last = int(pages.pages.size());
    if (report.firstPage > 0 || report.lastPage > 0) {
        first = std::max(1, report.firstPage);
        last = report.lastPage > 0 ? std::min(last, report.lastPage) : last;
    }

    QPointer<TQRProgressForm> progress;
    if (withProgress) {
        progress = new TQRProgressForm(parent);
        progress->setAttribute(Qt::WA_DeleteOnClose, false);
        progress->show();
        progress->raise();
        QApplication::processEvents();
    }
    auto closeProgress = [&] {
        if (progress)
            delete progress.data();
    };

    std::unique_ptr<PrintJob> job = services.startJob(settings);
    if (!job) {
        closeProgress();
        return PrintOutcome::Failed;
    }
    QPainter painter;
    if (!painter.begin(job->device())) {
        job->abort();
        closeProgress();
        return PrintOutcome::Failed;
    }
    const int total = std::max(0, last - first + 1);
    // Lets the progress window's Cancel through; true when the job was aborted by it.
    auto cancelled = [&] {
        if (!progress)
            return false;
        QApplication::processEvents();
        if (!progress->cancelled())
            return false;
        job->abort();
        painter.end();
        closeProgress();
        return true;
    };
    bool started = false;
    for (int n = first; n <= last; ++n) {
        if (cancelled())
            return PrintOutcome::Cancelled;
        if (started && !job->newPage())
            break;
        started = true;
        paintPage(painter, pages.pages.at(n - 1));
        if (progress && showPercent && total > 0)
            progress->setProgress((n - first + 1) * 100 / total);
    }
    if (cancelled())
        return PrintOutcome::Cancelled;
    painter.end();
    const bool ok = job->finish();
    closeProgress();
    return ok ? PrintOutcome::Printed : PrintOutcome::Failed;
}

PrintOutcome TQuickRep::print(QWidget *parent)
{
    if (!printerServices().hasPrinter())
        return PrintOutcome::NoPrinter;
    const ReportPages pages = prepare();
    return printPages(pages, *this, parent, showProgress, dataSource != nullptr);
}

} // namespace report
