#include "U_AboutBox.h"
#include "WindowPlacement.h"

#include "JpegImage.h"

#include <QCloseEvent>
#include <QFont>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QToolButton>

#ifndef BL_VERSION
#error "BL_VERSION (the project's version) must be defined by the build"
#endif

namespace {

// The product's constants. The maker is fictional.
const char16_t Maker[] = u"Faroldata Sistemas Ltda";
const char16_t Product[] = u"Emissão de Bill of Lading";
const char16_t Start[] = u"03/2009";
const char16_t Web[] = u"www.faroldata.example";
const char16_t Mail[] = u"suporte@faroldata.example";

const QColor Navy(0, 0, 128);
const QColor Red(255, 0, 0);

// A panel with a lowered outer and a raised inner bevel, one pixel each.
class BevelPanel : public QFrame
{
public:
    using QFrame::QFrame;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        const QColor shadow = palette().color(QPalette::Dark);
        const QColor light = palette().color(QPalette::Light);
        QRect r = rect();
        bevel(p, r, shadow, light);  // outer, lowered
        r.adjust(1, 1, -1, -1);
        bevel(p, r, light, shadow);  // inner, raised
    }

private:
    static void bevel(QPainter &p, const QRect &r, const QColor &topLeft, const QColor &bottomRight)
    {
        p.setPen(topLeft);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(bottomRight);
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
    }
};

QPixmap checkMark(const QColor &colour)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(colour, 2.6);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    QPainterPath path;
    path.moveTo(2.5, 8.5);
    path.lineTo(6.5, 12.5);
    path.lineTo(13.5, 3.5);
    p.drawPath(path);
    return pm;
}

QLabel *text(QWidget *parent, const char *name, const QString &value, int left, int top)
{
    auto *l = new QLabel(value, parent);
    l->setObjectName(QLatin1String(name));
    l->move(left, top);
    l->adjustSize();
    return l;
}

QLabel *value(QWidget *parent, const char *name, const QString &v, int left, int top, const QColor &colour,
              int pointSize = 8)
{
    auto *l = new QLabel(v, parent);
    l->setObjectName(QLatin1String(name));
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSize(pointSize);
    f.setBold(true);
    l->setFont(f);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, colour);
    l->setPalette(pal);
    l->move(left, top);
    l->adjustSize();
    return l;
}

} // namespace

TAboutBox::TAboutBox(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QString::fromUtf16(Maker));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    setFont(font);
    setFixedSize(289, 338);

    Panel1 = new BevelPanel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(8, 8, 273, 321);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(8, 8, 257, 177);
    ProgramIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const QImage picture = jpeg::builtInPicture(QStringLiteral(":/pictures/about.jpg"), &m_pictureError);
    if (!picture.isNull())
        ProgramIcon->setPixmap(QPixmap::fromImage(picture));

    text(Panel1, "Label1", QStringLiteral("Copyright:"), 8, 200);
    Copyright = value(Panel1, "Copyright", QString::fromUtf16(Maker), 64, 200, Navy);
    QLabel *software = text(Panel1, "Label2", QStringLiteral("Software:"), 8, 224);
    software->setWordWrap(true);
    ProductName = value(Panel1, "ProductName", QString::fromUtf16(Product), 64, 224, Navy);
    text(Panel1, "Label3", QStringLiteral("Start:"), 8, 248);
    StartDate = value(Panel1, "StartDate", QString::fromUtf16(Start), 64, 248, Navy);
    text(Panel1, "Label4", QStringLiteral("Version:"), 136, 248);
    Version = value(Panel1, "Version", versionNumber(), 184, 246, Red, 10);
    text(Panel1, "Label5", QStringLiteral("Internet:"), 8, 272);
    Internet = value(Panel1, "Internet", QString::fromUtf16(Web), 64, 272, Navy);
    text(Panel1, "Label6", QStringLiteral("E-mail: "), 8, 296);
    EMail = value(Panel1, "EMail", QString::fromUtf16(Mail), 64, 296, Navy);

    OKButton = new QToolButton(Panel1);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(224, 288, 41, 27);
    OKButton->setFocusPolicy(Qt::NoFocus);
    QIcon icon;
    icon.addPixmap(checkMark(Red), QIcon::Normal);
    icon.addPixmap(checkMark(QColor(128, 128, 128)), QIcon::Disabled);
    OKButton->setIcon(icon);
    OKButton->setIconSize(QSize(16, 16));
    connect(OKButton, &QToolButton::clicked, this, &QDialog::accept);

    // Centred on the screen, not over the owner.
    placement::centreOnScreen(this);
}

TAboutBox::~TAboutBox() = default;

QString TAboutBox::versionNumber()
{
    return QStringLiteral(BL_VERSION);
}

QString TAboutBox::versionText() const
{
    return Version->text();
}

void TAboutBox::keyPressEvent(QKeyEvent *event)
{
    // The close button is the only way out; Escape does not close the box.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TAboutBox::closeEvent(QCloseEvent *event)
{
    // The title bar offers no close box; a close asked by the window system is refused too.
    if (event->spontaneous()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
