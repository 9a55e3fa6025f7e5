#include "store/alias_list.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTextStream>
#include <QUrl>

#include <algorithm>

#include <unistd.h>

namespace taurelin {
namespace {

// QSettings gives its groups sorted; the operator's order is the file's, so the group names
// are read from the section lines. QSettings stores a name with special characters
// percent-encoded; the decoded name is what the operator sees and picks.
QStringList GroupsInFileOrder(const QString& file) {
  QStringList groups;
  QFile in(file);
  if (!in.open(QIODevice::ReadOnly | QIODevice::Text)) return groups;
  QTextStream stream(&in);
  while (!stream.atEnd()) {
    const QString line = stream.readLine().trimmed();
    if (line.startsWith(u'[') && line.endsWith(u']')) {
      const QString name = QUrl::fromPercentEncoding(line.mid(1, line.size() - 2).toUtf8());
      if (!name.isEmpty() && name != u"General" && !groups.contains(name)) groups << name;
    }
  }
  return groups;
}

}  // namespace

AliasList AliasList::Load(const QString& file) {
  AliasList list;
  list.file_ = file;
  QSettings settings(file, QSettings::IniFormat);
  for (const QString& name : GroupsInFileOrder(file)) {
    settings.beginGroup(name);
    DatabaseAlias alias;
    alias.name = name;
    alias.driver = settings.value(QStringLiteral("driver"), alias.driver).toString();
    alias.database = settings.value(QStringLiteral("database")).toString();
    alias.host = settings.value(QStringLiteral("host")).toString();
    bool ok = false;
    const int port = settings.value(QStringLiteral("port")).toInt(&ok);
    alias.port = ok ? port : -1;
    alias.user = settings.value(QStringLiteral("user")).toString();
    alias.password = settings.value(QStringLiteral("password")).toString();
    settings.endGroup();
    list.aliases_ << alias;
  }
  return list;
}

QString AliasList::DefaultFile() {
  const QString fromEnvironment = qEnvironmentVariable("TAURELIN_ALIASES");
  if (!fromEnvironment.isEmpty()) return fromEnvironment;
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/Vindrelok/aliases.ini");
}

QStringList AliasList::names() const {
  QStringList names;
  for (const DatabaseAlias& alias : aliases_) names << alias.name;
  return names;
}

std::optional<DatabaseAlias> AliasList::find(const QString& name) const {
  for (const DatabaseAlias& alias : aliases_) {
    if (alias.name == name) return alias;
  }
  return std::nullopt;
}

}  // namespace taurelin

namespace taurelin {

QString AliasList::passwordExposure() const {
  const bool passwords = std::any_of(aliases_.begin(), aliases_.end(),
                                     [](const DatabaseAlias& a) { return !a.password.isEmpty(); });
  if (!passwords) return {};
  // The group may read it when the group is the server's own (the package's root:taurelin,
  // mode 0640): the server reads it through that group.
  const QFileInfo info(file_);
  const QFile::Permissions permissions = info.permissions();
  const bool exposed = (permissions & QFile::ReadOther) ||
                       ((permissions & QFile::ReadGroup) && info.groupId() != ::getegid());
  if (!exposed) return {};
  return QStringLiteral("the alias file %1 holds a password and others may read it; "
                        "chmod 600 %1 (or 640 with the server's own group)")
      .arg(file_);
}

}  // namespace taurelin
