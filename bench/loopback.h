#pragma once

// What the benchmarks that talk to a running server share: the built taurelin-api started
// headless on a booking database, with a configuration and alias file of its own in a
// temporary directory, and a blocking client that times one request to its answer over
// loopback.

#include "store/alias_list.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

#include <vector>

namespace taurelin::bench {

// Starts `program` and waits for its "listening on port N" line on standard error; the port,
// or -1 (with what the child said on standard error) when it does not come up. What it said
// until then goes to `said` when given.
int StartChild(QProcess& child, const QString& program, const QStringList& arguments,
               QString* said = nullptr);

// taurelin-api serving one database, stopped (SIGTERM) when this goes.
class ServerUnderTest {
 public:
  explicit ServerUnderTest(const DatabaseAlias& database);
  // An SQLite database file.
  explicit ServerUnderTest(const QString& databaseFile);
  ~ServerUnderTest();
  ServerUnderTest(const ServerUnderTest&) = delete;
  ServerUnderTest& operator=(const ServerUnderTest&) = delete;

  // A value of its configuration group, for the next start.
  void setConfiguration(const QString& key, const QVariant& value) { extra_[key] = value; }
  // Its working directory, where it keeps its files.
  QString directory() const { return dir_.path(); }
  // The port it listens on, or -1 when it did not start; `options` go to its command line.
  int start(const QStringList& options = {});
  // The port of its HTTP face when started with --http (waiting for it to say so); -1 when
  // it has none.
  int httpPort();
  // What it has said on standard error so far, taking in what waits in the pipe without
  // waiting for more: a benchmark that measures with a blocking client calls it between
  // requests, or a talkative server would stall on a full pipe.
  QString standardError();

 private:
  QTemporaryDir dir_;
  DatabaseAlias database_;
  QProcess process_;
  QString said_;  // its standard error so far
  QVariantMap extra_;
};

// A blocking TCP connection to 127.0.0.1:port with Nagle off; -1 when it cannot connect.
int ConnectLoopback(int port);

// Sends one request and reads its answer to the LF; the time in microseconds, or -1 when
// the connection failed. The answer (without its LF) goes to `answer` when given.
double RoundTrip(int fd, const QByteArray& request, QByteArray* answer = nullptr);

// Sends one HTTP/1.1 request and reads its whole answer (the head, and a body of the length
// its Content-Length gives), leaving the connection open for the next; the time in
// microseconds, or -1 when the connection failed or the answer has no length. The body goes
// to `body`, the head (status line and headers) to `head` when given.
double HttpRoundTrip(int fd, const QByteArray& request, QByteArray* body,
                     QByteArray* head = nullptr);

// The value below which `share` of the values lie (nearest rank, rounded down).
double Percentile(std::vector<double> values, double share);

}  // namespace taurelin::bench
