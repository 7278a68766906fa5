#pragma once

// The B/L entry window: one B/L of the local register on two pages of data-aware fields,
// and the toolbar that drives the register through browse, new and edit, each ended by
// confirm or cancel. It is the program's main window.

#include "PrincipalLogic.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QWidget>

class PartyBook;
class QAction;
class QCloseEvent;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QShowEvent;
class QTabWidget;
class QToolButton;
class TCompletionPopup;
class TDBEdit;
class TDBMemo;
class TMsgDlg;
class TOxHintBalloon;
class TStatusBar;

class TF_Principal : public QWidget
{
    Q_OBJECT
public:
    explicit TF_Principal(QWidget *parent = nullptr);
    ~TF_Principal() override;

    // Toolbar.
    QFrame *Panel1 = nullptr;
    QToolButton *SB_Inclusao = nullptr;
    QToolButton *SB_Edit = nullptr;
    QToolButton *SB_Grava = nullptr;
    QToolButton *SB_Cancela = nullptr;
    QToolButton *SB_Procura = nullptr;
    QPushButton *BB_Disquete = nullptr;
    QToolButton *SB_Calendario = nullptr;
    QToolButton *SB_Impressao = nullptr;
    QPushButton *BB_Fechar = nullptr;

    // Pages.
    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr;
    QWidget *TabSheet2 = nullptr;
    QLabel *Label1 = nullptr;   // the agency's trade name
    QLabel *Image1 = nullptr;   // the agency's logo, on each page
    QLabel *Image2 = nullptr;

    // The "Novo" button's context menu; its one entry also answers Ctrl+Shift+N.
    QMenu *PM_Inclusao = nullptr;
    QAction *MI_NovoDeste = nullptr;

    TStatusBar *StatusBar1 = nullptr;
    TMsgDlg *MsgDlg1 = nullptr;
    // While it exists every hint of every window shows as a balloon.
    TOxHintBalloon *OxHintBalloon1 = nullptr;

    // The bound controls, by the name of their field ("Bl_AgentRef"), which is also their
    // objectName; nullptr for a name that has none.
    TDBEdit *edit(const QString &fieldName) const;
    TDBMemo *memo(const QString &fieldName) const;
    // Every field control in keyboard order.
    const QList<QWidget *> &fieldControls() const { return m_fieldOrder; }
    // The list of earlier values under an edit ("Bl_Shipper1", "Bl_LocalVessel"), nullptr
    // for an edit that offers none.
    TCompletionPopup *completion(const QString &fieldName) const;
    // What the lists offer: the register's earlier parties and values; made at first show.
    PartyBook *partyBook() const { return m_book; }

    // The window's operations, one per toolbar button.
    void SB_InclusaoClick();
    // "Novo a partir deste B/L": a new B/L that starts with the current one's parties, ports,
    // units and memos; refused where "Novo" is.
    void NovoDesteClick();
    void SB_EditClick();
    void SB_GravaClick();
    void SB_CancelaClick();
    void BB_FecharClick();
    void StatusBar1Click();
    // The list and calendar windows, modal, owned by this window and gone when closed.
    void SB_ProcuraClick();
    void SB_CalendarioClick();
    // The diskette button: the transfer-file chooser, modal, gone when closed.
    void BB_DisqueteClick();
    // The printer button: the print dialog, then the B/L found again by its booking number.
    void SB_ImpressaoClick();
    // The close check: true when the program may end (the register is then closed).
    bool VerificaEncerramento();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildToolbar();
    void buildFirstPage();
    void buildSecondPage();
    void buildKeyboardOrder();
    void buildCompletion();
    void buildNewFromMenu();
    void fillParty(const QString &group, const QStringList &lines);
    void fillValue(const QString &fieldName, const QString &value);
    TDBEdit *addEdit(QWidget *parent, const QString &fieldName, const QRect &geometry, int limit,
                     bool upper);
    TDBMemo *addMemo(QWidget *parent, const QString &fieldName, const QRect &geometry);
    QLabel *addLabel(QWidget *parent, const QString &name, const QString &text, const QPoint &pos,
                     bool bold);
    QGroupBox *addBox(QWidget *parent, const QString &name, const QString &title, const QRect &geometry,
                      bool navyBold);
    void FormShow();
    void bindFields();
    void setMode(principal::Mode mode);
    Table::State registerState() const;

    QHash<QString, TDBEdit *> m_edits;
    QHash<QString, TDBMemo *> m_memos;
    QList<QWidget *> m_fieldOrder;
    QHash<QString, TCompletionPopup *> m_completions;
    PartyBook *m_book = nullptr;
    bool m_shown = false;
};

// The program's main window: set by the first TF_Principal made, cleared when it goes.
extern TF_Principal *F_Principal;
