#include "WindowStyle.h"

#include <QGroupBox>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QStyleFactory>
#include <QToolButton>
#include <QWidget>

namespace winstyle {

int pointsToPixels(int points)
{
    return (points * 96 + 36) / 72;
}

QFont windowFont(bool bold, int points)
{
    return windowFontPixels(pointsToPixels(points), bold);
}

QFont windowFontPixels(int pixels, bool bold)
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

void setTextColour(QWidget *w, const QColor &colour)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::ButtonText, colour);
    w->setPalette(p);
}

QToolButton *toolButton(QWidget *parent, const char *name, const QRect &geometry, const QString &caption,
                        const QString &hint, const QIcon &icon, int iconSide)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(geometry);
    b->setText(caption);
    b->setToolTip(hint);
    if (!icon.isNull()) {
        b->setIcon(icon);
        b->setIconSize(QSize(iconSide, iconSide));
        b->setToolButtonStyle(caption.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
    } else {
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    }
    // A tool button acts on a click and leaves the focus where it is.
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QToolButton *toolButton(QWidget *parent, const char *name, const QRect &geometry, const QString &caption,
                        const QString &hint, Glyph glyph)
{
    return toolButton(parent, name, geometry, caption, hint, glyphIcon(glyph), glyphSize(glyph));
}

QPushButton *pushButton(QWidget *parent, const char *name, const QRect &geometry, const QString &caption,
                        const QString &hint, const QIcon &icon, int iconSide)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(geometry);
    b->setToolTip(hint);
    if (!icon.isNull()) {
        b->setIcon(icon);
        b->setIconSize(QSize(iconSide, iconSide));
    }
    b->setAutoDefault(false);
    return b;
}

QPushButton *pushButton(QWidget *parent, const char *name, const QRect &geometry, const QString &caption,
                        const QString &hint, Glyph glyph)
{
    return pushButton(parent, name, geometry, caption, hint, glyphIcon(glyph), glyphSize(glyph));
}

QGroupBox *groupBox(QWidget *parent, const char *name, const QString &title, const QRect &geometry)
{
    auto *g = new QGroupBox(title, parent);
    g->setObjectName(QLatin1String(name));
    g->setGeometry(geometry);
    // The default style puts the caption above the frame instead.
    static QStyle *const classic = QStyleFactory::create(QStringLiteral("Windows"));
    if (classic)
        g->setStyle(classic);
    return g;
}

QScrollArea *scrollBox(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *box = new QScrollArea(parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(geometry);
    box->setFrameShape(QFrame::NoFrame);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setFocusPolicy(Qt::NoFocus);
    return box;
}

QWidget *scrollBoxContents(QScrollArea *box)
{
    auto *contents = new QWidget;
    contents->setObjectName(QStringLiteral("ScrollBoxContents"));
    contents->resize(box->size());
    box->setWidget(contents);
    return contents;
}

} // namespace winstyle
