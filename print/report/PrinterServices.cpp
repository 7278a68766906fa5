#include "PrinterServices.h"

#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace report {

// ---- shared part

int PrinterServices::currentPrinter() const
{
    const int n = int(printers().size());
    if (m_index >= 0 && m_index < n)
        return m_index;
    return defaultPrinter();
}

QString PrinterServices::printerName(int index) const
{
    const QStringList names = printers();
    return index >= 0 && index < names.size() ? names.at(index) : QString();
}

QString PrinterServices::deviceName(int index) const
{
    return printerName(index);
}

namespace {

PrinterServices *installed = nullptr;

// A QPrinter set up from a report's settings; the output format is always stated, since its
// default depends on whether CUPS runs.
void configure(QPrinter &printer, const JobSettings &s)
{
    QPageSize size = s.namedA4       ? QPageSize(QPageSize::A4)
                     : s.namedLetter ? QPageSize(QPageSize::Letter)
                                     : QPageSize(s.paperMm, QPageSize::Millimeter);
    printer.setFullPage(true);
    printer.setPageLayout(QPageLayout(size,
                                      s.orientation == Orientation::Portrait ? QPageLayout::Portrait
                                                                             : QPageLayout::Landscape,
                                      QMarginsF()));
    printer.setCopyCount(std::max(1, s.copies));
    printer.setCollateCopies(true);
    printer.setDuplex(s.duplex ? QPrinter::DuplexAuto : QPrinter::DuplexNone);
    switch (s.source) {
    case PaperSource::Automatic:
        printer.setPaperSource(QPrinter::Auto);
        break;
    case PaperSource::Upper:
        printer.setPaperSource(QPrinter::Upper);
        break;
    case PaperSource::Lower:
        printer.setPaperSource(QPrinter::Lower);
        break;
    case PaperSource::Manual:
        printer.setPaperSource(QPrinter::Manual);
        break;
    }
    printer.setDocName(s.title);
    printer.setCreator(QStringLiteral("bl-emissao"));
}

class PrinterJob : public PrintJob
{
public:
    explicit PrinterJob(QPrinter::OutputFormat format) : printer(QPrinter::HighResolution)
    {
        printer.setOutputFormat(format);
    }
    QPagedPaintDevice *device() override { return &printer; }
    bool newPage() override
    {
        ++pages;
        return printer.newPage();
    }
    bool finish() override { return printer.printerState() != QPrinter::Error; }
    void abort() override { printer.abort(); }

    QPrinter printer;
    int pages = 1;
};

} // namespace

PrinterServices &printerServices()
{
    static CupsPrinterServices cups;
    return installed ? *installed : cups;
}

void setPrinterServices(PrinterServices *services)
{
    installed = services;
}

// ---- CUPS

QStringList CupsPrinterServices::printers() const
{
    return QPrinterInfo::availablePrinterNames();
}

int CupsPrinterServices::defaultPrinter() const
{
    const QStringList names = printers();
    if (names.isEmpty())
        return -1;
    const int i = int(names.indexOf(QPrinterInfo::defaultPrinterName()));
    return i >= 0 ? i : 0;
}

QString CupsPrinterServices::driverName(int index) const
{
    return QPrinterInfo::printerInfo(printerName(index)).makeAndModel();
}

QString CupsPrinterServices::port(int index) const
{
    const QPrinterInfo info = QPrinterInfo::printerInfo(printerName(index));
    return info.location().isEmpty() ? QStringLiteral("CUPS") : info.location();
}

bool CupsPrinterServices::supportsCopies(int index) const
{
    const QString name = printerName(index);
    if (name.isEmpty())
        return false;
    QPrinter p(QPrinter::HighResolution);
    p.setOutputFormat(QPrinter::NativeFormat);
    p.setPrinterName(name);
    return p.supportsMultipleCopies();
}

QPointF CupsPrinterServices::resolution(int index) const
{
    QPrinter p(QPrinter::HighResolution);
    p.setOutputFormat(QPrinter::NativeFormat);
    p.setPrinterName(printerName(index));
    return {double(p.logicalDpiX()), double(p.logicalDpiY())};
}

