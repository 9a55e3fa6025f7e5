#pragma once

// The answers to writes sent with an Idempotency-Key, kept a day, so that a client that
// sends a write again (its first answer was lost) gets the first answer again instead of a
// second hold. An entry belongs to one caller and one key, and remembers a digest of the
// request it answered: the same key with another request is told so, never answered with
// another request's answer.
//
// Promises: pure, on the time it is given (milliseconds since the epoch); an entry lives
// `lifetimeMs`; at most `maxEntries` entries and `maxBytes` bytes of answers are kept (past
// that, the oldest go first), so the memory stays bounded whatever the clients send.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

#include <deque>

namespace taurelin {

struct StoredAnswer {
  int status = 0;
  QByteArray contentType;
  QByteArray body;
  QList<QPair<QByteArray, QByteArray>> headers;  // besides the type and the common ones
};

class IdempotencyCache {
 public:
  static constexpr qint64 kDayMs = 24 * 3600 * 1000;

  explicit IdempotencyCache(int maxEntries = 20000, qint64 maxBytes = 32 * 1024 * 1024,
                            qint64 lifetimeMs = kDayMs)
      : maxEntries_(maxEntries), maxBytes_(maxBytes), lifetimeMs_(lifetimeMs) {}

  enum class Found { kNothing, kSameRequest, kOtherRequest };
  struct Lookup {
    Found found = Found::kNothing;
    StoredAnswer answer;  // kSameRequest: the first answer
  };

  // What `caller` got for `key`, when it is still kept; `request` is the digest of the
  // request now sent.
  Lookup find(const QString& caller, const QByteArray& key, const QByteArray& request,
              qint64 nowMs);
  void store(const QString& caller, const QByteArray& key, const QByteArray& request,
             StoredAnswer answer, qint64 nowMs);

  int entries() const { return static_cast<int>(entries_.size()); }

 private:
  struct Entry {
    QByteArray request;
    StoredAnswer answer;
    qint64 storedMs = 0;
  };
  static qint64 Size(const Entry& entry);
  void forgetOld(qint64 nowMs);
  void dropOldest();

  int maxEntries_;
  qint64 maxBytes_;
  qint64 lifetimeMs_;
  qint64 bytes_ = 0;
  QHash<QString, Entry> entries_;
  std::deque<QString> order_;  // keys of entries_, oldest first
};

// The digest that tells two requests apart: method, path and body.
QByteArray RequestDigest(const QByteArray& method, const QString& path, const QByteArray& body);

}  // namespace taurelin
