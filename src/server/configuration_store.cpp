#include "server/configuration_store.h"

#include <QSettings>

namespace taurelin {

std::unique_ptr<QSettings> OpenConfigurationStore(const QString& fileFromCommandLine) {
  QString file = fileFromCommandLine;
  if (file.isEmpty()) file = qEnvironmentVariable("TAURELIN_CONFIG");
  if (!file.isEmpty()) return std::make_unique<QSettings>(file, QSettings::IniFormat);
  return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                     QStringLiteral("Vindrelok"), QStringLiteral("Taurelin"));
}

QString ConfigurationGroup(const QString& instance) {
  const QString base = QStringLiteral("Software/Vindrelok/Taurelin/API");
  return instance.isEmpty() ? base : base + u'/' + instance;
}

}  // namespace taurelin
