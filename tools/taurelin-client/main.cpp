// taurelin-client: sends one request to a Taurelin server and prints the answer.
//
//   taurelin-client [--host H] [--port P] [--table] INSTRUCTION [COLUMN=VALUE ...]
//   taurelin-client [--host H] [--port P] --line 'messageID=...&count=...&header=...&data=...'

#include "protocol/windows1252.h"
#include "reply_table.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTcpSocket>

#include <cstdio>

namespace {

using namespace taurelin;

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

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("taurelin-client"));
  QCoreApplication::setApplicationVersion(QStringLiteral(TAURELIN_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Sends one request to a Taurelin server and prints its answer.\n"
      "Example: taurelin-client KORT ANLEGGSNR=1"));
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
  parser.addOptions({host, port, line, table, timeout});
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
    return 2;
  }

  bool portOk = false;
  const quint16 portNumber = static_cast<quint16>(parser.value(port).toUInt(&portOk));
  const int waitMs = parser.value(timeout).toInt() * 1000;
  QTcpSocket socket;
  socket.connectToHost(parser.value(host), portNumber);
  if (!portOk || !socket.waitForConnected(waitMs)) {
    Print(stderr, QStringLiteral("taurelin-client: cannot reach %1:%2: %3\n")
                      .arg(parser.value(host), parser.value(port), socket.errorString()));
    return 1;
  }
  socket.write(ToWindows1252(request));
  QByteArray answer;
  while (!answer.endsWith('\n')) {
    if (!socket.waitForReadyRead(waitMs)) {
      Print(stderr, QStringLiteral("taurelin-client: no complete answer: %1\n").arg(socket.errorString()));
      return 1;
    }
    answer += socket.readAll();
  }
  const QString text = FromWindows1252(answer);
  Print(stdout, parser.isSet(table) ? FormatReplyTable(text) : text);
  return 0;
}
