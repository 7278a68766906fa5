#include "MsgDlg.h"

#include "MsgDlgLayout.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QWindow>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

TMsgDlg::BeepHandler &beepHandler()
{
    static TMsgDlg::BeepHandler handler;
    return handler;
}

TMsgDlg::HelpHandler &helpHandler()
{
    static TMsgDlg::HelpHandler handler;
    return handler;
}

void playBeep(TBeepSound sound)
{
    if (sound == bsNone)
        return;
    if (beepHandler())
        beepHandler()(sound);
    else
        QApplication::beep();  // the one system sound Qt offers stands for all of them
}

// The message label. It paints its lines itself so that what is drawn is exactly what was
// measured: one line per carriage return, each one font height below the last, tabs at the
// same stops, and every character shown as typed (no mnemonic: messages carry file names
// and booking numbers, where "&" is data).
class MsgLabel : public QLabel
{
public:
    explicit MsgLabel(QWidget *parent) : QLabel(parent) { setTextFormat(Qt::PlainText); }

    void setLines(const QString &text, QStringList lines, int tabStop)
    {
        setText(text);
        m_lines = std::move(lines);
        m_tabStop = tabStop;
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setFont(font());
        p.setPen(palette().color(QPalette::WindowText));
        const QFontMetrics fm = fontMetrics();
        const auto advance = [&fm](const QString &s) { return fm.horizontalAdvance(s); };
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            const int baseline = int(i) * fm.height() + fm.ascent();
            for (const msgdlg::Segment &seg : msgdlg::lineSegments(m_lines.at(i), advance, m_tabStop))
                p.drawText(seg.x, baseline, seg.text);
        }
    }

private:
    QStringList m_lines;
    int m_tabStop = 0;
};

class MsgDlgWindow : public QDialog
{
public:
    explicit MsgDlgWindow(TMsgDlg::NotifyEvent onShow) : m_onShow(std::move(onShow)) {}

    // Escape and the close box both end up here: the result is Cancel even without a
    // Cancel button.
    void reject() override { done(mrCancel); }

protected:
    void keyPressEvent(QKeyEvent *e) override
    {
        if (e->key() == Qt::Key_Escape) {
            done(mrCancel);
            return;
        }
        QDialog::keyPressEvent(e);
    }

    void showEvent(QShowEvent *e) override
    {
        QDialog::showEvent(e);
        if (m_onShow && !e->spontaneous())
            m_onShow(this);
    }

private:
    TMsgDlg::NotifyEvent m_onShow;
};

QIcon messageIcon(QStyle *style, TMsgDlgType type)
{
    switch (type) {
    case mtWarning: return style->standardIcon(QStyle::SP_MessageBoxWarning);
    case mtError: return style->standardIcon(QStyle::SP_MessageBoxCritical);
    case mtInformation: return style->standardIcon(QStyle::SP_MessageBoxInformation);
    case mtConfirmation: return style->standardIcon(QStyle::SP_MessageBoxQuestion);
    case mtCustom: return QApplication::windowIcon();
    }
    return QIcon();
}

QIcon buttonGlyph(QStyle *style, TMsgDlgBtn b)
{
    switch (b) {
    case mbYes:
    case mbYesToAll: return style->standardIcon(QStyle::SP_DialogYesButton);
    case mbNo:
    case mbNoToAll: return style->standardIcon(QStyle::SP_DialogNoButton);
    case mbOK: return style->standardIcon(QStyle::SP_DialogOkButton);
    case mbCancel: return style->standardIcon(QStyle::SP_DialogCancelButton);
    case mbAbort: return style->standardIcon(QStyle::SP_DialogAbortButton);
    case mbRetry: return style->standardIcon(QStyle::SP_DialogRetryButton);
    case mbIgnore: return style->standardIcon(QStyle::SP_DialogIgnoreButton);
    case mbAll: return style->standardIcon(QStyle::SP_DialogYesToAllButton);
    case mbHelp: return style->standardIcon(QStyle::SP_DialogHelpButton);
    }
    return QIcon();
}

QSize widgetSize(QSize s)
{
    return QSize(std::clamp(s.width(), 0, QWIDGETSIZE_MAX), std::clamp(s.height(), 0, QWIDGETSIZE_MAX));
}

void setTextColor(QWidget *w, QPalette::ColorRole role, const QColor &color)
{
    if (!color.isValid())
        return;
    QPalette pal = w->palette();
    pal.setColor(role, color);
    w->setPalette(pal);
}

}  // namespace

