#pragma once

// Test support: throwaway certificates, made with the openssl command in a temporary
// directory: a CA, a server certificate for 127.0.0.1 and a client certificate, both signed
// by the CA, each with its unencrypted key.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace taurelin {

class TestCertificates {
 public:
  TestCertificates();

  // Whether every file was made; the openssl output when not.
  bool made() const { return error_.isEmpty(); }
  const QString& error() const { return error_; }
  // "ca.pem", "server.pem", "server.key", "client.pem", "client.key".
  QString path(const QString& name) const { return dir_.filePath(name); }

 private:
  void run(const QStringList& arguments);
  // A key and a certificate named `name`, signed by the CA, with the extensions `extensions`.
  void issue(const QString& name, const QString& subject, const QString& extensions);

  QTemporaryDir dir_;
  QString error_;
};

}  // namespace taurelin
