#include "QRPreview.h"

#include "FileTypes.h"
#include "PrinterServices.h"
#include "ReportOutput.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace report {

int clampZoom(int percent)
{
    return std::clamp(percent, MinZoom, MaxZoom);
}

int fitZoom(QSizeF page, QSizeF room)
{
    if (page.isEmpty() || room.isEmpty())
        return 100;
    const double z = std::min(room.width() / page.width(), room.height() / page.height()) * 95.0;
    return clampZoom(int(std::floor(z)));
}

int widthZoom(QSizeF page, QSizeF room)
{
    if (page.isEmpty() || room.width() <= 0)
        return 100;
    return clampZoom(int(std::floor(room.width() / page.width() * 90.0)));
}

TQRPageView::TQRPageView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PageView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TQRPageView::setPage(const ReportPages *pages, int index, double dpi)
{
    m_pages = pages;
    m_index = index;
    m_dpi = dpi;
    if (pages)
        setFixedSize(std::max(1, int(std::lround(pages->paperSize.width() * dpi / 254.0))),
                     std::max(1, int(std::lround(pages->paperSize.height() * dpi / 254.0))));
    update();
}

void TQRPageView::paintEvent(QPaintEvent *event)
{
    // Only the exposed part is drawn, so a page at 2000 per cent costs no more than the view.
    const QRect r = event->rect();
    QImage img(r.size(), QImage::Format_RGB32);
    const int dpm = int(std::lround(m_dpi / 0.0254));
    img.setDotsPerMeterX(dpm);
    img.setDotsPerMeterY(dpm);
    img.fill(Qt::white);
    if (m_pages && m_index >= 0 && m_index < m_pages->pages.size()) {
        QPainter p(&img);
        p.translate(-r.topLeft());
        paintPage(p, m_pages->pages.at(m_index));
    }
    QPainter w(this);
    w.drawImage(r.topLeft(), img);
}

TQRPreview::TQRPreview(TQuickRep *report, QWidget *parent) : QDialog(parent), m_report(report)
{
    setObjectName(QStringLiteral("QRPreview"));
    setWindowTitle(report && !report->reportTitle.isEmpty() ? report->reportTitle
                                                            : QStringLiteral("Print Preview"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                   | Qt::WindowCloseButtonHint);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("ToolBar"));
    auto button = [&](QToolButton *&b, const char *name, const QString &text, const QString &hint,
                      QStyle::StandardPixmap icon, auto slot) {
        b = new QToolButton(bar);
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        b->setToolTip(hint);
        if (icon != QStyle::SP_CustomBase) {
            b->setIcon(style()->standardIcon(icon));
            b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        } else {
            b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        }
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this, slot);
        bar->addWidget(b);
    };
    const auto none = QStyle::SP_CustomBase;
    button(ZoomToFit, "ZoomToFit", QStringLiteral("Inteira"), QStringLiteral("Página inteira"), none, [this] { zoomToFit(); });
    button(Zoom100, "Zoom100", QStringLiteral("100%"), QStringLiteral("100 %"), none, [this] {
        m_mode = ZoomMode::Fixed;
        setZoom(100);
    });
    button(ZoomToWidth, "ZoomToWidth", QStringLiteral("Largura"), QStringLiteral("Largura da página"), none,
           [this] { zoomToWidth(); });
    bar->addSeparator();
    button(FirstPage, "FirstPage", QStringLiteral("Primeira"), QStringLiteral("Primeira página"), QStyle::SP_MediaSkipBackward,
           [this] { showPage(0); });
    button(PrevPage, "PrevPage", QStringLiteral("Anterior"), QStringLiteral("Página anterior"),
           QStyle::SP_MediaSeekBackward, [this] { showPage(m_page - 1); });
    button(NextPage, "NextPage", QStringLiteral("Próxima"), QStringLiteral("Próxima página"), QStyle::SP_MediaSeekForward,
           [this] { showPage(m_page + 1); });
    button(LastPage, "LastPage", QStringLiteral("Última"), QStringLiteral("Última página"), QStyle::SP_MediaSkipForward,
           [this] { showPage(pageCount() - 1); });
    bar->addSeparator();
    button(PrinterSetup, "PrinterSetup", QStringLiteral("Configurar"), QStringLiteral("Configurar impressora"), none,
           [this] { printerSetup(); });
    button(Print, "Print", QStringLiteral("Imprimir"), QStringLiteral("Imprimir"), none, [this] { printReport(); });
    bar->addSeparator();
    button(SaveReport, "SaveReport", QStringLiteral("Salvar"), QStringLiteral("Salvar relatório"),
           QStyle::SP_DialogSaveButton, [this] { saveReport(); });
    button(LoadReport, "LoadReport", QStringLiteral("Abrir"), QStringLiteral("Abrir relatório"),
           QStyle::SP_DialogOpenButton, [this] { loadReport(); });
    bar->addSeparator();
    button(CloseButton, "CloseButton", QStringLiteral("&Close"), QStringLiteral("Fechar"), none, [this] { close(); });
    layout->addWidget(bar);

    ScrollBox = new QScrollArea(this);
    ScrollBox->setObjectName(QStringLiteral("ScrollBox"));
    ScrollBox->setAlignment(Qt::AlignCenter);
    ScrollBox->setBackgroundRole(QPalette::Dark);
    PageView = new TQRPageView;
    ScrollBox->setWidget(PageView);
    ScrollBox->installEventFilter(this);
    layout->addWidget(ScrollBox, 1);

    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar"));
    status->setSizeGripEnabled(false);
    ProgressLabel = new QLabel(status);
    ProgressLabel->setObjectName(QStringLiteral("ProgressLabel"));
    ProgressLabel->setMinimumWidth(60);
    PageLabel = new QLabel(status);
    PageLabel->setObjectName(QStringLiteral("PageLabel"));
    status->addWidget(ProgressLabel);
    status->addWidget(PageLabel, 1);
    layout->addWidget(status);

    setFocusPolicy(Qt::StrongFocus);
    updateButtons();
}

