#include "web/address_key.h"

#include <algorithm>

namespace taurelin {

QString AddressKey(const QHostAddress& address) {
  bool isIpv4 = false;
  const quint32 ipv4 = address.toIPv4Address(&isIpv4);
  if (isIpv4) return QHostAddress(ipv4).toString();
  if (address.protocol() != QHostAddress::IPv6Protocol) return QString();
  Q_IPV6ADDR bytes = address.toIPv6Address();
  std::fill(std::begin(bytes.c) + 8, std::end(bytes.c), quint8{0});
  return QHostAddress(bytes).toString() + QStringLiteral("/64");
}

}  // namespace taurelin
