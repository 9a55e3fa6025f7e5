// Round trip of TEST-API through the running server, beside the round trip of a minimal
// echo server on the same event loop machinery: how much the server adds to the network.
//
//   loopback_bench [ROUND_TRIPS]
//
// Both servers run as child processes (the echo server is this program with --echo) and are
// measured by the same blocking client over loopback, alternately in blocks.

#include "loopback.h"

#include "admin/schema.h"
#include "store/alias_list.h"
#include "store/connection.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSqlDatabase>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <unistd.h>

namespace {

using namespace taurelin;
using namespace taurelin::bench;

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

int Measure(int roundTrips) {
  QTemporaryDir dir;
  const QString databaseFile = dir.filePath(QStringLiteral("bench.db"));
  {
    QString error;
    DatabaseAlias alias;
    alias.name = QStringLiteral("bench");
    alias.database = databaseFile;
    Connection connection(QStringLiteral("bench"));
    if (!connection.open(alias, &error)) return 1;
    if (!InstallSchema(connection.database(), false, &error)) return 1;
  }

  ServerUnderTest server(databaseFile);
  QProcess echo;
  const int serverPort = server.start();
  const int echoPort = StartChild(echo, QCoreApplication::applicationFilePath(),
                                  {QStringLiteral("--echo")});
  if (serverPort < 0 || echoPort < 0) return 1;

  const QByteArray request = "messageID=bench&count=1&header=INSTRUKSJON&data=TEST-API\n";
  const int serverFd = ConnectLoopback(serverPort);
  const int echoFd = ConnectLoopback(echoPort);
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
  echo.terminate();
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
