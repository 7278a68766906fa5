// The delivery receipt window over a real transfer file, driven by its control names: what it
// shows, its refusals, upper-case typing, and the copies loop printing on PDF printers.

#include "../print/PdfWords.h"
#include "ModalHelper.h"
#include "PrinterServices.h"
#include "MsgDlg.h"
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
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

const QStringList Bookings = {QStringLiteral("SSZ0001"), QStringLiteral("SSZ0002"), QStringLiteral("ssz0003")};

// A transfer file opened exclusively under the name the chooser set, and PDF printers.
struct Fixture
{
    QTemporaryDir dir;
    TDM_BL dm;
    report::PdfPrinterServices printers;

    explicit Fixture(const QString &name = QStringLiteral("BL061226"),
                     const QStringList &printerNames = {QStringLiteral("Default")})
        : printers(dir.filePath(QStringLiteral("jobs")), printerNames)
    {
        receipttest::makeTransfer(dir.filePath(QStringLiteral("BL061226.DB")), Bookings,
                                  {QStringLiteral("SANTOS"), QStringLiteral("ITAJAI"), QStringLiteral("paranagua")});
        dm.Tbl_BLDisquete->setDirectory(dir.path() + QLatin1Char('/'));
        dm.Tbl_BLDisquete->setTableName(name);
        dm.Tbl_BLDisquete->setExclusive(true);
        dm.Tbl_BLDisquete->open();
        QDir(dir.path()).mkdir(QStringLiteral("jobs"));
        report::setPrinterServices(&printers);
    }
    ~Fixture() { report::setPrinterServices(nullptr); }
    QString caption() const { return dir.path() + QStringLiteral("/BL061226 - Quantidade de BL: 3"); }
    QString printed(int job) const
    {
        QStringList out;
        for (const pdfwords::Page &p : pdfwords::read(printers.jobs.at(job).file))
            for (const pdfwords::Word &w : p.words)
                out.append(w.text);
        return out.join(QLatin1Char(' '));
    }
};

// Acts on the first modal window that pred accepts: between nested dialogs the window below
// them is briefly the active modal one, which modaltest::whenModal() would take.
std::shared_ptr<modaltest::ModalWatch> whenModalIs(std::function<bool(QWidget *)> pred,
                                                   std::function<void(QWidget *)> action)
{
    auto watch = std::make_shared<modaltest::ModalWatch>();
    auto *timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget *w = QApplication::activeModalWidget();
        const bool ready = w && w->isVisible() && pred(w);
        if (ready || clock->elapsed() > 10000) {
            timer->stop();
            timer->deleteLater();
            watch->acted = ready;
            if (ready)
                action(w);
        }
    });
    timer->start(5);
    return watch;
}

// Opens the receipt as the transfer window does, lets act() work on it, closes it with
// "Fechar". True when act ran and the window was freed.
bool withReceipt(Fixture &f, const std::function<void(TF_Protocolo *)> &act)
{
    QPointer<TF_Protocolo> window;
    auto watch = whenModalIs([](QWidget *w) { return qobject_cast<TF_Protocolo *>(w); }, [&](QWidget *w) {
        window = qobject_cast<TF_Protocolo *>(w);
        act(window);
        window->BB_Fechar->click();
    });
    openDeliveryReceipt(nullptr, *f.dm.Tbl_BLDisquete, f.caption());
    return watch->acted && window.isNull();
}

std::shared_ptr<modaltest::ModalWatch> answerMessage(QString *message, TMsgDlgBtn button = mbOK)
{
    return whenModalIs([](QWidget *w) { return w->objectName() == QLatin1String("MsgDlgWindow"); },
                       [=](QWidget *w) {
                           *message = w->findChild<QLabel *>(QStringLiteral("Message"))->text();
                           w->findChild<QPushButton *>(TMsgDlg::buttonName(button))->click();
                       });
}

// Answers the copies dialog with a count and one of its three buttons.
std::shared_ptr<modaltest::ModalWatch> answerCopies(const char *button, int copies = 1)
{
    return whenModalIs([](QWidget *w) { return qobject_cast<TF_CopiasPrint *>(w); }, [=](QWidget *w) {
        auto *d = qobject_cast<TF_CopiasPrint *>(w);
        d->SpinEdit1->setValue(copies);
        d->findChild<QAbstractButton *>(QLatin1String(button))->click();
    });
}

