#include "DBControls.h"
#include "ErrorBox.h"

#include "Formats.h"
#include "paradox/PxCodePage.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QValidator>

#include <utility>

namespace dbcontrols {

namespace {

BeepHandler &beepHandler()
{
    static BeepHandler handler;
    return handler;
}

// Upper-cases what the user types or pastes. The control's own setText() passes unchanged,
// so a stored text shows as it is stored.
class CaseValidator : public QValidator
{
public:
    CaseValidator(QObject *parent, std::function<bool()> active)
        : QValidator(parent), m_active(std::move(active))
    {
    }
    State validate(QString &input, int &) const override
    {
        if (m_active())
            input = upperCased(input);
        return Acceptable;
    }

private:
    std::function<bool()> m_active;
};

// Whether a focus change really leaves the control: switching windows or opening a context
// menu brings the focus back, and must not write (or fail) behind the user's back.
bool leavesControl(const QFocusEvent *event)
{
    return event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason;
}

Field *lookUp(const DataSource *source, const QString &name)
{
    if (!source || !source->dataSet() || name.isEmpty())
        return nullptr;
    return source->dataSet()->findField(name);
}

} // namespace

ShownText shownText(bool focused, bool editing)
{
    return focused && editing ? ShownText::Edit : ShownText::Display;
}

QString upperCased(QStringView text)
{
    QString out = text.toString();
    for (QChar &c : out) {
        const QChar u = c.toUpper();
        if (u == c)
            continue;
        if (u.unicode() > 0xFF && !px::codepage::canEncode(1252, QStringView(&u, 1)))
            continue;
        c = u;
    }
    return out;
}

bool acceptsTyped(const Field *field, QStringView typed, const QLocale &locale)
{
    if (!field || !field->isNumeric())
        return true;
    for (QChar c : typed)
        if (!formats::isNumberChar(c, locale))
            return false;
    return true;
}

int effectiveMaxLength(int ownLimit, const Field *field, qsizetype shownLength)
{
    int limit = ownLimit;
    if (limit <= 0 && field && field->dataType() == px::FieldType::Alpha)
        limit = field->size();
    if (limit <= 0)
        return 0;
    return int(std::max<qsizetype>(limit, shownLength));
}

QString memoTextFromField(const QString &stored)
{
    QString s = stored;
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

QString memoTextToField(const QString &shown)
{
    QString s = shown;
    // Paragraph and line separators are what the text document makes of Enter and Shift+Enter.
    s.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    s.replace(QChar::LineSeparator, QLatin1Char('\n'));
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    s.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return s;
}

BeepHandler setBeepHandler(BeepHandler handler)
{
    return std::exchange(beepHandler(), std::move(handler));
}

void beep()
{
    if (beepHandler())
        beepHandler()();
    else
        QApplication::beep();
}

FieldLink::~FieldLink()
{
    if (m_source)
        m_source->removeDataWriter(m_control);
}

void FieldLink::setSource(DataSource *source)
{
    if (m_source == source)
        return;
    if (m_source) {
        m_source->removeDataWriter(m_control);
        QObject::disconnect(m_source, nullptr, m_control, nullptr);
    }
    m_source = source;
    if (source) {
        QObject::connect(source, &DataSource::recordChanged, m_control, [this] { m_hooks.refresh(); });
        QObject::connect(source, &DataSource::stateChanged, m_control, [this] { m_hooks.refresh(); });
        QObject::connect(source, &DataSource::dataSetChanged, m_control, [this] { m_hooks.refresh(); });
        QObject::connect(source, &DataSource::fieldChanged, m_control, [this](Field *f) { m_hooks.fieldChanged(f); });
        source->addDataWriter(m_control, [this] { m_hooks.write(); });
    }
    m_hooks.refresh();
}

void FieldLink::setFieldName(const QString &fieldName)
{
    m_fieldName = fieldName;
    m_hooks.refresh();
}

Field *FieldLink::field() const
{
    return lookUp(m_source, m_fieldName);
}

} // namespace dbcontrols


using dbcontrols::CharCase;
using dbcontrols::ShownText;

// --- TDBEdit ---

TDBEdit::TDBEdit(QWidget *parent)
    : QLineEdit(parent), m_link(this, {[this] { refresh(); }, [this](Field *f) { onFieldChanged(f); }, [this] { updateRecord(); }})
{
    setValidator(new dbcontrols::CaseValidator(this, [this] {
        return m_charCase == CharCase::Upper && !m_loading;
    }));
    connect(this, &QLineEdit::textEdited, this, [this] {
        if (!m_loading)
            m_modified = true;
    });
    refresh();
}

TDBEdit::~TDBEdit() = default;

void TDBEdit::setDataSource(DataSource *source)
{
    m_link.setSource(source);
}

void TDBEdit::setDataField(const QString &fieldName)
{
    m_link.setFieldName(fieldName);
}

Field *TDBEdit::field() const
{
    return m_link.field();
}

void TDBEdit::setMaxLength(int length)
{
    m_maxLength = std::max(0, length);
    const int limit = dbcontrols::effectiveMaxLength(m_maxLength, field(), text().size());
    QLineEdit::setMaxLength(limit > 0 ? limit : 32767);
}

void TDBEdit::setCharCase(CharCase charCase)
{
    m_charCase = charCase;
}

void TDBEdit::updateRecord()
{
    Field *f = field();
    if (!f || !m_modified || !m_link.source() || !m_link.source()->isEditing())
        return;
    // Throws on text that does not convert; the text stays for the user to correct.
    f->setEditText(text());
    m_modified = false;
}

void TDBEdit::reset()
{
    m_modified = false;
    refresh();
}

void TDBEdit::onFieldChanged(Field *changed)
{
    if (changed && changed == field())
        refresh();
}

void TDBEdit::applyReadOnly()
{
    setReadOnly(!(field() && m_link.source() && m_link.source()->isEditing()));
}

void TDBEdit::showText(const QString &text)
{
    m_loading = true;
    QLineEdit::setMaxLength(32767);
    setText(text);
    const int limit = dbcontrols::effectiveMaxLength(m_maxLength, field(), text.size());
    QLineEdit::setMaxLength(limit > 0 ? limit : 32767);
    // Setting the text (the limit sets it again) leaves the caret at the end, which scrolls a
    // long text to show its end; a field that is only looked at shows its beginning. A field
    // taking the focus keeps the caret at the end for typing on, until a click that focused it
    // puts it where it lands.
    if (!hasFocus())
        setCursorPosition(0);
    m_loading = false;
    m_modified = false;
}

void TDBEdit::refresh()
{
    applyReadOnly();
    Field *f = field();
    QString t;
    if (f && m_link.source() && m_link.source()->state() != Table::State::Inactive)
        t = dbcontrols::shownText(hasFocus(), m_link.source()->isEditing()) == ShownText::Edit ? f->editText()
                                                                                       : f->displayText();
    // Numbers line up on the right while not being typed in.
    setAlignment(f && f->isNumeric() && !hasFocus() ? Qt::AlignRight | Qt::AlignVCenter
                                                    : Qt::AlignLeft | Qt::AlignVCenter);
    showText(t);
}

void TDBEdit::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers chord = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (!(event->modifiers() & chord)) {
        QString typed;
        for (QChar c : event->text())
            if (c.unicode() >= 0x20 && c.unicode() != 0x7F)
                typed.append(c);
        if (!typed.isEmpty() && !dbcontrols::acceptsTyped(field(), typed, QLocale())) {
            dbcontrols::beep();
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TDBEdit::focusInEvent(QFocusEvent *event)
{
    // Text the user still has to correct (a write that failed) stays as typed.
    if (!m_modified)
        refresh();
    else
        setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QLineEdit::focusInEvent(event);
}

void TDBEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    if (!dbcontrols::leavesControl(event))
        return;
    // Inside the focus change: the error is shown after it, and the field then takes the focus
    // back with its text selected, as the box tells what is wrong with it.
    QPointer<TDBEdit> self(this);
    const bool written = blapp::runGuardedLater([this] { updateRecord(); }, [self] {
        if (self) {
            self->setFocus(Qt::OtherFocusReason);
            self->selectAll();
        }
    });
    if (written && !m_modified)
        refresh();
}

// --- TDBMemo ---

TDBMemo::TDBMemo(QWidget *parent)
    : QPlainTextEdit(parent), m_link(this, {[this] { refresh(); }, [this](Field *f) { onFieldChanged(f); }, [this] { updateRecord(); }})
{
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
    // Close to a plain edit control's own inner margin.
    document()->setDocumentMargin(2);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_loading)
            m_modified = true;
    });
    refresh();
}

