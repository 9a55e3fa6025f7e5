#include "store/occupancy_engine.h"

#include <gtest/gtest.h>

#include <climits>

namespace taurelin {
namespace {

constexpr auto kNotFree = OccupancyCounter::NotFree;
constexpr auto kAgent = OccupancyCounter::AgentAllotment;

QDate April(int day) { return QDate(2000, 4, 1).addDays(day - 1); }

OccupiedLine Occupied(int facility, int type, QDate arrival, QDate departure, int units) {
  return OccupiedLine{facility, type, arrival, departure, units};
}

AllotmentLine Allotment(const char* kind, int units, int daysBefore, QDate from, QDate to,
                        int agent = 7, int facility = 1, int type = 5) {
  return AllotmentLine{agent, facility, QString::fromLatin1(kind), units, daysBefore, from, to,
                       type};
}

UsedAllotment Used(QDate day, const char* kind, int units, int daysBefore, QDate from,
                   int agent = 7) {
  return UsedAllotment{day, 1, units, 5, QString::fromLatin1(kind), daysBefore, from, agent};
}

class OccupancyEngineTest : public ::testing::Test {
 protected:
  OccupancyEngineTest() {
    engine_.setLayout({{1, 5}, {1, 6}, {2, 5}, {3, 5}}, {1, 2});
  }

  void Load(QDate from, QDate to, const QList<OccupiedLine>& occupied,
            const QList<AllotmentLine>& allotments = {}, const QList<UsedAllotment>& used = {},
            int agentFilter = -1) {
    engine_.load(OccupancyPeriod{from, to, April(1), agentFilter}, occupied, allotments, used);
  }

  // Counter values of facility 1, type 5 for each day from `from` to `to`.
  QList<qint64> Days(QDate from, QDate to, OccupancyCounter counter = kNotFree,
                     int facility = 1) const {
    QList<qint64> values;
    for (QDate day = from; day <= to; day = day.addDays(1)) {
      values.append(engine_.dayValue(facility, 5, day, counter));
    }
    return values;
  }

