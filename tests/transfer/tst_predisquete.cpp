// The transfer-file chooser, driven by its control names: its file dialogs are answered as
// they appear, over templates and transfer files made in temporary folders, with the clock
// pinned.

#include "ActivityStrip.h"
#include "TransferFile.h"
#include "TransferTestSupport.h"
#include "U_Disquete.h"
#include "U_PreDisquete.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

using namespace transfertest;

namespace {

Row bl(const QString &booking)
{
    return {{QStringLiteral("Bl_AgentRef"), booking}, {QStringLiteral("Bl_DataRef"), QDate(2027, 3, 1)}};
}

Row transferred(const QString &booking)
{
    return {{QStringLiteral("Di_Agentref"), booking}, {QStringLiteral("Di_Marks1"), QString(300, u'm')}};
}

// What the transfer window showed when it came up.
struct Seen
{
    bool shown = false;
    QString fileName;
    QString caption;
};

// Runs the chooser modally; act runs on it once it is up. Returns the chooser's result.
int runChooser(const std::function<void(TF_PreDisquete *)> &act, bool *stillOpenAfterAct = nullptr)
{
    auto *chooser = new TF_PreDisquete;
    auto watch = whenWindow<TF_PreDisquete>([&](TF_PreDisquete *c) {
        act(c);
        if (stillOpenAfterAct)
            *stillOpenAfterAct = c->isVisible();
        if (c->isVisible())
            c->SpeedButton1->click();
    });
    const int result = chooser->exec();
    delete chooser;
    if (!*watch)
        qWarning("the chooser never came up");
    return result;
}

// Goes to the file's folder and types its name, as the clerk would. (selectFile() fills the
// name field only once the folder has been read, which happens later.)
void type(QFileDialog *d, const QString &fileName)
{
    const QFileInfo info(fileName);
    d->setDirectory(info.absolutePath());
    d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(info.fileName());
}

// Arms the answer to the next file dialog: checks run on it, then it is given fileName (or
// cancelled when fileName is empty). When the transfer window follows, seen says what it
// showed and it is closed with its button.
std::shared_ptr<bool> answerDialog(const QString &fileName,
                                                   const std::function<void(QFileDialog *)> &checks, Seen *seen)
{
    return whenWindow<QFileDialog>([=](QFileDialog *d) {
        checks(d);
        if (fileName.isEmpty()) {
            d->reject();
            return;
        }
        if (seen) {
            whenWindow<TF_Disquete>([seen](TF_Disquete *window) {
                seen->shown = true;
                seen->fileName = window->fileName();
                seen->caption = window->GroupBox1->title();
                window->BB_Fechar->click();
            });
        }
        type(d, fileName);
        static_cast<QDialog *>(d)->accept();
    });
}

const auto noChecks = [](QFileDialog *) {};

QString failure()
{
    return QStringLiteral("Falha na Gravação.\r\rEscolha outro nome para este Arquivo.\r\rOu grave em outro Diretório.");
}

} // namespace

class TestPreDisquete : public QObject
{
    Q_OBJECT

    QTemporaryDir m_templates;

    // A template pair in its own folder, holding the given records.
    QString templateDir(const QString &name, const QList<Row> &rows, bool withMemo = true)
    {
        const QString dir = m_templates.filePath(name);
        if (QFile::exists(QDir(dir).filePath(QStringLiteral("BLDisquete.DB"))))
            return dir;
        QDir().mkpath(dir);
        makeTransfer(QDir(dir).filePath(QStringLiteral("BLDisquete.DB")), rows);
        if (!withMemo)
            QFile::remove(QDir(dir).filePath(QStringLiteral("BLDisquete.MB")));
        return dir;
    }

private slots:
    void initTestCase()
    {
        transferfile::setClock([] { return QDate(2027, 3, 1); });
    }

    void init()
    {
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
        transferfile::setTemplateDirectory(templateDir(QStringLiteral("plain"), {}));
    }

