// taurelin-client: sends one request to a Taurelin server and prints the answer.
//
//   taurelin-client [--host H] [--port P] [--table] INSTRUCTION [COLUMN=VALUE ...]
//   taurelin-client [--host H] [--port P] --line 'messageID=...&count=...&header=...&data=...'
//   taurelin-client --tls [--ca FILE] [--cert FILE --key FILE] ...
//
// A script must tell a refusal from an answer, and both from a server it cannot reach, so
// each has its own exit status (kExit... below).

#include "protocol/reply_envelope.h"
#include "protocol/windows1252.h"
#include "reply_table.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>

#include <cstdio>

namespace {

using namespace taurelin;

constexpr int kExitAnswered = 0;     // the answer carries no error code
constexpr int kExitUnreachable = 1;  // no connection, no verified TLS, or no whole answer
constexpr int kExitUsage = 2;        // a wrong command line
constexpr int kExitRefused = 3;      // answered with "&errorcode=": the request failed

void Print(FILE* stream, const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

// Frames an instruction and its column values as a one-row request.
QString Frame(const QStringList& words) {
  QStringList columns = {QStringLiteral("INSTRUKSJON")};
  QStringList values = {words.first()};
  for (const QString& pair : words.mid(1)) {
    const qsizetype equals = pair.indexOf(u'=');
    columns << (equals < 0 ? pair : pair.left(equals));
    values << (equals < 0 ? QString() : pair.mid(equals + 1));
  }
  return QStringLiteral("messageID=taurelin-client&count=1&header=") + columns.join(u';') +
         QStringLiteral("&data=") + values.join(u';') + u'\n';
}

QSslKey ReadKey(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray pem = file.readAll();
  for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
    const QSslKey key(pem, algorithm, QSsl::Pem, QSsl::PrivateKey);
    if (!key.isNull()) return key;
  }
  return {};
}

// The TLS set-up the options ask for; an empty text, or what is wrong with them. The server
// is verified against the system's CAs, or only against --ca: a server that cannot be
// verified is refused.
QString ConfigureTls(QSslSocket& socket, const QString& ca, const QString& cert,
                     const QString& key) {
  QSslConfiguration tls = socket.sslConfiguration();
  if (!ca.isEmpty()) {
    const QList<QSslCertificate> authorities = QSslCertificate::fromPath(ca, QSsl::Pem);
    if (authorities.isEmpty()) return QStringLiteral("cannot read the CA certificate %1").arg(ca);
    tls.setCaCertificates(authorities);
  }
  if (cert.isEmpty() != key.isEmpty()) return QStringLiteral("--cert and --key go together");
  if (!cert.isEmpty()) {
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(cert, QSsl::Pem);
    if (chain.isEmpty()) return QStringLiteral("cannot read the certificate %1").arg(cert);
    const QSslKey privateKey = ReadKey(key);
    if (privateKey.isNull()) return QStringLiteral("cannot read the private key %1").arg(key);
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(privateKey);
  }
  socket.setSslConfiguration(tls);
  return {};
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("taurelin-client"));
  QCoreApplication::setApplicationVersion(QStringLiteral(TAURELIN_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Sends one request to a Taurelin server and prints its answer.\n"
      "Example: taurelin-client KORT ANLEGGSNR=1\n\n"
      "Exit status: 0 answered; 1 no answer (the server cannot be reached, its\n"
      "certificate does not verify, or no whole answer came in time); 2 a wrong\n"
      "command line; 3 answered with an error code (printed all the same)."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("Server (default 127.0.0.1)."),
                                QStringLiteral("HOST"), QStringLiteral("127.0.0.1"));
  const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port (default 12000)."),
                                QStringLiteral("PORT"), QStringLiteral("12000"));
  const QCommandLineOption line(QStringLiteral("line"),
                                QStringLiteral("Send this request line as it stands."),
                                QStringLiteral("REQUEST"));
  const QCommandLineOption table(QStringLiteral("table"),
                                 QStringLiteral("Print the answer as a table."));
  const QCommandLineOption timeout(QStringLiteral("timeout"),
                                   QStringLiteral("Seconds to wait (default 10)."),
                                   QStringLiteral("SECONDS"), QStringLiteral("10"));
  const QCommandLineOption tls(QStringLiteral("tls"),
                               QStringLiteral("Speak TLS; the server's certificate must verify."));
  const QCommandLineOption ca(QStringLiteral("ca"),
                              QStringLiteral("With --tls: trust only this CA (PEM) for the "
                                             "server, instead of the system's."),
                              QStringLiteral("FILE"));
  const QCommandLineOption cert(QStringLiteral("cert"),
                                QStringLiteral("With --tls: present this client certificate "
                                               "(PEM)."),
                                QStringLiteral("FILE"));
  const QCommandLineOption key(QStringLiteral("key"),
                               QStringLiteral("With --tls: the client certificate's private "
                                              "key (PEM, unencrypted)."),
                               QStringLiteral("FILE"));
  parser.addOptions({host, port, line, table, timeout, tls, ca, cert, key});
  parser.addPositionalArgument(QStringLiteral("instruction"),
                               QStringLiteral("The instruction keyword, e.g. TEST-API."),
                               QStringLiteral("INSTRUCTION"));
  parser.addPositionalArgument(QStringLiteral("values"),
                               QStringLiteral("Column values of the row."),
                               QStringLiteral("[COLUMN=VALUE ...]"));
  parser.process(app);

