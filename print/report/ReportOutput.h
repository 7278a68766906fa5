#pragma once

// Drawing laid-out pages on a device, into a PDF file and into page images; the saved-report
// file; the print path with its progress window.

#include "PrinterServices.h"
#include "QuickRep.h"
#include "ReportPages.h"

#include <QDialog>
#include <QImage>
#include <QString>

#include <optional>

class QLabel;
class QPainter;
class QProgressBar;
class QPushButton;

namespace report {

// Draws one page with the painter's device resolution; lengths become n * dpi / 254 pixels.
void paintPage(QPainter &painter, const ReportPage &page);

// One PDF page per laid-out page. False with a message when the file cannot be written.
bool writePdf(const ReportPages &pages, const QString &path, QString *error = nullptr);

// A page as an image at dpi dots per inch, on white paper.
QImage renderPage(const ReportPages &pages, int index, double dpi);

// The saved-report file: the laid-out pages, with a signature and a version. Loading checks
// every count and length before trusting it; a damaged file gives an error, never a crash.
bool saveReport(const ReportPages &pages, const QString &path, QString *error = nullptr);
std::optional<ReportPages> loadReport(const QString &path, QString *error = nullptr);

// The printer settings of a report, as the print path uses them.
JobSettings jobSettings(const TQuickRep &report, PrinterServices &services);

// The printing-progress window: caption "Printing progress", a gauge, the percentage and a
// "Cancel" button; it stays above the other windows.
class TQRProgressForm : public QDialog
{
    Q_OBJECT
public:
    explicit TQRProgressForm(QWidget *parent = nullptr);
    // Percent is shown in steps of 5.
    void setProgress(int percent);
    bool cancelled() const { return m_cancelled; }

    QProgressBar *Gauge = nullptr;
    QLabel *Info = nullptr;
    QPushButton *CancelButton = nullptr;

private:
    bool m_cancelled = false;
};

// Prints laid-out pages as one job on the report's printer with the report's settings
// (printer, copies, range, paper, orientation, source). With no printer installed it prints
// nothing and says NoPrinter. withProgress shows the progress window; showPercent moves its
// gauge (reports without a data source show no progress).
PrintOutcome printPages(const ReportPages &pages, const TQuickRep &report, QWidget *parent, bool withProgress,
                        bool showPercent);

} // namespace report
