#pragma once

// Reads the calendar of each channel of the channel file in turn, on the event loop, has each
// calendar that came whole parsed on a thread of its own, and hands it to the import: the
// first read of each within seconds of start, then one each interval after the last one
// ended. A read answered "not modified" is handed to the import too, without a calendar: the
// evidence that an event is gone grows with every read, also with those. It keeps what the
// reports need: each channel's last attempt, last successful read, last error, conflicts now,
// whether its calendar is held as suspect, and what its imports did since start.
//
// Promises: a read that fails, or brings an error page or garbage, changes no booking and is
// kept as the channel's last error until a read succeeds; the validators of a calendar (its
// ETag and Last-Modified) are kept only once its content was imported, so a calendar that
// could not be imported is read whole again next time; a conflict is told to the operator
// once, when it is first found, a calendar held as suspect once, and once again when it is
// believed again, and a channel going stale once, and once again when it is read again; no
// calendar is parsed on the event loop, and an import runs a slice of about ten milliseconds
// a turn of the event loop, so requests are answered while a calendar of megabytes is read.

#include "channels/channel_file.h"
#include "channels/channel_import.h"
#include "channels/feed_fetch.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
#include <QThreadPool>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QNetworkAccessManager;

namespace taurelin {

// What a channel's imports did since start.
struct ChannelTotals {
  qint64 added = 0;
  qint64 moved = 0;
  qint64 matched = 0;   // new UIDs taken for vanished events moved
  qint64 restored = 0;  // returned events whose bookings were booked again
  qint64 cancelled = 0;
};

struct ChannelState {
  ChannelFeed feed;
  QDateTime lastAttempt;  // invalid: none yet
  QDateTime lastSuccess;  // the calendar was read: imported, or unchanged since (304)
  QString lastError;      // of the last attempt; empty when it succeeded
  // The last calendar read whole was left to another server importing it at that moment.
  bool importedElsewhere = false;
  ImportResult lastImport;            // of the last calendar imported here
  QList<ChannelConflict> conflicts;   // the channel's bookings in conflict now
  std::optional<ChannelSuspicion> suspicion;  // while its calendar is held as suspect
  int waiting = 0;                    // gone events booked still, awaiting evidence
  int heldBack = 0;                   // gone or cancelled events held back while suspect
  ChannelTotals totals;
  QByteArray etag, lastModified;      // of the calendar imported last
  int reads = 0;       // attempts
  int unchanged = 0;   // of them answered 304
  bool stale = false;  // as last told
};

class ChannelPoller : public QObject {
  Q_OBJECT

 public:
  struct Hooks {
    // Starts the import of a calendar read whole, or of a read that found it unchanged
    // (no reading); throws as StartImport does.
    std::function<std::unique_ptr<ImportSteps>(const ChannelFeed&,
                                               std::shared_ptr<const CalendarReading>)>
        import;
    // The channel's conflicts now, from the database; throws DatabaseError.
    std::function<QList<ChannelConflict>(const ChannelFeed&)> conflicts;
    std::function<void(const QString&)> log;
    // Tells the operator without waiting (and logs it).
    std::function<void(const QString&)> tell;
    // A calendar went bad (stale, or held as suspect): `problem` says how, since `since`.
    // Told once each time it goes bad, for the business's mail.
    std::function<void(const ChannelState&, const QString& problem, const QDateTime& since)>
        trouble;
    // After every attempt: the states changed.
    std::function<void()> changed;
  };
  struct Settings {
    FetchLimits limits;
    int firstReadMs = 2000;        // after start; each further channel half a second later
    int staleAfterSeconds = 3600;  // a channel not read for longer is stale
    int msPerIntervalSecond = 1000;  // tests shorten the intervals
    int importSliceMs = 10;  // an import's work between two turns of the event loop
    int daysAhead = kDefaultDaysAhead;  // how far ahead repeating events are booked
    RemovalRules removal;  // as the import is given them, for what the operator is told
  };

  ChannelPoller(QList<ChannelFeed> feeds, Hooks hooks, Settings settings,
                QObject* parent = nullptr);
  ~ChannelPoller() override;

  // Reports the conflicts the database holds for each channel and schedules the first reads.
  void start();
  // Ends every read under way; nothing more is read until start().
  void stop();

  const QList<ChannelState>& states() const { return states_; }
  // When start() ran: a channel never read is as old as that.
  const QDateTime& started() const { return started_; }
  int staleAfterSeconds() const { return settings_.staleAfterSeconds; }

 private:
  void read(qsizetype index);
  void take(qsizetype index, const FetchOutcome& outcome);
  // Has a calendar read whole parsed off the event loop, then imported.
  void parse(qsizetype index, const FetchOutcome& outcome);
  // Starts the import of a calendar (none: unchanged since the last), then goes on a slice a
  // turn.
  void import(qsizetype index, std::shared_ptr<const CalendarReading> reading);
  void importSome(qsizetype index);
  // What the import did or why it failed; the next read is scheduled.
  void finishImport(qsizetype index, const ImportResult* result, const QString& error);
  void scheduleNext(qsizetype index);
  void refreshConflicts(ChannelState& state);
  void tellNewConflicts(const ChannelState& state, const QList<ChannelConflict>& before);
  void tellSuspicion(const ChannelState& state, const std::optional<ChannelSuspicion>& before);
  void checkStale();
  void log(const QString& line) const;

  Hooks hooks_;
  Settings settings_;
  QList<ChannelState> states_;
  std::unique_ptr<QNetworkAccessManager> network_;
  std::vector<std::unique_ptr<QTimer>> timers_;
  std::vector<std::unique_ptr<FeedFetch>> fetches_;
  struct Import {
    std::unique_ptr<ImportSteps> steps;
    QByteArray etag, lastModified;  // of the calendar it imports
    QList<ChannelConflict> before;  // the conflicts known when it began
    QTimer next;                    // the next slice
    quint64 parse = 0;              // the parse awaited; one stopped since is not heard
    std::shared_ptr<const CalendarReading> reading;  // the calendar it imports
  };
  // Lets go of the calendar an import read, on the thread that made it: freeing the events
  // of megabytes takes the allocator milliseconds, which a request would wait for.
  void letGo(Import& import);
  std::vector<std::unique_ptr<Import>> imports_;
  QTimer staleCheck_;
  QDateTime started_;
  // One thread parses, so that libical never reads two calendars at once. Last, so that it
  // is waited for before the rest goes.
  QThreadPool parsers_;
};

// How old a channel's calendar is at `now`: since its last successful read, else since the
// poller started.
qint64 ChannelAgeSeconds(const ChannelState& state, const QDateTime& started,
                         const QDateTime& now);

}  // namespace taurelin
