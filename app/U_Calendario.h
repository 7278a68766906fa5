#pragma once

// The calendar window: a whole year on one page, today's date in words, and buttons to step
// from year to year. A viewer only; it touches no table.

#include <QDate>
#include <QDialog>
#include <QLocale>
#include <QString>

class QFrame;
class QKeyEvent;
class QLabel;
class QPushButton;
class QResizeEvent;
class QScrollArea;
class QShowEvent;
class QToolButton;
class TDRYearCal;

namespace calendario {

// Today's date in words: " dddd, d  \"de\" mmmm \"de\" yyyy" (a leading blank, two blanks
// after the day), with the locale's long day and month names.
QString wordDate(const QDate &date, const QLocale &locale);

} // namespace calendario

class TF_Calendario : public QDialog
{
    Q_OBJECT
public:
    explicit TF_Calendario(QWidget *owner = nullptr);
    ~TF_Calendario() override;

    QFrame *Panel1 = nullptr;
    QToolButton *SB_Anterior = nullptr;
    QToolButton *SB_Atual = nullptr;
    QToolButton *SB_Proximo = nullptr;
    QLabel *Label1 = nullptr;
    QPushButton *BB_Fechar = nullptr;
    QScrollArea *ScrollBox1 = nullptr;
    TDRYearCal *DRYearCal2 = nullptr;

    void FormResize();
    void SB_AnteriorClick();
    void SB_ProximoClick();
    void SB_AtualClick();
    void BB_FecharClick();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool m_placed = false;
};
