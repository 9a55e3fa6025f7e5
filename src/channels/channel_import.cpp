#include "channels/channel_import.h"

#include "store/database_error.h"
#include "store/database_session.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <deque>
#include <functional>
#include <limits>
#include <utility>

namespace taurelin {
namespace {

using Row = ChannelBookings::Row;
using Fate = ChannelBookings::Fate;
using Outcome = ChannelBookings::Outcome;

ChannelBookings::Channel ChannelOf(const ChannelFeed& feed) {
  return {feed.name, feed.facility, feed.type, feed.agent,
          feed.removal == ChannelFeed::Removal::kKeep};
}

void Count(Outcome outcome, ImportResult& result) {
  switch (outcome) {
    case Outcome::kAdded: ++result.added; break;
    case Outcome::kMoved: ++result.moved; break;
    case Outcome::kMatched: ++result.matched; break;
    case Outcome::kRestored: ++result.restored; break;
    case Outcome::kCancelled: ++result.cancelled; break;
    case Outcome::kKept: ++result.kept; break;
    case Outcome::kSkipped: ++result.skipped; break;
    case Outcome::kUnchanged:
    case Outcome::kDropped: ++result.unchanged; break;
  }
}

QList<ChannelConflict> Converted(const QList<StoredConflict>& stored) {
  QList<ChannelConflict> conflicts;
  for (const StoredConflict& c : stored) {
    conflicts.append({c.uid, c.refnr, c.others, c.arrival, c.departure});
  }
  return conflicts;
}

// Whether losing `missing` of `of` future events at once is more than a calendar loses in
// the ordinary run of cancellations.
bool IsDrop(int missing, int of, const RemovalRules& rules) {
  if (of < 1 || missing < 1) return false;
  return missing == of || (of >= 4 && missing * 100 > of * rules.dropSharePercent);
}

// Nights shared by two stays; 0 when they only touch, negative when apart.
qint64 Overlap(const QDate& a1, const QDate& d1, const QDate& a2, const QDate& d2) {
  return std::max(a1, a2).daysTo(std::min(d1, d2));
}

class ChannelImport : public ImportSteps {
 public:
  ChannelImport(DatabaseSession& session, const ChannelFeed& feed,
                std::shared_ptr<const CalendarReading> reading, const QDateTime& now,
                const RemovalRules& rules, BookingEvents* events = nullptr)
      : reading_(std::move(reading)),
        now_(now),
        today_(now.date()),
        rules_(rules),
        bookings_(session, ChannelOf(feed), events),
        lock_(std::in_place, session.connection(), feed.name) {
    if (!lock_->held()) {
      result_.heldElsewhere = true;
      lock_.reset();
      return;
    }
    result_.unchangedRead = reading_ == nullptr;
    if (reading_) {
      result_.events = static_cast<int>(reading_->events.size());
      result_.notes = reading_->notes;
    }
    if (!bookings_.SellsType()) {
      result_.skipped = result_.events;
      result_.notes << QStringLiteral("facility %1 has no rental type %2 to sell: nothing of "
                                      "the calendar is booked")
                           .arg(feed.facility)
                           .arg(feed.type);
      lock_.reset();
      return;
    }
    then([this] { load(); });
  }

  bool step(int budgetMs) override {
    QElapsedTimer timer;
    timer.start();
    while (!work_.empty()) {
      const std::function<void()> next = std::move(work_.front());
      work_.pop_front();
      next();
      if (timer.elapsed() >= budgetMs) break;
    }
    return work_.empty();
  }

  const ImportResult& result() const override { return result_; }

 private:
  void then(std::function<void()> work) { work_.push_back(std::move(work)); }
  void lack(qsizetype row) {
    missing_ << row;
    lacking_.insert(row);
  }

  // Whether the row's booking is one a read should hold: live, ahead, within the horizon.
  bool expected(const Row& row) const {
    return row.fate == Fate::kLive && row.departure > today_ &&
           (!reading_ || !reading_->horizon.isValid() || row.arrival <= reading_->horizon);
  }

