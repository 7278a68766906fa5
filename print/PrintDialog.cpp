#include "PrintDialog.h"
#include "ErrorBox.h"
#include "WindowPlacement.h"

#include "PrintLogic.h"
#include "WindowStyle.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QToolButton>

using namespace printlogic;
using namespace winstyle;

TPrintDialog::TPrintDialog(const QString &name, const QSize &client, QWidget *parent) : QDialog(parent)
{
    setObjectName(name);
    setWindowTitle(QStringLiteral("Impressão"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(client);
    setFont(windowFont());

    ScrollBox1 = scrollBox(this, "ScrollBox1", QRect(QPoint(0, 0), client));
    m_box = scrollBoxContents(ScrollBox1);
}

QLabel *TPrintDialog::addLabel(const char *name, const QString &text, const QRect &geometry, bool bold)
{
    auto *l = new QLabel(text, m_box);
    l->setObjectName(QLatin1String(name));
    l->setFont(windowFont(bold));
    setTextColour(l, clNavy);
    if (geometry.width() > 0) {
        l->setGeometry(geometry);
    } else {
        l->move(geometry.topLeft());
        l->adjustSize();
    }
    return l;
}

QPushButton *TPrintDialog::addButton(const char *name, const QString &caption, const QString &hint,
                                     const QIcon &icon, const QRect &geometry)
{
    auto *b = new QPushButton(icon, caption, m_box);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(geometry);
    b->setFont(windowFont(true));
    b->setToolTip(hint);
    return b;
}

QToolButton *TPrintDialog::addTool(const char *name, const QString &caption, const QString &hint,
                                   const QIcon &icon, const QRect &geometry)
{
    auto *b = new QToolButton(m_box);
    b->setObjectName(QLatin1String(name));
    b->setText(caption);
    b->setToolTip(hint);
    b->setIcon(icon);
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setGeometry(geometry);
    b->setFont(windowFont(true));
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

void TPrintDialog::keyPressEvent(QKeyEvent *event)
{
    if (m_cancel && event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        m_cancel->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TPrintDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (placement::firstShow(this, event, m_shown))
        blapp::runGuarded([this] { FormShow(); });
}