QSizeF TQRPreview::pageSizeAt100() const
{
    const double dpi = logicalDpiX();
    return {m_pages.paperSize.width() * dpi / 254.0, m_pages.paperSize.height() * dpi / 254.0};
}

void TQRPreview::setZoom(int percent)
{
    m_zoom = clampZoom(percent);
    updateView();
}

void TQRPreview::zoomToFit()
{
    m_mode = ZoomMode::Fit;
    setZoom(fitZoom(pageSizeAt100(), ScrollBox->viewport()->size()));
}

void TQRPreview::zoomToWidth()
{
    m_mode = ZoomMode::Width;
    setZoom(widthZoom(pageSizeAt100(), ScrollBox->viewport()->size()));
}

void TQRPreview::showPage(int index)
{
    if (pageCount() == 0)
        return;
    m_page = std::clamp(index, 0, pageCount() - 1);
    updateView();
}

void TQRPreview::updateView()
{
    PageView->setPage(&m_pages, m_page, logicalDpiX() * m_zoom / 100.0);
    PageLabel->setText(pageCount() ? QStringLiteral("Página %1 de %2").arg(m_page + 1).arg(pageCount()) : QString());
    updateButtons();
}

void TQRPreview::updateButtons()
{
    const bool any = pageCount() > 0;
    FirstPage->setEnabled(any && m_page > 0);
    PrevPage->setEnabled(any && m_page > 0);
    NextPage->setEnabled(any && m_page < pageCount() - 1);
    LastPage->setEnabled(any && m_page < pageCount() - 1);
    PrinterSetup->setEnabled(m_prepared && !m_loaded && m_report);
    Print->setEnabled(m_prepared && (m_loaded || m_report));
    SaveReport->setEnabled(m_prepared && any);
}

void TQRPreview::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_prepared && !event->spontaneous())
        QTimer::singleShot(0, this, [this] { prepareReport(); });
}

void TQRPreview::prepareReport()
{
    if (m_prepared)
        return;
    if (m_report) {
        ProgressLabel->clear();
        const bool source = m_report->dataSource != nullptr;
        m_pages = m_report->prepare([this, source](int percent) {
            if (source)
                ProgressLabel->setText(percent > 0 && percent < 100 ? QStringLiteral("%1%").arg(percent) : QString());
            QApplication::processEvents();
            return isVisible() || !testAttribute(Qt::WA_WState_ExplicitShowHide);
        });
        ProgressLabel->clear();
    }
    m_prepared = true;
    m_page = 0;
    updateView();
    zoomToWidth();
}

void TQRPreview::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (!m_prepared)
        return;
    if (m_mode == ZoomMode::Width)
        zoomToWidth();
    else if (m_mode == ZoomMode::Fit)
        zoomToFit();
}

