#include "sysinfo/number_form.h"

#include <QLocale>

#include <cmath>

namespace sysinfo {

namespace {

constexpr int significantDigits = 15;

// The value rounded to 15 significant digits, in the C locale's scientific form
// ("1.17737568855286e+02"). Qt's conversion ignores the process locale.
QString scientific(double value)
{
    return QString::number(value, 'e', significantDigits - 1);
}

} // namespace

QString generalNumber(double value)
{
    if (!std::isfinite(value))
        return QString::number(value);
    if (value == 0.0)
        return QStringLiteral("0"); // -0 too

    const QString sci = scientific(value);
    const qsizetype e = sci.indexOf(QLatin1Char('e'));
    const bool negative = sci.startsWith(QLatin1Char('-'));
    QString digits = sci.left(e);
    digits.remove(QLatin1Char('-'));
    digits.remove(QLatin1Char('.'));
    while (digits.size() > 1 && digits.endsWith(QLatin1Char('0')))
        digits.chop(1);
    const int exponent = QStringView(sci).mid(e + 1).toInt();

    // Place the decimal separator: `exponent` + 1 digits stand before it.
    QString whole;
    QString fraction;
    if (exponent >= 0) {
        const qsizetype wholeDigits = qsizetype(exponent) + 1;
        if (digits.size() <= wholeDigits) {
            whole = digits + QString(wholeDigits - digits.size(), QLatin1Char('0'));
        } else {
            whole = digits.left(wholeDigits);
            fraction = digits.mid(wholeDigits);
        }
    } else {
        whole = QStringLiteral("0");
        fraction = QString(-exponent - 1, QLatin1Char('0')) + digits;
    }

    QString text;
    if (negative)
        text += QLatin1Char('-');
    text += whole;
    if (!fraction.isEmpty())
        text += QLocale::system().decimalPoint() + fraction;
    return text;
}

double throughTextForm(double value)
{
    if (!std::isfinite(value))
        return value;
    return scientific(value).toDouble();
}

} // namespace sysinfo