  // What the read holds and lacks, beside the rows of the channel.
  void load() {
    rows_ = bookings_.Rows(now_);
    for (qsizetype i = 0; i < rows_.size(); ++i) rowOf_.insert(rows_[i].uid, i);
    before_ = bookings_.Suspicion();
    if (!reading_) {
      // Nothing new: what earlier reads lacked is still lacking.
      for (qsizetype i = 0; i < rows_.size(); ++i) {
        if (expected(rows_[i]) && rows_[i].goneSince.isValid()) lack(i);
      }
      then([this] { decide(); });
      return;
    }
    QSet<QString> listed;
    int returned = 0;
    for (qsizetype e = 0; e < reading_->events.size(); ++e) {
      const CalendarEvent& event = reading_->events[e];
      listed.insert(event.uid);
      const auto found = rowOf_.constFind(event.uid);
      if (found != rowOf_.constEnd()) {
        const Row& row = rows_[*found];
        if (event.cancelled) {
          if (row.fate == Fate::kLive) cancelledEvents_ << *found;
          else ++result_.unchanged;
        } else if (event.bookable()) {
          known_ << e;
          if (row.fate == Fate::kLive && row.goneSince.isValid() && !row.kept) ++returned;
        } else {
          ++result_.skipped;  // noted by the reading; its booking stays as it is
        }
      } else if (event.cancelled || !event.bookable() || event.departure <= today_) {
        ++result_.skipped;
      } else {
        unknown_ << e;
      }
    }
    if (returned > 0) {
      result_.notes << QStringLiteral("%1 %2 missing from an earlier read %3 in the calendar "
                                      "again; none of them was cancelled")
                           .arg(returned)
                           .arg(returned == 1 ? QStringLiteral("event") : QStringLiteral("events"),
                                returned == 1 ? QStringLiteral("is") : QStringLiteral("are"));
    }
    for (qsizetype i = 0; i < rows_.size(); ++i) {
      const Row& row = rows_[i];
      if (listed.contains(row.uid)) continue;
      if (row.departure <= today_) {
        ended_ << i;  // platforms drop what is past; the booking stays as it is
      } else if (expected(row)) {
        lack(i);
      }
    }
    matchOf_.assign(static_cast<size_t>(unknown_.size()), -1);
    for (qsizetype u = 0; u < unknown_.size(); ++u) then([this, u] { match(u); });
    then([this] { decide(); });
  }

  // A new UID whose stay covers or touches that of an event gone from the calendar is that
  // event moved: the closest such stay (most nights shared, then the nearest arrival).
  void match(qsizetype u) {
    const CalendarEvent& event = reading_->events[unknown_[u]];
    qsizetype best = -1;
    for (const qsizetype i : std::as_const(missing_)) {
      if (matched_.contains(i)) continue;
      const Row& row = rows_[i];
      const qint64 overlap = Overlap(event.arrival, event.departure, row.arrival, row.departure);
      if (overlap < 0) continue;
      if (best >= 0) {
        const Row& chosen = rows_[best];
        const qint64 chosenOverlap =
            Overlap(event.arrival, event.departure, chosen.arrival, chosen.departure);
        if (overlap < chosenOverlap) continue;
        if (overlap == chosenOverlap && std::abs(event.arrival.daysTo(row.arrival)) >=
                                            std::abs(event.arrival.daysTo(chosen.arrival))) {
          continue;
        }
      }
      best = i;
    }
    if (best < 0) return;
    matchOf_[static_cast<size_t>(u)] = best;
    matched_.insert(best);
  }

  // The shape of a read: its events ahead, by UID.
  QString shape() const {
    QStringList uids;
    for (const CalendarEvent& event : reading_->events) {
      if (!event.cancelled && event.bookable() && event.departure > today_) uids << event.uid;
    }
    uids.sort();
    return QString::fromLatin1(
        QCryptographicHash::hash(uids.join(u'\n').toUtf8(), QCryptographicHash::Sha1).toHex());
  }

