#pragma once

// One client's connection. Its bytes are cut into requests at each LF and handed on one at a
// time, in order, one a turn of the event loop so that every client is served in turn;
// bytes that wait without an LF are taken as a request after a short silence, for clients
// that send none. A request that grows past the size limit is refused
// and its bytes are dropped up to its LF. Answers are queued by the socket and sent in
// order; none is dropped.
//
// What a client has not read stays bounded too: while its unsent answers pass
// kMaxUnsentBytes no further request is taken (so its requests wait in TCP, and it is held
// back); a client whose unsent answers pass kMostUnsentBytes is dropped. A client silent for
// longer than its idle time-out, when one is set, is reported as idle.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QTcpSocket;

namespace taurelin {

class ClientConnection : public QObject {
  Q_OBJECT

 public:
  static constexpr qsizetype kMaxRequestBytes = 1024 * 1024;
  static constexpr int kSilenceMs = 200;
  static constexpr qint64 kMaxUnsentBytes = 256 * 1024;
  static constexpr qint64 kMostUnsentBytes = 16 * 1024 * 1024;

  // Takes over `socket` (it becomes a child of this object).
  ClientConnection(QTcpSocket* socket, QObject* parent);
  // A connection that held much in its buffers gives the memory back to the system once it
  // is gone, rather than leaving the process at its peak.
  ~ClientConnection() override;

  // The client's address in dotted form, as it was when the connection came.
  const QString& peer() const { return peer_; }
  // Queues an answer for sending.
  void send(const QByteArray& answer);
  // Closes the connection once the queued answers are sent.
  void close();
  // Closes at once, dropping what is queued.
  void abort();
  // Reports the client as idle once it has sent nothing and read nothing for that long;
  // 0 switches it off (the default).
  void setIdleTimeout(int seconds);

 Q_SIGNALS:
  void requestReceived(taurelin::ClientConnection* connection, const QByteArray& request);
  void requestTooLong(taurelin::ClientConnection* connection);
  void failed(taurelin::ClientConnection* connection, const QString& error);
  void disconnected(taurelin::ClientConnection* connection);
  void idle(taurelin::ClientConnection* connection);

 private:
  void onReadyRead();
  void onBytesWritten();
  void onSilence();
  void takeLine();
  // Whether the client's unread answers hold back its next request.
  bool backedUp() const;
  void restartIdleTimer();

  QTcpSocket* socket_;
  QString peer_;
  QByteArray buffer_;
  bool discarding_ = false;  // dropping the rest of an over-long request
  bool turnPending_ = false;  // a request waits for its turn
  bool waitingForReader_ = false;  // requests wait until the client reads its answers
  bool heldMuch_ = false;  // its buffers once passed kMaxUnsentBytes
  QTimer silence_;
  QTimer idle_;
};

}  // namespace taurelin
