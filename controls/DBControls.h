#pragma once

// Data-aware edit and memo controls. Each shows one field of its data source's current
// record, refuses typing unless the table is in edit or insert state, and writes its text back
// into the field when it loses the focus and when the table asks before a post. A control
// writes only when the user changed its text, so an untouched value is never rewritten (a
// weight of 1234.5 stays 1234.5 and is not rounded to its three shown decimals).
//
// Writing may throw ConversionError (a number that does not convert) or an engine error
// (text the table's code page cannot hold). Before a post the error goes on to the action that
// posts. On leaving the control it is shown in the standard error box once the focus change is
// done; the control then takes the focus back and keeps its text.

#include "DataSource.h"
#include "Field.h"

#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>

class QFocusEvent;
class QKeyEvent;

namespace dbcontrols {

enum class CharCase { Normal, Upper };

// Decisions the controls take, kept apart from any window.

// Which of the field's texts a control shows: the edit text while it has the focus and the
// table is editing, the display text otherwise.
enum class ShownText { Display, Edit };
ShownText shownText(bool focused, bool editing);

// Upper-cases what the user typed, letter by letter, so the length never changes. A letter
// whose capital falls outside Windows-1252 (the micro sign) stays as typed, since the table
// could not store the capital.
QString upperCased(QStringView text);

// True when a typed text may go into a field: number fields take only the characters of
// formats::isNumberChar(); other fields take anything.
bool acceptsTyped(const Field *field, QStringView typed, const QLocale &locale);

// The character limit of an edit: its own limit when set (> 0), else the size of a text
// field; 0 means no limit (numbers, dates, memos). The limit never cuts a longer stored
// text short: the shown text may keep what the record already holds.
int effectiveMaxLength(int ownLimit, const Field *field, qsizetype shownLength);

// Memo line breaks: the table stores "\r\n"; the control works with "\n". A lone "\r" or
// "\n" in a stored text shows as a line break too and is stored as "\r\n" once the text is
// edited.
QString memoTextFromField(const QString &stored);
QString memoTextToField(const QString &shown);

// The one system sound Qt offers; tests count beeps through their own handler.
using BeepHandler = std::function<void()>;
BeepHandler setBeepHandler(BeepHandler handler);  // returns the previous one
void beep();

// The link of a bound control to its data source and field: the edit and the memo share it.
class FieldLink
{
public:
    struct Hooks
    {
        std::function<void()> refresh;               // the record or the state changed
        std::function<void(Field *)> fieldChanged;   // one field's value changed
        std::function<void()> write;                 // before a post: write the text
    };
    FieldLink(QObject *control, Hooks hooks) : m_control(control), m_hooks(std::move(hooks)) {}
    ~FieldLink();
    FieldLink(const FieldLink &) = delete;
    FieldLink &operator=(const FieldLink &) = delete;

    DataSource *source() const { return m_source; }
    void setSource(DataSource *source);
    const QString &fieldName() const { return m_fieldName; }
    void setFieldName(const QString &fieldName);
    Field *field() const;

private:
    QObject *m_control;
    Hooks m_hooks;
    QPointer<DataSource> m_source;
    QString m_fieldName;
};

} // namespace dbcontrols

// A one-line data-aware edit. Bound to a number field it accepts only the number keys and
// shows the field's display text ("1.234,500" under Brazilian settings).
class TDBEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit TDBEdit(QWidget *parent = nullptr);
    ~TDBEdit() override;

    DataSource *dataSource() const { return m_link.source(); }
    void setDataSource(DataSource *source);
    // The field's name, looked up in the data source's table without regard to case.
    const QString &dataField() const { return m_link.fieldName(); }
    void setDataField(const QString &fieldName);
    // The bound field, or nullptr when there is none (no source, no such field).
    Field *field() const;

    // The edit's own character limit; 0 (the default) takes the text field's size. Hides
    // QLineEdit's limit, which this control sets itself from this value.
    int maxLength() const { return m_maxLength; }
    void setMaxLength(int length);
    dbcontrols::CharCase charCase() const { return m_charCase; }
    void setCharCase(dbcontrols::CharCase charCase);

    // True once the user changed the text since the control last showed the field.
    bool isTextModified() const { return m_modified; }
    // Writes the text into the field when it was changed and the table is editing. Throws
    // what the field throws.
    void updateRecord();
    // Shows the field again, dropping what was typed.
    void reset();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void refresh();
    void onFieldChanged(Field *field);
    void showText(const QString &text);
    void applyReadOnly();

    dbcontrols::FieldLink m_link;
    int m_maxLength = 0;
    dbcontrols::CharCase m_charCase = dbcontrols::CharCase::Normal;
    bool m_modified = false;
    bool m_loading = false;
};

// A multi-line data-aware memo over a memo or text field. Long lines wrap at the control's
// width (no scroll bars), Enter starts a new line, Tab moves on to the next control.
class TDBMemo : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit TDBMemo(QWidget *parent = nullptr);
    ~TDBMemo() override;

    DataSource *dataSource() const { return m_link.source(); }
    void setDataSource(DataSource *source);
    const QString &dataField() const { return m_link.fieldName(); }
    void setDataField(const QString &fieldName);
    Field *field() const;

    // The text as the table stores it, with "\r\n" line breaks.
    QString fieldText() const;
    // The text as shown: split at its line breaks and word-wrapped at the control's width and
    // font, one string per display line without line-break characters; a last empty line is
    // dropped. Works on a control that is never shown.
    QStringList displayLines() const;

    bool isTextModified() const { return m_modified; }
    void updateRecord();
    void reset();

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    void refresh();
    void onFieldChanged(Field *field);
    void applyReadOnly();

    dbcontrols::FieldLink m_link;
    bool m_modified = false;
    bool m_loading = false;
};
