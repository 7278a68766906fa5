#include "Field.h"

#include "Formats.h"
#include "Table.h"
#include "paradox/PxCodePage.h"
#include "paradox/PxError.h"

#include <QLocale>

#include <cmath>

using px::FieldType;

namespace {

// The locale's short date form with a four-digit year, so dates read back without a window.
QString shortDatePicture(const QLocale &locale)
{
    QString f = formats::shortDateFormat(locale);
    if (!f.contains(QLatin1String("yyyy")))
        f.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return f;
}

bool isFloatKind(FieldType t)
{
    return t == FieldType::Number || t == FieldType::Currency || t == FieldType::Bcd;
}

bool isIntegerKind(FieldType t)
{
    return t == FieldType::Short || t == FieldType::Long || t == FieldType::AutoInc;
}

} // namespace

bool Field::holdsKind(const px::Value &v) const
{
    if (px::isNull(v))
        return true;
    if (isText())
        return std::holds_alternative<QString>(v);
    if (isFloatKind(m_type))
        return std::holds_alternative<double>(v);
    if (isIntegerKind(m_type))
        return std::holds_alternative<qint64>(v);
    switch (m_type) {
    case FieldType::Date: return std::holds_alternative<QDate>(v);
    case FieldType::Logical: return std::holds_alternative<bool>(v);
    case FieldType::Time: return std::holds_alternative<QTime>(v);
    case FieldType::Timestamp: return std::holds_alternative<QDateTime>(v);
    default: return std::holds_alternative<QByteArray>(v);
    }
}

Field::Field(Table *table, const QString &fieldName, px::FieldType type, int size)
    : QObject(table), m_table(table), m_name(fieldName), m_type(type), m_size(size)
{
    Q_ASSERT(table);
    table->addField(this);
}

Field::~Field()
{
    if (m_table)
        m_table->removeField(this);
}

int Field::displayWidth() const
{
    return m_type == FieldType::Alpha ? m_size : 10;
}

bool Field::isText() const
{
    return m_type == FieldType::Alpha || m_type == FieldType::Memo || m_type == FieldType::FmtMemo;
}

bool Field::isNumeric() const
{
    return isFloatKind(m_type) || isIntegerKind(m_type);
}

bool Field::isNull() const
{
    return px::isNull(value());
}

px::Value Field::value() const
{
    return m_table ? m_table->bufferValue(m_index) : px::Value{};
}

void Field::setValue(const px::Value &value)
{
    if (!m_table)
        throw DataError(QStringLiteral("O campo '%1' não pertence a nenhuma tabela").arg(m_name));
    m_table->checkEditing();
    if (!holdsKind(value))
        throw ConversionError(QStringLiteral("Valor de tipo errado para o campo '%1'").arg(m_name));
    if (const QString *text = std::get_if<QString>(&value)) {
        if (m_type == FieldType::Alpha && text->size() > m_size)
            throw ConversionError(QStringLiteral("'%1' é longo demais para o campo '%2' (no máximo %3 caracteres)")
                                      .arg(*text, m_name)
                                      .arg(m_size));
        // Refuse early what the table's code page cannot hold; the engine would refuse it
        // only when the record is posted.
        const px::Table *engine = m_table->engine();
        if (engine && !px::codepage::canEncode(engine->info().codePage, *text))
            throw px::EngineError::badText(engine->path(), m_name);
    }
    m_table->setBufferValue(this, value);
}

void Field::clear()
{
    setValue(px::Value{});
}

px::Value Field::convertText(const QString &text) const
{
    const QLocale locale;
    if (text.isEmpty())
        return {};
    if (isText())
        return text;
    if (isFloatKind(m_type)) {
        const std::optional<double> v = formats::numberFromText(text, locale, m_name);
        return v ? px::Value(*v) : px::Value{};
    }
    if (isIntegerKind(m_type)) {
        bool ok = false;
        const qlonglong n = locale.toLongLong(text.trimmed(), &ok);
        if (!ok)
            throw ConversionError(QStringLiteral("'%1' não é um número inteiro válido para o campo '%2'").arg(text, m_name));
        return qint64(n);
    }
    if (m_type == FieldType::Date) {
        std::optional<QDate> d;
        if (!formats::parseDate(text, locale, d))
            throw ConversionError(formats::invalidDateMessage(text));
        return d ? px::Value(*d) : px::Value{};
    }
    if (m_type == FieldType::Logical) {
        const QString t = text.trimmed();
        if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || t.compare(QLatin1String("t"), Qt::CaseInsensitive) == 0)
            return true;
        if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || t.compare(QLatin1String("f"), Qt::CaseInsensitive) == 0)
            return false;
        throw ConversionError(QStringLiteral("'%1' não é um valor lógico válido para o campo '%2'").arg(text, m_name));
    }
    if (m_type == FieldType::Time) {
        const QTime t = locale.toTime(text.trimmed(), QLocale::ShortFormat);
        if (!t.isValid())
            throw ConversionError(QStringLiteral("'%1' não é uma hora válida").arg(text));
        return t;
    }
    throw ConversionError(QStringLiteral("O campo '%1' não aceita texto").arg(m_name));
}

