// The delivery receipt window over a real transfer file, driven by its control names: what it
// shows, its refusals, upper-case typing, and the copies loop printing on PDF printers.

#include "../print/PdfWords.h"
#include "ModalHelper.h"
#include "MsgDlg.h"
#include "PrinterServices.h"
#include "ProtocoloTestSupport.h"
#include "QRPreview.h"
#include "U_CopiasPrint.h"
#include "U_DM_BL.h"
#include "U_Protocolo.h"

#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

const QStringList Bookings = {QStringLiteral("SSZ0001"), QStringLiteral("SSZ0002"), QStringLiteral("ssz0003")};

// A transfer file in a fresh folder, opened exclusively as the chooser leaves it, and PDF
// printers (none when printerNames is empty).
struct Fixture
{
    QTemporaryDir dir;
    std::unique_ptr<TDM_BL> dm;
    std::unique_ptr<report::PdfPrinterServices> printers;

    // name: the table name as the chooser set it, with or without ".DB".
    explicit Fixture(const QString &name = QStringLiteral("BL061226"),
                     const QStringList &printerNames = {QStringLiteral("Default")})
    {
        receipttest::makeTransfer(dir.filePath(QStringLiteral("BL061226.DB")), Bookings,
                                  {QStringLiteral("SANTOS"), QStringLiteral("ITAJAI"), QStringLiteral("paranagua")});
        dm = std::make_unique<TDM_BL>();
        dm->Tbl_BLDisquete->setDirectory(dir.path() + QLatin1Char('/'));
        dm->Tbl_BLDisquete->setTableName(name);
        dm->Tbl_BLDisquete->setExclusive(true);
        dm->Tbl_BLDisquete->open();
        QDir(dir.path()).mkdir(QStringLiteral("jobs"));
        printers = std::make_unique<report::PdfPrinterServices>(dir.filePath(QStringLiteral("jobs")), printerNames);
        report::setPrinterServices(printers.get());
    }
    ~Fixture()
    {
        report::setPrinterServices(nullptr);
        dm->Tbl_BLDisquete->close();
    }
    QString caption() const { return dir.path() + QStringLiteral("/BL061226 - Quantidade de BL: 3"); }
};

// Opens the receipt as the transfer window does and lets act() work on it; then closes it
// with "Fechar". Returns whether act ran.
bool withReceipt(Fixture &f, const std::function<void(TF_Protocolo *)> &act)
{
    QPointer<QWidget> window;
    auto watch = modaltest::whenModal([&](QWidget *w) {
        window = w;
        if (auto *r = qobject_cast<TF_Protocolo *>(w)) {
            act(r);
            r->BB_Fechar->click();
        } else {
            w->close();
        }
    });
    openDeliveryReceipt(nullptr, *f.dm->Tbl_BLDisquete, f.caption());
    return watch->acted && window.isNull();  // shown, and freed after it closed
}

// As modaltest::whenModal(), but waits for the modal window that pred accepts: between two
// nested dialogs the window below them is briefly the active modal one.
std::shared_ptr<modaltest::ModalWatch> whenModalIs(std::function<bool(QWidget *)> pred,
                                                   std::function<void(QWidget *)> action)
{
    auto watch = std::make_shared<modaltest::ModalWatch>();
    auto *timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || !pred(w)) {
            if (clock->elapsed() > 10000) {
                watch->timedOut = true;
                timer->stop();
                timer->deleteLater();
            }
            return;
        }
        timer->stop();
        timer->deleteLater();
        watch->acted = true;
        watch->window = w;
        action(w);
    });
    timer->start(5);
    return watch;
}

bool isMessage(QWidget *w)
{
    return w->objectName() == QLatin1String("MsgDlgWindow");
}

bool isCopies(QWidget *w)
{
    return qobject_cast<TF_CopiasPrint *>(w) != nullptr;
}

// Answers the next message dialog with OK; its text goes to message.
std::shared_ptr<modaltest::ModalWatch> answerMessage(QString *message, TMsgDlgBtn button = mbOK)
{
    return whenModalIs(isMessage, [=](QWidget *w) {
        if (auto *l = w->findChild<QLabel *>(QStringLiteral("Message")))
            *message = l->text();
        if (auto *b = w->findChild<QPushButton *>(TMsgDlg::buttonName(button)))
            b->click();
        else
            w->close();
    });
}

