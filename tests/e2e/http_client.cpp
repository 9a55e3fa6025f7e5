#include "http_client.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTcpSocket>

#include <algorithm>

namespace taurelin {

QByteArray HttpAnswer::header(const QByteArray& name) const {
  for (const QByteArray& line : head.split('\n')) {
    const qsizetype colon = line.indexOf(':');
    if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0) {
      return line.mid(colon + 1).trimmed();
    }
  }
  return QByteArray();
}

HttpAnswer Exchange(quint16 port, const QByteArray& raw, int ms, const QString& from) {
  QTcpSocket socket;
  if (!from.isEmpty()) socket.bind(QHostAddress(from));
  socket.connectToHost(QStringLiteral("127.0.0.1"), port);
  socket.waitForConnected(5000);
  socket.write(raw);
  QByteArray bytes;
  HttpAnswer answer;
  QDeadlineTimer deadline(ms);
  while (!deadline.hasExpired()) {
    if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(50)) {
      if (socket.state() != QAbstractSocket::ConnectedState) answer.closed = true;
    }
    bytes += socket.readAll();
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    if (end >= 0) {
      answer.head = bytes.left(end);
      answer.status = answer.head.mid(9, 3).toInt();
      const qsizetype length = answer.header("Content-Length").toInt();
      if (bytes.size() >= end + 4 + length) {
        answer.body = bytes.mid(end + 4, length);
        break;
      }
    }
    if (answer.closed) break;
  }
  if (!answer.closed) {
    socket.waitForDisconnected(200);
    answer.closed = socket.state() != QAbstractSocket::ConnectedState;
  }
  return answer;
}

HttpAnswer Call(quint16 port, const QByteArray& method, const QString& target,
                const std::optional<QJsonObject>& body, const Headers& headers,
                const QString& from) {
  const QByteArray content =
      body ? QJsonDocument(*body).toJson(QJsonDocument::Compact) : QByteArray();
  QByteArray raw = method + ' ' + target.toUtf8() + " HTTP/1.1\r\n";
  const bool hostGiven = std::any_of(headers.begin(), headers.end(), [](const auto& header) {
    return header.first.compare("Host", Qt::CaseInsensitive) == 0;
  });
  if (!hostGiven) raw += "Host: 127.0.0.1\r\n";
  if (body) raw += "Content-Type: application/json\r\n";
  for (const auto& [name, value] : headers) raw += name + ": " + value + "\r\n";
  raw += "Content-Length: " + QByteArray::number(content.size()) + "\r\n\r\n" + content;
  return Exchange(port, raw, 10000, from);
}

QString Iso(int fromToday) { return QDate::currentDate().addDays(fromToday).toString(Qt::ISODate); }

QString TestKeys::Write(const QString& directory) {
  const QString path = QDir(directory).filePath(QStringLiteral("api-keys"));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return QString();
  const auto entry = [](const char* name, const char* scopes, const char* key) {
    return QByteArray(name) + ':' + scopes + ':' +
           QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex() + '\n';
  };
  file.write("# the tests' keys\n");
  file.write(entry("operator", "manage", kManage));
  file.write(entry("shop", "reserve", kReserve));
  file.write(entry("channel", "read", kRead));
  return path;
}

Headers TestKeys::Bearer(const char* key) {
  return {{QByteArrayLiteral("Authorization"), QByteArray("Bearer ") + key}};
}

}  // namespace taurelin
