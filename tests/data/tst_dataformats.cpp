// Number and date formats under Brazilian and English settings.
#include "Formats.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>

namespace {

QLocale ptBR() { return QLocale(QLocale::Portuguese, QLocale::Brazil); }
QLocale enUS() { return QLocale(QLocale::English, QLocale::UnitedStates); }
QLocale deDE() { return QLocale(QLocale::German, QLocale::Germany); }

std::optional<double> parsed(const QString &text, const QLocale &locale, bool *ok = nullptr)
{
    std::optional<double> v = -12345.678;  // a value that must be overwritten
    const bool r = formats::parseNumber(text, locale, v);
    if (ok)
        *ok = r;
    return v;
}

} // namespace

class TestDataFormats : public QObject
{
    Q_OBJECT

private slots:
    void numberDisplay_data();
    void numberDisplay();
    void emptyNumberShowsNothing();
    void otherPictures();
    void numberParsing_data();
    void numberParsing();
    void numberRefusals_data();
    void numberRefusals();
    void refusalMessage();
    void shownTextReadsBack();
    void typedCharacters();
    void dates();
    void dateParsing();
};

void TestDataFormats::numberDisplay_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("pt");
    QTest::addColumn<QString>("en");
    QTest::newRow("half") << 0.5 << "0,500" << "0.500";
    QTest::newRow("zero") << 0.0 << "0,000" << "0.000";
    QTest::newRow("weight") << 1234.5 << "1.234,500" << "1,234.500";
    QTest::newRow("negative") << -1234.5 << "-1.234,500" << "-1,234.500";
    QTest::newRow("small negative") << -0.25 << "-0,250" << "-0.250";
    QTest::newRow("below one group") << 999.0 << "999,000" << "999.000";
    QTest::newRow("exactly a group") << 1000.0 << "1.000,000" << "1,000.000";
    QTest::newRow("millions") << 1234567.891 << "1.234.567,891" << "1,234,567.891";
    // Rounding happens on the decimal the user typed, half away from zero.
    QTest::newRow("round half up") << 1.0005 << "1,001" << "1.001";
    QTest::newRow("round down") << 1.0004 << "1,000" << "1.000";
    QTest::newRow("round negative") << -1.0005 << "-1,001" << "-1.001";
    QTest::newRow("carry into integer") << 999.9995 << "1.000,000" << "1,000.000";
    QTest::newRow("carry to new digit") << 9.9999 << "10,000" << "10.000";
    QTest::newRow("binary below typed") << 2.675 << "2,675" << "2.675";
    QTest::newRow("tiny") << 0.0004 << "0,000" << "0.000";
    QTest::newRow("negative rounds to zero") << -0.0004 << "0,000" << "0.000";
    QTest::newRow("large") << 123456789012.345 << "123.456.789.012,345" << "123,456,789,012.345";
    QTest::newRow("huge") << 1e20 << "100.000.000.000.000.000.000,000" << "100,000,000,000,000,000,000.000";
}

void TestDataFormats::numberDisplay()
{
    QFETCH(double, value);
    QFETCH(QString, pt);
    QFETCH(QString, en);
    QCOMPARE(formats::formatNumber(value, ptBR()), pt);
    QCOMPARE(formats::formatNumber(value, enUS()), en);
}

void TestDataFormats::emptyNumberShowsNothing()
{
    QCOMPARE(formats::formatNumber(std::optional<double>(), ptBR()), QString());
    QCOMPARE(formats::formatNumber(std::optional<double>(0.5), ptBR()), QStringLiteral("0,500"));
    // Values a damaged file may hold still give a text rather than a crash.
    QVERIFY(!formats::formatNumber(std::nan(""), ptBR()).isEmpty());
    QVERIFY(!formats::formatNumber(HUGE_VAL, enUS()).isEmpty());
    QCOMPARE(formats::formatNumber(1.7976931348623157e308, enUS()).size(), 309 + 102 + 4);
}

