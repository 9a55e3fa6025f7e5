#include "web/idempotency_cache.h"

#include <QCryptographicHash>

namespace taurelin {
namespace {

QString EntryKey(const QString& caller, const QByteArray& key) {
  return caller + u'\n' + QString::fromLatin1(key);
}

}  // namespace

qint64 IdempotencyCache::Size(const Entry& entry) {
  qint64 size = 128 + entry.request.size() + entry.answer.body.size() +
                entry.answer.contentType.size();
  for (const auto& header : entry.answer.headers) size += header.first.size() + header.second.size();
  return size;
}

void IdempotencyCache::forgetOld(qint64 nowMs) {
  while (!order_.empty()) {
    const auto oldest = entries_.constFind(order_.front());
    if (oldest != entries_.constEnd() && oldest->storedMs > nowMs - lifetimeMs_) return;
    dropOldest();
  }
}

void IdempotencyCache::dropOldest() {
  const auto oldest = entries_.find(order_.front());
  if (oldest != entries_.end()) {
    bytes_ -= Size(*oldest);
    entries_.erase(oldest);
  }
  order_.pop_front();
}

IdempotencyCache::Lookup IdempotencyCache::find(const QString& caller, const QByteArray& key,
                                                const QByteArray& request, qint64 nowMs) {
  forgetOld(nowMs);
  const auto found = entries_.constFind(EntryKey(caller, key));
  if (found == entries_.constEnd()) return {};
  if (found->request != request) return {Found::kOtherRequest, {}};
  return {Found::kSameRequest, found->answer};
}

void IdempotencyCache::store(const QString& caller, const QByteArray& key,
                             const QByteArray& request, StoredAnswer answer, qint64 nowMs) {
  forgetOld(nowMs);
  const QString entryKey = EntryKey(caller, key);
  Entry entry{request, std::move(answer), nowMs};
  const qint64 size = Size(entry);
  if (size > maxBytes_ || entries_.contains(entryKey)) return;
  while (!order_.empty() && (entries_.size() >= maxEntries_ || bytes_ + size > maxBytes_)) {
    dropOldest();
  }
  bytes_ += size;
  entries_.insert(entryKey, std::move(entry));
  order_.push_back(entryKey);
}

QByteArray RequestDigest(const QByteArray& method, const QString& path, const QByteArray& body) {
  QCryptographicHash hash(QCryptographicHash::Sha256);
  hash.addData(method);
  hash.addData(QByteArrayView("\n"));
  hash.addData(path.toUtf8());
  hash.addData(QByteArrayView("\n"));
  hash.addData(body);
  return hash.result();
}

}  // namespace taurelin
