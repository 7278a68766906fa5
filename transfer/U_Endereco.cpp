#include "U_Endereco.h"

#include "JpegImage.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

namespace {

const char *const LogoResource = ":/pictures/agency-logo.jpg";

// The receiving agency. Fictional: changing the agency means changing these lines.
const char16_t Razao[] = u"Quillamar Agência Marítima Ltda";
const char16_t Fanta[] = u"QUILLAMAR";
const char16_t Endereco[] = u"Rua do Farol Imaginário, 1500 - 4º andar - Centro";
const char16_t Cidade[] = u"Santos - SP - Brasil";
const char16_t TeleFax[] = u"CEP 11010-900   Fone: (13) 5550-0100   Fax: (13) 5550-0101";
const char16_t Internet[] = u"www.quillamar.example";
const char16_t Email[] = u"E-mail: bl@quillamar.example";

QLabel *centredLine(QWidget *parent, const char *name, const char16_t *text, int top)
{
    auto *l = new QLabel(QString::fromUtf16(text), parent);
    l->setObjectName(QLatin1String(name));
    l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    l->setGeometry(17, top, 340, 13);
    return l;
}

QLineEdit *nameEdit(QWidget *parent, const char *name, const char16_t *text, int top)
{
    // The designer's caption over each name is the control's own name.
    auto *caption = new QLabel(QLatin1String(name), parent);
    caption->setObjectName(QLatin1String(name) + QLatin1String("Caption"));
    caption->move(16, top);
    caption->adjustSize();
    auto *e = new QLineEdit(QString::fromUtf16(text), parent);
    e->setObjectName(QLatin1String(name));
    e->setReadOnly(true);
    e->setGeometry(16, top + 16, 342, 21);
    e->setCursorPosition(0);
    return e;
}

} // namespace

QByteArray agencyLogoJpeg()
{
    return jpeg::builtInData(QLatin1String(LogoResource));
}

TF_Endereco::TF_Endereco(QWidget *parent) : TF_Endereco(parent, agencyLogoJpeg()) {}

TF_Endereco::TF_Endereco(QWidget *parent, const QByteArray &logoJpeg)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
{
    build(logoJpeg);
}

TF_Endereco::~TF_Endereco() = default;

void TF_Endereco::build(const QByteArray &logoJpeg)
{
    setObjectName(QStringLiteral("F_Endereco"));
    setWindowTitle(QStringLiteral("F_Endereco"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    setFont(font);
    setFixedSize(374, 401);

    ImageEmpresa = new QLabel(this);
    ImageEmpresa->setObjectName(QStringLiteral("ImageEmpresa"));
    ImageEmpresa->setGeometry(70, 8, 233, 169);
    ImageEmpresa->setAlignment(Qt::AlignCenter);
    // A picture that does not decode leaves the logo empty: the names and lines still serve,
    // and whoever shows the logo can tell the user why it is missing.
    m_logo = jpeg::decodeJpeg(logoJpeg, &m_logoError);
    if (!m_logo.isNull())
        ImageEmpresa->setPixmap(QPixmap::fromImage(m_logo));

    EditRazao = nameEdit(this, "EditRazao", Razao, 188);
    EditFanta = nameEdit(this, "EditFanta", Fanta, 232);

    LabelEndereco = centredLine(this, "LabelEndereco", Endereco, 282);
    LabelCidade = centredLine(this, "LabelCidade", Cidade, 302);
    LabelTeleFax = centredLine(this, "LabelTeleFax", TeleFax, 322);
    LabelInternet = centredLine(this, "LabelInternet", Internet, 342);
    LabelEmail = centredLine(this, "LabelEmail", Email, 362);
}