QString Field::asString() const
{
    return textOf(value());
}

void Field::setAsString(const QString &text)
{
    // Check the state before converting: outside editing the error is the state, not the text.
    if (m_table)
        m_table->checkEditing();
    setValue(convertText(text));
}

double Field::asFloat() const
{
    const px::Value v = value();
    if (px::isNull(v))
        return 0;
    if (const double *d = std::get_if<double>(&v))
        return *d;
    if (const qint64 *n = std::get_if<qint64>(&v))
        return double(*n);
    if (const QString *s = std::get_if<QString>(&v)) {
        const std::optional<double> d = formats::numberFromText(*s, QLocale(), m_name);
        return d.value_or(0);
    }
    throw ConversionError(QStringLiteral("O campo '%1' não pode ser lido como número").arg(m_name));
}

void Field::setAsFloat(double value)
{
    if (m_table)
        m_table->checkEditing();
    if (!std::isfinite(value))
        throw ConversionError(formats::invalidNumberMessage(QLocale().toString(value), m_name));
    if (isFloatKind(m_type)) {
        setValue(value);
    } else if (isIntegerKind(m_type)) {
        const double r = std::round(value);
        const double limit = m_type == FieldType::Short ? 32767.0 : 2147483647.0;
        if (std::fabs(r) > limit)
            throw ConversionError(QStringLiteral("%1 está fora da faixa do campo '%2'").arg(QLocale().toString(value), m_name));
        setValue(qint64(r));
    } else if (isText()) {
        setValue(formats::formatFloat(value, {}, QLocale()));
    } else {
        throw ConversionError(QStringLiteral("O campo '%1' não aceita número").arg(m_name));
    }
}

QDate Field::asDate() const
{
    const px::Value v = value();
    if (px::isNull(v))
        return {};
    if (const QDate *d = std::get_if<QDate>(&v))
        return *d;
    if (const QDateTime *dt = std::get_if<QDateTime>(&v))
        return dt->date();
    if (const QString *s = std::get_if<QString>(&v)) {
        std::optional<QDate> d;
        if (!formats::parseDate(*s, QLocale(), d))
            throw ConversionError(formats::invalidDateMessage(*s));
        return d.value_or(QDate());
    }
    throw ConversionError(QStringLiteral("O campo '%1' não pode ser lido como data").arg(m_name));
}

void Field::setAsDate(const QDate &date)
{
    if (m_table)
        m_table->checkEditing();
    if (!date.isValid()) {
        clear();
    } else if (m_type == FieldType::Date) {
        setValue(date);
    } else if (m_type == FieldType::Timestamp) {
        setValue(QDateTime(date, QTime(0, 0)));
    } else if (isText()) {
        setValue(formats::formatDate(date, shortDatePicture(QLocale()), QLocale()));
    } else {
        throw ConversionError(QStringLiteral("O campo '%1' não aceita data").arg(m_name));
    }
}

QString Field::textOf(const px::Value &value) const
{
    const QLocale locale;
    return std::visit(
        [&](const auto &v) -> QString {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return {};
            else if constexpr (std::is_same_v<T, QString>)
                return v;
            else if constexpr (std::is_same_v<T, double>)
                return formats::formatFloat(v, {}, locale);
            else if constexpr (std::is_same_v<T, qint64>)
                return QString::number(v);
            else if constexpr (std::is_same_v<T, bool>)
                return v ? QStringLiteral("True") : QStringLiteral("False");
            else if constexpr (std::is_same_v<T, QDate>)
                return formats::formatDate(v, shortDatePicture(locale), locale);
            else if constexpr (std::is_same_v<T, QTime>)
                return locale.toString(v, QLocale::ShortFormat);
            else if constexpr (std::is_same_v<T, QDateTime>)
                return formats::formatDate(v.date(), shortDatePicture(locale), locale) + QLatin1Char(' ')
                       + locale.toString(v.time(), QLocale::ShortFormat);
            else
                return QStringLiteral("(Blob)");
        },
        value);
}

QString Field::formatted(const px::Value &value, const QString &format) const
{
    if (format.isEmpty())
        return textOf(value);
    if (const double *d = std::get_if<double>(&value))
        return formats::formatFloat(*d, format, QLocale());
    if (const qint64 *n = std::get_if<qint64>(&value))
        return formats::formatFloat(double(*n), format, QLocale());
    if (const QDate *d = std::get_if<QDate>(&value))
        return formats::formatDate(*d, format, QLocale());
    return textOf(value);
}

QString Field::displayTextOf(const px::Value &value) const
{
    return formatted(value, m_displayFormat);
}

QString Field::displayText() const
{
    return displayTextOf(value());
}

QString Field::editText() const
{
    // Numbers edit in their display picture when they have no edit picture of their own;
    // dates edit in the locale's short form, which is what reading text back expects.
    if (!m_editFormat.isEmpty())
        return formatted(value(), m_editFormat);
    return isNumeric() ? formatted(value(), m_displayFormat) : textOf(value());
}

void Field::setEditText(const QString &text)
{
    setAsString(text);
}
