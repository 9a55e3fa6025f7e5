#include "server/store_wording.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace taurelin {
namespace {

// Records how each text would have been shown, in order.
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
  reports.report({StoreCondition::kCannotConnect, QStringLiteral("nope"), {}});
  reports.report({StoreCondition::kCannotConnect, QString(), {}});
  reports.report({StoreCondition::kRentalTypesUnreadable, QStringLiteral("nope"), {}});
  reports.report({StoreCondition::kCapacityUnknown, {}, {}});
  reports.report({StoreCondition::kUnreachable, QStringLiteral("demo"),
                  QStringLiteral("  unable to open\n database file.")});
  reports.report({StoreCondition::kAnswersAgain, QStringLiteral("demo"), {}});
  const QString lost = QStringLiteral(
      "The database demo is unreachable: unable to open database file. Requests that need it "
      "fail until it answers.");
  const QString back = QStringLiteral("The database demo answers again.");
  EXPECT_EQ(messages.shown,
            QStringList({"error: Kan ikke opprette forbindelse med databasen angitt ved "
                         "aliasnavnet nope",
                         "error: Kan ikke opprette forbindelse med databasen angitt ved "
                         "aliasnavnet ",
                         "message: Feiler på åpning av utleietyper ved database 'nope'.",
                         "notice: Feil ved henting av antall enheter", "notice: " + lost,
                         "notice: " + back}));
  EXPECT_EQ(logged, QStringList({lost, back}));
}

}  // namespace
}  // namespace taurelin
