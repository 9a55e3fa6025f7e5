#include "booking_data.h"

#include "admin/schema.h"
#include "store/alias_list.h"
#include "store/connection.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

namespace taurelin::bench {
namespace {

// ---- Randomness ---------------------------------------------------------------------------

// splitmix64: the standard library's distributions differ between library makers, and a
// seed must give the same business everywhere.
class Random {
 public:
  explicit Random(quint64 seed) : state_(seed) {}
  quint64 next() {
    quint64 z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // 0 <= result < n, for n > 0.
  int below(int n) { return static_cast<int>(((next() >> 32) * static_cast<quint64>(n)) >> 32); }
  int between(int low, int high) { return low + below(high - low + 1); }
  bool chance(int percent) { return below(100) < percent; }

 private:
  quint64 state_;
};

// ---- The business -------------------------------------------------------------------------

enum class Kind { kCabins, kResort, kHotel, kCamping };

struct FacilityPlan {
  const char* name;
  Kind kind;
  int objects;
  int company;
};

// 2,000 objects in all.
constexpr std::array<FacilityPlan, 10> kFacilities = {{
    {"Lyngvik Hyttegrend", Kind::kCabins, 180, 100},
    {"Havbris Feriesenter", Kind::kResort, 260, 100},
    {"Granheim Gjestehus", Kind::kHotel, 150, 100},
    {"Elvebredden Camping", Kind::kCamping, 300, 100},
    {"Kvitfjell Hyttetun", Kind::kCabins, 140, 200},
    {"Bryggen Fjordhotell", Kind::kHotel, 170, 200},
    {"Solstrand Camping", Kind::kCamping, 280, 200},
    {"Nordstrand Feriepark", Kind::kResort, 240, 200},
    {"Tindeheim Fjellstue", Kind::kHotel, 120, 300},
    {"Vikane Rorbuer", Kind::kCabins, 160, 300},
}};

struct RentalType {
  int number;
  const char* code;
  const char* description;
  char istat;  // H cabin, L apartment, R room, C camping
  int beds;
  int night;   // the night price at the main board this year, in kroner
};

constexpr std::array<RentalType, 12> kTypes = {{
    {1, "HY4", "Hytte 4 senger", 'H', 4, 1100},
    {2, "HY6", "Hytte 6 senger", 'H', 6, 1500},
    {3, "HY8", "Hytte 8 senger", 'H', 8, 1950},
    {4, "LEI2", "Leilighet 2 soverom", 'L', 4, 1250},
    {5, "LEI3", "Leilighet 3 soverom", 'L', 6, 1650},
    {6, "DBL", "Dobbeltrom", 'R', 2, 1390},
    {7, "ENK", "Enkeltrom", 'R', 1, 990},
    {8, "FAM", "Familierom", 'R', 4, 1790},
    {9, "SUI", "Suite", 'R', 2, 2690},
    {10, "CAMP", "Campingplass med strom", 'C', 4, 390},
    {11, "TELT", "Teltplass", 'C', 3, 220},
    {12, "BOB", "Bobilplass", 'C', 4, 340},
}};

const RentalType& TypeOf(int number) { return kTypes[static_cast<size_t>(number - 1)]; }

struct TypeShare {
  int type;
  int weight;
};

// The rental types of each kind of facility and their shares of its objects.
std::vector<TypeShare> TypesOf(Kind kind) {
  switch (kind) {
    case Kind::kCabins: return {{1, 30}, {2, 30}, {3, 15}, {4, 15}, {5, 10}};
    case Kind::kResort: return {{1, 20}, {2, 15}, {4, 20}, {5, 10}, {6, 25}, {8, 10}};
    case Kind::kHotel: return {{6, 50}, {7, 25}, {8, 15}, {9, 10}};
    case Kind::kCamping: return {{10, 45}, {11, 25}, {12, 20}, {1, 6}, {2, 4}};
  }
  return {};
}

int WingsOf(Kind kind) { return kind == Kind::kHotel || kind == Kind::kCabins ? 2 : 3; }

struct Board {
  int number;  // also its price method, the board type the web shop sees
  const char* description;
};

constexpr std::array<Board, 4> kBoards = {{{1, "Kun overnatting"},
                                           {2, "Overnatting med frokost"},
                                           {3, "Halvpensjon"},
                                           {4, "Helpensjon"}}};

// A price of a rental type: its board and method, whether the web sells it, and its amount
// as a share of the type's night price plus a fixed part. The first price of a type is its
// night price at the main board; a week price, where the type has one, comes second.
struct PricePlan {
  int board;
  int startDay;
  int days;
  bool web;
  int percent;
  int extra;
};

std::vector<PricePlan> PricesOf(char istat) {
  switch (istat) {
    case 'H':
      return {{1, 0, 1, true, 100, 0}, {1, 7, 7, true, 600, 0}, {1, 5, 2, true, 220, 0},
              {1, 7, 5, true, 420, 0}, {1, 0, 1, false, 85, 0}};
    case 'L':
      return {{1, 0, 1, true, 100, 0}, {1, 7, 7, true, 600, 0}, {1, 5, 2, true, 220, 0},
              {2, 0, 1, true, 100, 250}, {1, 0, 1, false, 85, 0}};
    case 'R':
      return {{2, 0, 1, true, 100, 0}, {3, 0, 1, true, 100, 450}, {2, 5, 2, true, 210, 0},
              {4, 0, 1, false, 100, 900}};
    default:
      return {{1, 0, 1, true, 100, 0}, {1, 7, 7, true, 600, 0}};
  }
}

struct Agent {
  int code;
  const char* name;
};

constexpr std::array<Agent, 8> kAgents = {{{1, "Nettbutikken"},
                                           {2, "Nordlys Reiser AS"},
                                           {3, "Vestkyst Turbyra"},
                                           {4, "Fjellguiden AS"},
                                           {5, "Dalen Turistkontor"},
                                           {6, "Kystreiser AS"},
                                           {7, "Fjordlandet Booking"},
                                           {8, "Skandinavisk Gruppereiser"}}};

// Agents 2 to 7 hold units at three facilities each.
constexpr int kAllotments = 18;
int AllotmentAgent(int allot) { return 2 + allot / 3; }
int AllotmentFacility(int allot) { return 1 + (3 * allot + allot / 3) % 10; }

// How often a stay of each length from 1 to 14 nights is booked; one stay in a hundred is a
// season rental of 15 to 60 nights.
constexpr std::array<int, 14> kNightWeights = {14, 16, 14, 10, 8, 6, 14, 2, 2, 2, 1, 1, 1, 5};
constexpr int kLongestStay = 60;

// How busy each month is, in percent of the busiest (July).
constexpr std::array<int, 12> kMonthWeights = {60, 90, 80, 70, 60, 90, 100, 80, 50, 50, 40, 70};

// The base business: 150,000 rental lines over 1,460 days; the year ahead is 365 of them.
constexpr qint64 kBasePairs = kBaseRentalLines / 2;
constexpr qint64 kBaseDays = 4 * 365;
constexpr qint64 kBaseAllotmentLines = 500;
constexpr int kYearAhead = 365;
// Room after the last arrival for its nights and for the allotments that start then.
constexpr int kAfterLastArrival = kLongestStay + 70;

// ---- The calendar of every object ---------------------------------------------------------

class Calendar {
 public:
  Calendar(int objects, int firstDay, int endDay)
      : first_(firstDay), days_(endDay - firstDay),
        busy_(static_cast<size_t>(objects) * static_cast<size_t>(days_), 0) {}

