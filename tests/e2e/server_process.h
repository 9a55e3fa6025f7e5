#pragma once

// Test support: the built taurelin-api started headless in a temporary directory, with a
// configuration that lets the system choose a free port and a booking database with the
// schema, and TCP clients to talk to it.

#include "store/postgres/postgres_test_database.h"
#include "store/test_database.h"

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <memory>

namespace taurelin {

class ServerProcess {
 public:
  // A server on a database of its own, with the demo business when `withDemo` is set.
  explicit ServerProcess(bool withDemo = false);
  // A server on `database`, which other servers may share.
  explicit ServerProcess(const TestDatabase& database);
  explicit ServerProcess(const PostgresTestDatabase& database);
  ~ServerProcess();

  // Sets a value of the server's configuration group. Before start().
  void setConfiguration(const QString& key, const QVariant& value);
  // Runs the server in `directory` instead of its own, so that servers can share one
  // directory (its time-out register and its log). Before start().
  void setWorkingDirectory(const QString& directory) { workingDirectory_ = directory; }
  // Where the server runs: its time-out register and its log are there.
  QString workingDirectory() const;
  // Starts the server with these limits on open descriptors, as a service manager would.
  // Before start().
  void setDescriptorLimit(quint64 soft, quint64 hard);

  // Starts the server and waits until it listens; false when it did not come up. A stopped
  // server can be started again, on its same directory and database.
  bool start(const QStringList& extraArguments = {});
  // Runs the program once with the server's configuration, alias file and folder and these
  // arguments (such as --ical-urls), and waits for it; what it wrote to standard output.
  // The exit status in `exitCode`.
  QByteArray runOnce(const QStringList& arguments, int* exitCode = nullptr) const;
  // Sends SIGTERM and waits for the exit; returns the exit code (-1 when it crashed). For a
  // server that has exited by itself, its exit code.
  int stop();
  // Sends SIGKILL, as a crash or a power cut stops a server: no clean-up at all, and waits
  // for the process to go.
  void kill();

  quint16 port() const { return port_; }
  // The HTTP face's port, when started with --http; 0 otherwise.
  quint16 httpPort() const { return httpPort_; }
  const QTemporaryDir& directory() const { return dir_; }
  QString standardError() const { return errors_; }
  // Today's log lines, without their date and time.
  QStringList logMessages() const;

  // A client connected to the server at `host`, from the local address `from` when given.
  std::unique_ptr<QTcpSocket> connect(const QString& host = QStringLiteral("127.0.0.1"),
                                      const QString& from = QString()) const;

 private:
  void writeConfiguration();

  QTemporaryDir dir_;
  QString workingDirectory_;
  std::unique_ptr<TestDatabase> ownDatabase_;
  QString aliasFile_;  // names the database as "test"
  QProcess process_;
  quint16 port_ = 0;
  quint16 httpPort_ = 0;
  QString errors_;
  quint64 softDescriptors_ = 0;  // 0: as inherited
  quint64 hardDescriptors_ = 0;
};

// Reads from `socket` until `count` answers (LF-terminated) have arrived or `ms` passed.
QList<QByteArray> ReadAnswers(QTcpSocket& socket, int count, int ms = 5000);

// The request whose answer tells the server apart: TEST-API with a message id.
QByteArray TestApiRequest(const QByteArray& id);

}  // namespace taurelin
