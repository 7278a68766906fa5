#pragma once

// TMsgDlg: the non-visual component through which every message and question is shown.
// Each call builds a fresh modal dialog from the component's settings, runs it and
// destroys it, returning the result of the button that closed it.

#include <QColor>
#include <QFont>
#include <QObject>
#include <QString>

#include <functional>
#include <initializer_list>

// The numeric values are the stored order; code compares results and sets with them.
enum TMsgDlgType : quint8 { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn : quint8 {
    mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp
};
inline constexpr int MsgDlgBtnCount = 11;

enum TMsgDlgStyle : quint8 { msCenter, msPosition };

enum TBeepSound : quint8 { bsNone, bsAsterix, bsCriticalStop, bsDefault, bsExclamation, bsQuestion };

// Modal results of the dialog.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrAbort = 3;
inline constexpr int mrRetry = 4;
inline constexpr int mrIgnore = 5;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;
inline constexpr int mrAll = 8;

// A set of TMsgDlgBtn held in 16 bits: bit n set means value n is in the set.
class TMsgDlgButtons
{
public:
    constexpr TMsgDlgButtons() = default;
    constexpr TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> buttons)
    {
        for (TMsgDlgBtn b : buttons)
            m_bits |= bit(b);
    }
    // Bits above mbHelp name no button and are dropped.
    static constexpr TMsgDlgButtons fromBits(quint16 bits)
    {
        TMsgDlgButtons s;
        s.m_bits = bits & ((1u << MsgDlgBtnCount) - 1);
        return s;
    }

    constexpr quint16 bits() const { return m_bits; }
    constexpr bool contains(TMsgDlgBtn b) const { return (m_bits & bit(b)) != 0; }
    constexpr bool isEmpty() const { return m_bits == 0; }
    constexpr int count() const
    {
        int n = 0;
        for (quint16 v = m_bits; v; v &= quint16(v - 1))
            ++n;
        return n;
    }

    constexpr TMsgDlgButtons operator|(TMsgDlgButtons o) const { return fromBits(m_bits | o.m_bits); }
    constexpr TMsgDlgButtons operator|(TMsgDlgBtn b) const { return fromBits(m_bits | bit(b)); }
    constexpr bool operator==(const TMsgDlgButtons &) const = default;

private:
    static constexpr quint16 bit(TMsgDlgBtn b) { return b < MsgDlgBtnCount ? quint16(1u << b) : 0; }
    quint16 m_bits = 0;
};

// A font as the dialog uses it: typeface and size together with the text colour.
struct TMsgDlgFont {
    QFont font;
    QColor color;
    bool operator==(const TMsgDlgFont &o) const { return font == o.font && color == o.color; }
};

class TMsgDlg : public QObject
{
    Q_OBJECT
public:
    using NotifyEvent = std::function<void(QObject *sender)>;
    using BeepHandler = std::function<void(TBeepSound)>;
    using HelpHandler = std::function<void(int helpContext)>;

    explicit TMsgDlg(QObject *owner = nullptr);
    ~TMsgDlg() override;

    // A component with the settings every window of the application gives its MsgDlg1.
    static TMsgDlg *createStandard(QObject *owner, const QString &name = QStringLiteral("MsgDlg1"));
    void applyStandardSettings();

    // Shows text as a message of the given kind; the dialog carries the kind's default title.
    int DisplayMessage(const QString &text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext = 0);
    // Builds, runs and destroys the dialog from the current properties; returns its result.
    int ShowDialog();

