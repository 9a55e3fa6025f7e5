#include "channels/channel_poller.h"

#include "store/database_error.h"

#include <QNetworkAccessManager>

#include <exception>

#include <sys/resource.h>
#include <unistd.h>

namespace taurelin {
namespace {

// How much a calendar's parse yields to the rest of the server (nice, 0 to 19).
constexpr int kParseNiceness = 10;

QString ConflictKey(const ChannelConflict& conflict) {
  return conflict.uid + u' ' + QString::number(conflict.refnr);
}

QString Others(const QList<qint64>& refnrs) {
  QStringList texts;
  for (const qint64 refnr : refnrs) texts << QString::number(refnr);
  return texts.join(QStringLiteral(", "));
}

}  // namespace

qint64 ChannelAgeSeconds(const ChannelState& state, const QDateTime& started,
                         const QDateTime& now) {
  const QDateTime& since = state.lastSuccess.isValid() ? state.lastSuccess : started;
  return since.isValid() ? std::max<qint64>(0, since.secsTo(now)) : 0;
}

ChannelPoller::ChannelPoller(QList<ChannelFeed> feeds, Hooks hooks, Settings settings,
                             QObject* parent)
    : QObject(parent), hooks_(std::move(hooks)), settings_(settings) {
  for (ChannelFeed& feed : feeds) {
    ChannelState state;
    state.feed = std::move(feed);
    states_.append(std::move(state));
  }
  fetches_.resize(static_cast<size_t>(states_.size()));
  for (qsizetype i = 0; i < states_.size(); ++i) {
    auto timer = std::make_unique<QTimer>();
    timer->setSingleShot(true);
    connect(timer.get(), &QTimer::timeout, this, [this, i] { read(i); });
    timers_.push_back(std::move(timer));
    auto import = std::make_unique<Import>();
    import->next.setSingleShot(true);
    connect(&import->next, &QTimer::timeout, this, [this, i] { importSome(i); });
    imports_.push_back(std::move(import));
  }
  staleCheck_.setInterval(10 * 1000);
  connect(&staleCheck_, &QTimer::timeout, this, &ChannelPoller::checkStale);
  parsers_.setMaxThreadCount(1);
}

ChannelPoller::~ChannelPoller() { stop(); }

void ChannelPoller::start() {
  stop();
  if (!network_) network_ = std::make_unique<QNetworkAccessManager>();
  started_ = QDateTime::currentDateTimeUtc();
  // Conflicts found before a restart are still there until resolved: they are reported (and
  // told) from the start, not only once their calendar has been read again.
  for (ChannelState& state : states_) refreshConflicts(state);
  for (size_t i = 0; i < timers_.size(); ++i) {
    timers_[i]->start(settings_.firstReadMs + static_cast<int>(i) * 500);
  }
  staleCheck_.start();
}

void ChannelPoller::stop() {
  staleCheck_.stop();
  for (auto& timer : timers_) timer->stop();
  for (auto& fetch : fetches_) fetch.reset();
  // An import dropped halfway leaves what it did; its channel lock goes with it. A parse
  // under way finishes unheard.
  for (auto& import : imports_) {
    import->next.stop();
    import->steps.reset();
    letGo(*import);
    ++import->parse;
  }
}

void ChannelPoller::log(const QString& line) const {
  if (hooks_.log) hooks_.log(line);
}

void ChannelPoller::read(qsizetype index) {
  const ChannelState& state = states_[index];
  auto& fetch = fetches_[static_cast<size_t>(index)];
  fetch = std::make_unique<FeedFetch>(*network_, state.feed.url, state.etag,
                                      state.lastModified, settings_.limits);
  connect(fetch.get(), &FeedFetch::finished, this,
          [this, index](const FetchOutcome& outcome) { take(index, outcome); });
}

void ChannelPoller::take(qsizetype index, const FetchOutcome& outcome) {
  ChannelState& state = states_[index];
  // The fetch is done with; it goes once this signal has returned.
  fetches_[static_cast<size_t>(index)].release()->deleteLater();
  state.lastAttempt = QDateTime::currentDateTimeUtc();
  ++state.reads;
  switch (outcome.kind) {
    case FetchOutcome::Kind::kFailed:
      state.lastError = outcome.error;
      log(QStringLiteral("Channel %1: the calendar could not be read, its bookings stay as "
                         "they were: %2")
              .arg(state.feed.name, outcome.error));
      break;
    case FetchOutcome::Kind::kNotModified: {
      ++state.unchanged;
      // Nothing new, and still a read: what the calendar lacked it lacks for longer, and
      // conflicts found before may have been resolved since.
      Import& pending = *imports_[static_cast<size_t>(index)];
      pending.etag = state.etag;
      pending.lastModified = state.lastModified;
      import(index, nullptr);
      return;
    }
    case FetchOutcome::Kind::kBody:
      parse(index, outcome);
      return;  // the import schedules the next read when it is done
  }
  scheduleNext(index);
}

void ChannelPoller::parse(qsizetype index, const FetchOutcome& outcome) {
  Import& pending = *imports_[static_cast<size_t>(index)];
  pending.etag = outcome.etag;
  pending.lastModified = outcome.lastModified;
  const quint64 parse = ++pending.parse;
  const QByteArray body = outcome.body;
  const QDate today = QDate::currentDate();
  const int daysAhead = settings_.daysAhead;
  // A calendar of megabytes takes libical most of a second: never on the event loop.
  parsers_.start([this, index, parse, body, today, daysAhead] {
    // Below the event loop in the scheduler's eyes: on a machine of two cores the parse
    // must not take the core a request is waiting for.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kParseNiceness);
    std::shared_ptr<const CalendarReading> reading;
    QString error;
    try {
      reading = std::make_shared<const CalendarReading>(ReadCalendar(body, today, daysAhead));
    } catch (const CalendarFormatError& e) {
      error = QStringLiteral("the answer is no calendar (%1); its bookings stay as they were")
                  .arg(QString::fromUtf8(e.what()));
    } catch (const std::exception& e) {
      error = QStringLiteral("the calendar could not be read: ") + QString::fromUtf8(e.what());
    }
    QMetaObject::invokeMethod(
        this,
        [this, index, parse, reading, error]() mutable {
          Import& parsed = *imports_[static_cast<size_t>(index)];
          parsed.reading = std::move(reading);
          if (parsed.parse != parse) {  // stopped since
            letGo(parsed);
          } else if (!error.isEmpty()) {
            finishImport(index, nullptr, error);
          } else {
            import(index, parsed.reading);
          }
        },
        Qt::QueuedConnection);
  });
}

void ChannelPoller::letGo(Import& import) {
  if (!import.reading) return;
  // The task holds the last reference: the calendar goes on the pool's thread, once run.
  parsers_.start([reading = std::move(import.reading)] {});
  import.reading.reset();
}

void ChannelPoller::scheduleNext(qsizetype index) {
  checkStale();
  if (hooks_.changed) hooks_.changed();
  timers_[static_cast<size_t>(index)]->start(states_[index].feed.intervalSeconds *
                                             settings_.msPerIntervalSecond);
}

void ChannelPoller::import(qsizetype index, std::shared_ptr<const CalendarReading> reading) {
  ChannelState& state = states_[index];
  Import& import = *imports_[static_cast<size_t>(index)];
  import.before = state.conflicts;
  try {
    import.steps = hooks_.import(state.feed, std::move(reading));
  } catch (const std::exception& error) {
    letGo(import);
    finishImport(index, nullptr,
                 QStringLiteral("the import failed: ") + QString::fromUtf8(error.what()));
    return;
  }
  importSome(index);
}

void ChannelPoller::importSome(qsizetype index) {
  Import& import = *imports_[static_cast<size_t>(index)];
  if (!import.steps) return;
  try {
    if (!import.steps->step(settings_.importSliceMs)) {
      // The rest after the requests that wait: a timer due at once may be served before the
      // sockets that became readable meanwhile, a millisecond's pause never is.
      import.next.start(1);
      return;
    }
  } catch (const std::exception& error) {
    // The events imported before the failure stay; the next read goes on from there.
    import.steps.reset();
    letGo(import);
    finishImport(index, nullptr,
                 QStringLiteral("the import failed: ") + QString::fromUtf8(error.what()));
    return;
  }
  const ImportResult result = import.steps->result();
  import.steps.reset();
  letGo(import);
  finishImport(index, &result, QString());
}

void ChannelPoller::finishImport(qsizetype index, const ImportResult* done,
                                 const QString& error) {
  ChannelState& state = states_[index];
  Import& import = *imports_[static_cast<size_t>(index)];
  if (done == nullptr) {
    state.lastError = error;
    log(QStringLiteral("Channel %1: %2").arg(state.feed.name, error));
  } else {
    const ImportResult& result = *done;
    state.lastSuccess = state.lastAttempt;
    state.lastError.clear();
    state.importedElsewhere = result.heldElsewhere;
    if (result.heldElsewhere) {
      // Another server imports it now; its validators are not ours to keep, so the next
      // read here brings the calendar whole again.
      log(QStringLiteral("Channel %1: another server is importing this calendar; left to it")
              .arg(state.feed.name));
      refreshConflicts(state);
      scheduleNext(index);
      return;
    }
    for (const QString& note : result.notes) {
      log(QStringLiteral("Channel %1: %2").arg(state.feed.name, note));
    }
    if (!result.unchangedRead) {
      log(QStringLiteral("Channel %1: %2 events read; %3 added, %4 moved, %5 matched by dates, "
                         "%6 booked again, %7 cancelled, %8 unchanged, %9 kept, %10 skipped; "
                         "%11 gone and waiting, %12 held back; %13 in conflict")
              .arg(state.feed.name)
              .arg(result.events)
              .arg(result.added)
              .arg(result.moved)
              .arg(result.matched)
              .arg(result.restored)
              .arg(result.cancelled)
              .arg(result.unchanged)
              .arg(result.kept)
              .arg(result.skipped)
              .arg(result.waiting)
              .arg(result.heldBack)
              .arg(result.conflicts.size()));
      state.lastImport = result;
    } else if (result.cancelled > 0 || result.kept > 0) {
      log(QStringLiteral("Channel %1: unchanged since the last read; %2 cancelled, %3 kept")
              .arg(state.feed.name)
              .arg(result.cancelled)
              .arg(result.kept));
    }
    ChannelTotals& totals = state.totals;
    totals.added += result.added;
    totals.moved += result.moved;
    totals.matched += result.matched;
    totals.restored += result.restored;
    totals.cancelled += result.cancelled;
    state.waiting = result.waiting;
    state.heldBack = result.heldBack;
    const std::optional<ChannelSuspicion> suspicionBefore = state.suspicion;
    state.suspicion = result.suspicion;
    tellSuspicion(state, suspicionBefore);
    state.conflicts = result.conflicts;
    state.etag = import.etag;
    state.lastModified = import.lastModified;
  }
  tellNewConflicts(state, import.before);
  scheduleNext(index);
}

void ChannelPoller::refreshConflicts(ChannelState& state) {
  if (!hooks_.conflicts) return;
  const QList<ChannelConflict> before = state.conflicts;
  try {
    state.conflicts = hooks_.conflicts(state.feed);
  } catch (const DatabaseError& error) {
    log(QStringLiteral("Channel %1: its conflicts could not be read: %2")
            .arg(state.feed.name, QString::fromUtf8(error.what())));
    return;
  }
  tellNewConflicts(state, before);
}

void ChannelPoller::tellNewConflicts(const ChannelState& state,
                                     const QList<ChannelConflict>& before) {
  QSet<QString> known;
  for (const ChannelConflict& conflict : before) known.insert(ConflictKey(conflict));
  for (const ChannelConflict& conflict : state.conflicts) {
    if (known.contains(ConflictKey(conflict))) continue;
    const QString text =
        QStringLiteral("Overbooked: channel %1 booked %2 to %3 as booking %4 (event %5), but "
                       "those nights were sold already to %6 %7")
            .arg(state.feed.name, conflict.arrival.toString(Qt::ISODate),
                 conflict.departure.toString(Qt::ISODate))
            .arg(conflict.refnr)
            .arg(conflict.uid,
                 conflict.others.size() == 1 ? QStringLiteral("booking") : QStringLiteral("bookings"),
                 Others(conflict.others));
    if (hooks_.tell) hooks_.tell(text);
  }
}

void ChannelPoller::tellSuspicion(const ChannelState& state,
                                  const std::optional<ChannelSuspicion>& before) {
  if (state.suspicion.has_value() == before.has_value() || !hooks_.tell) return;
  if (state.suspicion) {
    const QString problem =
        QStringLiteral("its calendar lacks %1 of the %2 events ahead that it held: held as "
                       "suspect, nothing is cancelled until it holds them again or has kept "
                       "this shape for %3")
            .arg(state.suspicion->dropped)
            .arg(state.suspicion->of)
            .arg(RuleDuration(settings_.removal.suspectSeconds));
    hooks_.tell(QStringLiteral("Channel %1: ").arg(state.feed.name) + problem);
    if (hooks_.trouble) hooks_.trouble(state, problem, state.suspicion->since);
  } else {
    hooks_.tell(QStringLiteral("Channel %1: its calendar is believed again").arg(state.feed.name));
  }
}

void ChannelPoller::checkStale() {
  const QDateTime now = QDateTime::currentDateTimeUtc();
  bool changed = false;
  for (ChannelState& state : states_) {
    const bool stale = ChannelAgeSeconds(state, started_, now) > settings_.staleAfterSeconds;
    if (stale == state.stale) continue;
    changed = true;
    state.stale = stale;
    const QString text =
        stale ? QStringLiteral("Channel %1: its calendar has not been read for over %2 s (%3); "
                               "bookings made there may be missing here")
                    .arg(state.feed.name)
                    .arg(settings_.staleAfterSeconds)
                    .arg(state.lastError.isEmpty() ? QStringLiteral("no read yet")
                                                   : state.lastError)
              : QStringLiteral("Channel %1: its calendar is read again").arg(state.feed.name);
    if (hooks_.tell) hooks_.tell(text);
    if (stale && hooks_.trouble) {
      hooks_.trouble(state,
                     QStringLiteral("its calendar has not been read for over %1 s (%2)")
                         .arg(settings_.staleAfterSeconds)
                         .arg(state.lastError.isEmpty() ? QStringLiteral("no read yet")
                                                        : state.lastError),
                     state.lastSuccess.isValid() ? state.lastSuccess : started_);
    }
  }
  if (changed && hooks_.changed) hooks_.changed();
}

}  // namespace taurelin