void TestDataFormats::otherPictures()
{
    QCOMPARE(formats::formatFloat(3.14159, u"0.00", ptBR()), QStringLiteral("3,14"));
    QCOMPARE(formats::formatFloat(1234567.4, u"#,##0", enUS()), QStringLiteral("1,234,567"));
    QCOMPARE(formats::formatFloat(2.5, u"0.###", enUS()), QStringLiteral("2.5"));
    QCOMPARE(formats::formatFloat(2.0, u"0.###", enUS()), QStringLiteral("2"));
    QCOMPARE(formats::formatFloat(0.5, u"#.##", ptBR()), QStringLiteral(",5"));
    QCOMPARE(formats::formatFloat(7.0, u"000", enUS()), QStringLiteral("007"));
    QCOMPARE(formats::formatFloat(1234.5, u"", ptBR()), QStringLiteral("1234,5"));
    QCOMPARE(formats::formatFloat(0.1, u"", enUS()), QStringLiteral("0.1"));
}

void TestDataFormats::numberParsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<double>("value");
    QTest::newRow("shown text") << "1.234,500" << ptBR() << 1234.5;
    QTest::newRow("shown text, digit changed") << "1.234,600" << ptBR() << 1234.6;
    QTest::newRow("plain") << "1234,5" << ptBR() << 1234.5;
    QTest::newRow("two groups") << "1.234.567,5" << ptBR() << 1234567.5;
    QTest::newRow("grouped integer") << "12.345" << ptBR() << 12345.0;
    QTest::newRow("negative grouped") << "-1.234,5" << ptBR() << -1234.5;
    QTest::newRow("plus sign") << "+2" << ptBR() << 2.0;
    QTest::newRow("decimals only") << ",5" << ptBR() << 0.5;
    QTest::newRow("point ending") << "5," << ptBR() << 5.0;
    QTest::newRow("exponent") << "1,5E3" << ptBR() << 1500.0;
    QTest::newRow("negative exponent") << "25e-2" << ptBR() << 0.25;
    QTest::newRow("exponent plus") << "2E+2" << ptBR() << 200.0;
    QTest::newRow("blanks around") << "  12,5  " << ptBR() << 12.5;
    QTest::newRow("english shown") << "1,234.500" << enUS() << 1234.5;
    QTest::newRow("english plain") << "-0.125" << enUS() << -0.125;
}

void TestDataFormats::numberParsing()
{
    QFETCH(QString, text);
    QFETCH(QLocale, locale);
    QFETCH(double, value);
    bool ok = false;
    const std::optional<double> v = parsed(text, locale, &ok);
    QVERIFY(ok);
    QVERIFY(v.has_value());
    QCOMPARE(*v, value);
}

void TestDataFormats::numberRefusals_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("misplaced grouping") << "1.23,5" << ptBR();
    QTest::newRow("group of four") << "1.2345" << ptBR();
    QTest::newRow("first group too long") << "1234.567" << ptBR();
    QTest::newRow("short last group") << "1.234.56" << ptBR();
    QTest::newRow("doubled mark") << "1..234" << ptBR();
    QTest::newRow("leading mark") << ".5" << ptBR();
    QTest::newRow("grouping in decimals") << "1,234.5" << ptBR();
    QTest::newRow("two decimal separators") << "1,2,3" << ptBR();
    QTest::newRow("letters") << "12a" << ptBR();
    QTest::newRow("word") << "abc" << ptBR();
    QTest::newRow("sign only") << "-" << ptBR();
    QTest::newRow("two signs") << "--1" << ptBR();
    QTest::newRow("exponent without digits") << "1E" << ptBR();
    QTest::newRow("exponent only") << "E5" << ptBR();
    QTest::newRow("fractional exponent") << "1E5,5" << ptBR();
    QTest::newRow("inner blank") << "1 234" << ptBR();
    QTest::newRow("overflow") << "1E400" << ptBR();
    QTest::newRow("brazilian text in english") << "1.234,5" << enUS();
    QTest::newRow("english misplaced") << "12,34.5" << enUS();
}

void TestDataFormats::numberRefusals()
{
    QFETCH(QString, text);
    QFETCH(QLocale, locale);
    bool ok = true;
    const std::optional<double> v = parsed(text, locale, &ok);
    QVERIFY(!ok);
    QCOMPARE(v, std::optional<double>(-12345.678));  // left untouched
}

