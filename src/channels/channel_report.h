#pragma once

// What the server tells of its channels, from the poller's states: the JSON of
// GET /api/v1/channels, the lines of /metrics, the reasons /health is degraded and the text of
// the operator window's status bar. Pure: the time is given.
//
// Promises: a channel's address is shown without its query and user information, which may
// hold the channel's own secret; a conflict counts once however often it is read again.

#include "channels/channel_poller.h"

#include <QByteArray>
#include <QJsonObject>
#include <QStringList>

namespace taurelin {

struct ChannelReport {
  const QList<ChannelState>& states;
  QDateTime started;
  QDateTime now;
  int staleAfterSeconds = 3600;

  QJsonObject json() const;
  // Per channel: taurelin_channel_feed_age_seconds, taurelin_channel_conflicts,
  // taurelin_channel_suspect, taurelin_channel_held_back, and
  // taurelin_channel_changes_total by change.
  QByteArray metrics() const;
  // Why /health is degraded: a stale channel, a suspect calendar, a conflict; empty when none.
  QStringList problems() const;
  // For the status bar, e.g. "Channels: 3 read", "Channels: 1 not read yet" or
  // "Channels: 1 stale, 1 suspect, 2 in conflict".
  QString statusText() const;
};

}  // namespace taurelin