  // Whether the object is free on the days from `from` up to `until`, `until` excluded.
  bool isFree(int object, int from, int until) const {
    const uint8_t* day = slot(object, from);
    return std::none_of(day, day + (until - from), [](uint8_t busy) { return busy != 0; });
  }
  void take(int object, int from, int until) {
    uint8_t* day = slot(object, from);
    std::fill(day, day + (until - from), uint8_t{1});
  }

 private:
  uint8_t* slot(int object, int day) {
    return busy_.data() + static_cast<size_t>(object) * static_cast<size_t>(days_) +
           static_cast<size_t>(day - first_);
  }
  const uint8_t* slot(int object, int day) const {
    return const_cast<Calendar*>(this)->slot(object, day);
  }

  int first_;
  int days_;
  std::vector<uint8_t> busy_;
};

// ---- What the plan holds ------------------------------------------------------------------

struct RentalObject {
  int facility;
  int type;
  int wing;      // 0, 1, 2: the facility's wing A, B, C
  int pair;      // index into the (facility, type) pairs
  int number;    // running number within the facility
};

struct FacilityTypePair {
  int facility;
  int type;
  std::vector<int> objects;
};

struct Price {
  int id;  // PRIS_ID: the type times 100 plus its place among the type's prices
  int type;
  PricePlan plan;
};

struct Stay {  // one rental-type line and its object line
  int facility;
  int type;
  int arrival;
  int nights;
  int units;
  int object;         // the object the line names; -1: none (OBJNR '0')
  int adults;
  int children;
  int price;          // index into prices
  int allotmentLine;  // the allotment line whose units it uses; -1: none
};

struct Booking {
  int registered;
  int arrival;
  int agent;   // 0: booked directly, no agent
  int booker;  // -1: none yet (a reservation not confirmed)
  bool cancelled;
  int facility;
  int firstStay;
  int stays;
};

struct AllotmentLine {
  int allot;
  char kind;  // 'K' released day by day, 'P' all at once
  int units;
  int daysBefore;
  int from;
  int to;
  int type;
  bool holds;  // REQUEST 'A'; otherwise only asked for ('F')
};

// ---- Planning -----------------------------------------------------------------------------

class Plan {
 public:
  Plan(const QDate& today, qint64 pastPairs, int pastDays, qint64 pastAllotmentLines,
       int daysAhead, int aheadFactor)
      : pastPairs_(pastPairs), pastAllotmentLines_(pastAllotmentLines), firstDay_(-pastDays),
        daysAhead_(daysAhead), aheadFactor_(aheadFactor) {
    layOut();
    calendar_.emplace(static_cast<int>(objects_.size()), firstDay_, endDay());
    for (int day = firstDay_; day < daysAhead_; ++day) {
      monthWeight_.push_back(kMonthWeights[static_cast<size_t>(today.addDays(day).month() - 1)]);
    }
  }

  // The days ahead first, from a stream of its own, so that they never depend on the
  // history. At the base rate and a year ahead these are the base business's numbers.
  void make(quint64 seed) {
    Random ahead(seed);
    const qint64 aheadAllotments =
        kBaseAllotmentLines * aheadFactor_ * daysAhead_ / kBaseDays;
    const qint64 aheadPairs = kYearAheadRentalLines / 2 * aheadFactor_ * daysAhead_ / kYearAhead;
    const qint64 aheadUses = placeAllotments(ahead, 0, daysAhead_, aheadAllotments);
    placeStays(ahead, 0, daysAhead_, aheadPairs - aheadUses, true);
    if (firstDay_ < 0) {
      Random history(seed ^ 0x5EEDF00DCAFEULL);
      const qint64 pastUses = placeAllotments(history, firstDay_, 0, pastAllotmentLines_);
      placeStays(history, firstDay_, 0, pastPairs_ - pastUses, false);
    }
  }