    void namesAndPlaces()
    {
        QCOMPARE(transferfile::defaultName(transferfile::today()), QStringLiteral("BL010327"));
        QCOMPARE(transferfile::defaultName(QDate(2026, 12, 6)), QStringLiteral("BL061226"));
        QCOMPARE(transferfile::defaultName(QDate(2000, 10, 31)), QStringLiteral("BL311000"));

        // A typed or picked ".DB", in any case, is not doubled; other dots stay part of the name.
        const auto typed = transferfile::newFileNames(QStringLiteral("/m/Lote.db"));
        QCOMPARE(typed.dbPath, QStringLiteral("/m/Lote.DB"));
        QCOMPARE(typed.mbPath, QStringLiteral("/m/Lote.MB"));
        QCOMPARE(typed.base, QStringLiteral("/m/Lote"));
        QCOMPARE(typed.tableName, QStringLiteral("Lote"));
        const auto dotted = transferfile::newFileNames(QStringLiteral("/m/BL.06"));
        QCOMPARE(dotted.dbPath, QStringLiteral("/m/BL.06.DB"));
        QCOMPARE(dotted.tableName, QStringLiteral("BL.06.DB"));

        // The first medium under the user's media folders, by name; system mounts are no media.
        const QString mounts = QStringLiteral("/dev/sda1 / ext4 rw 0 0\n"
                                              "/dev/sdc1 /media/ana/ZETA vfat rw 0 0\n"
                                              "/dev/sdb1 /media/ana/PEN\\040DRIVE vfat rw 0 0\n"
                                              "/dev/sdd1 /run/media/ana/CARD vfat rw 0 0\n"
                                              "tmpfs /run/user/1000 tmpfs rw 0 0\n");
        QCOMPARE(transferfile::removableMedium(mounts, QStringLiteral("ana")), QStringLiteral("/media/ana/PEN DRIVE"));
        QCOMPARE(transferfile::removableMedium(mounts, QStringLiteral("rui")), QString());
        QCOMPARE(transferfile::removableMedium(QStringLiteral("/dev/sdd1 /run/media/rui/CARD vfat rw 0 0\n"
                                                              "/dev/sde1 /media/STICK vfat rw 0 0\n"),
                                               QStringLiteral("rui")),
                 QStringLiteral("/run/media/rui/CARD"));
        QCOMPARE(transferfile::removableMedium(QStringLiteral("/dev/sde1 /media/STICK vfat rw 0 0\n"),
                                               QStringLiteral("rui")),
                 QStringLiteral("/media/STICK"));
    }


