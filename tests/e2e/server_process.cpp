#include "server_process.h"

#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QThread>

#include <sys/resource.h>

namespace taurelin {

ServerProcess::ServerProcess(bool withDemo)
    : ownDatabase_(std::make_unique<TestDatabase>(withDemo)),
      aliasFile_(ownDatabase_->aliases().file()) {
  writeConfiguration();
}

ServerProcess::ServerProcess(const TestDatabase& database)
    : aliasFile_(database.aliases().file()) {
  writeConfiguration();
}

ServerProcess::ServerProcess(const PostgresTestDatabase& database)
    : aliasFile_(database.aliases().file()) {
  writeConfiguration();
}

void ServerProcess::writeConfiguration() {
  QSettings settings(dir_.filePath(QStringLiteral("taurelin.conf")), QSettings::IniFormat);
  settings.beginGroup(QStringLiteral("Software/Vindrelok/Taurelin/API"));
  settings.setValue(QStringLiteral("Port"), 0);
  settings.setValue(QStringLiteral("Logfile"), 1);
  settings.setValue(QStringLiteral("IPAddress"), QStringLiteral("127.0.0.1"));
  settings.setValue(QStringLiteral("DatabaseAlias"), QStringLiteral("test"));
}

void ServerProcess::setConfiguration(const QString& key, const QVariant& value) {
  QSettings settings(dir_.filePath(QStringLiteral("taurelin.conf")), QSettings::IniFormat);
  settings.setValue(QStringLiteral("Software/Vindrelok/Taurelin/API/") + key, value);
}

void ServerProcess::setDescriptorLimit(quint64 soft, quint64 hard) {
  softDescriptors_ = soft;
  hardDescriptors_ = hard;
}

ServerProcess::~ServerProcess() {
  if (process_.state() != QProcess::NotRunning) {
    process_.kill();
    process_.waitForFinished(5000);
  }
}

QString ServerProcess::workingDirectory() const {
  return workingDirectory_.isEmpty() ? dir_.path() : workingDirectory_;
}

bool ServerProcess::start(const QStringList& extraArguments) {
  // Only this run's output tells its port.
  errors_.clear();
  process_.setWorkingDirectory(workingDirectory());
  process_.setProgram(QStringLiteral(TAURELIN_API_BINARY));
  process_.setArguments(QStringList{QStringLiteral("--headless"), QStringLiteral("--config"),
                                    dir_.filePath(QStringLiteral("taurelin.conf")),
                                    QStringLiteral("--aliases"), aliasFile_} +
                        extraArguments);
  if (softDescriptors_ > 0) {
    const rlimit limit{softDescriptors_, hardDescriptors_};
    process_.setChildProcessModifier([limit] { ::setrlimit(RLIMIT_NOFILE, &limit); });
  }
  process_.start();
  if (!process_.waitForStarted(10000)) return false;
  static const QRegularExpression kListening(QStringLiteral("listening on port (\\d+)"));
  QDeadlineTimer deadline(20000);
  while (!deadline.hasExpired()) {
    process_.waitForReadyRead(100);
    errors_ += QString::fromUtf8(process_.readAllStandardError());
    const QRegularExpressionMatch match = kListening.match(errors_);
    if (match.hasMatch()) {
      port_ = static_cast<quint16>(match.captured(1).toUInt());
      static const QRegularExpression kHttp(QStringLiteral("HTTP API on http://[^ ]*:(\\d+)/"));
      httpPort_ = static_cast<quint16>(kHttp.match(errors_).captured(1).toUInt());
      return true;
    }
    if (process_.state() == QProcess::NotRunning) {
      errors_ += QString::fromUtf8(process_.readAllStandardError());
      return false;
    }
  }
  return false;
}

QByteArray ServerProcess::runOnce(const QStringList& arguments, int* exitCode) const {
  QProcess process;
  process.setWorkingDirectory(workingDirectory());
  process.start(QStringLiteral(TAURELIN_API_BINARY),
                QStringList{QStringLiteral("--headless"), QStringLiteral("--config"),
                            dir_.filePath(QStringLiteral("taurelin.conf")),
                            QStringLiteral("--aliases"), aliasFile_} +
                    arguments);
  process.waitForFinished(30000);
  if (exitCode != nullptr) {
    *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  }
  return process.readAllStandardOutput();
}

int ServerProcess::stop() {
  if (process_.state() != QProcess::NotRunning) {
    process_.terminate();
    if (!process_.waitForFinished(20000)) return -1;
  }
  errors_ += QString::fromUtf8(process_.readAllStandardError());
  return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

void ServerProcess::kill() {
  process_.kill();
  process_.waitForFinished(20000);
}

QStringList ServerProcess::logMessages() const {
  QFile file(QDir(workingDirectory())
                 .filePath(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
                           QStringLiteral(" - API.LOG")));
  QStringList messages;
  if (!file.open(QIODevice::ReadOnly)) return messages;
  const QString text = QString::fromUtf8(file.readAll());
  for (const QString& line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
    const qsizetype dash = line.indexOf(QStringLiteral(" - "));
    messages << (dash < 0 ? line : line.mid(dash + 3));
  }
  return messages;
}

std::unique_ptr<QTcpSocket> ServerProcess::connect(const QString& host,
                                                   const QString& from) const {
  auto socket = std::make_unique<QTcpSocket>();
  if (!from.isEmpty()) socket->bind(QHostAddress(from));
  socket->connectToHost(host, port_);
  socket->waitForConnected(5000);
  return socket;
}

QList<QByteArray> ReadAnswers(QTcpSocket& socket, int count, int ms) {
  QList<QByteArray> answers;
  QByteArray buffer;
  QDeadlineTimer deadline(ms);
  while (answers.size() < count && !deadline.hasExpired()) {
    if (socket.bytesAvailable() == 0) socket.waitForReadyRead(50);
    buffer += socket.readAll();
    for (qsizetype lineFeed; (lineFeed = buffer.indexOf('\n')) >= 0;) {
      answers << buffer.left(lineFeed + 1);
      buffer.remove(0, lineFeed + 1);
    }
  }
  return answers;
}

QByteArray TestApiRequest(const QByteArray& id) {
  return "messageID=" + id + "&count=1&header=INSTRUKSJON&data=TEST-API\n";
}

}  // namespace taurelin
