#pragma once

// The B/L list window: every B/L of the local register in a read-only grid on the register's
// shared current record. Closing it on a row leaves that B/L in the entry window; "Delete"
// removes the selected B/L after two questions.

#include "BookingSearch.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <memory>

class QFrame;
class QKeyEvent;
class QLabel;
class QPushButton;
class QShowEvent;
class QToolButton;
class TDBGrid;
class TMsgDlg;

namespace procura {

// The two delete questions, asked in this order.
QString deleteQuestion(const QString &booking);
QString definitiveQuestion();

} // namespace procura

class TF_Procura : public QDialog
{
    Q_OBJECT
public:
    explicit TF_Procura(QWidget *owner = nullptr);
    ~TF_Procura() override;

    QFrame *Panel1 = nullptr;
    QLabel *Label1 = nullptr;
    QToolButton *SB_Calendario = nullptr;
    QPushButton *BB_Delete = nullptr;
    QPushButton *BB_Fechar = nullptr;
    TDBGrid *DBGrid1 = nullptr;
    TMsgDlg *MsgDlg1 = nullptr;
    // The booking number typed so far in the grid; shown only while there is one.
    QLabel *LabelBusca = nullptr;

    void BB_DeleteClick();
    void BB_FecharClick();
    void DBGrid1DblClick();
    void SB_CalendarioClick();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The grid's key as a search key; false for keys the grid keeps.
    bool searchKey(const QKeyEvent *event);
    void showSearch();

    bool m_placed = false;
    std::unique_ptr<procura::BookingSearch> m_search;
    QElapsedTimer m_clock;
    QTimer m_searchPause;
};