// Answers the copies dialog: a number of copies and Print, Preview, or Cancel.
enum class Answer { Print, Preview, Cancel };
std::shared_ptr<modaltest::ModalWatch> answerCopies(Answer answer, int copies = 1)
{
    return whenModalIs(isCopies, [=](QWidget *w) {
        auto *d = qobject_cast<TF_CopiasPrint *>(w);
        d->SpinEdit1->setValue(copies);
        switch (answer) {
        case Answer::Print: d->BB_OK->click(); break;
        case Answer::Preview: d->SB_Preview->click(); break;
        case Answer::Cancel: d->BB_Cancela->click(); break;
        }
    });
}

// Counts the preview windows that open and closes each once its pages are laid out.
class PreviewCounter : public QObject
{
public:
    PreviewCounter() { qApp->installEventFilter(this); }
    ~PreviewCounter() override { qApp->removeEventFilter(this); }
    int shown = 0;
    int pages = 0;

protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Show) {
            if (auto *p = qobject_cast<report::TQRPreview *>(o)) {
                ++shown;
                QPointer<report::TQRPreview> guard(p);
                auto *timer = new QTimer(this);
                connect(timer, &QTimer::timeout, this, [this, guard, timer] {
                    if (!guard) {
                        timer->deleteLater();
                    } else if (guard->pageCount() > 0) {
                        pages = guard->pageCount();
                        timer->deleteLater();
                        guard->close();
                    }
                });
                timer->start(5);
            }
        }
        return false;
    }
};

QStringList words(const QString &pdf)
{
    QStringList out;
    for (const pdfwords::Page &p : pdfwords::read(pdf))
        for (const pdfwords::Word &w : p.words)
            out.append(w.text);
    return out;
}

// Types text as the keyboard does, letter by letter; QTest's own typing knows ASCII only.
void type(QWidget *w, const QString &text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &release);
    }
}

QRect placeIn(const QWidget *w, const QWidget *window)
{
    return QRect(w->mapTo(window, QPoint(0, 0)), w->size());
}

} // namespace

class TestProtocoloWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
        TF_Protocolo::setClock([] { return QDateTime(QDate(2026, 12, 6), QTime(0, 5)); });
    }
    void cleanupTestCase() { TF_Protocolo::setClock({}); }

    void showsTheTransferFileAndTheAgency()
    {
        Fixture f;
        bool looked = false;
        QVERIFY(withReceipt(f, [&](TF_Protocolo *w) {
            looked = true;
            QCOMPARE(w->windowTitle(), QStringLiteral("Protocolo da Relação de B/L"));
            QCOMPARE(w->size(), QSize(394, 333));
            QCOMPARE(w->font().pixelSize(), 11);
            // The list in the table's order, unsorted; the file line; the date of today.
            QStringList listed;
            for (int i = 0; i < w->ListBox2->count(); ++i)
                listed.append(w->ListBox2->item(i)->text());
            QCOMPARE(listed, Bookings);
            QCOMPARE(w->Edit2->text(), f.caption());
            QVERIFY(!w->Edit2->isEnabled() && w->Edit2->isReadOnly());
            QCOMPARE(w->Label10->text(), QStringLiteral("06/12/2026"));
            // The city of the last record, where the walk left the table; upper case.
            QCOMPARE(w->Edit3->text(), QStringLiteral("PARANAGUA"));
            QCOMPARE(w->Label7->text(), QStringLiteral("QUILLAMAR"));

            struct Place
            {
                QWidget *control;
                QRect geometry;  // width or height 0: not fixed by the form
            };
            const Place places[] = {
                {w->Panel1, {0, 0, 394, 41}},        {w->Label9, {8, 12, 0, 0}},
                {w->Label10, {56, 12, 0, 0}},        {w->SB_Impressao, {285, 8, 25, 25}},
                {w->BB_Fechar, {347, 4, 33, 33}},    {w->Label2, {8, 48, 145, 0}},
                {w->ListBox2, {8, 64, 145, 161}},    {w->GroupBox1, {160, 64, 225, 73}},
                {w->Label6, {164, 80, 213, 0}},      {w->Label7, {164, 104, 213, 0}},
                {w->Label4, {160, 188, 0, 0}},       {w->Edit3, {160, 204, 225, 0}},
                {w->Label1, {8, 232, 0, 0}},         {w->Edit2, {8, 248, 377, 0}},
                {w->Label3, {8, 280, 0, 0}},         {w->Edit1, {8, 296, 377, 0}},
            };
            for (const Place &p : places) {
                const QRect at = placeIn(p.control, w);
                QVERIFY2(at.topLeft() == p.geometry.topLeft(), qPrintable(p.control->objectName()));
                if (p.geometry.width())
                    QVERIFY2(at.width() == p.geometry.width(), qPrintable(p.control->objectName()));
                if (p.geometry.height())
                    QVERIFY2(at.height() == p.geometry.height(), qPrintable(p.control->objectName()));
            }
            const struct
            {
                QLabel *label;
                const char *text;
                QColor colour;
                int pixels;
            } labels[] = {
                {w->Label9, "Data:", QColor(255, 0, 0), 16},
                {w->Label10, "06/12/2026", QColor(0, 0, 128), 16},
                {w->Label2, "Ref. da Reserva:", QColor(0, 0, 128), 11},
                {w->Label6, "Recebimento", QColor(0, 0, 128), 13},
                {w->Label7, "QUILLAMAR", QColor(255, 0, 0), 13},
                {w->Label4, "Cidade:", QColor(255, 0, 0), 11},
                {w->Label1, "Arquivo:", QColor(255, 0, 0), 11},
                {w->Label3, "Empresa:", QColor(255, 0, 0), 11},
            };
            for (const auto &l : labels) {
                QCOMPARE(l.label->text(), QString::fromUtf8(l.text));
                QCOMPARE(l.label->palette().color(QPalette::WindowText), l.colour);
                QCOMPARE(l.label->font().pixelSize(), l.pixels);
                QVERIFY(l.label->font().bold());
            }
            QVERIFY(w->Label2->alignment() & Qt::AlignHCenter);
            QVERIFY(w->Label6->alignment() & Qt::AlignHCenter);
            QCOMPARE(w->SB_Impressao->toolTip(), QStringLiteral("Impressão"));
            QCOMPARE(w->BB_Fechar->toolTip(), QStringLiteral("Fechar"));
            QVERIFY(w->SB_Impressao->text().isEmpty() || w->SB_Impressao->toolButtonStyle() == Qt::ToolButtonIconOnly);
            QVERIFY(w->BB_Fechar->text().isEmpty() && !w->BB_Fechar->icon().isNull());
            QCOMPARE(w->SB_Impressao->focusPolicy(), Qt::NoFocus);
            QVERIFY(w->MsgDlg1);
        }));
        QVERIFY(looked);
        QCOMPARE(f.dm->Tbl_BLDisquete->recNo(), 2);
        QVERIFY(f.printers->jobs.isEmpty());
    }

    void refusalsGoToTheirField()
    {
        Fixture f;
        QVERIFY(withReceipt(f, [&](TF_Protocolo *w) {
            // No company: refused, whatever the city.
            QString message;
            auto box = answerMessage(&message);
            w->SB_Impressao->click();
            QVERIFY(box->acted);
            QCOMPARE(message, QStringLiteral("Necessário nome da Empresa."));
            QCOMPARE(w->focusWidget(), w->Edit1);

            // A company but no city.
            w->Edit1->setText(QStringLiteral("ACME"));
            w->Edit3->clear();
            box = answerMessage(&message);
            w->SB_Impressao->click();
            QVERIFY(box->acted);
            QCOMPARE(message, QStringLiteral("Necessário Cidade."));
            QCOMPARE(w->focusWidget(), w->Edit3);
        }));
        QVERIFY(f.printers->jobs.isEmpty());
    }

    void typedTextTurnsUpperCase()
    {
        Fixture f;
        QVERIFY(withReceipt(f, [&](TF_Protocolo *w) {
            w->Edit1->setFocus();
            type(w->Edit1, QStringLiteral("acme exportação"));
            QCOMPARE(w->Edit1->text(), QStringLiteral("ACME EXPORTAÇÃO"));
            w->Edit3->clear();
            type(w->Edit3, QStringLiteral("são josé"));
            QCOMPARE(w->Edit3->text(), QStringLiteral("SÃO JOSÉ"));
        }));
    }

    void copiesPrintPreviewAndCancel()
    {
        Fixture f;
        PreviewCounter previews;
        QVERIFY(withReceipt(f, [&](TF_Protocolo *w) {
            QTest::keyClicks(w->Edit1, QStringLiteral("acme"));
            // Three copies: three jobs of one copy each.
            auto copies = answerCopies(Answer::Print, 3);
            w->SB_Impressao->click();
            QVERIFY(copies->acted);
            QCOMPARE(f.printers->jobs.size(), 3);
            for (const auto &job : f.printers->jobs) {
                QVERIFY(job.finished && !job.aborted);
                QCOMPARE(job.copies, 1);
                QCOMPARE(job.pages, 1);
            }
            QCOMPARE(CopiasImpressao, 0);
            QCOMPARE(previews.shown, 0);
            // The window stays open and prints again: a preview, once, whatever the count.
            copies = answerCopies(Answer::Preview, 7);
            w->SB_Impressao->click();
            QVERIFY(copies->acted);
            QCOMPARE(previews.shown, 1);
            QCOMPARE(previews.pages, 1);
            QCOMPARE(f.printers->jobs.size(), 3);
            // Cancel: nothing.
            copies = answerCopies(Answer::Cancel, 5);
            w->SB_Impressao->click();
            QVERIFY(copies->acted);
            QCOMPARE(previews.shown, 1);
            QCOMPARE(f.printers->jobs.size(), 3);
        }));
        // What was printed: the typed company in upper case, the moment of the pinned clock,
        // the list, and the file made in this run without extension.
        const QString printed = words(f.printers->jobs.first().file).join(QLatin1Char(' '));
        QVERIFY2(printed.contains(QStringLiteral("Cliente: ACME")), qPrintable(printed));
        QVERIFY2(printed.contains(QStringLiteral("Emissão: PARANAGUA, domingo, 6 de dezembro de 2026, as 12:05 AM")),
                 qPrintable(printed));
        QVERIFY(printed.contains(QStringLiteral("SSZ0001 - SSZ0002 - ssz0003 -")));
        QVERIFY(printed.contains(QStringLiteral("Arquivo: ") + f.dir.path() + QStringLiteral("/BL061226 ")));
    }

    void anOpenedFileShowsItsExtension()
    {
        Fixture f(QStringLiteral("BL061226.DB"));
        QVERIFY(withReceipt(f, [&](TF_Protocolo *w) {
            w->Edit1->setText(QStringLiteral("ACME"));
            auto copies = answerCopies(Answer::Print, 1);
            w->SB_Impressao->click();
            QVERIFY(copies->acted);
        }));
        QCOMPARE(f.printers->jobs.size(), 1);
        QVERIFY(words(f.printers->jobs.first().file).contains(f.dir.path() + QStringLiteral("/BL061226.DB")));
    }

    void withoutPrinterTheClerkIsOfferedThePreview()
    {
        for (const bool wantsPreview : {true, false}) {
            Fixture f(QStringLiteral("BL061226"), {});
            PreviewCounter previews;
            QString message;
            QVERIFY(withReceipt(f, [&](TF_Protocolo *w) {
                w->Edit1->setText(QStringLiteral("ACME"));
                auto copies = whenModalIs(isCopies, [&](QWidget *d) {
                    // The copies dialog, then the question.
                    answerMessage(&message, wantsPreview ? mbOK : mbCancel);
                    qobject_cast<TF_CopiasPrint *>(d)->BB_OK->click();
                });
                w->SB_Impressao->click();
                QVERIFY(copies->acted);
            }));
            QVERIFY2(message.contains(QStringLiteral("impressora instalada")) && message.contains(QStringLiteral("protocolo")),
                     qPrintable(message));
            QCOMPARE(previews.shown, wantsPreview ? 1 : 0);
            QCOMPARE(CopiasImpressao, 0);
        }
    }

    void escapeDoesNotCloseTheWindow()
    {
        Fixture f;
        QVERIFY(withReceipt(f, [&](TF_Protocolo *w) {
            QTest::keyClick(w, Qt::Key_Escape);
            QVERIFY(w->isVisible());
        }));
    }
};

QTEST_MAIN(TestProtocoloWindow)
#include "tst_protocolo_window.moc"
