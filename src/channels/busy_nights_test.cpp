#include "channels/busy_nights.h"

#include <gtest/gtest.h>

#include <QSet>

namespace taurelin {
namespace {

const QDate kToday(2026, 12, 10);

// A matrix of types 2 and 3 in which type 2 is busy on `busy` (and type 3 never is); it
// counts the spans asked and refuses one longer than the store would answer.
struct FakeMatrix {
  QSet<QDate> busy;
  QList<std::pair<QDate, QDate>> asked;

  MatrixSpan reader() {
    return [this](const QDate& from, const QDate& to) {
      EXPECT_LE(from.daysTo(to) + 1, kMaxMatrixDays);
      asked.append({from, to});
      QList<AvailabilityDay> days;
      for (int type : {2, 3}) {
        for (QDate day = from; day <= to; day = day.addDays(1)) {
          days.append({type, day, type == 2 && busy.contains(day) ? 0 : 1, 0});
        }
      }
      return days;
    };
  }
  void busyFrom(const QDate& first, int nights) {
    for (int i = 0; i < nights; ++i) busy.insert(first.addDays(i));
  }
};

TEST(BusyNightsTest, ConsecutiveNightsAreOneRunAndAFreeNightSplitsThem) {
  const QList<AvailabilityDay> days{{2, QDate(2026, 12, 12), 0, 0}, {2, QDate(2026, 12, 13), -1, 0},
                                    {2, QDate(2026, 12, 14), 0, 0}, {2, QDate(2026, 12, 15), 1, 0},
                                    {2, QDate(2026, 12, 16), 0, 0}, {3, QDate(2026, 12, 17), 0, 0}};
  EXPECT_EQ(BusyRuns(days, 2),
            (QList<BusyRun>{{QDate(2026, 12, 12), QDate(2026, 12, 15)},
                            {QDate(2026, 12, 16), QDate(2026, 12, 17)}}));
}

TEST(BusyNightsTest, ARunThatTakesInTodayStartsWhereItBegan) {
  FakeMatrix matrix;
  matrix.busyFrom(kToday.addDays(-4), 6);
  const auto runs = BusyNightsAhead(2, kToday, 30, matrix.reader());
  ASSERT_TRUE(runs);
  EXPECT_EQ(*runs, (QList<BusyRun>{{kToday.addDays(-4), kToday.addDays(2)}}));

  // A run that ended yesterday is in the past, and the span before today is not read.
  FakeMatrix past;
  past.busyFrom(kToday.addDays(-4), 4);
  EXPECT_EQ(*BusyNightsAhead(2, kToday, 30, past.reader()), QList<BusyRun>{});
  EXPECT_EQ(past.asked.size(), 1);
}

TEST(BusyNightsTest, SpansOfTheMatrixLimitJoinIntoOneRun) {
  FakeMatrix matrix;
  const QDate across = kToday.addDays(kMaxMatrixDays - 2);
  matrix.busyFrom(across, 5);
  matrix.busyFrom(kToday.addDays(729), 3);  // the last night covered, and two past it
  const auto runs = BusyNightsAhead(2, kToday, 730, matrix.reader());
  ASSERT_TRUE(runs);
  EXPECT_EQ(*runs, (QList<BusyRun>{{across, across.addDays(5)},
                                   {kToday.addDays(729), kToday.addDays(730)}}));
  EXPECT_EQ(matrix.asked.size(), 2);
  EXPECT_EQ(matrix.asked.last().second, kToday.addDays(729));
}

TEST(BusyNightsTest, AFreeTypeHasNoRunAndAnUnsoldTypeIsNone) {
  FakeMatrix matrix;
  matrix.busyFrom(kToday, 3);
  const auto free = BusyNightsAhead(3, kToday, 730, matrix.reader());
  ASSERT_TRUE(free);
  EXPECT_TRUE(free->isEmpty());
  EXPECT_FALSE(BusyNightsAhead(4, kToday, 730, matrix.reader()));
}

}  // namespace
}  // namespace taurelin
