#pragma once

// Test support: a plain HTTP/1.1 client for the HTTP face, one request a connection, and the
// integrators' keys a test server is started with.

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace taurelin {

struct HttpAnswer {
  int status = 0;  // 0: no answer
  QByteArray head;
  QByteArray body;
  bool closed = false;  // the server closed the connection
  QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
  QString errorCode() const { return json()["error"].toObject()["code"].toString(); }
  QString errorMessage() const { return json()["error"].toObject()["message"].toString(); }
  // The value of header `name` (any case), empty when there is none.
  QByteArray header(const QByteArray& name) const;
};

using Headers = QList<QPair<QByteArray, QByteArray>>;

// Sends `raw` from `from` (a local address; empty: the system's choice) and reads one
// answer: its head, and a body of the length the head gives.
HttpAnswer Exchange(quint16 port, const QByteArray& raw, int ms = 10000,
                    const QString& from = QString());

// One request with these headers (and Host 127.0.0.1 unless they give one), and a JSON body
// when given.
HttpAnswer Call(quint16 port, const QByteArray& method, const QString& target,
                const std::optional<QJsonObject>& body = std::nullopt,
                const Headers& headers = {}, const QString& from = QString());

// Today plus `fromToday` days, ISO.
QString Iso(int fromToday);

// The keys a test server knows: NAME:SCOPES each with a fixed key of its own.
struct TestKeys {
  static constexpr const char* kManage = "tk_manage_key_of_the_tests_000000";
  static constexpr const char* kReserve = "tk_reserve_key_of_the_tests_00000";
  static constexpr const char* kRead = "tk_read_key_of_the_tests_000000000";
  // Writes the key file of the three keys (manage, reserve, read) into `directory`; its path.
  static QString Write(const QString& directory);
  static Headers Bearer(const char* key);
};

}  // namespace taurelin
