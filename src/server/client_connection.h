#pragma once

// One client's connection. Its bytes are cut into requests at each LF and handed on one at a
// time, in order, one a turn of the event loop so that every client is served in turn;
// bytes that wait without an LF are taken as a request after a short silence, for clients
// that send none. A request that grows past the size limit is refused
// and its bytes are dropped up to its LF. Answers are queued by the socket and sent in
// order; none is dropped.

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

  // Takes over `socket` (it becomes a child of this object).
  ClientConnection(QTcpSocket* socket, QObject* parent);

  // The client's address in dotted form, as it was when the connection came.
  const QString& peer() const { return peer_; }
  // Queues an answer for sending.
  void send(const QByteArray& answer);
  // Closes the connection once the queued answers are sent.
  void close();
  // Closes at once, dropping what is queued.
  void abort();

 Q_SIGNALS:
  void requestReceived(taurelin::ClientConnection* connection, const QByteArray& request);
  void requestTooLong(taurelin::ClientConnection* connection);
  void failed(taurelin::ClientConnection* connection, const QString& error);
  void disconnected(taurelin::ClientConnection* connection);

 private:
  void onReadyRead();
  void onSilence();
  void takeLine();

  QTcpSocket* socket_;
  QString peer_;
  QByteArray buffer_;
  bool discarding_ = false;  // dropping the rest of an over-long request
  bool turnPending_ = false;  // a request waits for its turn
  QTimer silence_;
};

}  // namespace taurelin