TMsgDlg::TMsgDlg(QObject *owner) : QObject(owner)
{
    const QColor windowText = QGuiApplication::palette().color(QPalette::WindowText);
    m_buttonFont = {QGuiApplication::font(), windowText};
    m_messageFont = {QGuiApplication::font(), windowText};
    m_color = QGuiApplication::palette().color(QPalette::Button);
}

TMsgDlg::~TMsgDlg() = default;

TMsgDlg *TMsgDlg::createStandard(QObject *owner, const QString &name)
{
    auto *dlg = new TMsgDlg(owner);
    dlg->setObjectName(name);
    dlg->applyStandardSettings();
    return dlg;
}

void TMsgDlg::applyStandardSettings()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(13);
    font.setBold(true);

    m_beepSound = bsAsterix;
    m_btnHeight = 26;
    m_btnWidth = 95;
    m_btnSpace = 20;
    m_buttonFont = {font, QGuiApplication::palette().color(QPalette::WindowText)};
    m_messageFont = {font, QColor(0, 0, 128)};
    m_buttons = {mbOK};
    m_color = QGuiApplication::palette().color(QPalette::Button);
    m_defaultButton = mbYes;
    m_indent = 14;
    m_helpContext = 0;
    m_lineSeparator = QLatin1Char('\\');
    m_messageType = mtWarning;
    m_posLeft = 0;
    m_posTop = 0;
    m_showIcon = true;
    m_showGlyph = true;
    m_style = msCenter;
}

int TMsgDlg::DisplayMessage(const QString &text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext)
{
    m_text = text;
    m_messageType = type;
    m_buttons = buttons;
    m_helpContext = helpContext;
    m_title.clear();
    return ShowDialog();
}

int TMsgDlg::ShowDialog()
{
    // Owned here, so the window goes whatever way this function is left.
    auto dlg = std::make_unique<MsgDlgWindow>(m_onShow);
    dlg->setObjectName(QStringLiteral("MsgDlgWindow"));
    dlg->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                        | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                        | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint);
    dlg->setWindowTitle(m_title.isEmpty() ? defaultTitle(m_messageType) : m_title);
    setTextColor(dlg.get(), QPalette::Window, m_color);
    dlg->setAutoFillBackground(true);
    QStyle *style = dlg->style();

    QLabel *icon = nullptr;
    if (m_showIcon) {
        icon = new QLabel(dlg.get());
        icon->setObjectName(QStringLiteral("Icon"));
        icon->setPixmap(messageIcon(style, m_messageType)
                            .pixmap(QSize(msgdlg::IconSize, msgdlg::IconSize), dlg->devicePixelRatioF()));
    }

    auto *label = new MsgLabel(dlg.get());
    label->setObjectName(QStringLiteral("Message"));
    label->setFont(m_messageFont.font);
    setTextColor(label, QPalette::WindowText, m_messageFont.color);
    const QFontMetrics labelFm = label->fontMetrics();
    const int tabStop = 8 * labelFm.averageCharWidth();  // the customary 8-character tab stops
    const QStringList lines = msgdlg::messageLines(m_text, m_lineSeparator);
    label->setLines(msgdlg::messageText(m_text, m_lineSeparator), lines, tabStop);

    const auto advance = [&labelFm](const QString &s) { return labelFm.horizontalAdvance(s); };
    msgdlg::LayoutInput in;
    in.indent = m_indent;
    in.showIcon = m_showIcon;
    in.labelSize = msgdlg::labelSize(lines, advance, tabStop, labelFm.height());
    in.buttonCount = m_buttons.count();
    in.btnWidth = m_btnWidth;
    in.btnHeight = m_btnHeight;
    in.btnSpace = m_btnSpace;
    const msgdlg::Layout layout = msgdlg::computeLayout(in);

    if (icon)
        icon->setGeometry(layout.icon);
    label->setGeometry(layout.label);

    QVector<QPushButton *> created;
    QPushButton *focusFirst = nullptr;
    bool haveDefault = false;
    const int helpContext = m_helpContext;
    for (int v = 0; v < MsgDlgBtnCount; ++v) {
        const auto b = TMsgDlgBtn(v);
        if (!m_buttons.contains(b))
            continue;
        auto *btn = new QPushButton(buttonCaption(b), dlg.get());
        btn->setObjectName(buttonName(b));
        btn->setFont(m_buttonFont.font);
        setTextColor(btn, QPalette::ButtonText, m_buttonFont.color);
        btn->setGeometry(layout.buttons.at(created.size()));
        btn->setAutoDefault(true);
        if (m_showGlyph)
            btn->setIcon(buttonGlyph(style, b));
        if ((b == mbYes || b == mbOK) && !haveDefault) {
            btn->setDefault(true);
            haveDefault = true;
        }
        if (b == mbHelp) {
            btn->setProperty("HelpContext", helpContext);
            QObject::connect(btn, &QPushButton::clicked, btn, [helpContext] {
                if (helpContext != 0 && helpHandler())
                    helpHandler()(helpContext);
            });
        } else {
            const int result = buttonResult(b);
            MsgDlgWindow *window = dlg.get();
            QObject::connect(btn, &QPushButton::clicked, window, [window, result] { window->done(result); });
        }
        if (b == m_defaultButton)
            focusFirst = btn;
        created.append(btn);
    }
    if (!created.isEmpty()) {
        // The default button leads the tab order; the rest keep their creation order.
        QVector<QPushButton *> order;
        order.append(focusFirst ? focusFirst : created.first());
        for (QPushButton *btn : created)
            if (btn != order.first())
                order.append(btn);
        for (qsizetype i = 0; i + 1 < order.size(); ++i)
            QWidget::setTabOrder(order.at(i), order.at(i + 1));
        order.first()->setFocus();
    }

    dlg->setFixedSize(widgetSize(layout.client));
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        dlg->winId();  // a native window, so the frame margins are known where the platform tells them
        const QMargins frame = dlg->windowHandle() ? dlg->windowHandle()->frameMargins() : QMargins();
        const QSize outer = dlg->size().grownBy(frame);
        dlg->move(msgdlg::windowPosition(m_style != msPosition, QPoint(m_posLeft, m_posTop), outer,
                                         screen->geometry()));
    }

    playBeep(m_beepSound);
    return dlg->exec();
}

