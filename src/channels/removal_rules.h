#pragma once

// How much evidence the import of a channel's calendar needs before it takes an event for
// gone and cancels its booking (see channel_import.h). Platforms serve calendars that are
// empty or half empty for an hour or two; a night sold twice costs far more than a genuine
// cancellation freed a few hours late.

#include <QString>

namespace taurelin {

struct RemovalRules {
  // An event gone from the calendar is cancelled once it has been missing from two reads or
  // more that span this long (ChannelRemovedAfter).
  int removedAfterSeconds = 3600;
  // A read that drops more than this share of the events ahead that the last read held (of
  // at least four), or all of them, holds the calendar as suspect (ChannelDropShare).
  int dropSharePercent = 50;
  // A suspect calendar is believed once it has kept the same shape this long
  // (ChannelSuspectSeconds).
  int suspectSeconds = 21600;
};

// A rule's time as the operator reads it: "6 h", "90 s".
inline QString RuleDuration(int seconds) {
  return seconds % 3600 == 0 && seconds > 0 ? QStringLiteral("%1 h").arg(seconds / 3600)
                                            : QStringLiteral("%1 s").arg(seconds);
}

}  // namespace taurelin