  int firstDay() const { return firstDay_; }
  // The day after the last night that a stay or an allotment may take.
  int endDay() const { return daysAhead_ + kAfterLastArrival; }
  const std::vector<RentalObject>& objects() const { return objects_; }
  const std::vector<Price>& prices() const { return prices_; }
  const std::vector<Stay>& stays() const { return stays_; }
  const std::vector<Booking>& bookings() const { return bookings_; }
  const std::vector<AllotmentLine>& allotmentLines() const { return allotmentLines_; }
  int bookers() const { return bookers_; }

  // The amount of a price for a night (or package) starting on `day`, in kroner: the price
  // rises by 3 % a year, and its lines run a year each from today.
  static qint64 Amount(const Price& price, int year) {
    const double base = TypeOf(price.type).night * price.plan.percent / 100.0 + price.plan.extra;
    return std::llround(base * std::pow(1.03, year) / 10.0) * 10;
  }
  static int YearOf(int day) { return day >= 0 ? day / 365 : -((-day + 364) / 365); }

 private:
  void layOut() {
    for (int f = 0; f < static_cast<int>(kFacilities.size()); ++f) {
      const FacilityPlan& facility = kFacilities[static_cast<size_t>(f)];
      const std::vector<TypeShare> shares = TypesOf(facility.kind);
      int weights = 0;
      for (const TypeShare& share : shares) weights += share.weight;
      int placed = 0;
      for (size_t s = 0; s < shares.size(); ++s) {
        // The last type takes what rounding left, so the facility has its number exactly.
        const int count = s + 1 == shares.size()
                              ? facility.objects - placed
                              : facility.objects * shares[s].weight / weights;
        const int pair = static_cast<int>(pairs_.size());
        pairs_.push_back({f + 1, shares[s].type, {}});
        for (int i = 0; i < count; ++i) {
          pairs_.back().objects.push_back(static_cast<int>(objects_.size()));
          objects_.push_back({f + 1, shares[s].type,
                              static_cast<int>(s) % WingsOf(facility.kind), pair,
                              placed + i + 1});
        }
        placed += count;
      }
    }
    for (const RentalType& type : kTypes) {
      const std::vector<PricePlan> plans = PricesOf(type.istat);
      for (size_t k = 0; k < plans.size(); ++k) {
        prices_.push_back({type.number * 100 + static_cast<int>(k) + 1, type.number, plans[k]});
      }
    }
  }

  int randomObjectOf(Random& random, int facility) {
    int first = 0;
    for (int f = 1; f < facility; ++f) first += kFacilities[static_cast<size_t>(f - 1)].objects;
    return first + random.below(kFacilities[static_cast<size_t>(facility - 1)].objects);
  }

  // An object of the pair free from `from` up to `until`, looked for from a random one on;
  // -1 when every one is taken. `except` is skipped.
  int freeObject(Random& random, int pair, int from, int until, int except = -1) {
    const std::vector<int>& candidates = pairs_[static_cast<size_t>(pair)].objects;
    const int count = static_cast<int>(candidates.size());
    const int start = random.below(count);
    for (int k = 0; k < count; ++k) {
      const int object = candidates[static_cast<size_t>((start + k) % count)];
      if (object != except && calendar_->isFree(object, from, until)) return object;
    }
    return -1;
  }

  int arrivalDay(Random& random, int from, int until) {
    for (;;) {
      const int day = from + random.below(until - from);
      if (random.below(100) < monthWeight_[static_cast<size_t>(day - firstDay_)]) return day;
    }
  }

  int nights(Random& random) {
    if (random.chance(1)) return random.between(15, kLongestStay);
    int draw = random.below(96);
    for (size_t n = 0; n < kNightWeights.size(); ++n) {
      draw -= kNightWeights[n];
      if (draw < 0) return static_cast<int>(n) + 1;
    }
    return 1;
  }

  int priceFor(int type, int stayNights) const {
    const auto first = std::find_if(prices_.begin(), prices_.end(),
                                    [type](const Price& p) { return p.type == type; });
    const size_t main = static_cast<size_t>(first - prices_.begin());
    const bool hasWeek = main + 1 < prices_.size() && prices_[main + 1].type == type &&
                         prices_[main + 1].plan.days == 7;
    return static_cast<int>(stayNights == 7 && hasWeek ? main + 1 : main);
  }

  Stay makeStay(Random& random, int object, int arrival, int stayNights) const {
    const RentalObject& o = objects_[static_cast<size_t>(object)];
    const int beds = TypeOf(o.type).beds;
    const int adults = random.between(1, beds);
    const int children = adults < beds && random.chance(30) ? random.between(1, beds - adults) : 0;
    return {o.facility, o.type, arrival, stayNights, 1, object, adults, children,
            priceFor(o.type, stayNights), -1};
  }

  int newBooker(Random& random) {
    if (bookers_ == 0 || random.chance(70)) return bookers_++;
    return random.below(bookers_);
  }

  void addBooking(Random& random, int facility, int arrival, int agent, bool ahead,
                  bool cancelled, int firstStay) {
    Booking booking;
    // Booked up to a year before arrival, most of them within a month; never after today.
    const int lead = random.chance(50)   ? random.between(0, 30)
                     : random.chance(70) ? random.between(31, 120)
                                         : random.between(121, 300);
    booking.registered = arrival - lead;
    if (booking.registered > 0) booking.registered = -random.below(60);
    booking.arrival = arrival;
    booking.agent = agent;
    // A few reservations of the year ahead are not confirmed by a booker yet.
    booking.booker = ahead && agent == 1 && random.chance(5) ? -1 : newBooker(random);
    booking.cancelled = cancelled;
    booking.facility = facility;
    booking.firstStay = firstStay;
    booking.stays = static_cast<int>(stays_.size()) - firstStay;
    bookings_.push_back(booking);
  }

