#include "server/store_wording.h"

namespace taurelin {
namespace {

// The driver's message on one line, without its final full stop: it stands inside a sentence.
QString Sentence(const QString& error) {
  QString text = error.simplified();
  while (text.endsWith(u'.')) text.chop(1);
  return text;
}

}  // namespace

QString StoreReportText(const StoreReport& report) {
  switch (report.condition) {
    case StoreCondition::kCannotConnect:
      return QStringLiteral("Kan ikke opprette forbindelse med databasen angitt ved aliasnavnet ") +
             report.database;
    case StoreCondition::kRentalTypesUnreadable:
      return QStringLiteral("Feiler på åpning av utleietyper ved database '") + report.database +
             QStringLiteral("'.");
    case StoreCondition::kCapacityUnknown:
      return QStringLiteral("Feil ved henting av antall enheter");
    case StoreCondition::kUnreachable:
      return QStringLiteral("The database %1 is unreachable: %2. Requests that need it "
                            "fail until it answers.")
          .arg(report.database, Sentence(report.detail));
    case StoreCondition::kAnswersAgain:
      return QStringLiteral("The database %1 answers again.").arg(report.database);
  }
  return QString();
}

OperatorStoreReports::OperatorStoreReports(OperatorMessages& messages,
                                           std::function<void(const QString&)> log)
    : messages_(messages), log_(std::move(log)) {}

void OperatorStoreReports::report(const StoreReport& report) {
  const QString text = StoreReportText(report);
  switch (report.condition) {
    case StoreCondition::kCannotConnect:
      messages_.showError(text);
      return;
    case StoreCondition::kRentalTypesUnreadable:
      messages_.showMessage(text);
      return;
    case StoreCondition::kCapacityUnknown:
      messages_.showNotice(text);
      return;
    case StoreCondition::kUnreachable:
    case StoreCondition::kAnswersAgain:
      messages_.showNotice(text);
      if (log_) log_(text);
      return;
  }
}

}  // namespace taurelin