// Counts the preview windows that open, closing each once its pages are laid out.
struct PreviewCounter : QObject
{
    PreviewCounter() { qApp->installEventFilter(this); }
    int shown = 0;
    bool eventFilter(QObject *o, QEvent *e) override
    {
        auto *p = qobject_cast<report::TQRPreview *>(o);
        if (p && e->type() == QEvent::Show) {
            ++shown;
            whenModalIs([p](QWidget *w) { return w == p && p->pageCount() > 0; }, [](QWidget *w) { w->close(); });
        }
        return false;
    }
};

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

    void showsTheTransferFileAndTheAgency()
    {
        Fixture f;
        QVERIFY(withReceipt(f, [&](TF_Protocolo *w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Protocolo da Relação de B/L"));
            QCOMPARE(w->size(), QSize(394, 333));
            QStringList listed;
            for (int i = 0; i < w->ListBox2->count(); ++i)
                listed.append(w->ListBox2->item(i)->text());
            QCOMPARE(listed, Bookings);  // the table's order, unsorted
            QCOMPARE(w->Edit2->text(), f.caption());
            QVERIFY(!w->Edit2->isEnabled() && w->Edit2->isReadOnly());
            QCOMPARE(w->Label10->text(), QStringLiteral("06/12/2026"));
            QCOMPARE(w->Edit3->text(), QStringLiteral("PARANAGUA"));  // the last record's, upper case
            QCOMPARE(w->Label7->text(), QStringLiteral("QUILLAMAR"));
            // Place (left, top, and the width and height the form fixes), text colour, size in pixels.
            const struct
            {
                QWidget *c;
                QRect at;
                QColor colour;
                int pixels;
            } places[] = {
                {w->Panel1, {0, 0, 394, 41}, {}, 0},          {w->Label9, {8, 12, 0, 0}, Qt::red, 16},
                {w->Label10, {56, 12, 0, 0}, QColor(0, 0, 128), 16},
                {w->SB_Impressao, {285, 8, 25, 25}, {}, 0},   {w->BB_Fechar, {347, 4, 33, 33}, {}, 0},
                {w->Label2, {8, 48, 145, 0}, QColor(0, 0, 128), 11},
                {w->ListBox2, {8, 64, 145, 161}, {}, 0},      {w->GroupBox1, {160, 64, 225, 73}, {}, 0},
                {w->Label6, {164, 80, 213, 0}, QColor(0, 0, 128), 13},
                {w->Label7, {164, 104, 213, 0}, Qt::red, 13}, {w->Label4, {160, 188, 0, 0}, Qt::red, 11},
                {w->Edit3, {160, 204, 225, 0}, {}, 0},        {w->Label1, {8, 232, 0, 0}, Qt::red, 11},
                {w->Edit2, {8, 248, 377, 0}, {}, 0},          {w->Label3, {8, 280, 0, 0}, Qt::red, 11},
                {w->Edit1, {8, 296, 377, 0}, {}, 0},
            };
            for (const auto &p : places) {
                const QRect at(p.c->mapTo(w, QPoint(0, 0)), p.c->size());
                const QString name = p.c->objectName();
                QVERIFY2(at.topLeft() == p.at.topLeft(), qPrintable(name));
                QVERIFY2(!p.at.width() || at.width() == p.at.width(), qPrintable(name));
                QVERIFY2(!p.at.height() || at.height() == p.at.height(), qPrintable(name));
                if (p.pixels) {
                    QVERIFY2(p.c->palette().color(QPalette::WindowText) == p.colour, qPrintable(name));
                    QVERIFY2(p.c->font().pixelSize() == p.pixels && p.c->font().bold(), qPrintable(name));
                }
            }
            QCOMPARE(w->Label2->text() + w->Label6->text() + w->Label4->text() + w->Label1->text() + w->Label3->text(),
                     QStringLiteral("Ref. da Reserva:RecebimentoCidade:Arquivo:Empresa:"));
            QCOMPARE(w->SB_Impressao->toolTip() + w->BB_Fechar->toolTip(), QStringLiteral("ImpressãoFechar"));
            QVERIFY(w->BB_Fechar->text().isEmpty() && !w->BB_Fechar->icon().isNull());
        }));
        QCOMPARE(f.dm.Tbl_BLDisquete->recNo(), 2);  // the walk left the table on its last record
    }

    void refusalsAndUpperCase()
    {
        Fixture f;
        QVERIFY(withReceipt(f, [&](TF_Protocolo *w) {
            QString message;
            auto box = answerMessage(&message);
            w->SB_Impressao->click();
            QVERIFY(box->acted);
            QCOMPARE(message, QStringLiteral("Necessário nome da Empresa."));
            QCOMPARE(w->focusWidget(), w->Edit1);
            // Typed lower case becomes upper case, accents included.
            for (const QChar c : QStringLiteral("acme exportação")) {
                QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
                QApplication::sendEvent(w->Edit1, &key);
            }
            QCOMPARE(w->Edit1->text(), QStringLiteral("ACME EXPORTAÇÃO"));
            w->Edit3->clear();
            box = answerMessage(&message);
            w->SB_Impressao->click();
            QVERIFY(box->acted);
            QCOMPARE(message, QStringLiteral("Necessário Cidade."));
            QCOMPARE(w->focusWidget(), w->Edit3);
            QTest::keyClick(w, Qt::Key_Escape);  // only "Fechar" closes the window
            QVERIFY(w->isVisible());
        }));
        QVERIFY(f.printers.jobs.isEmpty());
    }

    void copiesPrintPreviewAndCancel()
    {
        Fixture f;
        PreviewCounter previews;
        QVERIFY(withReceipt(f, [&](TF_Protocolo *w) {
            w->Edit1->setText(QStringLiteral("ACME"));
            auto copies = answerCopies("BB_OK", 3);
            w->SB_Impressao->click();
            QVERIFY(copies->acted);
            QCOMPARE(f.printers.jobs.size(), 3);  // three jobs of one copy each
            for (const auto &job : f.printers.jobs)
                QVERIFY(job.finished && job.copies == 1 && job.pages == 1);
            copies = answerCopies("SB_Preview", 7);  // the window stays open: a preview, once
            w->SB_Impressao->click();
            QVERIFY(copies->acted);
            QCOMPARE(previews.shown, 1);
            copies = answerCopies("BB_Cancela", 5);
            w->SB_Impressao->click();
            QVERIFY(copies->acted);
        }));
        QCOMPARE(previews.shown, 1);
        QCOMPARE(f.printers.jobs.size(), 3);
        // The moment of the pinned clock; a file made in this run, named without extension.
        const QString printed = f.printed(0);
        QVERIFY2(printed.contains(QStringLiteral("Emissão: PARANAGUA, domingo, 6 de dezembro de 2026, as 12:05 AM")),
                 qPrintable(printed));
        QVERIFY(printed.contains(QStringLiteral("Cliente: ACME Ref. de Reservas: SSZ0001 - SSZ0002 - ssz0003 -")));
        QVERIFY(printed.contains(QStringLiteral("Arquivo: ") + f.dir.path() + QStringLiteral("/BL061226 ")));
    }

    void anOpenedFileShowsItsExtension()
    {
        Fixture f(QStringLiteral("BL061226.DB"));
        QVERIFY(withReceipt(f, [&](TF_Protocolo *w) {
            w->Edit1->setText(QStringLiteral("ACME"));
            auto copies = answerCopies("BB_OK");
            w->SB_Impressao->click();
        }));
        QCOMPARE(f.printers.jobs.size(), 1);
        QVERIFY(f.printed(0).contains(QStringLiteral("Arquivo: ") + f.dir.path() + QStringLiteral("/BL061226.DB")));
    }

    void withoutPrinterTheClerkIsOfferedThePreview()
    {
        for (const TMsgDlgBtn answer : {mbOK, mbCancel}) {
            Fixture f(QStringLiteral("BL061226"), {});
            PreviewCounter previews;
            QString message;
            QVERIFY(withReceipt(f, [&](TF_Protocolo *w) {
                w->Edit1->setText(QStringLiteral("ACME"));
                auto copies = answerCopies("BB_OK", 2);
                auto box = answerMessage(&message, answer);
                w->SB_Impressao->click();
                QVERIFY(copies->acted && box->acted);
            }));
            QVERIFY2(message.contains(QStringLiteral("impressora instalada")) && message.contains(QStringLiteral("protocolo")),
                     qPrintable(message));
            QCOMPARE(previews.shown, answer == mbOK ? 1 : 0);
        }
    }
};

QTEST_MAIN(TestProtocoloWindow)
#include "tst_protocolo_window.moc"
