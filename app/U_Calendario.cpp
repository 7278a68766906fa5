#include "U_Calendario.h"
#include "WindowPlacement.h"

#include "BLApplication.h"
#include "ButtonGlyphs.h"
#include "DRYearCal.h"
#include "Formats.h"

#include <QFrame>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPolygon>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QShowEvent>
#include <QToolButton>

namespace calendario {

QString wordDate(const QDate &date, const QLocale &locale)
{
    return formats::formatDate(date, u" dddd, d  \"de\" mmmm \"de\" yyyy", locale);
}

} // namespace calendario

namespace {

QFont windowFont(bool bold = false, int pixels = 11)
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// A white glove pointing left (or, mirrored, right): the year buttons' pictures.
QIcon handIcon(bool right)
{
    QImage img(16, 16, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(0, 0, 0));
    p.setBrush(QColor(255, 255, 255));
    // The pointing finger, then the fist with its cuff.
    p.drawRect(1, 5, 7, 2);
    p.drawPolygon(QPolygon({QPoint(7, 4), QPoint(12, 4), QPoint(12, 12), QPoint(7, 12), QPoint(6, 10), QPoint(6, 7)}));
    // The curled fingers' knuckles.
    p.drawLine(7, 9, 11, 9);
    p.drawLine(7, 11, 11, 11);
    p.drawPoint(9, 8);
    p.setBrush(QColor(0, 0, 128));
    p.drawRect(12, 3, 2, 10);
    p.end();
    if (right)
        img = img.mirrored(true, false);
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(img));
    return icon;
}

} // namespace

TF_Calendario::TF_Calendario(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("F_Calendario"));
    setWindowTitle(QStringLiteral("Calendário"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(windowFont());

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 599, 41);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setFocusPolicy(Qt::NoFocus);

    auto tool = [this](const char *name, const QRect &geometry, const QString &hint) {
        auto *b = new QToolButton(Panel1);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(geometry);
        b->setToolTip(hint);
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    };
    SB_Anterior = tool("SB_Anterior", {16, 8, 25, 25}, QStringLiteral("Ano Anterior."));
    SB_Anterior->setIcon(handIcon(false));
    SB_Anterior->setIconSize(QSize(16, 16));
    SB_Anterior->setToolButtonStyle(Qt::ToolButtonIconOnly);
    SB_Atual = tool("SB_Atual", {40, 8, 49, 25}, QStringLiteral("Ano Atual."));
    SB_Atual->setToolButtonStyle(Qt::ToolButtonTextOnly);
    SB_Proximo = tool("SB_Proximo", {88, 8, 25, 25}, QStringLiteral("Próximo Ano."));
    SB_Proximo->setIcon(handIcon(true));
    SB_Proximo->setIconSize(QSize(16, 16));
    SB_Proximo->setToolButtonStyle(Qt::ToolButtonIconOnly);

    Label1 = new QLabel(Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(windowFont(true, 13));
    QPalette lp = Label1->palette();
    lp.setColor(QPalette::WindowText, QColor(255, 0, 0));
    Label1->setPalette(lp);
    Label1->move(150, 14);

    BB_Fechar = new QPushButton(Panel1);
    BB_Fechar->setObjectName(QStringLiteral("BB_Fechar"));
    BB_Fechar->setGeometry(560, 4, 33, 33);
    BB_Fechar->setToolTip(QStringLiteral("Fechar"));
    BB_Fechar->setIcon(blapp::glyphIcon(blapp::Glyph::Door));
    const int door = blapp::glyphSize(blapp::Glyph::Door);
    BB_Fechar->setIconSize(QSize(door, door));
    BB_Fechar->setAutoDefault(false);

    // The rest of the window, without scroll bars of its own.
    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setGeometry(0, 41, 599, 372 - 41);
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    ScrollBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBox1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setFocusPolicy(Qt::NoFocus);

    DRYearCal2 = new TDRYearCal;
    DRYearCal2->setObjectName(QStringLiteral("DRYearCal2"));
    DRYearCal2->setFont(windowFont());
    DRYearCal2->setFontColor(QColor(0, 0, 0));
    DRYearCal2->setColor(palette().color(QPalette::HighlightedText));
    DRYearCal2->setDisplayYear(true);
    DRYearCal2->setCtl3D(true);
    DRYearCal2->setMonthColor(QColor(0, 0, 128));
    DRYearCal2->setSaturdayColor(QColor(0, 0, 0));
    DRYearCal2->setSundayColor(QColor(255, 0, 0));
    DRYearCal2->setWeekColor(QColor(128, 0, 0));
    DRYearCal2->setCurDayColor(QColor(255, 0, 255));
    DRYearCal2->setLineColor(QColor(0, 0, 0));
    DRYearCal2->setVertDayGap(0);
    DRYearCal2->setHorzDayGap(8);
    DRYearCal2->setVertMonthGap(8);
    DRYearCal2->setHorzMonthGap(10);
    DRYearCal2->setLines(true);
    DRYearCal2->setBorder(boLowered);
    DRYearCal2->setYear(1998);
    ScrollBox1->setWidget(DRYearCal2);
    DRYearCal2->move(0, 0);

    connect(SB_Anterior, &QToolButton::clicked, this, blapp::guarded([this] { SB_AnteriorClick(); }));
    connect(SB_Proximo, &QToolButton::clicked, this, blapp::guarded([this] { SB_ProximoClick(); }));
    connect(SB_Atual, &QToolButton::clicked, this, blapp::guarded([this] { SB_AtualClick(); }));
    connect(BB_Fechar, &QPushButton::clicked, this, blapp::guarded([this] { BB_FecharClick(); }));

    // Sized last: the first resize event fills the window for today.
    setFixedSize(599, 372);
}

TF_Calendario::~TF_Calendario() = default;

void TF_Calendario::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    FormResize();
}

void TF_Calendario::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_placed || event->spontaneous())
        return;
    m_placed = true;
    placement::centreOnScreen(this);
    BB_Fechar->setFocus();
}

void TF_Calendario::keyPressEvent(QKeyEvent *event)
{
    // No button of this window answers Escape.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TF_Calendario::FormResize()
{
    const QDate today = TDRYearCal::today();
    Label1->setText(calendario::wordDate(today, QLocale()));
    Label1->adjustSize();
    DRYearCal2->setYear(today.year());
    SB_Atual->setText(QString::number(today.year()));
    BB_Fechar->setFocus();
}

void TF_Calendario::SB_AnteriorClick()
{
    DRYearCal2->setYear(DRYearCal2->year() - 1);
}

void TF_Calendario::SB_ProximoClick()
{
    DRYearCal2->setYear(DRYearCal2->year() + 1);
}

void TF_Calendario::SB_AtualClick()
{
    DRYearCal2->setYear(TDRYearCal::today().year());
}

void TF_Calendario::BB_FecharClick()
{
    close();
}
