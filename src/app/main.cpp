// taurelin-api: the booking interface server.

#include "protocol/parser.h"
#include "protocol/windows1252.h"
#include "server/builtin_test_request.h"
#include "server/configuration_store.h"
#include "server/operation_log.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLocale>
#include <QSettings>

#include <cstdio>

namespace {

using namespace taurelin;

// Runs the built-in test request as the operator's Test command does and prints the answer
// as the bytes a client would receive.
int RunBuiltInTest(QSettings& configuration) {
  RequestContext context;
  context.writeLog = &WriteLogLine;
  context.handlers.configuration = &configuration;
  const QString answer = ProcessRequest(BuiltInTestRequest(), context);
  WriteLogLine(QStringLiteral("Respons : ") + answer);
  const QByteArray bytes = ToWindows1252(answer);
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("taurelin-api"));
  QCoreApplication::setApplicationVersion(QStringLiteral(TAURELIN_VERSION));
  // Numbers are written with "." whatever the host's language.
  QLocale::setDefault(QLocale::c());

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Taurelin Internet booking interface: answers a web shop's booking requests over TCP."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(
      QStringLiteral("instance"),
      QStringLiteral("Instance name: selects the configuration group and the log file."),
      QStringLiteral("[INSTANCE]"));
  const QCommandLineOption configOption(
      QStringLiteral("config"),
      QStringLiteral("Configuration file (default: $TAURELIN_CONFIG, else "
                     "~/.config/Vindrelok/Taurelin.conf)."),
      QStringLiteral("FILE"));
  const QCommandLineOption testOption(
      QStringLiteral("test"),
      QStringLiteral("Run the built-in test request, print its answer and exit."));
  parser.addOption(configOption);
  parser.addOption(testOption);
  parser.process(app);

  const QStringList positional = parser.positionalArguments();
  const QString instance = positional.isEmpty() ? QString() : positional.first();
  ProcessLog().setBaseName(OperationLog::BaseNameFor(instance));

  const auto configuration = OpenConfigurationStore(parser.value(configOption));
  if (parser.isSet(testOption)) {
    try {
      return RunBuiltInTest(*configuration);
    } catch (const std::exception& failure) {
      std::fprintf(stderr, "taurelin-api: %s\n", failure.what());
      return 1;
    }
  }

  std::fputs("taurelin-api: serving clients is not built yet; only --test, --version and "
             "--help work.\n",
             stderr);
  return 2;
}