bool CupsPrinterServices::printerDialog(QWidget *parent, PrinterChoice &choice)
{
    if (!hasPrinter())
        return false;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::NativeFormat);
    printer.setPrinterName(printerName(currentPrinter()));
    printer.setCopyCount(copies());
    printer.setPageOrientation(choice.orientation == Orientation::Portrait ? QPageLayout::Portrait
                                                                           : QPageLayout::Landscape);
    QPrintDialog dialog(&printer, parent);
    QAbstractPrintDialog::PrintDialogOptions opts = QAbstractPrintDialog::PrintShowPageSize;
    if (choice.offerRange && choice.maxPage > 0) {
        opts |= QAbstractPrintDialog::PrintPageRange;
        dialog.setMinMax(1, choice.maxPage);
        if (!choice.allPages) {
            printer.setPrintRange(QPrinter::PageRange);
            printer.setFromTo(choice.fromPage, choice.toPage);
        }
    }
    dialog.setOptions(opts);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    choice.index = int(printers().indexOf(printer.printerName()));
    choice.copies = std::max(1, printer.copyCount());
    choice.orientation = printer.pageLayout().orientation() == QPageLayout::Portrait ? Orientation::Portrait
                                                                                     : Orientation::Landscape;
    choice.allPages = printer.printRange() != QPrinter::PageRange;
    choice.fromPage = choice.allPages ? 0 : printer.fromPage();
    choice.toPage = choice.allPages ? 0 : printer.toPage();
    setPrinterIndex(choice.index);
    setCopies(choice.copies);
    return true;
}

std::unique_ptr<PrintJob> CupsPrinterServices::startJob(const JobSettings &settings)
{
    const QString name = printerName(settings.index);
    if (name.isEmpty())
        return nullptr;
    auto job = std::make_unique<PrinterJob>(QPrinter::NativeFormat);
    job->printer.setPrinterName(name);
    configure(job->printer, settings);
    if (!job->printer.isValid())
        return nullptr;
    return job;
}

// ---- PDF files

PdfPrinterServices::PdfPrinterServices(const QString &folder, const QStringList &names)
    : m_folder(folder), m_names(names)
{
}

QString PdfPrinterServices::driverName(int index) const
{
    return index >= 0 && index < m_names.size() ? QStringLiteral("PDF") : QString();
}

QString PdfPrinterServices::port(int index) const
{
    return index >= 0 && index < m_names.size() ? QDir::toNativeSeparators(m_folder) : QString();
}

bool PdfPrinterServices::supportsCopies(int index) const
{
    return index >= 0 && index < m_names.size() && !noCopySupport.contains(m_names.at(index));
}

bool PdfPrinterServices::printerDialog(QWidget *, PrinterChoice &choice)
{
    ++dialogsShown;
    choice.index = currentPrinter();
    choice.copies = copies();
    if (!dialogHandler || !dialogHandler(choice))
        return false;
    setPrinterIndex(choice.index);
    setCopies(choice.copies);
    return true;
}

namespace {

class PdfJob : public PrinterJob
{
public:
    PdfJob(PdfPrinterServices &owner, qsizetype index)
        : PrinterJob(QPrinter::PdfFormat), m_owner(owner), m_index(index)
    {
    }
    bool finish() override
    {
        const bool ok = PrinterJob::finish();
        auto &j = m_owner.jobs[m_index];
        j.finished = ok;
        j.pages = pages;
        return ok;
    }
    void abort() override
    {
        PrinterJob::abort();
        m_owner.jobs[m_index].aborted = true;
    }
    ~PdfJob() override
    {
        if (m_owner.jobs[m_index].aborted)
            QFile::remove(m_owner.jobs[m_index].file);
    }

private:
    PdfPrinterServices &m_owner;
    qsizetype m_index;
};

} // namespace

std::unique_ptr<PrintJob> PdfPrinterServices::startJob(const JobSettings &settings)
{
    if (settings.index < 0 || settings.index >= m_names.size())
        return nullptr;
    Job j;
    j.printer = m_names.at(settings.index);
    j.copies = settings.copies;
    j.orientation = settings.orientation;
    j.file = QDir(m_folder).filePath(QStringLiteral("job%1.pdf").arg(jobs.size() + 1));
    jobs.append(j);
    auto job = std::make_unique<PdfJob>(*this, jobs.size() - 1);
    job->printer.setOutputFileName(j.file);
    configure(job->printer, settings);
    return job;
}

} // namespace report