    // Properties, in their declared order.
    TBeepSound beepSound() const { return m_beepSound; }
    void setBeepSound(TBeepSound v) { m_beepSound = v; }
    int btnHeight() const { return m_btnHeight; }
    void setBtnHeight(int v) { m_btnHeight = v; }
    int btnSpace() const { return m_btnSpace; }
    void setBtnSpace(int v) { m_btnSpace = v; }
    int btnWidth() const { return m_btnWidth; }
    void setBtnWidth(int v) { m_btnWidth = v; }
    const TMsgDlgFont &buttonFont() const { return m_buttonFont; }
    void setButtonFont(const TMsgDlgFont &v) { m_buttonFont = v; }
    TMsgDlgButtons buttons() const { return m_buttons; }
    void setButtons(TMsgDlgButtons v) { m_buttons = v; }
    QColor color() const { return m_color; }
    void setColor(const QColor &v) { m_color = v; }
    TMsgDlgBtn defaultButton() const { return m_defaultButton; }
    void setDefaultButton(TMsgDlgBtn v) { m_defaultButton = v; }
    quint8 indent() const { return m_indent; }
    void setIndent(quint8 v) { m_indent = v; }
    int helpContext() const { return m_helpContext; }
    void setHelpContext(int v) { m_helpContext = v; }
    QChar lineSeparator() const { return m_lineSeparator; }
    void setLineSeparator(QChar v) { m_lineSeparator = v; }
    const TMsgDlgFont &messageFont() const { return m_messageFont; }
    void setMessageFont(const TMsgDlgFont &v) { m_messageFont = v; }
    TMsgDlgType messageType() const { return m_messageType; }
    void setMessageType(TMsgDlgType v) { m_messageType = v; }
    int posLeft() const { return m_posLeft; }
    void setPosLeft(int v) { m_posLeft = v; }
    int posTop() const { return m_posTop; }
    void setPosTop(int v) { m_posTop = v; }
    bool showIcon() const { return m_showIcon; }
    void setShowIcon(bool v) { m_showIcon = v; }
    bool showGlyph() const { return m_showGlyph; }
    void setShowGlyph(bool v) { m_showGlyph = v; }
    TMsgDlgStyle style() const { return m_style; }
    void setStyle(TMsgDlgStyle v) { m_style = v; }
    QString text() const { return m_text; }
    void setText(const QString &v) { m_text = v; }
    QString title() const { return m_title; }
    void setTitle(const QString &v) { m_title = v; }
    // Called when the dialog window becomes visible; the sender is that window.
    const NotifyEvent &onShow() const { return m_onShow; }
    void setOnShow(NotifyEvent v) { m_onShow = std::move(v); }

    // The fixed wording and results of the buttons and kinds.
    static QString buttonCaption(TMsgDlgBtn b);
    static int buttonResult(TMsgDlgBtn b);            // mrNone for mbHelp
    static QString buttonName(TMsgDlgBtn b);          // "mbOK": the button's objectName
    static QString defaultTitle(TMsgDlgType t);       // mtCustom: the application's name

    // Platform seams. Qt offers one system sound, so by default bsAsterix, bsCriticalStop,
    // bsDefault, bsExclamation and bsQuestion all play QApplication::beep() (the X11 bell or
    // the desktop's alert sound) and bsNone plays nothing. The help handler receives the Help
    // button's topic; there is none by default. An empty function restores the default.
    // Both return the previous handler.
    static BeepHandler setBeepHandler(BeepHandler handler);
    static HelpHandler setHelpHandler(HelpHandler handler);

private:
    TBeepSound m_beepSound = bsNone;
    int m_btnHeight = 25;
    int m_btnSpace = 15;
    int m_btnWidth = 75;
    TMsgDlgFont m_buttonFont;
    TMsgDlgButtons m_buttons{mbOK};
    QColor m_color;
    TMsgDlgBtn m_defaultButton = mbYes;
    quint8 m_indent = 14;
    int m_helpContext = 0;
    QChar m_lineSeparator = QLatin1Char('|');
    TMsgDlgFont m_messageFont;
    TMsgDlgType m_messageType = mtWarning;
    int m_posLeft = 0;
    int m_posTop = 0;
    bool m_showIcon = true;
    bool m_showGlyph = true;
    TMsgDlgStyle m_style = msCenter;
    QString m_text;
    QString m_title;
    NotifyEvent m_onShow;
};
