#include "web/address_key.h"

namespace taurelin {

QString AddressKey(const QHostAddress& address) {
  bool isIpv4 = false;
  const quint32 ipv4 = address.toIPv4Address(&isIpv4);
  if (isIpv4) return QHostAddress(ipv4).toString();
  Q_IPV6ADDR bytes = address.toIPv6Address();
  for (int i = 8; i < 16; ++i) bytes[i] = 0;
  return QHostAddress(bytes).toString() + QStringLiteral("/64");
}

}  // namespace taurelin
