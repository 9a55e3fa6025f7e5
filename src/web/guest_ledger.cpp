#include "web/guest_ledger.h"

#include <algorithm>
#include <vector>

namespace taurelin {

GuestLedger::Client& GuestLedger::entry(const QString& client, qint64 nowMs) {
  auto found = clients_.find(client);
  if (found == clients_.end()) {
    if (clients_.size() >= maxClients_) makeRoom();
    found = clients_.insert(client, Client());
  }
  Client& entry = *found;
  entry.seenMs = nowMs;
  entry.holds.removeIf([&](const Hold& hold) {
    if (hold.endsMs > nowMs) return false;
    holders_.remove(hold.refnr);
    return true;
  });
  entry.bookings.removeIf([nowMs](qint64 at) { return at <= nowMs - kDayMs; });
  return entry;
}

QList<GuestLedger::Hold> GuestLedger::liveHolds(const QString& client, qint64 nowMs) {
  QList<Hold> holds = entry(client, nowMs).holds;
  std::sort(holds.begin(), holds.end(),
            [](const Hold& a, const Hold& b) { return a.endsMs < b.endsMs; });
  return holds;
}

void GuestLedger::addHold(const QString& client, qint64 refnr, qint64 endsMs, qint64 nowMs) {
  dropHold(refnr);
  entry(client, nowMs).holds.append({refnr, endsMs});
  holders_.insert(refnr, client);
}

void GuestLedger::dropHold(qint64 refnr) {
  const auto holder = holders_.find(refnr);
  if (holder == holders_.end()) return;
  const auto client = clients_.find(*holder);
  if (client != clients_.end()) {
    client->holds.removeIf([refnr](const Hold& hold) { return hold.refnr == refnr; });
  }
  holders_.erase(holder);
}

QList<qint64> GuestLedger::bookings(const QString& client, qint64 nowMs) {
  return entry(client, nowMs).bookings;
}

void GuestLedger::addBooking(const QString& client, qint64 nowMs) {
  entry(client, nowMs).bookings.append(nowMs);
}

void GuestLedger::makeRoom() {
  std::vector<qint64> seen;
  seen.reserve(static_cast<size_t>(clients_.size()));
  for (const Client& client : clients_) seen.push_back(client.seenMs);
  auto middle = seen.begin() + static_cast<std::ptrdiff_t>(seen.size() / 2);
  std::nth_element(seen.begin(), middle, seen.end());
  const qint64 cut = *middle;
  for (auto it = clients_.begin(); it != clients_.end();) {
    if (it->seenMs > cut) {
      ++it;
      continue;
    }
    for (const Hold& hold : it->holds) holders_.remove(hold.refnr);
    it = clients_.erase(it);
  }
}

}  // namespace taurelin