  // Whether the calendar is to be believed, then what the read does, removals first.
  void decide() {
    // The events ahead that the last read held, and those of them this read lacks.
    int held = 0;
    int newlyMissing = 0;
    int expectedAll = 0;
    int missingAll = 0;
    for (qsizetype i = 0; i < rows_.size(); ++i) {
      const Row& row = rows_[i];
      if (!expected(row) || row.kept) continue;
      const bool lacking = lacking_.contains(i) && !matched_.contains(i);
      ++expectedAll;
      missingAll += lacking ? 1 : 0;
      if (row.goneSince.isValid()) continue;
      ++held;
      newlyMissing += lacking ? 1 : 0;
    }
    std::optional<ChannelSuspicion> after = before_;
    const bool longEnough = before_ && before_->since.secsTo(now_) >= rules_.suspectSeconds;
    if (reading_) {
      const QString now = shape();
      if (before_) {
        if (!IsDrop(missingAll, expectedAll, rules_)) {
          after.reset();
          result_.notes << QStringLiteral("the calendar holds its events again: it is no longer "
                                          "held as suspect");
        } else if (now != before_->shape) {
          // Still lacking most of them, in another shape: held on, from now.
          after = ChannelSuspicion{now_, now, missingAll, expectedAll};
        } else if (longEnough) {
          after.reset();
          noteBelieved();
        }
      } else if (IsDrop(newlyMissing, held, rules_)) {
        after = ChannelSuspicion{now_, now, newlyMissing, held};
        result_.notes << QStringLiteral("this read lacks %1 of the %2 events ahead that the last "
                                        "read held: the calendar is held as suspect, and "
                                        "nothing is cancelled until it holds them again or "
                                        "has kept this shape for %3")
                             .arg(newlyMissing)
                             .arg(held)
                             .arg(RuleDuration(rules_.suspectSeconds));
      }
    } else if (longEnough) {
      after.reset();
      noteBelieved();
    }
    if (after != before_) bookings_.SetSuspicion(after);
    result_.suspicion = after;
    const bool suspect = after.has_value();

    // Removals.
    for (const qsizetype i : std::as_const(cancelledEvents_)) {
      if (suspect) {
        // Marked, so that the reads answered "not modified" that follow withdraw it once
        // the calendar is believed.
        if (!rows_[i].goneSince.isValid()) {
          then([this, i] { bookings_.MarkGone(rows_[i].uid, now_); });
        }
        ++result_.heldBack;
        continue;
      }
      then([this, i] {
        Count(bookings_.Withdraw(rows_[i].uid, ChannelBookings::Withdrawal::kCancelled, now_,
                                 &result_.notes),
              result_);
      });
    }
    for (const qsizetype i : std::as_const(missing_)) {
      if (matched_.contains(i)) continue;
      const Row& row = rows_[i];
      if (!row.goneSince.isValid()) {
        then([this, i] { bookings_.MarkGone(rows_[i].uid, now_); });
        ++(suspect ? result_.heldBack : result_.waiting);
      } else if (suspect) {
        ++result_.heldBack;
      } else if (row.goneSince < now_ && row.goneSince.secsTo(now_) >= rules_.removedAfterSeconds) {
        then([this, i] {
          const Outcome outcome = bookings_.Withdraw(
              rows_[i].uid, ChannelBookings::Withdrawal::kGone, now_, &result_.notes);
          if (outcome == Outcome::kCancelled) ++result_.cancelled;
          if (outcome == Outcome::kKept) ++result_.kept;
        });
      } else {
        ++result_.waiting;
      }
    }
    for (const qsizetype i : std::as_const(ended_)) {
      then([this, i] { bookings_.Forget(rows_[i].uid); });
    }
    if (result_.waiting > 0) {
      const bool one = result_.waiting == 1;
      result_.notes << QStringLiteral("%1 gone from the calendar: booked still, until reads "
                                      "have lacked %2 for %3")
                           .arg(one ? QStringLiteral("1 event")
                                    : QStringLiteral("%1 events").arg(result_.waiting),
                                one ? QStringLiteral("it") : QStringLiteral("them"),
                                RuleDuration(rules_.removedAfterSeconds));
    }

    // Moves, then additions.
    for (const qsizetype e : std::as_const(known_)) {
      then([this, e] {
        const CalendarEvent& event = reading_->events[e];
        Count(bookings_.Apply(event.uid, event.arrival, event.departure, now_, &result_.notes),
              result_);
      });
    }
    for (qsizetype u = 0; u < unknown_.size(); ++u) {
      const qsizetype row = matchOf_[static_cast<size_t>(u)];
      if (row < 0) continue;
      then([this, u, row] {
        const CalendarEvent& event = reading_->events[unknown_[u]];
        Count(bookings_.Adopt(rows_[row].uid, event.uid, event.arrival, event.departure, now_,
                              &result_.notes),
              result_);
      });
    }
    for (qsizetype u = 0; u < unknown_.size(); ++u) {
      if (matchOf_[static_cast<size_t>(u)] >= 0) continue;
      then([this, u] {
        const CalendarEvent& event = reading_->events[unknown_[u]];
        Count(bookings_.Apply(event.uid, event.arrival, event.departure, now_, &result_.notes),
              result_);
      });
    }
    then([this] { checkConflicts(); });
  }

