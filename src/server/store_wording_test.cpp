#include "server/store_wording.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace taurelin {
namespace {

class RecordedMessages : public OperatorMessages {
 public:
  void showError(const QString& text) override { shown << "error: " + text; }
  void showMessage(const QString& text) override { shown << "message: " + text; }
  void showNotice(const QString& text) override { shown << "notice: " + text; }
  QStringList shown;
};

// The operator has always read these words, character for character; an empty alias ends
// the first with its blank. Only an outage reaches the log.
TEST(StoreWordingTest, EachConditionIsShownInItsWordsAndOutagesAreLogged) {
  RecordedMessages messages;
  QStringList logged;
  OperatorStoreReports reports(messages, [&](const QString& line) { logged << line; });
  for (const StoreReport& report : QList<StoreReport>{
           {StoreCondition::kCannotConnect, "nope", {}},
           {StoreCondition::kCannotConnect, {}, {}},
           {StoreCondition::kRentalTypesUnreadable, "nope", {}},
           {StoreCondition::kCapacityUnknown, {}, {}},
           {StoreCondition::kUnreachable, "demo", "  unable to open\n database file."},
           {StoreCondition::kAnswersAgain, "demo", {}}}) {
    reports.report(report);
  }
  const QString lost = "The database demo is unreachable: unable to open database file. "
                       "Requests that need it fail until it answers.";
  const QString back = "The database demo answers again.";
  const QString refused =
      "error: Kan ikke opprette forbindelse med databasen angitt ved aliasnavnet ";
  EXPECT_EQ(messages.shown,
            QStringList({refused + "nope", refused,
                         "message: Feiler på åpning av utleietyper ved database 'nope'.",
                         "notice: Feil ved henting av antall enheter", "notice: " + lost,
                         "notice: " + back}));
  EXPECT_EQ(logged, QStringList({lost, back}));
}

}  // namespace
}  // namespace taurelin