  // Stays of 1 to 14 nights (a few longer) arriving between `from` and `until`, until
  // `pairs` rental-type and object line pairs are placed. A stay that finds no free unit is
  // not sold; once as many have found none as were wanted, the calendar counts as full and
  // fewer are placed.
  void placeStays(Random& random, int from, int until, qint64 pairs, bool ahead) {
    qint64 placed = 0;
    qint64 missed = 0;
    while (placed < pairs) {
      const int arrival = arrivalDay(random, from, until);
      const int stayNights = nights(random);
      const int departure = arrival + stayNights;
      const int pair = objects_[static_cast<size_t>(random.below(static_cast<int>(objects_.size())))].pair;
      const int object = freeObject(random, pair, arrival, departure);
      if (object < 0) {
        if (++missed == pairs) break;
        continue;
      }
      const bool cancelled = random.chance(3);
      const int r = random.below(100);
      const int agent = r < 55 ? 1 : r < 70 ? random.between(2, 8) : 0;
      const int firstStay = static_cast<int>(stays_.size());
      Stay stay = makeStay(random, object, arrival, stayNights);
      if (!cancelled) calendar_->take(object, arrival, departure);
      // One web booking in ten takes two units of the type, naming no object.
      if (agent == 1 && random.chance(10)) {
        const int second = freeObject(random, pair, arrival, departure, object);
        if (second >= 0) {
          if (!cancelled) calendar_->take(second, arrival, departure);
          stay.units = 2;
          stay.object = -1;
        }
      }
      stays_.push_back(stay);
      ++placed;
      // Some bookings take a second unit of another kind for the same nights.
      if (placed < pairs && random.chance(12)) {
        const int other = objects_[static_cast<size_t>(randomObjectOf(random, stay.facility))].pair;
        const int extra = freeObject(random, other, arrival, departure);
        if (extra >= 0) {
          if (!cancelled) calendar_->take(extra, arrival, departure);
          stays_.push_back(makeStay(random, extra, arrival, stayNights));
          ++placed;
        }
      }
      addBooking(random, stay.facility, arrival, agent, ahead, cancelled, firstStay);
    }
  }

  // Allotment lines starting between `from` and `until`. Each line that holds units takes
  // real objects for its days, and its agent books some of them: those stays use the
  // allotment day by day. Returns the number of stays so booked.
  qint64 placeAllotments(Random& random, int from, int until, qint64 count) {
    qint64 uses = 0;
    for (qint64 i = 0; i < count; ++i) {
      for (int attempt = 0; attempt < 100; ++attempt) {
        AllotmentLine line;
        line.allot = random.below(kAllotments);
        const int facility = AllotmentFacility(line.allot);
        const int pair = objects_[static_cast<size_t>(randomObjectOf(random, facility))].pair;
        line.type = pairs_[static_cast<size_t>(pair)].type;
        line.from = random.between(from, until - 1);
        line.to = line.from + 7 + random.below(random.chance(70) ? 15 : 54);
        line.kind = random.chance(60) ? 'K' : 'P';
        line.daysBefore = std::array<int, 4>{7, 14, 21, 30}[static_cast<size_t>(random.below(4))];
        line.holds = random.chance(90);
        const int wanted = random.between(1, 4);
        std::vector<int> units;
        if (line.holds) {
          // TIL itself is held by a 'K' line: take the objects through it.
          for (int u = 0; u < wanted; ++u) {
            const int object = freeObject(random, pair, line.from, line.to + 1);
            if (object < 0) break;
            calendar_->take(object, line.from, line.to + 1);
            units.push_back(object);
          }
          if (units.empty()) continue;
        }
        line.units = line.holds ? static_cast<int>(units.size()) : wanted;
        const int number = static_cast<int>(allotmentLines_.size());
        allotmentLines_.push_back(line);
        if (line.holds && random.chance(60)) {
          const int agent = AllotmentAgent(line.allot);
          const int bookingsOfAgent = random.between(1, std::min(line.units, 3));
          for (int b = 0; b < bookingsOfAgent; ++b) {
            // Each of these stays has a held unit of its own, so the allotment is never
            // used beyond what it holds on a day.
            const int stayNights = random.between(2, 7);
            const int arrival = random.between(line.from, line.to - stayNights);
            const int firstStay = static_cast<int>(stays_.size());
            Stay stay = makeStay(random, units[static_cast<size_t>(b)], arrival, stayNights);
            stay.object = -1;
            stay.allotmentLine = number;
            stays_.push_back(stay);
            ++uses;
            addBooking(random, facility, arrival, agent, from >= 0, false, firstStay);
          }
        }
        break;
      }
    }
    return uses;
  }

  qint64 pastPairs_;
  qint64 pastAllotmentLines_;
  int firstDay_;
  int daysAhead_;
  int aheadFactor_;
  std::vector<RentalObject> objects_;
  std::vector<FacilityTypePair> pairs_;
  std::vector<Price> prices_;
  std::optional<Calendar> calendar_;
  std::vector<int> monthWeight_;  // by day, from the first day of the history
  std::vector<Stay> stays_;
  std::vector<Booking> bookings_;
  std::vector<AllotmentLine> allotmentLines_;
  int bookers_ = 0;
};

// ---- Writing ------------------------------------------------------------------------------

// A number, or NULL when not present.
struct OrNull {
  int value = 0;
  bool present = false;
};

// One prepared insert, run row after row.
class Insert {
 public:
  Insert(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) {
      error_ = QString::fromUtf8(sqlite3_errmsg(db));
    }
  }
  ~Insert() { sqlite3_finalize(statement_); }
  Insert(const Insert&) = delete;
  Insert& operator=(const Insert&) = delete;

