#include "U_PreDisquete.h"

#include "ActivityStrip.h"
#include "BLTransfer.h"
#include "ErrorBox.h"
#include "FileTypes.h"
#include "MsgDlg.h"
#include "TransferFile.h"
#include "U_DM_BL.h"
#include "U_Disquete.h"
#include "WindowPlacement.h"
#include "WindowStyle.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QGroupBox>
#include <QRadioButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QToolButton>

using namespace winstyle;

namespace {

// Stops the indicator however the opening steps end.
class Playing
{
public:
    explicit Playing(TActivityStrip *strip) : m_strip(strip) { m_strip->start(); }
    ~Playing() { m_strip->stop(); }

private:
    TActivityStrip *m_strip;
};

QFileDialog *fileDialog(QWidget *owner, const char *name, QFileDialog::AcceptMode mode)
{
    auto *d = new QFileDialog(owner);
    d->setObjectName(QLatin1String(name));
    // Qt's own dialog: the same on every desktop, and reachable by tests.
    d->setOption(QFileDialog::DontUseNativeDialog, true);
    d->setIconProvider(report::portugueseFileTypes());
    d->setOption(QFileDialog::HideNameFilterDetails, true);
    d->setAcceptMode(mode);
    d->setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    d->setSizeGripEnabled(true);
    d->setWindowModality(Qt::ApplicationModal);
    return d;
}

} // namespace

TF_PreDisquete::TF_PreDisquete(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("F_PreDisquete"));
    setWindowTitle(QStringLiteral("Disquete"));
    // Single fixed border and no title-bar buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(294, 219);
    setFont(windowFont());

    MsgDlg1 = TMsgDlg::createStandard(this, QStringLiteral("MsgDlg1"));

    ScrollBox1 = scrollBox(this, "ScrollBox1", {0, 0, 294, 219});
    QWidget *box = scrollBoxContents(ScrollBox1);

    Animate1 = new TActivityStrip(box);
    Animate1->setObjectName(QStringLiteral("Animate1"));
    Animate1->setGeometry(8, 8, 277, 60);

    RadioGroup1 = groupBox(box, "RadioGroup1", QString(), {4, 70, 281, 103});
    RadioGroup1->setFont(windowFont(true));
    setTextColour(RadioGroup1, clNavy);
    // The two options share the group's height below a caption line.
    const int captionLine = 14;
    const int step = (103 - captionLine - 5) / 2;
    RadioNovo = new QRadioButton(QStringLiteral("NOVO  - Criar arquivo vazio "), RadioGroup1);
    RadioNovo->setObjectName(QStringLiteral("RadioGroup1_0"));
    RadioNovo->setGeometry(8, captionLine, 281 - 16, step);
    RadioAbrir = new QRadioButton(QStringLiteral("ABRIR - Editar arquivo existente"), RadioGroup1);
    RadioAbrir->setObjectName(QStringLiteral("RadioGroup1_1"));
    RadioAbrir->setGeometry(8, captionLine + step, 281 - 16, step);
    m_options = new QButtonGroup(this);
    m_options->addButton(RadioNovo, 0);
    m_options->addButton(RadioAbrir, 1);

    SpeedButton1 = toolButton(box, "SpeedButton1", {92, 184, 105, 25}, QStringLiteral("Cancelar"), QString(),
                              Glyph::Cross);
    SpeedButton1->setFont(windowFont(true));

    SaveDialog1 = fileDialog(this, "SaveDialog1", QFileDialog::AcceptSave);
    OpenDialog1 = fileDialog(this, "OpenDialog1", QFileDialog::AcceptOpen);

    blapp::connectAction(m_options, &QButtonGroup::idClicked, this, [this] { RadioGroup1Click(); });
    blapp::connectAction(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
}

TF_PreDisquete::~TF_PreDisquete() = default;

void TF_PreDisquete::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    placement::firstShow(this, event, m_placed);
}

int TF_PreDisquete::itemIndex() const
{
    return m_options->checkedId();
}

void TF_PreDisquete::setItemIndex(int index)
{
    if (index < 0) {
        // An exclusive group keeps one button checked; let go of it for a moment.
        m_options->setExclusive(false);
        RadioNovo->setChecked(false);
        RadioAbrir->setChecked(false);
        m_options->setExclusive(true);
        return;
    }
    if (QAbstractButton *b = m_options->button(index))
        b->setChecked(true);
}

QString TF_PreDisquete::failureMessage()
{
    return QStringLiteral("Falha na Gravação.\r\rEscolha outro nome para este Arquivo.\r\rOu grave em outro Diretório.");
}

void TF_PreDisquete::RadioGroup1Click()
{
    switch (itemIndex()) {
    case 0: CriaArquivoNovo(); break;
    case 1: AbreArquivoExistente(); break;
    default: break;
    }
}

void TF_PreDisquete::SpeedButton1Click()
{
    reject();
}

void TF_PreDisquete::CriaArquivoNovo()
{
    setItemIndex(-1);
    SaveDialog1->setWindowTitle(transferfile::newDialogTitle());
    SaveDialog1->setNameFilters(transferfile::nameFilters());
    SaveDialog1->setDirectory(transferfile::startDirectory());
    SaveDialog1->selectFile(transferfile::defaultName(transferfile::today()));
    if (SaveDialog1->exec() != QDialog::Accepted || SaveDialog1->selectedFiles().isEmpty()) {
        reject();
        return;
    }
    const QString answer = SaveDialog1->selectedFiles().constFirst();
    const transferfile::NewFile names = transferfile::newFileNames(answer);

    bool copied = false;
    {
        Playing playing(Animate1);
        copied = transferfile::copyTemplate(transferfile::templateDirectory(), names);
    }
    if (!copied) {
        MsgDlg1->DisplayMessage(failureMessage(), mtInformation, {mbOK});
        reject();
        return;
    }
    {
        Playing playing(Animate1);
        Table *t = DM_BL->Tbl_BLDisquete;
        try {
            bltransfer::pointAt(*t, names.directory, names.tableName);
            // Held from here on, so nobody gets in between emptying and working on it.
            t->open();
            t->emptyTable();
        } catch (...) {
            // No half-made transfer file of this attempt stays behind.
            t->close();
            transferfile::removeMade(names);
            throw;
        }
    }
    openTransferWindow(names.base);
    accept();
}

void TF_PreDisquete::AbreArquivoExistente()
{
    OpenDialog1->setWindowTitle(transferfile::openDialogTitle());
    OpenDialog1->setNameFilters(transferfile::nameFilters());
    OpenDialog1->setDirectory(transferfile::startDirectory());
    if (OpenDialog1->exec() != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty()) {
        setItemIndex(-1);
        return;
    }
    const QString fileName = OpenDialog1->selectedFiles().constFirst();
    {
        Playing playing(Animate1);
        try {
            bltransfer::pointAt(*DM_BL->Tbl_BLDisquete, fileName);
            DM_BL->Tbl_BLDisquete->open();
        } catch (...) {
            // The chooser stays open for another choice.
            setItemIndex(-1);
            throw;
        }
    }
    openTransferWindow(fileName);
    accept();
}

void TF_PreDisquete::openTransferWindow(const QString &fileName)
{
    auto *window = new TF_Disquete(this);
    window->setFileName(fileName);
    window->exec();
    delete window;
}