QString TMsgDlg::buttonCaption(TMsgDlgBtn b)
{
    switch (b) {
    case mbYes: return QStringLiteral("&Sim");
    case mbNo: return QStringLiteral("&Não");
    case mbOK: return QStringLiteral("&OK");
    case mbCancel: return QStringLiteral("&Cancelar");
    case mbAbort: return QStringLiteral("&Abortar");
    case mbRetry: return QStringLiteral("&Repetir");
    case mbIgnore: return QStringLiteral("&Ignorar");
    case mbAll: return QStringLiteral("&Todos");
    case mbNoToAll: return QStringLiteral("Não To&dos");
    case mbYesToAll: return QStringLiteral("S&im Todos");
    case mbHelp: return QStringLiteral("A&juda");
    }
    return QString();
}

int TMsgDlg::buttonResult(TMsgDlgBtn b)
{
    switch (b) {
    case mbYes: return mrYes;
    case mbNo: return mrNo;
    case mbOK: return mrOk;
    case mbCancel: return mrCancel;
    case mbAbort: return mrAbort;
    case mbRetry: return mrRetry;
    case mbIgnore: return mrIgnore;
    case mbAll: return mrAll;
    case mbNoToAll: return mrNo;
    case mbYesToAll: return mrYes;
    case mbHelp: return mrNone;
    }
    return mrNone;
}

QString TMsgDlg::buttonName(TMsgDlgBtn b)
{
    static const char *const names[MsgDlgBtnCount] = {"mbYes", "mbNo", "mbOK", "mbCancel",
                                                      "mbAbort", "mbRetry", "mbIgnore", "mbAll",
                                                      "mbNoToAll", "mbYesToAll", "mbHelp"};
    return b < MsgDlgBtnCount ? QString::fromLatin1(names[b]) : QString();
}

QString TMsgDlg::defaultTitle(TMsgDlgType t)
{
    switch (t) {
    case mtWarning: return QStringLiteral("Atenção");
    case mtError: return QStringLiteral("Erro");
    case mtInformation: return QStringLiteral("Informação");
    case mtConfirmation: return QStringLiteral("Confirmação");
    case mtCustom: return QCoreApplication::applicationName();
    }
    return QString();
}

TMsgDlg::BeepHandler TMsgDlg::setBeepHandler(BeepHandler handler)
{
    return std::exchange(beepHandler(), std::move(handler));
}

TMsgDlg::HelpHandler TMsgDlg::setHelpHandler(HelpHandler handler)
{
    return std::exchange(helpHandler(), std::move(handler));
}