  template <typename... Values>
  bool row(const Values&... values) {
    if (statement_ == nullptr) return false;
    int index = 0;
    (bind(++index, values), ...);
    const int result = sqlite3_step(statement_);
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    if (result != SQLITE_DONE) {
      error_ = QString::fromUtf8(sqlite3_errmsg(db_));
      return false;
    }
    return true;
  }
  const QString& error() const { return error_; }

 private:
  void bind(int i, int value) { sqlite3_bind_int(statement_, i, value); }
  void bind(int i, qint64 value) { sqlite3_bind_int64(statement_, i, value); }
  void bind(int i, std::nullptr_t) { sqlite3_bind_null(statement_, i); }
  void bind(int i, const OrNull& value) {
    if (value.present) sqlite3_bind_int(statement_, i, value.value);
  }
  void bind(int i, const char* text) {
    if (text != nullptr) sqlite3_bind_text(statement_, i, text, -1, SQLITE_STATIC);
  }
  void bind(int i, const char& letter) { sqlite3_bind_text(statement_, i, &letter, 1, SQLITE_STATIC); }
  void bind(int i, const QByteArray& text) {
    sqlite3_bind_text(statement_, i, text.constData(), static_cast<int>(text.size()), SQLITE_STATIC);
  }

  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
  QString error_;
};

QByteArray Wing(int facility, int wing) {
  return QByteArray::number(facility).rightJustified(2, '0') + char('A' + wing);
}

QByteArray ObjectNumber(const RentalObject& object) {
  return QByteArray::number(object.facility).rightJustified(2, '0') + '-' +
         QByteArray::number(object.number).rightJustified(4, '0');
}

class Writer {
 public:
  Writer(sqlite3* db, const Plan& plan, const QDate& today, quint64 seed)
      : db_(db), plan_(plan), seed_(seed) {
    for (int day = plan.firstDay() - 366; day < plan.endDay() + 2 * 366; ++day) {
      days_.push_back(today.addDays(day).toString(Qt::ISODate).toLatin1());
    }
  }

  bool write(BookingDataCounts* counts) {
    return business() && prices() && allotments() && bookings(counts) && numberSeries(counts);
  }
  const QString& error() const { return error_; }

 private:
  const QByteArray& day(int d) const { return days_[static_cast<size_t>(d - plan_.firstDay() + 366)]; }

  bool fail(const Insert& insert) {
    error_ = insert.error();
    return false;
  }

  bool business() {
    Insert facility(db_, "INSERT INTO ANLEGG (ANLEGGSNR, ANLEGGSNAVN, FORETAKSNR) VALUES (?, ?, ?)");
    Insert wing(db_, "INSERT INTO FLOY (FLOYKODE, ANLEGG, BESKR) VALUES (?, ?, ?)");
    Insert right(db_, "INSERT INTO BRUKERRETT (ANLEGGSNR, BRUKERID, MODUL_ID, RETTIGHET) "
                      "VALUES (?, ?, ?, ?)");
    for (int f = 1; f <= static_cast<int>(kFacilities.size()); ++f) {
      const FacilityPlan& plan = kFacilities[static_cast<size_t>(f - 1)];
      if (!facility.row(f, plan.name, plan.company)) return fail(facility);
      for (int w = 0; w < WingsOf(plan.kind); ++w) {
        const QByteArray name = QByteArrayLiteral("Avdeling ") + char('A' + w);
        if (!wing.row(Wing(f, w), f, name)) return fail(wing);
      }
      // The booking interface (user 0, module 1) sells everywhere; each front desk (user
      // 100 + facility) may only look at its own facility.
      if (!right.row(f, 0, 1, 2) || !right.row(f, 100 + f, 1, 1)) return fail(right);
    }
    Insert type(db_, "INSERT INTO UTYPE (UTYPE, KODE, BESKR, ANTENH, ISTAT) VALUES (?, ?, ?, ?, ?)");
    for (const RentalType& t : kTypes) {
      const auto units = std::count_if(plan_.objects().begin(), plan_.objects().end(),
                                       [&t](const RentalObject& o) { return o.type == t.number; });
      if (!type.row(t.number, t.code, t.description, static_cast<qint64>(units), t.istat)) {
        return fail(type);
      }
    }
    Insert object(db_, "INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE, BESKR) VALUES (?, ?, ?, ?)");
    for (const RentalObject& o : plan_.objects()) {
      const QByteArray name = QByteArray(TypeOf(o.type).description) + ' ' + QByteArray::number(o.number);
      if (!object.row(ObjectNumber(o), o.type, Wing(o.facility, o.wing), name)) return fail(object);
    }
    Insert agent(db_, "INSERT INTO AGENT (AKODE, NAVN) VALUES (?, ?)");
    for (const Agent& a : kAgents) {
      if (!agent.row(a.code, a.name)) return fail(agent);
    }
    Insert payment(db_, "INSERT INTO BETFORM (BKODE, BESKR, GYLDIG) VALUES (?, ?, ?)");
    if (!payment.row("FAKT", "Faktura", "N") || !payment.row("KORT", "Betalingskort", "J") ||
        !payment.row("KRED", "Kredittkort", nullptr) || !payment.row("NETT", "Nettbank", "J")) {
      return fail(payment);
    }
    Insert nation(db_, "INSERT INTO NASJON (NKODE, NAVN) VALUES (?, ?)");
    for (const auto& [code, name] : kNations) {
      if (!nation.row(code, name)) return fail(nation);
    }
    Insert goods(db_, "INSERT INTO VARE (VKODE, BESKR) VALUES (?, ?)");
    if (!goods.row("SENG", "Sengetoy per person") || !goods.row("VASK", "Sluttvask") ||
        !goods.row("VED", "Ved per sekk")) {
      return fail(goods);
    }
    return true;
  }