  OccupancyEngine engine_;
};

// Period 8 to 14 April, today 1 April: two overlapping stays, a "K" allotment released
// three days ahead, and a stay that takes one unit from that allotment.
TEST_F(OccupancyEngineTest, WorkedExampleCountsEachNight) {
  Load(April(8), April(14),
       {Occupied(1, 5, April(7), April(10), 2), Occupied(1, 5, April(9), April(12), 1),
        Occupied(1, 5, April(10), April(11), 1)},
       {Allotment("K", 4, 3, April(10), April(11))},
       {Used(April(10), "K", 1, 3, April(10))});
  EXPECT_EQ(Days(April(8), April(13)), QList<qint64>({2, 3, 5, 5, 0, 0}));
  EXPECT_EQ(engine_.maxOverStay(1, 5, April(8), April(14), kNotFree), 5);
  // The agent's own allotment: held 4, one used on the 10th; stays never count here.
  EXPECT_EQ(Days(April(8), April(13), kAgent), QList<qint64>({0, 0, 3, 4, 0, 0}));
  EXPECT_EQ(engine_.maxOverStay(1, 5, April(8), April(14), kAgent), 4);
}

TEST_F(OccupancyEngineTest, AgentFilterAdmitsOnlyItsAgent) {
  const QList<AllotmentLine> allotments = {Allotment("P", 2, 0, April(10), April(12), 7),
                                           Allotment("P", 3, 0, April(10), April(12), 8)};
  Load(April(8), April(14), {}, allotments, {}, 8);
  EXPECT_EQ(engine_.dayValue(1, 5, April(10), kAgent), 3);
  EXPECT_EQ(engine_.dayValue(1, 5, April(10), kNotFree), 5);  // every agent's holds the unit
  Load(April(8), April(14), {}, allotments, {}, -1);
  EXPECT_EQ(engine_.dayValue(1, 5, April(10), kAgent), 5);
}

TEST_F(OccupancyEngineTest, SameDayAndReversedDates) {
  Load(April(8), April(14),
       {Occupied(1, 5, April(9), April(9), 3), Occupied(1, 5, April(12), April(11), 4)});
  // A same-day line counts its day; a line that departs before it arrives counts nothing.
  EXPECT_EQ(Days(April(8), April(12)), QList<qint64>({0, 3, 0, 0, 0}));
  // A stay on one day looks at that day alone.
  EXPECT_EQ(engine_.maxOverStay(1, 5, April(9), April(9), kNotFree), 3);
  EXPECT_EQ(engine_.maxOverStay(1, 5, April(10), April(10), kNotFree), 0);
  // Departure before arrival: nothing is occupied.
  EXPECT_EQ(engine_.maxOverStay(1, 5, April(12), April(8), kNotFree), 0);
  // The departure day is not a night of the stay.
  EXPECT_EQ(engine_.maxOverStay(1, 5, April(8), April(9), kNotFree), 0);
}

TEST_F(OccupancyEngineTest, AllotmentKindsHoldDifferentDays) {
  // Same dates: "P" holds up to TIL, TIL excluded; "K" holds TIL too.
  Load(April(8), April(14), {}, {Allotment("P", 1, 0, April(10), April(12))});
  EXPECT_EQ(Days(April(9), April(13)), QList<qint64>({0, 1, 1, 0, 0}));
  Load(April(8), April(14), {}, {Allotment("K", 1, 0, April(10), April(12))});
  EXPECT_EQ(Days(April(9), April(13)), QList<qint64>({0, 1, 1, 1, 0}));
  // A "P" line of one day holds that day.
  Load(April(8), April(14), {}, {Allotment("P", 1, 0, April(10), April(10))});
  EXPECT_EQ(Days(April(9), April(11)), QList<qint64>({0, 1, 0}));
  // Other kinds, also in lower case, hold nothing.
  Load(April(8), April(14), {},
       {Allotment("k", 1, 0, April(10), April(12)), Allotment("X", 1, 0, April(10), April(12))});
  EXPECT_EQ(engine_.maxOverStay(1, 5, April(8), April(14), kNotFree), 0);
}

TEST_F(OccupancyEngineTest, ReleaseHorizonOfAllotments) {
  // Today is 1 April. "K" with 10 days ahead: the horizon is the 11th, so only the days after
  // it are still held.
  Load(April(8), April(14), {}, {Allotment("K", 1, 10, April(9), April(13))});
  EXPECT_EQ(Days(April(8), April(14)), QList<qint64>({0, 0, 0, 0, 1, 1, 0}));
  // A horizon on TIL releases the whole "K" line.
  Load(April(8), April(14), {}, {Allotment("K", 1, 12, April(9), April(13))});
  EXPECT_EQ(engine_.maxOverStay(1, 5, April(8), April(14), kNotFree), 0);
  // "P" is released all at once: a horizon on FRA releases every day, also the later ones.
  Load(April(8), April(14), {}, {Allotment("P", 1, 8, April(9), April(13))});
  EXPECT_EQ(engine_.maxOverStay(1, 5, April(8), April(14), kNotFree), 0);
  Load(April(8), April(14), {}, {Allotment("P", 1, 7, April(9), April(13))});
  EXPECT_EQ(engine_.maxOverStay(1, 5, April(8), April(14), kNotFree), 1);
}

TEST_F(OccupancyEngineTest, UsedAllotmentComesOffOnlyWhereItIsHeld) {
  // "K", horizon the 11th: a use on the 11th is already released, one on the 12th is not.
  Load(April(8), April(14), {Occupied(1, 5, April(8), April(14), 2)}, {},
       {Used(April(11), "K", 1, 10, April(9)), Used(April(12), "K", 1, 10, April(9))});
  EXPECT_EQ(Days(April(10), April(13)), QList<qint64>({2, 2, 1, 2}));
  // "P" whose FRA lies within the horizon: released, nothing comes off.
  Load(April(8), April(14), {Occupied(1, 5, April(8), April(14), 2)}, {},
       {Used(April(12), "P", 1, 8, April(9))});
  EXPECT_EQ(engine_.maxOverStay(1, 5, April(12), April(13), kNotFree), 2);
  // "K" with no FRA (its allotment line is gone): the horizon alone decides.
  Load(April(8), April(14), {}, {}, {Used(April(12), "K", 1, 10, QDate())});
  EXPECT_EQ(engine_.dayValue(1, 5, April(12), kNotFree), -1);
}

TEST_F(OccupancyEngineTest, MoreUsedThanHeldStaysAtLeastZero) {
  Load(April(8), April(14), {}, {},
       {Used(April(9), "P", 3, 0, April(9)), Used(April(10), "P", 1, 0, April(9))});
  EXPECT_EQ(Days(April(8), April(11)), QList<qint64>({0, -3, -1, 0}));
  EXPECT_EQ(engine_.maxOverStay(1, 5, April(9), April(11), kNotFree), 0);
  EXPECT_EQ(engine_.maxOverStay(1, 5, April(9), April(11), kAgent), 0);
}

TEST_F(OccupancyEngineTest, AllFacilitiesSumTheFacilityList) {
  // Facility 3 has a row but is not in the list of facilities; type 6 only at facility 1.
  Load(April(8), April(14),
       {Occupied(1, 5, April(9), April(11), 2), Occupied(2, 5, April(10), April(12), 3),
        Occupied(3, 5, April(8), April(14), 50), Occupied(1, 6, April(9), April(10), 1)});
  EXPECT_EQ(Days(April(8), April(12), kNotFree, -1), QList<qint64>({0, 2, 5, 3, 0}));
  EXPECT_EQ(engine_.maxOverStay(-1, 5, April(8), April(14), kNotFree), 5);
  EXPECT_EQ(engine_.maxOverStay(-1, 6, April(8), April(14), kNotFree), 1);
  // Reading one facility stays that facility's.
  EXPECT_EQ(engine_.maxOverStay(2, 5, April(8), April(14), kNotFree), 3);
  EXPECT_EQ(engine_.maxOverStay(2, 6, April(8), April(14), kNotFree), 0);
}

TEST_F(OccupancyEngineTest, LinesAreClippedToThePeriod) {
  Load(April(8), April(10),
       {Occupied(1, 5, April(1), April(30), 1), Occupied(1, 5, April(2), April(8), 10),
        Occupied(1, 5, April(11), April(12), 10), Occupied(1, 5, April(10), April(10), 2)});
  EXPECT_EQ(Days(April(7), April(11)), QList<qint64>({0, 1, 1, 3, 0}));
  // A stay reaching past the loaded period finds nothing there.
  EXPECT_EQ(engine_.maxOverStay(1, 5, April(11), April(20), kNotFree), 0);
}

TEST_F(OccupancyEngineTest, LongStaysAndUnknownNumbersStayInBounds) {
  const QDate from = April(1);
  const QDate to = from.addDays(400);
  Load(from, to,
       {Occupied(1, 5, from, to, 1), Occupied(1, 5, from.addDays(399), from.addDays(400), 4),
        Occupied(99999, 5, from, to, 7), Occupied(1, INT_MAX, from, to, 7),
        Occupied(INT_MIN, -1, from, to, 7)});
  EXPECT_EQ(engine_.maxOverStay(1, 5, from, to, kNotFree), 5);
  EXPECT_EQ(engine_.dayValue(1, 5, from.addDays(399), kNotFree), 5);
  EXPECT_EQ(engine_.maxOverStay(-1, 5, from, to, kNotFree), 5);
  const QList<std::pair<int, int>> outside = {
      {99999, 5}, {1, INT_MAX}, {INT_MIN, -1}, {-1, INT_MIN}, {INT_MAX, INT_MAX}};
  for (const auto& [facility, type] : outside) {
    EXPECT_FALSE(engine_.hasRow(facility, type));
    EXPECT_EQ(engine_.maxOverStay(facility, type, from, to, kNotFree), 0);
    EXPECT_EQ(engine_.dayValue(facility, type, from, kNotFree), 0);
  }
  // Dates at the ends of the calendar are just far away.
  EXPECT_EQ(engine_.maxOverStay(1, 5, QDate(1, 1, 1), QDate(9999, 12, 31), kNotFree), 5);
  EXPECT_EQ(engine_.maxOverStay(1, 5, QDate(), to, kNotFree), 0);
}

TEST_F(OccupancyEngineTest, LoadReplacesTheEarlierPeriod) {
  Load(April(8), April(14), {Occupied(1, 5, April(8), April(14), 4)});
  Load(April(20), April(21), {Occupied(1, 5, April(20), April(21), 1)});
  EXPECT_EQ(engine_.dayValue(1, 5, April(9), kNotFree), 0);
  EXPECT_EQ(engine_.dayValue(1, 5, April(20), kNotFree), 1);
  // A new layout drops what was loaded.
  engine_.setLayout({{1, 5}}, {1});
  EXPECT_EQ(engine_.dayValue(1, 5, April(20), kNotFree), 0);
}

}  // namespace
}  // namespace taurelin
