// Round trip of TEST-API through the running server, beside the round trip of a minimal
// echo server on the same event loop machinery: how much the server adds to the network.
//
//   loopback_bench [ROUND_TRIPS]
//
// Both servers run as child processes (the echo server is this program with --echo) and are
// measured by the same blocking client over loopback, alternately in blocks.

#include "store/alias_list.h"
#include "store/connection.h"
#include "store/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlDatabase>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <arpa/inet.h>

namespace {

using namespace taurelin;

// The smallest Qt server: every line back as it came.
int RunEchoServer() {
  QTcpServer server;
  if (!server.listen(QHostAddress::LocalHost, 0)) return 1;
  QObject::connect(&server, &QTcpServer::newConnection, [&server] {
    while (QTcpSocket* socket = server.nextPendingConnection()) {
      QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
        socket->write(socket->readAll());
        socket->flush();
      });
    }
  });
  std::fprintf(stderr, "listening on port %d\n", server.serverPort());
  return QCoreApplication::exec();
}

// Starts a child and waits for its "listening on port N" line.
int StartChild(QProcess& child, const QString& program, const QStringList& arguments) {
  child.start(program, arguments);
  static const QRegularExpression kListening(QStringLiteral("listening on port (\\d+)"));
  QString seen;
  for (int i = 0; i < 200 && child.state() != QProcess::NotRunning; ++i) {
    child.waitForReadyRead(100);
    seen += QString::fromUtf8(child.readAllStandardError());
    const QRegularExpressionMatch match = kListening.match(seen);
    if (match.hasMatch()) return match.captured(1).toInt();
  }
  std::fprintf(stderr, "%s did not start: %s\n", qPrintable(program), qPrintable(seen));
  return -1;
}

int Connect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;
  return fd;
}

// One request, read to its LF; the time in microseconds.
double RoundTrip(int fd, const QByteArray& request) {
  const auto start = std::chrono::steady_clock::now();
  if (::write(fd, request.constData(), static_cast<size_t>(request.size())) != request.size()) {
    return -1;
  }
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) return -1;
    if (buffer[got - 1] == '\n') break;
  }
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
      .count();
}

double Percentile(std::vector<double> values, double share) {
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(share * static_cast<double>(values.size() - 1))];
}

int Measure(int roundTrips) {
  QTemporaryDir dir;
  const QString aliasFile = dir.filePath(QStringLiteral("aliases.ini"));
  {
    QSettings aliases(aliasFile, QSettings::IniFormat);
    aliases.setValue(QStringLiteral("bench/database"), dir.filePath(QStringLiteral("bench.db")));
    QSettings config(dir.filePath(QStringLiteral("taurelin.conf")), QSettings::IniFormat);
    config.beginGroup(QStringLiteral("Software/Vindrelok/Taurelin/API"));
    config.setValue(QStringLiteral("Port"), 0);
    config.setValue(QStringLiteral("Logfile"), 0);
    config.setValue(QStringLiteral("IPAddress"), QStringLiteral("127.0.0.1"));
    config.setValue(QStringLiteral("DatabaseAlias"), QStringLiteral("bench"));
  }
  {
    QString error;
    const DatabaseAlias alias = *AliasList::Load(aliasFile).find(QStringLiteral("bench"));
    if (!OpenConnection(alias, QStringLiteral("bench"), &error)) return 1;
    QSqlDatabase database = QSqlDatabase::database(QStringLiteral("bench"), false);
    if (!InstallSchema(database, false, &error)) return 1;
  }
  QSqlDatabase::removeDatabase(QStringLiteral("bench"));

  QProcess server;
  server.setWorkingDirectory(dir.path());
  QProcess echo;
  const int serverPort =
      StartChild(server, QStringLiteral(TAURELIN_API_BINARY),
                 {QStringLiteral("--headless"), QStringLiteral("--config"),
                  dir.filePath(QStringLiteral("taurelin.conf")), QStringLiteral("--aliases"),
                  aliasFile});
  const int echoPort = StartChild(echo, QCoreApplication::applicationFilePath(),
                                  {QStringLiteral("--echo")});
  if (serverPort < 0 || echoPort < 0) return 1;

  const QByteArray request = "messageID=bench&count=1&header=INSTRUKSJON&data=TEST-API\n";
  const int serverFd = Connect(serverPort);
  const int echoFd = Connect(echoPort);
  std::vector<double> serverTimes, echoTimes;
  // Warm up, then alternate blocks so that both see the same machine.
  for (int i = 0; i < 1000; ++i) RoundTrip(serverFd, request), RoundTrip(echoFd, request);
  constexpr int kBlock = 500;
  for (int done = 0; done < roundTrips; done += kBlock) {
    for (int i = 0; i < kBlock; ++i) serverTimes.push_back(RoundTrip(serverFd, request));
    for (int i = 0; i < kBlock; ++i) echoTimes.push_back(RoundTrip(echoFd, request));
  }
  ::close(serverFd);
  ::close(echoFd);
  server.terminate();
  echo.terminate();
  server.waitForFinished();
  echo.waitForFinished();

  const double serverMedian = Percentile(serverTimes, 0.5);
  const double echoMedian = Percentile(echoTimes, 0.5);
  const double serverP99 = Percentile(serverTimes, 0.99);
  const double echoP99 = Percentile(echoTimes, 0.99);
  std::printf("round trips: %zu each\n", serverTimes.size());
  std::printf("%-22s %10s %10s\n", "", "median us", "p99 us");
  std::printf("%-22s %10.1f %10.1f\n", "taurelin-api TEST-API", serverMedian, serverP99);
  std::printf("%-22s %10.1f %10.1f\n", "echo server", echoMedian, echoP99);
  std::printf("%-22s %10.2f %10.2f\n", "ratio", serverMedian / echoMedian, serverP99 / echoP99);
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.contains(QStringLiteral("--echo"))) return RunEchoServer();
  const int roundTrips = arguments.size() > 1 ? std::max(1000, arguments[1].toInt()) : 20000;
  return Measure(roundTrips);
}