  bool prices() {
    Insert board(db_, "INSERT INTO PENSJON (PENSJON, BESKR, PRISMET) VALUES (?, ?, ?)");
    for (const Board& b : kBoards) {
      if (!board.row(b.number, b.description, b.number)) return fail(board);
    }
    Insert price(db_, "INSERT INTO PRIS (PRIS_ID, UTYPE, PENSJON, START_DAG, ANT_DAGER, WEB, BESKR) "
                      "VALUES (?, ?, ?, ?, ?, ?, ?)");
    Insert line(db_, "INSERT INTO PRISLINJE (PRIS_ID, FRA_DATO, TIL_DATO, PRIS_UKE, PRIS_WEEK) "
                     "VALUES (?, ?, ?, ?, ?)");
    const int firstYear = Plan::YearOf(plan_.firstDay());
    for (const Price& p : plan_.prices()) {
      // The web prices of a board share its description, so that they stand together.
      const char* description = p.plan.web ? kBoards[static_cast<size_t>(p.plan.board - 1)].description
                                            : "Firmaavtale";
      if (!price.row(p.id, p.type, p.plan.board, p.plan.startDay, p.plan.days,
                     p.plan.web ? "J" : "N", description)) {
        return fail(price);
      }
      if (!p.plan.web) {
        // An agreement runs open-ended from the first day of the history.
        if (!line.row(p.id, day(365 * firstYear), nullptr, Plan::Amount(p, 0), qint64{0})) {
          return fail(line);
        }
        continue;
      }
      // A line a year, from the first year of the history to two years ahead or past the
      // last stay; a night's price is dearer on Friday and Saturday.
      const int lastYear = std::max(1, Plan::YearOf(plan_.endDay() - 1));
      for (int year = firstYear; year <= lastYear; ++year) {
        const qint64 amount = Plan::Amount(p, year);
        const qint64 weekend = p.plan.days == 1 ? (amount * 115 / 100 + 5) / 10 * 10 : 0;
        if (!line.row(p.id, day(365 * year), day(365 * (year + 1)), amount, weekend)) {
          return fail(line);
        }
        ++priceLines_;
      }
    }
    priceLines_ += std::count_if(plan_.prices().begin(), plan_.prices().end(),
                                 [](const Price& p) { return !p.plan.web; });
    return true;
  }

  bool allotments() {
    Insert allot(db_, "INSERT INTO ALLOT (ALLOT_ID, AKODE, ANLEGGSNR) VALUES (?, ?, ?)");
    for (int a = 0; a < kAllotments; ++a) {
      if (!allot.row(a + 1, AllotmentAgent(a), AllotmentFacility(a))) return fail(allot);
    }
    // Numbered in the order they start.
    const std::vector<AllotmentLine>& lines = plan_.allotmentLines();
    std::vector<int> order(lines.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&lines](int a, int b) {
      return lines[static_cast<size_t>(a)].from < lines[static_cast<size_t>(b)].from;
    });
    allotmentNumber_.resize(lines.size());
    Insert line(db_, "INSERT INTO ALLOTLINJE (ALLOTLINJENR, ALLOT_ID, ALLOTTYPE, ANTALL, "
                     "DAGER_FOER, FRA, TIL, UTYPE, REQUEST) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    for (size_t rank = 0; rank < order.size(); ++rank) {
      const AllotmentLine& l = lines[static_cast<size_t>(order[rank])];
      const int number = static_cast<int>(rank) + 1;
      allotmentNumber_[static_cast<size_t>(order[rank])] = number;
      if (!line.row(number, l.allot + 1, l.kind, l.units, l.daysBefore, day(l.from), day(l.to),
                    l.type, l.holds ? 'A' : 'F')) {
        return fail(line);
      }
    }
    return true;
  }

  bool bookers() {
    static constexpr std::array<const char*, 12> kSurnames = {
        "Haugen", "Berg", "Strand", "Lunde", "Moen", "Dahl",
        "Solheim", "Vik", "Aas", "Nygard", "Lie", "Brekke"};
    static constexpr std::array<const char*, 12> kGivenNames = {
        "Ingrid", "Ola", "Sigrid", "Lars", "Marte", "Per",
        "Astrid", "Jonas", "Hanne", "Erik", "Silje", "Tor"};
    static constexpr std::array<const char*, 6> kTowns = {"Bergen", "Oslo", "Trondheim",
                                                          "Stavanger", "Tromso", "Alesund"};
    Random random(seed_ ^ 0xB00CE55ULL);
    Insert booker(db_, "INSERT INTO BESTILL (BESTNR, ENAVN, FNAVN, ADR, POSTNR, POSTSTED, NKODE, "
                       "TLF, FAX, MAIL, ANM) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    for (int b = 0; b < plan_.bookers(); ++b) {
      const char* surname = kSurnames[static_cast<size_t>(random.below(12))];
      const char* given = kGivenNames[static_cast<size_t>(random.below(12))];
      const QByteArray address = "Storgata " + QByteArray::number(random.between(1, 120));
      const QByteArray postcode = QByteArray::number(random.between(1000, 9999));
      const QByteArray phone = "+47 9" + QByteArray::number(random.between(1000000, 9999999));
      const QByteArray mail = QByteArray(given).toLower() + '.' + QByteArray(surname).toLower() +
                              QByteArray::number(b + 1) + "@example.no";
      const char* nation = kNations[static_cast<size_t>(random.chance(80) ? 0 : random.below(
                                                                 static_cast<int>(kNations.size())))]
                               .first;
      if (!booker.row(b + 1, surname, given, address, postcode,
                      kTowns[static_cast<size_t>(random.below(6))], nation, phone, "", mail, "")) {
        return fail(booker);
      }
    }
    return true;
  }