TDBMemo::~TDBMemo() = default;

void TDBMemo::setDataSource(DataSource *source)
{
    m_link.setSource(source);
}

void TDBMemo::setDataField(const QString &fieldName)
{
    m_link.setFieldName(fieldName);
}

Field *TDBMemo::field() const
{
    return m_link.field();
}

QString TDBMemo::fieldText() const
{
    return dbcontrols::memoTextToField(document()->toRawText());
}

QStringList TDBMemo::displayLines() const
{
    // The width the document layout wraps at: the viewport (the frame's inside, as there are
    // no scroll bars) less the document margin on both sides.
    const QMargins vm = viewportMargins();
    const qreal width = contentsRect().width() - vm.left() - vm.right() - 2 * document()->documentMargin();
    QTextOption option = document()->defaultTextOption();
    option.setWrapMode(wordWrapMode());

    QStringList lines;
    for (QTextBlock block = document()->firstBlock(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        QTextLayout layout(text, document()->defaultFont());
        layout.setTextOption(option);
        layout.beginLayout();
        for (;;) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(std::max<qreal>(width, 1));
            lines.append(text.mid(line.textStart(), line.textLength()));
        }
        layout.endLayout();
    }
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void TDBMemo::updateRecord()
{
    Field *f = field();
    if (!f || !m_modified || !m_link.source() || !m_link.source()->isEditing())
        return;
    f->setAsString(fieldText());
    m_modified = false;
}

void TDBMemo::reset()
{
    m_modified = false;
    refresh();
}

void TDBMemo::onFieldChanged(Field *changed)
{
    if (changed && changed == field())
        refresh();
}

void TDBMemo::applyReadOnly()
{
    setReadOnly(!(field() && m_link.source() && m_link.source()->isEditing()));
}

void TDBMemo::refresh()
{
    applyReadOnly();
    Field *f = field();
    QString t;
    if (f && m_link.source() && m_link.source()->state() != Table::State::Inactive)
        t = dbcontrols::memoTextFromField(f->asString());
    m_loading = true;
    // Rewriting the same text would throw away the cursor of a memo being typed in.
    if (dbcontrols::memoTextFromField(fieldText()) != t)
        setPlainText(t);
    m_loading = false;
    m_modified = false;
}

void TDBMemo::focusOutEvent(QFocusEvent *event)
{
    QPlainTextEdit::focusOutEvent(event);
    if (!dbcontrols::leavesControl(event))
        return;
    QPointer<TDBMemo> self(this);
    blapp::runGuardedLater([this] { updateRecord(); }, [self] {
        if (self)
            self->setFocus(Qt::OtherFocusReason);
    });
}
