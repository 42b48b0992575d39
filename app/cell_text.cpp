#include "app/cell_text.h"

namespace app {
namespace {

enum class Kind { Integer, Float, Money, Decimal, Other };

Kind kindOf(engine::TFieldType type) {
  switch (type) {
    case engine::ftSmallint:
    case engine::ftInteger:
    case engine::ftWord:
    case engine::ftAutoInc:
    case engine::ftLargeint:
      return Kind::Integer;
    case engine::ftFloat:
      return Kind::Float;
    case engine::ftCurrency:
      return Kind::Money;
    case engine::ftBCD:
      return Kind::Decimal;
    default:
      return Kind::Other;
  }
}

constexpr int kFloatDigits = 15;
constexpr int kMoneyDecimals = 2;

QLocale ungrouped(QLocale locale) {
  locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
  return locale;
}

// A decimal text in the engine's notation ("-12.50") written with the locale's signs.
QString localDecimal(const QString& engineText, const QLocale& locale) {
  QString text = engineText;
  text.replace(QLatin1Char('.'), locale.decimalPoint());
  if (text.startsWith(QLatin1Char('-'))) text.replace(0, 1, locale.negativeSign());
  return text;
}

QString withoutBlanks(QString text) {
  text.remove(QChar(0x00A0));
  text.remove(QChar(0x202F));
  return text.trimmed();
}

}  // namespace

QString DisplayCellText(engine::TFieldType type, const QString& engineText,
                        const QLocale& locale) {
  if (engineText.isEmpty()) return engineText;
  bool ok = false;
  switch (kindOf(type)) {
    case Kind::Integer: {
      const qlonglong value = engineText.toLongLong(&ok);
      return ok ? ungrouped(locale).toString(value) : engineText;
    }
    case Kind::Float: {
      const double value = engineText.toDouble(&ok);
      return ok ? ungrouped(locale).toString(value, 'g', kFloatDigits) : engineText;
    }
    case Kind::Money: {
      const double value = engineText.toDouble(&ok);
      return ok ? locale.toCurrencyString(value, locale.currencySymbol(), kMoneyDecimals)
                : engineText;
    }
    case Kind::Decimal:
      return localDecimal(engineText, locale);
    case Kind::Other:
      break;
  }
  return engineText;
}

QString EditCellText(engine::TFieldType type, const QString& engineText, const QLocale& locale) {
  if (kindOf(type) != Kind::Money || engineText.isEmpty()) {
    return DisplayCellText(type, engineText, locale);
  }
  bool ok = false;
  const double value = engineText.toDouble(&ok);
  return ok ? ungrouped(locale).toString(value, 'f', kMoneyDecimals) : engineText;
}

std::optional<QString> EngineCellText(engine::TFieldType type, const QString& typed,
                                      const QLocale& locale) {
  const Kind kind = kindOf(type);
  if (kind == Kind::Other) return typed;
  QString text = typed;
  if (kind == Kind::Money) text.remove(locale.currencySymbol());
  text = withoutBlanks(text);
  if (text.isEmpty()) return QString();
  bool ok = false;
  switch (kind) {
    case Kind::Integer: {
      const qlonglong value = locale.toLongLong(text, &ok);
      if (ok) return QString::number(value);
      break;
    }
    case Kind::Float:
    case Kind::Money: {
      const double value = locale.toDouble(text, &ok);
      if (ok) return QString::number(value, 'g', 17);
      break;
    }
    case Kind::Decimal: {
      // Checked by the locale, then rewritten digit for digit: a double would lose digits.
      locale.toDouble(text, &ok);
      if (!ok) break;
      text.remove(locale.groupSeparator());
      text.replace(locale.decimalPoint(), QStringLiteral("."));
      if (text.startsWith(locale.negativeSign())) text.replace(0, locale.negativeSign().size(), QStringLiteral("-"));
      if (text.startsWith(locale.positiveSign())) text.remove(0, locale.positiveSign().size());
      return text;
    }
    case Kind::Other:
      break;
  }
  return std::nullopt;
}

}  // namespace app
