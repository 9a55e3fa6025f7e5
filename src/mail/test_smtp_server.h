#pragma once

// Test support: the mail server of test_smtp_server.py (python3-aiosmtpd) in a process of its
// own on a loopback address and a free port, and what it received. Nothing leaves the machine.

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

namespace taurelin {

class TestSmtpServer {
 public:
  struct Received {
    QByteArray message;  // the DATA content as the server read it
    QJsonObject envelope;  // from, to, tls, login
  };

  // A python3 that has aiosmtpd, or empty (the tests then skip).
  static QString Python() {
    static const QString found = [] {
      for (const QString& candidate :
           {qEnvironmentVariable("TAURELIN_PYTHON"), QStringLiteral("/usr/bin/python3"),
            QStringLiteral("python3")}) {
        if (!candidate.isEmpty() &&
            QProcess::execute(candidate, {QStringLiteral("-c"),
                                          QStringLiteral("import aiosmtpd")}) == 0) {
          return candidate;
        }
      }
      return QString();
    }();
    return found;
  }

  ~TestSmtpServer() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.closeWriteChannel();  // the script ends when its input does
    if (!process_.waitForFinished(3000)) {
      process_.kill();
      process_.waitForFinished(3000);
    }
  }

  // Starts the server with the script's options (--tls, --reject ...): empty, or why not.
  QString start(const QStringList& options, const QString& host = QStringLiteral("127.0.0.1")) {
    host_ = host;
    process_.start(Python(), QStringList{QStringLiteral(TAURELIN_TEST_SMTP_SERVER),
                                         QStringLiteral("--out"), out_.path(),
                                         QStringLiteral("--host"), host} +
                                 options);
    QByteArray line;
    while (!line.endsWith('\n') && process_.waitForReadyRead(10000)) {
      line += process_.readAllStandardOutput();
    }
    if (!line.startsWith("PORT ")) {
      process_.waitForFinished(1000);
      return QStringLiteral("the test mail server did not start: ") +
             QString::fromUtf8(process_.readAllStandardError());
    }
    port_ = line.mid(5).trimmed().toInt();
    return {};
  }

  QUrl url(const QString& scheme = QStringLiteral("smtp")) const {
    QUrl url;
    url.setScheme(scheme);
    url.setHost(host_);
    url.setPort(port_);
    return url;
  }

  // Where it writes what it receives: N.eml and N.json for the N-th message.
  QString folder() const { return out_.path(); }

  QList<Received> received() const {
    QList<Received> all;
    for (int n = 1;; ++n) {
      QFile message(out_.filePath(QStringLiteral("%1.eml").arg(n)));
      QFile envelope(out_.filePath(QStringLiteral("%1.json").arg(n)));
      if (!message.open(QIODevice::ReadOnly) || !envelope.open(QIODevice::ReadOnly)) break;
      all.append({message.readAll(), QJsonDocument::fromJson(envelope.readAll()).object()});
    }
    return all;
  }

 private:
  QTemporaryDir out_;
  QProcess process_;
  QString host_;
  int port_ = 0;
};

}  // namespace taurelin
