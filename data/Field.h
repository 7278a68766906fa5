#pragma once

#include "paradox/PxTypes.h"

#include <QDate>
#include <QObject>
#include <QString>

class Table;

// One field of a table: its name, kind and size, its display and edit formats, and access to
// the table's current record buffer. A field made before the table opens is persistent: it
// binds to the file's field of the same name (without regard to case) at every open. Reading
// a field of a closed or empty table gives an empty value; writing needs edit or insert state.
// Formats use the default locale, QLocale().
class Field : public QObject
{
    Q_OBJECT
public:
    // The table owns the field (it is its QObject parent). Refused while the table is open.
    Field(Table *table, const QString &fieldName, px::FieldType type, int size);
    ~Field() override;

    Table *table() const { return m_table; }
    const QString &fieldName() const { return m_name; }
    px::FieldType dataType() const { return m_type; }
    int size() const { return m_size; }
    // Characters a grid column gives the field by default.
    int displayWidth() const;
    bool isText() const;     // alpha and memo
    bool isNumeric() const;  // number, currency and the integer kinds
    // Position of the bound field in the file's record, -1 while the table is closed.
    int fieldNo() const { return m_index; }

    const QString &displayFormat() const { return m_displayFormat; }
    void setDisplayFormat(const QString &format) { m_displayFormat = format; }
    // Falls back to the display format when empty, as for the weights.
    const QString &editFormat() const { return m_editFormat; }
    void setEditFormat(const QString &format) { m_editFormat = format; }

    bool isNull() const;
    px::Value value() const;
    void setValue(const px::Value &value);
    void clear();

    // Text: alpha and memo as stored; numbers in their shortest plain form with the locale's
    // decimal separator; dates in the locale's short date form. Setting empty text empties
    // the field; other text is converted to the field's kind (ConversionError when it does
    // not convert or does not fit).
    QString asString() const;
    void setAsString(const QString &text);
    // An empty number reads as 0. Text fields take the number as text.
    double asFloat() const;
    void setAsFloat(double value);
    // An empty date reads as an invalid QDate; setting an invalid QDate empties the field.
    QDate asDate() const;
    void setAsDate(const QDate &date);

    // Through the display format and the edit format. Setting the edit text parses it.
    QString displayText() const;
    QString editText() const;
    void setEditText(const QString &text);

    // The same texts for a value read elsewhere (a grid row) than the current record.
    QString displayTextOf(const px::Value &value) const;
    QString textOf(const px::Value &value) const;

private:
    friend class Table;
    px::Value convertText(const QString &text) const;
    bool holdsKind(const px::Value &value) const;
    QString formatted(const px::Value &value, const QString &format) const;

    Table *m_table;
    QString m_name;
    px::FieldType m_type;
    int m_size;
    QString m_displayFormat;
    QString m_editFormat;
    int m_index = -1;
};
