#pragma once

// Test support: the built taurelin-api started headless in a temporary directory, with a
// configuration that lets the system choose a free port and a booking database with the
// schema, and TCP clients to talk to it.

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
  ServerProcess();
  ~ServerProcess();

  // Starts the server and waits until it listens; false when it did not come up.
  bool start(const QStringList& extraArguments = {});
  // Sends SIGTERM and waits for the exit; returns the exit code (-1 when it crashed).
  int stop();

  quint16 port() const { return port_; }
  const QTemporaryDir& directory() const { return dir_; }
  QString standardError() const { return errors_; }
  // Today's log lines, without their date and time.
  QStringList logMessages() const;

  // A client connected to the server.
  std::unique_ptr<QTcpSocket> connect() const;

 private:
  QTemporaryDir dir_;
  TestDatabase database_;
  QProcess process_;
  quint16 port_ = 0;
  QString errors_;
};

// Reads from `socket` until `count` answers (LF-terminated) have arrived or `ms` passed.
QList<QByteArray> ReadAnswers(QTcpSocket& socket, int count, int ms = 5000);

// The request whose answer tells the server apart: TEST-API with a message id.
QByteArray TestApiRequest(const QByteArray& id);

}  // namespace taurelin
