#pragma once

// The channel file: the calendars of the business's other sales channels (booking sites,
// holiday-rental platforms) that the server reads, an INI file with one group per calendar:
//
//   [cabin-1-platform]
//   url = https://platform.example/calendar/123.ics
//   facility = 1
//   type = 2
//   agent = 900
//   interval = 600
//   removed = cancel
//
// facility and type: what its events occupy; agent: the agent its bookings are booked under;
// interval: seconds between reads, at least 60 (default 600); removed: what an event gone
// from the calendar does to its booking, cancel (the default) or keep.
//
// Promises: a file that cannot be used is refused whole, with the group and the value that
// is wrong, before any calendar is read; a group's name is what its bookings are known by in
// the database, so renaming a group makes its events new.

#include <QList>
#include <QString>
#include <QUrl>

#include <stdexcept>

namespace taurelin {

class ChannelFileError : public std::runtime_error {
 public:
  explicit ChannelFileError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

struct ChannelFeed {
  // What an event that vanished from a calendar read whole does to its booking.
  enum class Removal { kCancel, kKeep };
  static constexpr int kDefaultInterval = 600;
  static constexpr int kShortestInterval = 60;
  static constexpr int kLongestName = 100;

  QString name;  // the group's name
  QUrl url;      // http or https
  int facility = 0;
  int type = 0;
  int agent = 0;
  int intervalSeconds = kDefaultInterval;
  Removal removal = Removal::kCancel;
};

// The calendars of `file`, in the order of their names. Throws ChannelFileError when the file cannot
// be read or a group lacks a value, holds one that is no value of its kind, or holds an
// unknown key (a typing slip must not pass unseen).
QList<ChannelFeed> ReadChannelFile(const QString& file);

}  // namespace taurelin
