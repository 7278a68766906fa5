#include "U_Calendario.h"
#include "WindowPlacement.h"

#include "BLApplication.h"
#include "DRYearCal.h"
#include "Formats.h"
#include "WindowStyle.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
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

using namespace winstyle;

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

    SB_Anterior = toolButton(Panel1, "SB_Anterior", {16, 8, 25, 25}, QString(), QStringLiteral("Ano Anterior."),
                             Glyph::HandLeft);
    SB_Atual = toolButton(Panel1, "SB_Atual", {40, 8, 49, 25}, QString(), QStringLiteral("Ano Atual."), QIcon());
    SB_Proximo = toolButton(Panel1, "SB_Proximo", {88, 8, 25, 25}, QString(), QStringLiteral("Próximo Ano."),
                            Glyph::HandRight);

    Label1 = new QLabel(Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(windowFont(true, 10));
    setTextColour(Label1, clRed);
    Label1->move(150, 14);

    BB_Fechar = pushButton(Panel1, "BB_Fechar", {560, 4, 33, 33}, QString(), QStringLiteral("Fechar"), Glyph::Door);

    // The rest of the window, without scroll bars of its own.
    ScrollBox1 = scrollBox(this, "ScrollBox1", {0, 41, 599, 372 - 41});

    DRYearCal2 = new TDRYearCal;
    DRYearCal2->setObjectName(QStringLiteral("DRYearCal2"));
    DRYearCal2->setFont(windowFont());
    DRYearCal2->setFontColor(clBlack);
    DRYearCal2->setColor(palette().color(QPalette::HighlightedText));
    DRYearCal2->setDisplayYear(true);
    DRYearCal2->setCtl3D(true);
    DRYearCal2->setMonthColor(clNavy);
    DRYearCal2->setSaturdayColor(clBlack);
    DRYearCal2->setSundayColor(clRed);
    DRYearCal2->setWeekColor(clMaroon);
    DRYearCal2->setCurDayColor(clFuchsia);
    DRYearCal2->setLineColor(clBlack);
    DRYearCal2->setVertDayGap(0);
    DRYearCal2->setHorzDayGap(8);
    DRYearCal2->setVertMonthGap(8);
    DRYearCal2->setHorzMonthGap(10);
    DRYearCal2->setLines(true);
    DRYearCal2->setBorder(boLowered);
    DRYearCal2->setYear(1998);
    ScrollBox1->setWidget(DRYearCal2);
    DRYearCal2->move(0, 0);

    blapp::connectAction(SB_Anterior, &QToolButton::clicked, this, [this] { SB_AnteriorClick(); });
    blapp::connectAction(SB_Proximo, &QToolButton::clicked, this, [this] { SB_ProximoClick(); });
    blapp::connectAction(SB_Atual, &QToolButton::clicked, this, [this] { SB_AtualClick(); });
    blapp::connectAction(BB_Fechar, &QPushButton::clicked, this, [this] { BB_FecharClick(); });

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
    if (placement::firstShow(this, event, m_placed))
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