  bool bookings(BookingDataCounts* counts) {
    if (!bookers()) return false;
    // Reference numbers in the order the bookings were made.
    const std::vector<Booking>& all = plan_.bookings();
    std::vector<int> order(all.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&all](int a, int b) {
      const Booking& x = all[static_cast<size_t>(a)];
      const Booking& y = all[static_cast<size_t>(b)];
      return x.registered != y.registered ? x.registered < y.registered : x.arrival < y.arrival;
    });
    Insert header(db_,
                  "INSERT INTO BOOKING (REFNR, ANLEGGSNR, FORETAKSNR, FORMAL, REG_DATO, AKODE, "
                  "BESTNR, BEKREFT, BEKREFT_DATO, FAKTURER, RABATT, ANM, ANM_INT, FORSK_BET, "
                  "OPPR_AV, UTSJEKKET, STATUS, KUPONG, AVBESTILT, AGENT_KONTAKT) VALUES "
                  "(?, ?, ?, 0, ?, ?, ?, 'B', NULL, '', 0, '', '', '', 0, ?, 0, '', ?, NULL)");
    Insert typeLine(db_,
                    "INSERT INTO LEIE (LINJENR, REFNR, A_PRIS, ANKOMST, ANLEGG, ANT_BARN, "
                    "ANT_GRATIS, ANT_VOKSEN, ANTALL, AVREISE, FRITEKST, LEIETYPE, LINJE_EIER, "
                    "PENSJON, PRISKODE, PRISTYPE, STATKODE, UTYPE, STATUS) VALUES "
                    "(?, ?, ?, ?, ?, ?, 0, ?, ?, ?, '', 'U', 0, ?, ?, ?, ?, ?, ?)");
    Insert objectLine(db_,
                      "INSERT INTO LEIE (LINJENR, REFNR, UTYPE, ANLEGG, A_PRIS, RABATT, PENSJON, "
                      "PRISKODE, ANKOMST, AVREISE, ANTALL, STATKODE, OBJNR, TIL, ETTER, "
                      "ANT_VOKSEN, ANT_BARN, ANT_GRATIS, PRISTYPE, FLOYKODE, LEIETYPE, "
                      "LINJE_EIER, FAKT_STAT, STATUS) VALUES "
                      "(?, ?, ?, ?, ?, 0, ?, ?, ?, ?, ?, ?, ?, 'M', 'F', ?, ?, 0, ?, ?, 'O', ?, "
                      "'', ?)");
    Insert use(db_, "INSERT INTO LEIE_ALLOT (LINJENR, ALLOTLINJENR, DATO) VALUES (?, ?, ?)");
    qint64 line = 0;
    for (size_t rank = 0; rank < order.size(); ++rank) {
      const Booking& b = all[static_cast<size_t>(order[rank])];
      const int refnr = static_cast<int>(rank) + 1;
      const int departure = b.arrival + plan_.stays()[static_cast<size_t>(b.firstStay)].nights;
      const char* checkedOut = !b.cancelled && departure <= 0 ? "J" : nullptr;
      const OrNull agent{b.agent, b.agent > 0};
      const OrNull booker{b.booker + 1, b.booker >= 0};
      if (!header.row(refnr, b.facility, kFacilities[static_cast<size_t>(b.facility - 1)].company,
                      day(b.registered), agent, booker, checkedOut, b.cancelled ? 1 : 0)) {
        return fail(header);
      }
      const char* status = b.cancelled ? "A" : nullptr;
      for (int s = b.firstStay; s < b.firstStay + b.stays; ++s) {
        const Stay& stay = plan_.stays()[static_cast<size_t>(s)];
        const Price& price = plan_.prices()[static_cast<size_t>(stay.price)];
        const RentalType& type = TypeOf(stay.type);
        const qint64 amount = Plan::Amount(price, Plan::YearOf(stay.arrival)) *
                              (price.plan.days == 1 ? stay.nights : 1) * stay.units;
        const char priceType = price.plan.days == 7 ? 'U' : 'D';
        const int owner = static_cast<int>(++line);
        const int objectLineNumber = static_cast<int>(++line);
        const QByteArray& arrival = day(stay.arrival);
        const QByteArray& leaving = day(stay.arrival + stay.nights);
        if (!typeLine.row(owner, refnr, amount, arrival, stay.facility, stay.children,
                          stay.adults, stay.units, leaving, price.plan.board, price.id, priceType,
                          type.istat, stay.type, status)) {
          return fail(typeLine);
        }
        const RentalObject* object =
            stay.object >= 0 ? &plan_.objects()[static_cast<size_t>(stay.object)] : nullptr;
        const QByteArray objectNumber = object != nullptr ? ObjectNumber(*object) : "0";
        const QByteArray wing = object != nullptr ? Wing(object->facility, object->wing) : QByteArray();
        if (!objectLine.row(objectLineNumber, refnr, stay.type, stay.facility, amount,
                            price.plan.board, price.id, arrival, leaving, stay.units, type.istat,
                            objectNumber, stay.adults, stay.children, priceType,
                            object != nullptr ? wing.constData() : nullptr, owner, status)) {
          return fail(objectLine);
        }
        if (b.cancelled) counts->cancelledLines += 2;
        if (stay.allotmentLine < 0) continue;
        const int allotmentLine = allotmentNumber_[static_cast<size_t>(stay.allotmentLine)];
        for (int night = stay.arrival; night < stay.arrival + stay.nights; ++night) {
          if (!use.row(objectLineNumber, allotmentLine, day(night))) return fail(use);
          ++counts->allotmentUses;
        }
      }
    }
    counts->rentalLines = line;
    counts->bookings = static_cast<qint64>(all.size());
    return true;
  }

