#include "protocol/regional_settings.h"

#include <QLocale>
#include <QSettings>
#include <QStringList>

namespace taurelin {
namespace {

const QString kGroup = QStringLiteral("Control Panel/International");

// The first character of a date format that is neither a field letter nor a quote: the
// separator between day, month and year.
QString DateSeparator(const QString& format) {
  for (QChar c : format) {
    if (!c.isLetter() && c != u'\'') return QString(c);
  }
  return {};
}

QString FromLocale(const QString& name) {
  const QLocale locale = QLocale::system();
  // Qt's date formats use the same field letters as the registry (d, dd, MM, yyyy ...).
  if (name == u"sDate") return DateSeparator(locale.dateFormat(QLocale::ShortFormat));
  if (name == u"sDecimal") return locale.decimalPoint();
  if (name == u"sLongDate") return locale.dateFormat(QLocale::LongFormat);
  if (name == u"sShortDate") return locale.dateFormat(QLocale::ShortFormat);
  if (name == u"sThousand") return locale.groupSeparator();
  return {};
}

}  // namespace

QString ReadRegionalValue(QSettings* configuration, const QString& name) {
  if (configuration != nullptr) {
    configuration->beginGroup(kGroup);
    const bool present = !configuration->childKeys().isEmpty();
    const QVariant value = configuration->value(name);
    configuration->endGroup();
    if (present) {
      // An unquoted "," in an INI value reads as a list; the operator meant the text.
      if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(u',');
      return value.toString();
    }
  }
  return FromLocale(name);
}

}  // namespace taurelin