  // Every conflict worked out again, now that the read is applied: after a calendar, every
  // booking ahead; after a read that found nothing new, those in conflict.
  void checkConflicts() {
    for (const Row& row : bookings_.Rows(now_)) {
      const bool ahead = row.fate == Fate::kLive && row.departure > today_;
      if (!row.conflict && !(reading_ && ahead)) continue;
      then([this, row] { bookings_.CheckConflict(row, today_, &result_.notes); });
    }
    then([this] {
      result_.conflicts = Converted(bookings_.Conflicts());
      lock_.reset();
    });
  }

  void noteBelieved() {
    result_.notes << QStringLiteral("the calendar has kept its shape for %1 since it was held as "
                                    "suspect: it is believed, and what it lacks is withdrawn")
                         .arg(RuleDuration(rules_.suspectSeconds));
  }

  std::shared_ptr<const CalendarReading> reading_;
  QDateTime now_;
  QDate today_;
  RemovalRules rules_;
  ChannelBookings bookings_;
  std::optional<ChannelBookings::Lock> lock_;
  ImportResult result_;
  std::deque<std::function<void()>> work_;

  QList<Row> rows_;
  QHash<QString, qsizetype> rowOf_;
  std::optional<ChannelSuspicion> before_;
  QList<qsizetype> known_;            // events with a row
  QList<qsizetype> unknown_;          // events to book, unless matched
  std::vector<qsizetype> matchOf_;    // per unknown event: the row it is taken for, or -1
  QList<qsizetype> cancelledEvents_;  // rows whose events the calendar cancels
  QList<qsizetype> missing_;          // rows ahead whose events the read lacks
  QList<qsizetype> ended_;            // rows past whose events the read lacks
  QSet<qsizetype> lacking_;           // the same, to look up
  QSet<qsizetype> matched_;
};

ImportResult Whole(ImportSteps& steps) {
  while (!steps.step(std::numeric_limits<int>::max())) {
  }
  return steps.result();
}

}  // namespace

std::unique_ptr<ImportSteps> StartImport(DatabaseSession& session, const ChannelFeed& feed,
                                         std::shared_ptr<const CalendarReading> reading,
                                         const QDateTime& now, const RemovalRules& rules,
                                         BookingEvents* events) {
  return std::make_unique<ChannelImport>(session, feed, std::move(reading), now, rules,
                                         events);
}

ImportResult ImportCalendar(DatabaseSession& session, const ChannelFeed& feed,
                            const QByteArray& body, const QDateTime& now,
                            const RemovalRules& rules) {
  // A body that is no calendar is refused before the database is asked anything.
  auto reading =
      std::make_shared<const CalendarReading>(ReadCalendar(body, now.date(), kDefaultDaysAhead));
  return Whole(*StartImport(session, feed, std::move(reading), now, rules));
}

ImportResult ConfirmCalendar(DatabaseSession& session, const ChannelFeed& feed,
                             const QDateTime& now, const RemovalRules& rules) {
  return Whole(*StartImport(session, feed, nullptr, now, rules));
}

QList<ChannelConflict> CurrentConflicts(DatabaseSession& session, const ChannelFeed& feed) {
  return Converted(ChannelBookings(session, ChannelOf(feed)).Conflicts());
}

}  // namespace taurelin