  QString request;
  if (parser.isSet(line)) {
    request = parser.value(line);
    if (!request.endsWith(u'\n')) request += u'\n';
  } else if (!parser.positionalArguments().isEmpty()) {
    request = Frame(parser.positionalArguments());
  } else {
    Print(stderr, QStringLiteral("taurelin-client: name an instruction or give --line; see --help\n"));
    return kExitUsage;
  }

  QSslSocket socket;
  if (parser.isSet(tls)) {
    const QString wrong =
        ConfigureTls(socket, parser.value(ca), parser.value(cert), parser.value(key));
    if (!wrong.isEmpty()) {
      Print(stderr, QStringLiteral("taurelin-client: %1\n").arg(wrong));
      return kExitUsage;
    }
  } else if (parser.isSet(ca) || parser.isSet(cert) || parser.isSet(key)) {
    Print(stderr, QStringLiteral("taurelin-client: --ca, --cert and --key go with --tls\n"));
    return kExitUsage;
  }

  bool portOk = false;
  const quint16 portNumber = static_cast<quint16>(parser.value(port).toUInt(&portOk));
  const int waitMs = parser.value(timeout).toInt() * 1000;
  if (parser.isSet(tls)) {
    socket.connectToHostEncrypted(parser.value(host), portNumber);
  } else {
    socket.connectToHost(parser.value(host), portNumber);
  }
  if (!portOk || !socket.waitForConnected(waitMs) ||
      (parser.isSet(tls) && !socket.waitForEncrypted(waitMs))) {
    Print(stderr, QStringLiteral("taurelin-client: cannot reach %1:%2: %3\n")
                      .arg(parser.value(host), parser.value(port), socket.errorString()));
    return kExitUnreachable;
  }
  socket.write(ToWindows1252(request));
  QByteArray answer;
  while (!answer.endsWith('\n')) {
    if (!socket.waitForReadyRead(waitMs)) {
      Print(stderr, QStringLiteral("taurelin-client: no complete answer: %1\n").arg(socket.errorString()));
      return kExitUnreachable;
    }
    answer += socket.readAll();
  }
  const QString text = FromWindows1252(answer);
  Print(stdout, parser.isSet(table) ? FormatReplyTable(text) : text);
  return ReplyEnvelope::Read(text).errorCode().isEmpty() ? kExitAnswered : kExitRefused;
}