    // Beside the program (the build tree) wins over the installed share folder; with neither,
    // the program's own folder, where the copy then fails as for any missing template.
    void templateFoundBothWays()
    {
        QTemporaryDir root;
        const QString bin = root.filePath(QStringLiteral("usr/bin"));
        const QString share = root.filePath(QStringLiteral("usr/share/bl-emissao"));
        QDir().mkpath(bin);
        QCOMPARE(transferfile::templateDirectoryFor(bin), bin);

        QDir().mkpath(share);
        makeTransfer(QDir(share).filePath(QStringLiteral("BLDisquete.DB")), {});
        QCOMPARE(transferfile::templateDirectoryFor(bin), share);
        QCOMPARE(transferfile::templateDirectoryFor(bin + QLatin1Char('/')), share);

        makeTransfer(QDir(bin).filePath(QStringLiteral("BLDisquete.DB")), {});
        QCOMPARE(transferfile::templateDirectoryFor(bin), bin);

        // The installed layout feeds a real copy.
        QFile::remove(QDir(bin).filePath(QStringLiteral("BLDisquete.DB")));
        QFile::remove(QDir(bin).filePath(QStringLiteral("BLDisquete.MB")));
        const auto names = transferfile::newFileNames(root.filePath(QStringLiteral("Lote")));
        QVERIFY(transferfile::copyTemplate(transferfile::templateDirectoryFor(bin), names));
        QVERIFY(QFile::exists(names.dbPath) && QFile::exists(names.mbPath));
    }
    void chooserAsDesigned()
    {
        Session s({bl(QStringLiteral("A"))});
        runChooser([](TF_PreDisquete *c) {
            QCOMPARE(c->windowTitle(), QStringLiteral("Disquete"));
            QCOMPARE(c->size(), QSize(294, 219));
            QCOMPARE(c->minimumSize(), c->maximumSize());
            QVERIFY(!(c->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint)));
            QCOMPARE(c->Animate1->geometry(), QRect(8, 8, 277, 60));
            QVERIFY(!c->Animate1->isActive());
            QCOMPARE(c->Animate1->frame(), 34);
            QCOMPARE(c->RadioGroup1->geometry(), QRect(4, 70, 281, 103));
            QCOMPARE(c->RadioGroup1->palette().color(QPalette::WindowText), QColor(0, 0, 128));
            QCOMPARE(c->RadioNovo->text(), QStringLiteral("NOVO  - Criar arquivo vazio "));
            QCOMPARE(c->RadioAbrir->text(), QStringLiteral("ABRIR - Editar arquivo existente"));
            QCOMPARE(c->itemIndex(), -1);
            QCOMPARE(c->SpeedButton1->geometry(), QRect(92, 184, 105, 25));
            QCOMPARE(c->SpeedButton1->text(), QStringLiteral("Cancelar"));
            QVERIFY(c->SpeedButton1->font().bold());
        });
    }

    void newFileFromTemplate()
    {
        Session s({bl(QStringLiteral("A"))});
        Answers answers;  // nothing to say; a message here would be a fault
        // The template holds records; the new file is empty all the same.
        transferfile::setTemplateDirectory(
            templateDir(QStringLiteral("full"), {transferred(QStringLiteral("OLD1")), transferred(QStringLiteral("OLD2"))}));
        const QByteArray templateBefore = fileBytes(QDir(transferfile::templateDirectory()).filePath(QStringLiteral("BLDisquete.DB")));
        Seen seen;
        const int result = runChooser([&](TF_PreDisquete *c) {
            answerDialog(s.path(QStringLiteral("BL010327")),
                         [](QFileDialog *d) {
                             QCOMPARE(d->windowTitle(), QStringLiteral("NEW - Bill of Lading - Emissão"));
                             QCOMPARE(d->acceptMode(), QFileDialog::AcceptSave);
                             QCOMPARE(d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text(),
                                      QStringLiteral("BL010327"));
                             QCOMPARE(d->nameFilters().size(), 1);
                             QVERIFY(d->nameFilters().first().startsWith(QLatin1String("Arquivos de BL ")));
                             QVERIFY(d->nameFilters().first().contains(QLatin1String("*.db")));
                             QCOMPARE(QDir(d->directory()).absolutePath(),
                                      QDir(transferfile::startDirectory()).absolutePath());
                             QVERIFY(d->defaultSuffix().isEmpty());
                         },
                         &seen);
            c->RadioNovo->click();
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(seen.shown);
        QCOMPARE(seen.fileName, s.path(QStringLiteral("BL010327")));
        QCOMPARE(seen.caption, s.path(QStringLiteral("BL010327")) + QStringLiteral(" - Quantidade de BL: 0"));
        Table *t = s.dm->Tbl_BLDisquete;
        QVERIFY(!t->isActive());  // the transfer window closed it
        QVERIFY(t->exclusive());
        QCOMPARE(t->directory(), s.dir.path() + QLatin1Char('/'));
        QCOMPARE(t->tableName(), QStringLiteral("BL010327"));
        px::Table made(s.path(QStringLiteral("BL010327.DB")), px::Table::Mode::ReadOnly);
        QCOMPARE(made.recordCount(), 0u);
        QVERIFY(made.check().isEmpty());
        QCOMPARE(fileBytes(QDir(transferfile::templateDirectory()).filePath(QStringLiteral("BLDisquete.DB"))),
                 templateBefore);

        // A name typed with its extension is not doubled.
        Seen typed;
        runChooser([&](TF_PreDisquete *c) {
            answerDialog(s.path(QStringLiteral("Lote.db")), noChecks, &typed);
            c->RadioNovo->click();
        });
        QVERIFY(typed.shown);
        QVERIFY(QFile::exists(s.path(QStringLiteral("Lote.DB"))));
        QVERIFY(QFile::exists(s.path(QStringLiteral("Lote.MB"))));
        QVERIFY(!QFile::exists(s.path(QStringLiteral("Lote.db.DB"))));
        QVERIFY(answers.texts.isEmpty() && answers.errors.isEmpty());
    }

    // Each failed copy gives the one message and closes the chooser; nothing that existed is
    // touched, and nothing this attempt made stays behind.
    void failedCopies()
    {
        Session s({bl(QStringLiteral("A"))});
        Answers answers;
        const QString existing = s.path(QStringLiteral("BL010327.DB"));
        makeTransfer(existing, {transferred(QStringLiteral("KEEP"))});
        QFile::remove(s.path(QStringLiteral("BL010327.MB")));
        const QByteArray before = fileBytes(existing);
        bool open = true;
        int result = runChooser(
            [&](TF_PreDisquete *c) {
                answerDialog(s.path(QStringLiteral("BL010327")), noChecks, nullptr);
                c->RadioNovo->click();
            },
            &open);
        QVERIFY(!open);
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(answers.texts, QStringList{failure()});
        QCOMPARE(fileBytes(existing), before);
        QVERIFY(!QFile::exists(s.path(QStringLiteral("BL010327.MB"))));

        // The memo template is missing: the .DB just made goes, a .MB that was there stays.
        transferfile::setTemplateDirectory(templateDir(QStringLiteral("nomemo"), {}, false));
        QFile other(s.path(QStringLiteral("OUTRO.MB")));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("not ours");
        other.close();
        runChooser([&](TF_PreDisquete *c) {
            answerDialog(s.path(QStringLiteral("NOVO")), noChecks, nullptr);
            c->RadioNovo->click();
        });
        runChooser([&](TF_PreDisquete *c) {
            answerDialog(s.path(QStringLiteral("OUTRO")), noChecks, nullptr);
            c->RadioNovo->click();
        });
        QCOMPARE(answers.texts, (QStringList{failure(), failure(), failure()}));
        QVERIFY(!QFile::exists(s.path(QStringLiteral("NOVO.DB"))));
        QVERIFY(!QFile::exists(s.path(QStringLiteral("OUTRO.DB"))));
        QCOMPARE(fileBytes(s.path(QStringLiteral("OUTRO.MB"))), QByteArray("not ours"));
        QVERIFY(answers.errors.isEmpty());
    }

    // A template that is no transfer table: the engine's error, and the copies go again.
    void newCopyThatCannotOpen()
    {
        Session s({bl(QStringLiteral("A"))});
        Answers answers;
        const QString dir = m_templates.filePath(QStringLiteral("wrong"));
        QDir().mkpath(dir);
        px::Table::create(QDir(dir).filePath(QStringLiteral("BLDisquete.DB")), blrecord::registerFields());
        transferfile::setTemplateDirectory(dir);
        bool open = false;
        runChooser(
            [&](TF_PreDisquete *c) {
                answerDialog(s.path(QStringLiteral("ERRADO")), noChecks, nullptr);
                c->RadioNovo->click();
            },
            &open);
        QVERIFY(open);  // the chooser stays for another choice
        QCOMPARE(answers.errors.size(), 1);
        QVERIFY2(answers.errors.first().contains(QLatin1String("ERRADO.DB")), qPrintable(answers.errors.first()));
        QVERIFY(!QFile::exists(s.path(QStringLiteral("ERRADO.DB"))));
        QVERIFY(!QFile::exists(s.path(QStringLiteral("ERRADO.MB"))));
    }

    void cancelling()
    {
        Session s({bl(QStringLiteral("A"))});
        const QStringList before = s.dir.isValid() ? QDir(s.dir.path()).entryList(QDir::Files) : QStringList();
        // Cancelling the save dialog closes the chooser, nothing made.
        bool open = true;
        const int result = runChooser(
            [&](TF_PreDisquete *c) {
                answerDialog(QString(), noChecks, nullptr);
                c->RadioNovo->click();
            },
            &open);
        QVERIFY(!open);
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(QDir(s.dir.path()).entryList(QDir::Files), before);

        // Cancelling the open dialog keeps it, with no option marked.
        int marked = 0;
        runChooser(
            [&](TF_PreDisquete *c) {
                answerDialog(QString(),
                             [](QFileDialog *d) {
                                 QCOMPARE(d->windowTitle(), QStringLiteral("OPEN - Bill of Lading - Emissão"));
                                 QCOMPARE(d->acceptMode(), QFileDialog::AcceptOpen);
                             },
                             nullptr);
                c->RadioAbrir->click();
                marked = c->itemIndex();
            },
            &open);
        QVERIFY(open);
        QCOMPARE(marked, -1);
        QVERIFY(!s.dm->Tbl_BLDisquete->isActive());
    }

    // An existing file opens with its records; reopened after a transfer it shows them all.
    void openExistingAndReopen()
    {
        Session s({bl(QStringLiteral("NEW1"))});
        Answers answers;
        const QString db = s.path(QStringLiteral("EXISTE.DB"));
        makeTransfer(db, {transferred(QStringLiteral("T1")), transferred(QStringLiteral("T2"))});
        Seen first;
        runChooser([&](TF_PreDisquete *c) {
            // Transfer one B/L while the window is up, then close it.
            whenWindow<QFileDialog>([&](QFileDialog *d) {
                whenWindow<TF_Disquete>([&](TF_Disquete *window) {
                    first.shown = true;
                    first.caption = window->GroupBox1->title();
                    window->SB_Transf->click();
                    window->BB_Fechar->click();
                });
                type(d, db);
                static_cast<QDialog *>(d)->accept();
            });
            c->RadioAbrir->click();
        });
        QVERIFY(first.shown);
        QCOMPARE(first.caption, db + QStringLiteral(" - Quantidade de BL: 2"));
        QCOMPARE(s.dm->Tbl_BLDisquete->tableName(), QStringLiteral("EXISTE.DB"));

        Seen again;
        runChooser([&](TF_PreDisquete *c) {
            answerDialog(db, noChecks, &again);
            c->RadioAbrir->click();
        });
        QCOMPARE(again.caption, db + QStringLiteral(" - Quantidade de BL: 3"));
        QVERIFY(answers.texts.isEmpty() && answers.errors.isEmpty());
    }

    // A file another opener holds: the engine's message naming it, and the chooser stays.
    void heldFileRefused()
    {
        Session s({bl(QStringLiteral("A"))});
        Answers answers;
        const QString db = s.path(QStringLiteral("PRESO.DB"));
        makeTransfer(db, {});
        // Its own open file description: the lock sees it as another program.
        px::Table holder(db, px::Table::Mode::Exclusive);
        Seen seen;
        bool open = false;
        runChooser(
            [&](TF_PreDisquete *c) {
                answerDialog(db, noChecks, &seen);
                c->RadioAbrir->click();
            },
            &open);
        QVERIFY(open);
        QVERIFY(!seen.shown);
        QCOMPARE(answers.errors.size(), 1);
        QVERIFY2(answers.errors.first().contains(QLatin1String("PRESO.DB")), qPrintable(answers.errors.first()));
        QVERIFY(!s.dm->Tbl_BLDisquete->isActive());
    }
};

QTEST_MAIN(TestPreDisquete)
#include "tst_predisquete.moc"