bool TQRPreview::pageKey(const QKeyEvent *event)
{
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_PageUp:
        showPage(ctrl ? 0 : m_page - 1);
        return true;
    case Qt::Key_PageDown:
        showPage(ctrl ? pageCount() - 1 : m_page + 1);
        return true;
    case Qt::Key_Home:
        showPage(0);
        return true;
    case Qt::Key_End:
        showPage(pageCount() - 1);
        return true;
    default:
        return false;
    }
}

void TQRPreview::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    if (!pageKey(event))
        QDialog::keyPressEvent(event);
}

bool TQRPreview::eventFilter(QObject *watched, QEvent *event)
{
    // The scroll area would spend the page keys on scrolling inside a page taller than the
    // window; they turn pages in every zoom. The arrow keys still scroll.
    if (watched == ScrollBox && event->type() == QEvent::KeyPress && pageKey(static_cast<QKeyEvent *>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

void TQRPreview::message(const QString &text)
{
    QMessageBox box(QMessageBox::Information, windowTitle(), text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("PreviewMessage"));
    box.exec();
}

void TQRPreview::printerSetup()
{
    if (!m_report || m_loaded)
        return;
    PrinterChoice choice;
    choice.index = m_report->printerIndex;
    choice.copies = m_report->copies;
    choice.orientation = m_report->orientation;
    choice.offerRange = true;
    choice.maxPage = pageCount();
    choice.allPages = m_report->firstPage == 0 && m_report->lastPage == 0;
    choice.fromPage = m_report->firstPage;
    choice.toPage = m_report->lastPage;
    if (!printerServices().printerDialog(this, choice))
        return;
    m_report->printerIndex = choice.index;
    m_report->copies = choice.copies;
    m_report->orientation = choice.orientation;
    m_report->firstPage = choice.allPages ? 0 : choice.fromPage;
    m_report->lastPage = choice.allPages ? 0 : choice.toPage;
}

void TQRPreview::printReport()
{
    if (!printerServices().hasPrinter()) {
        message(QStringLiteral("Nenhuma impressora está instalada. Salve o relatório como arquivo PDF."));
        return;
    }
    if (m_loaded) {
        TQuickRep settings(nullptr);
        if (m_report) {
            settings.printerIndex = m_report->printerIndex;
            settings.copies = m_report->copies;
        }
        printPages(m_pages, settings, this, true, false);
    } else if (m_report) {
        m_report->print(this);
    }
}

void TQRPreview::saveReport()
{
    QFileDialog dialog(this, QStringLiteral("Save report"));
    dialog.setObjectName(QStringLiteral("SaveReportDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(portugueseFileTypes());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({QStringLiteral("Relatórios (*.qrp)"), QStringLiteral("Arquivos PDF (*.pdf)")});
    dialog.setDefaultSuffix(QStringLiteral("qrp"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString &filter) {
        dialog.setDefaultSuffix(filter.contains(QLatin1String("pdf")) ? QStringLiteral("pdf") : QStringLiteral("qrp"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    saveTo(dialog.selectedFiles().constFirst());
}

bool TQRPreview::saveTo(const QString &path)
{
    QString error;
    const bool pdf = QFileInfo(path).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0;
    const bool ok = pdf ? writePdf(m_pages, path, &error) : report::saveReport(m_pages, path, &error);
    if (!ok)
        message(error);
    return ok;
}

void TQRPreview::loadReport()
{
    QFileDialog dialog(this, QStringLiteral("Load report"));
    dialog.setObjectName(QStringLiteral("LoadReportDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(portugueseFileTypes());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Any name may be typed; a missing file is answered by the preview itself.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({QStringLiteral("Relatórios (*.qrp)"), QStringLiteral("Todos os arquivos (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    loadFrom(dialog.selectedFiles().constFirst());
}

bool TQRPreview::loadFrom(const QString &path)
{
    QString error;
    std::optional<ReportPages> loaded = report::loadReport(path, &error);
    if (!loaded) {
        message(error);
        return false;
    }
    m_pages = std::move(*loaded);
    m_loaded = true;
    m_prepared = true;
    m_page = 0;
    updateView();
    return true;
}

void TQuickRep::preview(QWidget *parent)
{
    TQRPreview window(this, parent);
    // Without a window manager the maximised state alone leaves the window at its small
    // default size: give it the screen's room as well.
    if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        window.setGeometry(screen->availableGeometry());
    window.setWindowState(Qt::WindowMaximized);
    window.exec();
}

} // namespace report
