#include "channels/channel_import.h"

#include "store/channel_bookings.h"
#include "store/data_module.h"
#include "store/database_error.h"
#include "store/database_session.h"

#include <QElapsedTimer>
#include <QSet>

#include <limits>
#include <optional>
#include <utility>

namespace taurelin {
namespace {

ChannelBookings::Channel ChannelOf(const ChannelFeed& feed) {
  return {feed.name, feed.facility, feed.type, feed.agent,
          feed.removal == ChannelFeed::Removal::kKeep};
}

TdmBook& ModuleOf(DatabaseSession& session) {
  if (session.dmBook() == nullptr) {
    throw DatabaseError(QStringLiteral("the booking database is not connected"),
                        DatabaseError::Cause::kConnection);
  }
  return *session.dmBook();
}

void Count(ChannelBookings::Outcome outcome, ImportResult& result) {
  using Outcome = ChannelBookings::Outcome;
  switch (outcome) {
    case Outcome::kAdded: ++result.added; break;
    case Outcome::kMoved: ++result.moved; break;
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

class ChannelImport : public ImportSteps {
 public:
  ChannelImport(TdmBook& module, const ChannelFeed& feed, CalendarReading reading,
                const QDate& today)
      : reading_(std::move(reading)),
        today_(today),
        bookings_(module, ChannelOf(feed)),
        lock_(std::in_place, module.connection(), feed.name) {
    if (!lock_->held()) {
      result_.heldElsewhere = true;
      finish();
      return;
    }
    result_.events = static_cast<int>(reading_.events.size());
    result_.notes = reading_.notes;
    if (!bookings_.SellsType()) {
      result_.skipped = result_.events;
      result_.notes << QStringLiteral("facility %1 has no rental type %2 to sell: nothing of "
                                      "the calendar is booked")
                           .arg(feed.facility)
                           .arg(feed.type);
      finish();
    }
  }

  bool step(int budgetMs) override {
    QElapsedTimer timer;
    timer.start();
    do {
      switch (phase_) {
        case Phase::kEvents:
          if (next_ < reading_.events.size()) {
            apply(reading_.events[next_++]);
          } else {
            // The body was read whole: what it no longer holds is gone from the calendar.
            for (const QString& uid : bookings_.Uids()) {
              if (!listed_.contains(uid)) gone_ << uid;
            }
            next_ = 0;
            phase_ = Phase::kGone;
          }
          break;
        case Phase::kGone:
          if (next_ < gone_.size()) {
            withdraw(gone_[next_++]);
          } else {
            phase_ = Phase::kConflicts;
          }
          break;
        case Phase::kConflicts:
          bookings_.RecheckConflicts(checked_, today_, &result_.notes);
          result_.conflicts = Converted(bookings_.Conflicts());
          finish();
          break;
        case Phase::kDone:
          break;
      }
    } while (phase_ != Phase::kDone && timer.elapsed() < budgetMs);
    return phase_ == Phase::kDone;
  }

  const ImportResult& result() const override { return result_; }

 private:
  enum class Phase { kEvents, kGone, kConflicts, kDone };

  void apply(const CalendarEvent& event) {
    listed_.insert(event.uid);
    if (event.cancelled) {
      Count(bookings_.Withdraw(event.uid, ChannelBookings::Withdrawal::kCancelled, today_,
                               &result_.notes),
            result_);
    } else if (!event.bookable()) {
      ++result_.skipped;  // noted by the reading; its booking, if any, stays as it is
    } else {
      Count(bookings_.Apply(event.uid, event.arrival, event.departure, today_, &result_.notes),
            result_);
      checked_.insert(event.uid);
    }
  }

  void withdraw(const QString& uid) {
    const ChannelBookings::Outcome outcome =
        bookings_.Withdraw(uid, ChannelBookings::Withdrawal::kGone, today_, &result_.notes);
    if (outcome == ChannelBookings::Outcome::kCancelled) ++result_.cancelled;
    if (outcome == ChannelBookings::Outcome::kKept) ++result_.kept;
  }

  void finish() {
    phase_ = Phase::kDone;
    lock_.reset();
  }

  CalendarReading reading_;
  QDate today_;
  ChannelBookings bookings_;
  std::optional<ChannelBookings::Lock> lock_;
  ImportResult result_;
  Phase phase_ = Phase::kEvents;
  qsizetype next_ = 0;
  QSet<QString> listed_;
  QSet<QString> checked_;
  QStringList gone_;
};

ImportResult Whole(ImportSteps& steps) {
  while (!steps.step(std::numeric_limits<int>::max())) {
  }
  return steps.result();
}

}  // namespace

ImportResult ImportCalendar(TdmBook& module, const ChannelFeed& feed, const QByteArray& body,
                            const QDate& today) {
  ChannelImport steps(module, feed, ReadCalendar(body, today, kDefaultDaysAhead), today);
  return Whole(steps);
}

std::unique_ptr<ImportSteps> StartImport(DatabaseSession& session, const ChannelFeed& feed,
                                         const QByteArray& body, const QDate& today) {
  // A body that is no calendar is refused before the database is asked anything.
  CalendarReading reading = ReadCalendar(body, today, kDefaultDaysAhead);
  return std::make_unique<ChannelImport>(ModuleOf(session), feed, std::move(reading), today);
}

ImportResult ImportCalendar(DatabaseSession& session, const ChannelFeed& feed,
                            const QByteArray& body, const QDate& today) {
  return Whole(*StartImport(session, feed, body, today));
}

QList<ChannelConflict> CurrentConflicts(DatabaseSession& session, const ChannelFeed& feed) {
  return Converted(ChannelBookings(ModuleOf(session), ChannelOf(feed)).Conflicts());
}

}  // namespace taurelin