void TestDataFormats::refusalMessage()
{
    // Empty and blank text empty the field.
    QCOMPARE(formats::numberFromText(QString(), ptBR(), QStringLiteral("Bl_Gross1")), std::nullopt);
    QCOMPARE(formats::numberFromText(QStringLiteral("   "), ptBR(), QStringLiteral("Bl_Gross1")), std::nullopt);
    try {
        formats::numberFromText(QStringLiteral("1.23,5"), ptBR(), QStringLiteral("Bl_Gross1"));
        QFAIL("no error");
    } catch (const DataError &e) {
        QVERIFY(dynamic_cast<const ConversionError *>(&e));
        QCOMPARE(e.message(), QStringLiteral("'1.23,5' is not a valid floating point value for field 'Bl_Gross1'"));
        QCOMPARE(QString::fromUtf8(e.what()), e.message());
    }
    // Placeholders inside the text are not filled twice.
    QCOMPARE(formats::invalidNumberMessage(QStringLiteral("%2x"), QStringLiteral("Di_Measu1")),
             QStringLiteral("'%2x' is not a valid floating point value for field 'Di_Measu1'"));
}

void TestDataFormats::shownTextReadsBack()
{
    // Whatever a number field shows must read back as the shown value, in both locales.
    QRandomGenerator rng(20090306);
    for (const QLocale &locale : {ptBR(), enUS()}) {
        for (int i = 0; i < 3000; ++i) {
            const double magnitude = std::pow(10.0, -4.0 + 17.0 * rng.generateDouble());
            const double v = (rng.bounded(2) ? -1 : 1) * magnitude * rng.generateDouble();
            const QString shown = formats::formatNumber(v, locale);
            bool ok = false;
            const std::optional<double> back = parsed(shown, locale, &ok);
            QVERIFY2(ok && back, qPrintable(shown));
            QCOMPARE(formats::formatNumber(*back, locale), shown);
            QVERIFY2(std::fabs(*back - v) <= 0.0005 + std::fabs(v) * 1e-15, qPrintable(shown));
        }
    }
}

void TestDataFormats::typedCharacters()
{
    for (QChar c : QStringLiteral("0123456789+-Ee,"))
        QVERIFY2(formats::isNumberChar(c, ptBR()), qPrintable(QString(c)));
    for (QChar c : QStringLiteral(".aA xX/;"))
        QVERIFY2(!formats::isNumberChar(c, ptBR()), qPrintable(QString(c)));
    QVERIFY(formats::isNumberChar(u'.', enUS()));
    QVERIFY(!formats::isNumberChar(u',', enUS()));
    QVERIFY(formats::isNumberChar(QChar(0x08), ptBR()));  // backspace edits
}

void TestDataFormats::dates()
{
    const QDate d(2009, 3, 6);
    QCOMPARE(formats::formatDate(d, ptBR()), QStringLiteral("06/03/2009"));
    QCOMPARE(formats::formatDate(d, enUS()), QStringLiteral("06/03/2009"));
    QCOMPARE(formats::dateSeparator(deDE()), QChar(u'.'));
    QCOMPARE(formats::formatDate(d, deDE()), QStringLiteral("06.03.2009"));
    QCOMPARE(formats::formatDate(QDate(), ptBR()), QString());
    QCOMPARE(formats::formatDate(QDate(5, 12, 25), ptBR()), QStringLiteral("25/12/0005"));
    QCOMPARE(formats::formatDate(d, u"d/m/yy", ptBR()), QStringLiteral("6/3/09"));
    QCOMPARE(formats::formatDate(d, u"dd 'de' mmmm", ptBR()),
             QStringLiteral("06 de ") + ptBR().monthName(3, QLocale::LongFormat));
}

void TestDataFormats::dateParsing()
{
    std::optional<QDate> d;
    QVERIFY(formats::parseDate(u"06/03/2009", ptBR(), d));
    QCOMPARE(d, std::optional<QDate>(QDate(2009, 3, 6)));
    QVERIFY(formats::parseDate(u"3/6/2009", enUS(), d));  // month first in English
    QCOMPARE(d, std::optional<QDate>(QDate(2009, 3, 6)));
    QVERIFY(formats::parseDate(u"", ptBR(), d));
    QCOMPARE(d, std::nullopt);
    d = QDate(2000, 1, 1);
    QVERIFY(!formats::parseDate(u"31/02/2009", ptBR(), d));
    QVERIFY(!formats::parseDate(u"06/03/20x9", ptBR(), d));
    QVERIFY(!formats::parseDate(u"06-03-2009", ptBR(), d));
    QCOMPARE(d, std::optional<QDate>(QDate(2000, 1, 1)));
}

QTEST_GUILESS_MAIN(TestDataFormats)
#include "tst_dataformats.moc"
