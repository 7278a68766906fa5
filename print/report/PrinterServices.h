#pragma once

// The desktop's printing services as the report engine and the print dialogs use them: the
// list of printers, the shared printer selection (an index, -1 for the default printer) with
// its number of copies, device, driver and port texts, the printer dialog, print jobs and
// resolution. One implementation speaks to CUPS through Qt PrintSupport; another writes each
// job as a PDF file, for tests and for scripts.

#include "QuickRep.h"

#include <QList>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QPagedPaintDevice;
class QPrinter;
class QWidget;

namespace report {

// What the printer dialog offers and returns.
struct PrinterChoice
{
    int index = -1;   // into printers(); -1 the default
    int copies = 1;
    Orientation orientation = Orientation::Portrait;
    bool offerRange = false;  // offer a page range from 1 to maxPage
    int maxPage = 0;
    bool allPages = true;
    int fromPage = 0, toPage = 0;
};

// The settings of one job, taken from the report.
struct JobSettings
{
    int index = -1;  // a real index, the default already resolved
    int copies = 1;
    bool duplex = false;
    QSizeF paperMm{210, 297};  // portrait width and length in millimetres
    bool namedA4 = true;
    bool namedLetter = false;
    Orientation orientation = Orientation::Portrait;
    PaperSource source = PaperSource::Automatic;
    QString title;
};

// One print job. Draw through device(); newPage() between pages; finish() hands it to the
// printer, abort() drops it.
class PrintJob
{
public:
    virtual ~PrintJob() = default;
    virtual QPagedPaintDevice *device() = 0;
    virtual bool newPage() = 0;
    virtual bool finish() = 0;
    virtual void abort() = 0;
};

class PrinterServices
{
public:
    virtual ~PrinterServices() = default;

    virtual QStringList printers() const = 0;
    // Index of the desktop's default printer; -1 when there is no printer.
    virtual int defaultPrinter() const = 0;
    bool hasPrinter() const { return !printers().isEmpty(); }

    // The shared selection: -1 means the default printer.
    int printerIndex() const { return m_index; }
    void setPrinterIndex(int index) { m_index = index; }
    int copies() const { return m_copies; }
    void setCopies(int copies) { m_copies = copies; }
    // The selected printer as a real index (the default for -1); -1 when there is none.
    int currentPrinter() const;
    QString printerName(int index) const;

    virtual QString deviceName(int index) const;
    virtual QString driverName(int index) const = 0;
    virtual QString port(int index) const = 0;
    virtual bool supportsCopies(int index) const = 0;
    virtual QPointF resolution(int index) const = 0;  // dots per inch across and down

    // Shows the printer dialog for the current selection. OK stores the chosen printer and
    // copies in the shared selection and returns true with choice filled.
    virtual bool printerDialog(QWidget *parent, PrinterChoice &choice) = 0;
    // Starts a job; nullptr when the printer refuses.
    virtual std::unique_ptr<PrintJob> startJob(const JobSettings &settings) = 0;

private:
    int m_index = -1;
    int m_copies = 1;
};

// The services in use: those installed by setPrinterServices(), else the CUPS ones.
PrinterServices &printerServices();
// Installs services (not owned); nullptr goes back to CUPS.
void setPrinterServices(PrinterServices *services);

// CUPS through Qt PrintSupport.
class CupsPrinterServices : public PrinterServices
{
public:
    QStringList printers() const override;
    int defaultPrinter() const override;
    QString driverName(int index) const override;
    QString port(int index) const override;
    bool supportsCopies(int index) const override;
    QPointF resolution(int index) const override;
    bool printerDialog(QWidget *parent, PrinterChoice &choice) override;
    std::unique_ptr<PrintJob> startJob(const JobSettings &settings) override;
};

// Printers that write every job as a PDF file into a folder.
class PdfPrinterServices : public PrinterServices
{
public:
    struct Job
    {
        QString printer;
        int copies = 1;
        Orientation orientation = Orientation::Portrait;
        QString file;
        bool finished = false;
        bool aborted = false;
        int pages = 0;
    };

    // names: the printers; the first is the default. An empty list is a desktop without any.
    PdfPrinterServices(const QString &folder, const QStringList &names);

    QStringList printers() const override { return m_names; }
    int defaultPrinter() const override { return m_names.isEmpty() ? -1 : 0; }
    QString driverName(int index) const override;
    QString port(int index) const override;
    bool supportsCopies(int index) const override;
    QPointF resolution(int) const override { return {1200, 1200}; }
    // Answered by the dialog handler; without one, the dialog is cancelled.
    bool printerDialog(QWidget *parent, PrinterChoice &choice) override;
    std::unique_ptr<PrintJob> startJob(const JobSettings &settings) override;

    std::function<bool(PrinterChoice &)> dialogHandler;
    QStringList noCopySupport;  // printers whose driver makes no copies itself
    QList<Job> jobs;
    int dialogsShown = 0;

private:
    QString m_folder;
    QStringList m_names;
};

} // namespace report
