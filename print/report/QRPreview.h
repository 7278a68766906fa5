#pragma once

// The preview window: the laid-out pages of a report, a toolbar for zoom, paging, printer
// setup, print, save and load, and a status bar with the layout progress and the page shown.

#include "QuickRep.h"
#include "ReportPages.h"

#include <QDialog>
#include <QPointer>
#include <QWidget>

class QLabel;
class QScrollArea;
class QToolButton;

namespace report {

// Zoom limits in per cent.
inline constexpr int MinZoom = 2;
inline constexpr int MaxZoom = 2000;
int clampZoom(int percent);
// Zoom that shows a page of pageWidth x pageLength (pixels at 100%) whole in room at 95 per
// cent, and zoom that fills 90 per cent of the room's width.
int fitZoom(QSizeF page, QSizeF room);
int widthZoom(QSizeF page, QSizeF room);

// Draws one page at the zoom, only the part that is exposed.
class TQRPageView : public QWidget
{
    Q_OBJECT
public:
    explicit TQRPageView(QWidget *parent = nullptr);
    void setPage(const ReportPages *pages, int index, double dpi);
    double dpi() const { return m_dpi; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const ReportPages *m_pages = nullptr;
    int m_index = 0;
    double m_dpi = 96;
};

class TQRPreview : public QDialog
{
    Q_OBJECT
public:
    // The report is laid out when the window first shows; it stays the caller's.
    explicit TQRPreview(TQuickRep *report, QWidget *parent = nullptr);

    int zoom() const { return m_zoom; }
    void setZoom(int percent);
    void zoomToFit();
    void zoomToWidth();
    int pageIndex() const { return m_page; }  // 0-based
    int pageCount() const { return int(m_pages.pages.size()); }
    void showPage(int index);
    const ReportPages &pages() const { return m_pages; }
    bool isLoaded() const { return m_loaded; }

    // Lays the report out now (the first show does it by itself).
    void prepareReport();
    // The toolbar's actions.
    void printerSetup();
    void printReport();
    void saveReport();
    void loadReport();
    // Loads a saved report; shows "File does not exist" for a missing file and keeps what it
    // showed on any failure.
    bool loadFrom(const QString &path);
    // Saves as a report file, or as PDF when the name ends in ".pdf".
    bool saveTo(const QString &path);

    QToolButton *ZoomToFit = nullptr, *Zoom100 = nullptr, *ZoomToWidth = nullptr;
    QToolButton *FirstPage = nullptr, *PrevPage = nullptr, *NextPage = nullptr, *LastPage = nullptr;
    QToolButton *PrinterSetup = nullptr, *Print = nullptr, *SaveReport = nullptr, *LoadReport = nullptr;
    QToolButton *CloseButton = nullptr;
    QScrollArea *ScrollBox = nullptr;
    TQRPageView *PageView = nullptr;
    QLabel *ProgressLabel = nullptr;
    QLabel *PageLabel = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The page keys; false for any other key.
    bool pageKey(const QKeyEvent *event);
    void updateView();
    void updateButtons();
    void message(const QString &text);
    QSizeF pageSizeAt100() const;

    QPointer<TQuickRep> m_report;
    ReportPages m_pages;
    bool m_prepared = false;
    bool m_loaded = false;
    int m_zoom = 100;
    // Fit and width zooms follow the window's size until another zoom is chosen.
    enum class ZoomMode { Fixed, Fit, Width } m_mode = ZoomMode::Fixed;
    int m_page = 0;
};

} // namespace report
