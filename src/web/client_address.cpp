#include "web/client_address.h"

#include <algorithm>

namespace taurelin {
namespace {

QHostAddress Plain(const QHostAddress& address) {
  bool isIpv4 = false;
  const quint32 ipv4 = address.toIPv4Address(&isIpv4);
  return isIpv4 ? QHostAddress(ipv4) : address;
}

}  // namespace

bool TrustedProxies::trusts(const QHostAddress& peer) const {
  const QHostAddress plain = Plain(peer);
  return std::any_of(subnets_.begin(), subnets_.end(),
                     [&plain](const auto& subnet) { return plain.isInSubnet(subnet); });
}

QHostAddress ClientAddress(const QHostAddress& peer, const QByteArray& forwardedFor,
                           const TrustedProxies& proxies) {
  QHostAddress client = Plain(peer);
  if (!proxies.trusts(client)) return client;
  const QList<QByteArray> hops = forwardedFor.split(',');
  for (auto hop = hops.crbegin(); hop != hops.crend(); ++hop) {
    QHostAddress address;
    // A hop that is no address ends the walk: what stands left of it cannot be placed.
    if (!address.setAddress(QString::fromLatin1(hop->trimmed()))) break;
    client = Plain(address);
    if (!proxies.trusts(client)) break;
  }
  return client;
}

}  // namespace taurelin
