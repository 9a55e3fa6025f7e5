#include "test_certificates.h"

#include <QFile>
#include <QProcess>

namespace taurelin {

TestCertificates::TestCertificates() {
  // Elliptic-curve keys: made in milliseconds.
  run({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-noenc",
       "-keyout", path("ca.key"), "-out", path("ca.pem"), "-days", "2", "-subj",
       "/CN=Taurelin test CA"});
  issue("server", "/CN=127.0.0.1", "subjectAltName=IP:127.0.0.1\n");
  issue("client", "/CN=web shop", "extendedKeyUsage=clientAuth\n");
}

void TestCertificates::issue(const QString& name, const QString& subject,
                             const QString& extensions) {
  QFile file(path(name + ".ext"));
  if (!file.open(QIODevice::WriteOnly) || file.write(extensions.toUtf8()) < 0) {
    error_ += "cannot write " + file.fileName() + "\n";
  }
  file.close();
  run({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-noenc", "-keyout",
       path(name + ".key"), "-out", path(name + ".csr"), "-subj", subject});
  run({"x509", "-req", "-in", path(name + ".csr"), "-CA", path("ca.pem"), "-CAkey",
       path("ca.key"), "-CAcreateserial", "-days", "2", "-out", path(name + ".pem"),
       "-extfile", path(name + ".ext")});
}

void TestCertificates::run(const QStringList& arguments) {
  if (!error_.isEmpty()) return;
  QProcess openssl;
  openssl.setProcessChannelMode(QProcess::MergedChannels);
  openssl.start(QStringLiteral("openssl"), arguments);
  if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit ||
      openssl.exitCode() != 0) {
    error_ = "openssl " + arguments.join(u' ') + ": " + openssl.errorString() + "\n" +
             QString::fromUtf8(openssl.readAll());
  }
}

}  // namespace taurelin