  // The last numbers handed out, so that new ones never meet the business's.
  bool numberSeries(BookingDataCounts* counts) {
    Insert set(db_, "UPDATE TELLER SET VERDI = ? WHERE NAVN = ?");
    if (!set.row(counts->bookings, "REFNR") || !set.row(counts->rentalLines, "LINJENR") ||
        !set.row(qint64{plan_.bookers()}, "BESTNR")) {
      return fail(set);
    }
    counts->facilities = static_cast<qint64>(kFacilities.size());
    counts->rentalTypes = static_cast<qint64>(kTypes.size());
    counts->rentalObjects = static_cast<qint64>(plan_.objects().size());
    counts->bookers = plan_.bookers();
    counts->allotmentLines = static_cast<qint64>(plan_.allotmentLines().size());
    counts->priceLines = priceLines_;
    return true;
  }

  static constexpr std::array<std::pair<const char*, const char*>, 8> kNations = {{
      {"N", "Norge"}, {"S", "Sverige"}, {"DK", "Danmark"}, {"FI", "Finland"},
      {"D", "Tyskland"}, {"NL", "Nederland"}, {"GB", "Storbritannia"}, {"PL", "Polen"}}};

  sqlite3* db_;
  const Plan& plan_;
  quint64 seed_;
  std::vector<QByteArray> days_;
  std::vector<int> allotmentNumber_;
  qint64 priceLines_ = 0;
  QString error_;
};

bool Fail(QString* error, const QString& text) {
  if (error != nullptr) *error = text;
  return false;
}

void RemoveDatabaseFiles(const QString& file) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) QFile::remove(file + QLatin1String(suffix));
}

bool Run(sqlite3* db, const char* sql, QString* error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  Fail(error, QString::fromUtf8(message != nullptr ? message : sqlite3_errmsg(db)));
  sqlite3_free(message);
  return false;
}

bool Generate(QSqlDatabase& database, const QString& file, const BookingDataOptions& options,
              BookingDataCounts* counts, QString* error) {
  if (!InstallSchema(database, false, error)) return false;
  const QVariant handle = database.driver()->handle();
  if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
    return Fail(error, QStringLiteral("%1 is no SQLite database").arg(file));
  }
  sqlite3* db = *static_cast<sqlite3* const*>(handle.constData());

  // The history reaches back as far as its lines need at the base business's rate.
  const qint64 pastPairs = options.rentalLines / 2 - kYearAheadRentalLines / 2;
  const qint64 basePastPairs = kBasePairs - kYearAheadRentalLines / 2;
  const qint64 basePastDays = kBaseDays - kYearAhead;
  const int pastDays = static_cast<int>((pastPairs * basePastDays + basePastPairs / 2) / basePastPairs);
  const qint64 pastAllotmentLines =
      (pastDays * kBaseAllotmentLines + kBaseDays / 2) / kBaseDays;
  Plan plan(options.today, pastPairs, pastDays, pastAllotmentLines, options.daysAhead,
            options.aheadFactor);
  plan.make(options.seed);

  // One transaction; nothing of it needs to survive a crash of this program.
  if (!Run(db, "PRAGMA synchronous = OFF", error) ||
      !Run(db, "PRAGMA cache_size = -262144", error) || !Run(db, "BEGIN", error)) {
    return false;
  }
  *counts = {};
  Writer writer(db, plan, options.today, options.seed);
  if (!writer.write(counts)) {
    Fail(error, writer.error());
    Run(db, "ROLLBACK", nullptr);
    return false;
  }
  counts->firstArrival = options.today.addDays(plan.firstDay());
  return Run(db, "COMMIT", error) && Run(db, "PRAGMA wal_checkpoint(TRUNCATE)", error);
}

}  // namespace

bool GenerateBookingData(const QString& file, const BookingDataOptions& options,
                         BookingDataCounts* counts, QString* error) {
  if (options.rentalLines % 2 != 0 || options.rentalLines < kYearAheadRentalLines) {
    return Fail(error, QStringLiteral("the rental lines must be an even number of at least %1")
                           .arg(kYearAheadRentalLines));
  }
  if (options.daysAhead < 1 || options.daysAhead > 3650 || options.aheadFactor < 1 ||
      options.aheadFactor > 100) {
    return Fail(error, QStringLiteral("the days ahead must be 1 to 3650, their rate 1 to 100 "
                                      "times the base"));
  }
  if (QFile::exists(file)) return Fail(error, QStringLiteral("%1 exists already").arg(file));
  bool done = false;
  {
    Connection connection(QStringLiteral("taurelin-bench-data"));
    DatabaseAlias alias;
    alias.name = connection.name();
    alias.database = file;
    if (connection.open(alias, error)) {
      done = Generate(connection.database(), file, options, counts, error);
    }
  }
  if (!done) RemoveDatabaseFiles(file);
  return done;
}

}  // namespace taurelin::bench
