#include "channels/channel_report.h"

#include <QJsonArray>

#include <utility>

namespace taurelin {
namespace {

QJsonValue Time(const QDateTime& time) {
  return time.isValid() ? QJsonValue(time.toUTC().toString(Qt::ISODate)) : QJsonValue();
}

// A label value as the text exposition format writes it.
QByteArray Label(const QString& text) {
  QByteArray escaped;
  for (const char c : text.toUtf8()) {
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '"') {
      escaped += "\\\"";
    } else if (c == '\n') {
      escaped += "\\n";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

QString ShownAddress(const QUrl& url) {
  return url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo)
      .toString();
}

}  // namespace

QJsonObject ChannelReport::json() const {
  QJsonArray channels;
  for (const ChannelState& state : states) {
    QJsonArray conflicts;
    for (const ChannelConflict& conflict : state.conflicts) {
      QJsonArray others;
      for (const qint64 refnr : conflict.others) others.append(refnr);
      conflicts.append(QJsonObject{{QStringLiteral("uid"), conflict.uid},
                                   {QStringLiteral("refnr"), conflict.refnr},
                                   {QStringLiteral("otherRefnrs"), others},
                                   {QStringLiteral("arrival"),
                                    conflict.arrival.toString(Qt::ISODate)},
                                   {QStringLiteral("departure"),
                                    conflict.departure.toString(Qt::ISODate)}});
    }
    const qint64 age = ChannelAgeSeconds(state, started, now);
    const ImportResult& last = state.lastImport;
    const ChannelTotals& totals = state.totals;
    QJsonValue suspect;
    if (state.suspicion) {
      suspect = QJsonObject{{QStringLiteral("since"), Time(state.suspicion->since)},
                            {QStringLiteral("lacking"), state.suspicion->dropped},
                            {QStringLiteral("of"), state.suspicion->of}};
    }
    channels.append(QJsonObject{
        {QStringLiteral("name"), state.feed.name},
        {QStringLiteral("url"), ShownAddress(state.feed.url)},
        {QStringLiteral("facility"), state.feed.facility},
        {QStringLiteral("type"), state.feed.type},
        {QStringLiteral("agent"), state.feed.agent},
        {QStringLiteral("intervalSeconds"), state.feed.intervalSeconds},
        {QStringLiteral("lastAttempt"), Time(state.lastAttempt)},
        {QStringLiteral("lastSuccess"), Time(state.lastSuccess)},
        {QStringLiteral("lastError"),
         state.lastError.isEmpty() ? QJsonValue() : QJsonValue(state.lastError)},
        {QStringLiteral("ageSeconds"), age},
        {QStringLiteral("stale"), age > staleAfterSeconds},
        {QStringLiteral("importedElsewhere"), state.importedElsewhere},
        {QStringLiteral("reads"), state.reads},
        {QStringLiteral("unchangedReads"), state.unchanged},
        {QStringLiteral("lastImport"),
         QJsonObject{{QStringLiteral("events"), last.events},
                     {QStringLiteral("added"), last.added},
                     {QStringLiteral("moved"), last.moved},
                     {QStringLiteral("cancelled"), last.cancelled},
                     {QStringLiteral("unchanged"), last.unchanged},
                     {QStringLiteral("kept"), last.kept},
                     {QStringLiteral("skipped"), last.skipped},
                     {QStringLiteral("matched"), last.matched},
                     {QStringLiteral("restored"), last.restored}}},
        {QStringLiteral("suspect"), suspect},
        {QStringLiteral("waiting"), state.waiting},
        {QStringLiteral("heldBack"), state.heldBack},
        {QStringLiteral("sinceStart"),
         QJsonObject{{QStringLiteral("added"), totals.added},
                     {QStringLiteral("moved"), totals.moved},
                     {QStringLiteral("matched"), totals.matched},
                     {QStringLiteral("restored"), totals.restored},
                     {QStringLiteral("cancelled"), totals.cancelled}}},
        {QStringLiteral("conflicts"), conflicts}});
  }
  return {{QStringLiteral("staleAfterSeconds"), staleAfterSeconds},
          {QStringLiteral("channels"), channels}};
}

QByteArray ChannelReport::metrics() const {
  if (states.isEmpty()) return {};
  QByteArray age =
      "# HELP taurelin_channel_feed_age_seconds Seconds since a channel's calendar was last "
      "read (since start when never).\n"
      "# TYPE taurelin_channel_feed_age_seconds gauge\n";
  QByteArray conflicts =
      "# HELP taurelin_channel_conflicts Bookings of a channel that overbook nights sold "
      "before.\n"
      "# TYPE taurelin_channel_conflicts gauge\n";
  QByteArray suspect =
      "# HELP taurelin_channel_suspect 1 while a channel's calendar is held as suspect (it "
      "dropped most of its events at once) and nothing of it is cancelled.\n"
      "# TYPE taurelin_channel_suspect gauge\n";
  QByteArray heldBack =
      "# HELP taurelin_channel_held_back Events gone from a channel's calendar, or cancelled in "
      "it, whose bookings stay because the calendar is suspect.\n"
      "# TYPE taurelin_channel_held_back gauge\n";
  QByteArray changes =
      "# HELP taurelin_channel_changes_total Bookings a channel's imports changed since start, "
      "by change.\n"
      "# TYPE taurelin_channel_changes_total counter\n";
  for (const ChannelState& state : states) {
    const QByteArray name = Label(state.feed.name);
    const QByteArray label = "{channel=\"" + name + "\"} ";
    age += "taurelin_channel_feed_age_seconds" + label +
           QByteArray::number(ChannelAgeSeconds(state, started, now)) + '\n';
    conflicts += "taurelin_channel_conflicts" + label +
                 QByteArray::number(state.conflicts.size()) + '\n';
    suspect += "taurelin_channel_suspect" + label + (state.suspicion ? "1\n" : "0\n");
    heldBack += "taurelin_channel_held_back" + label + QByteArray::number(state.heldBack) + '\n';
    const ChannelTotals& totals = state.totals;
    for (const auto& [change, count] :
         {std::pair<const char*, qint64>{"added", totals.added}, {"moved", totals.moved},
          {"matched", totals.matched}, {"restored", totals.restored},
          {"cancelled", totals.cancelled}}) {
      changes += "taurelin_channel_changes_total{channel=\"" + name + "\",change=\"" + change +
                 "\"} " + QByteArray::number(count) + '\n';
    }
  }
  return age + conflicts + suspect + heldBack + changes;
}

QStringList ChannelReport::problems() const {
  QStringList problems;
  for (const ChannelState& state : states) {
    const qint64 age = ChannelAgeSeconds(state, started, now);
    if (age > staleAfterSeconds) {
      problems << QStringLiteral("channel %1 not read for %2 s").arg(state.feed.name).arg(age);
    }
    if (state.suspicion) {
      problems << QStringLiteral("channel %1 is held as suspect since %2: its calendar lacks %3 "
                                 "of the %4 events ahead it held")
                      .arg(state.feed.name, state.suspicion->since.toUTC().toString(Qt::ISODate))
                      .arg(state.suspicion->dropped)
                      .arg(state.suspicion->of);
    }
    if (!state.conflicts.isEmpty()) {
      problems << QStringLiteral("channel %1 has %2 %3")
                      .arg(state.feed.name)
                      .arg(state.conflicts.size())
                      .arg(state.conflicts.size() == 1 ? QStringLiteral("booking in conflict")
                                                       : QStringLiteral("bookings in conflict"));
    }
  }
  return problems;
}

QString ChannelReport::statusText() const {
  int stale = 0;
  int failing = 0;
  int waiting = 0;
  int suspect = 0;
  qsizetype conflicts = 0;
  for (const ChannelState& state : states) {
    if (ChannelAgeSeconds(state, started, now) > staleAfterSeconds) ++stale;
    if (!state.lastError.isEmpty()) ++failing;
    if (!state.lastAttempt.isValid()) ++waiting;
    if (state.suspicion) ++suspect;
    conflicts += state.conflicts.size();
  }
  QStringList parts;
  if (stale > 0) parts << QStringLiteral("%1 stale").arg(stale);
  if (failing > 0) parts << QStringLiteral("%1 failing").arg(failing);
  if (suspect > 0) parts << QStringLiteral("%1 suspect").arg(suspect);
  if (conflicts > 0) {
    parts << QStringLiteral("%1 in conflict").arg(conflicts);
  }
  if (waiting > 0) parts << QStringLiteral("%1 not read yet").arg(waiting);
  if (parts.isEmpty()) parts << QStringLiteral("%1 read").arg(states.size());
  return QStringLiteral("Channels: ") + parts.join(QStringLiteral(", "));
}

}  // namespace taurelin
