#include "loopback.h"

#include <QRegularExpression>
#include <QSettings>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace taurelin::bench {

int StartChild(QProcess& child, const QString& program, const QStringList& arguments,
               QString* said) {
  child.start(program, arguments);
  static const QRegularExpression kListening(QStringLiteral("listening on port (\\d+)"));
  QString seen;
  for (int i = 0; i < 200 && child.state() != QProcess::NotRunning; ++i) {
    child.waitForReadyRead(100);
    seen += QString::fromUtf8(child.readAllStandardError());
    if (said != nullptr) *said = seen;
    const QRegularExpressionMatch match = kListening.match(seen);
    if (match.hasMatch()) return match.captured(1).toInt();
  }
  std::fprintf(stderr, "%s did not start: %s\n", qPrintable(program), qPrintable(seen));
  return -1;
}

ServerUnderTest::ServerUnderTest(const DatabaseAlias& database) : database_(database) {}

ServerUnderTest::ServerUnderTest(const QString& databaseFile) {
  database_.database = databaseFile;
}

ServerUnderTest::~ServerUnderTest() {
  if (process_.state() == QProcess::NotRunning) return;
  process_.terminate();
  process_.waitForFinished();
}

int ServerUnderTest::start(const QStringList& options) {
  const QString aliasFile = dir_.filePath(QStringLiteral("aliases.ini"));
  const QString configFile = dir_.filePath(QStringLiteral("taurelin.conf"));
  {
    QSettings aliases(aliasFile, QSettings::IniFormat);
    aliases.beginGroup(QStringLiteral("bench"));
    aliases.setValue(QStringLiteral("driver"), database_.driver);
    aliases.setValue(QStringLiteral("database"), database_.database);
    if (!database_.host.isEmpty()) aliases.setValue(QStringLiteral("host"), database_.host);
    if (database_.port >= 0) aliases.setValue(QStringLiteral("port"), database_.port);
    if (!database_.user.isEmpty()) aliases.setValue(QStringLiteral("user"), database_.user);
    if (!database_.password.isEmpty()) {
      aliases.setValue(QStringLiteral("password"), database_.password);
    }
    aliases.endGroup();
    // Port 0: the system picks a free one, which the server names on standard error. No
    // log file: the benchmarks time the server, not the disk.
    QSettings config(configFile, QSettings::IniFormat);
    config.beginGroup(QStringLiteral("Software/Vindrelok/Taurelin/API"));
    config.setValue(QStringLiteral("Port"), 0);
    config.setValue(QStringLiteral("Logfile"), 0);
    config.setValue(QStringLiteral("IPAddress"), QStringLiteral("127.0.0.1"));
    config.setValue(QStringLiteral("DatabaseAlias"), QStringLiteral("bench"));
    for (auto it = extra_.cbegin(); it != extra_.cend(); ++it) config.setValue(it.key(), *it);
  }
  process_.setWorkingDirectory(dir_.path());
  return StartChild(process_, QStringLiteral(TAURELIN_API_BINARY),
                    QStringList{QStringLiteral("--headless"), QStringLiteral("--config"),
                                configFile, QStringLiteral("--aliases"), aliasFile} +
                        options,
                    &said_);
}

int ServerUnderTest::httpPort() {
  static const QRegularExpression kHttp(QStringLiteral("HTTP API on http://[^ ]*:(\\d+)/"));
  for (int i = 0; i < 50 && process_.state() != QProcess::NotRunning; ++i) {
    const QRegularExpressionMatch match = kHttp.match(said_);
    if (match.hasMatch()) return match.captured(1).toInt();
    process_.waitForReadyRead(100);
    said_ += QString::fromUtf8(process_.readAllStandardError());
  }
  return -1;
}

QString ServerUnderTest::standardError() {
  if (process_.state() != QProcess::NotRunning) process_.waitForReadyRead(0);
  said_ += QString::fromUtf8(process_.readAllStandardError());
  process_.readAllStandardOutput();
  return said_;
}

int ConnectLoopback(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

double RoundTrip(int fd, const QByteArray& request, QByteArray* answer) {
  const auto start = std::chrono::steady_clock::now();
  if (::write(fd, request.constData(), static_cast<size_t>(request.size())) != request.size()) {
    return -1;
  }
  if (answer != nullptr) answer->clear();
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) return -1;
    const bool complete = buffer[got - 1] == '\n';
    if (answer != nullptr) answer->append(buffer, complete ? got - 1 : got);
    if (complete) break;
  }
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
      .count();
}

double HttpRoundTrip(int fd, const QByteArray& request, QByteArray* body, QByteArray* head) {
  const auto start = std::chrono::steady_clock::now();
  if (::write(fd, request.constData(), static_cast<size_t>(request.size())) != request.size()) {
    return -1;
  }
  QByteArray answer;
  qsizetype expected = -1;
  char buffer[65536];
  while (expected < 0 || answer.size() < expected) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) return -1;
    answer.append(buffer, got);
    const qsizetype headersEnd = answer.indexOf("\r\n\r\n");
    if (expected < 0 && headersEnd >= 0) {
      const QByteArray headers = answer.left(headersEnd).toLower();
      const qsizetype at = headers.indexOf("content-length:");
      // A 304 has no body.
      if (at < 0 && headers.startsWith("http/1.1 304")) {
        expected = headersEnd + 4;
        continue;
      }
      if (at < 0) return -1;
      const qsizetype end = headers.indexOf("\r\n", at);
      expected = headersEnd + 4 + headers.mid(at + 15, end < 0 ? -1 : end - at - 15)
                                      .trimmed()
                                      .toLongLong();
    }
  }
  *body = answer.mid(answer.indexOf("\r\n\r\n") + 4);
  if (head != nullptr) *head = answer.left(answer.indexOf("\r\n\r\n"));
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
      .count();
}

double Percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(share * static_cast<double>(values.size() - 1))];
}

}  // namespace taurelin::bench
