#pragma once

// The group a peer's connections (and requests) are counted in. An IPv4 address stands for
// itself, also when it comes IPv4-mapped over IPv6 (a dual-stack listener shows it so). An
// IPv6 address stands for its /64: one host or household usually holds a whole /64 and could
// take a new address for each connection.

#include <QHostAddress>
#include <QString>

namespace taurelin {

// "192.0.2.7" for 192.0.2.7 and ::ffff:192.0.2.7, "2001:db8:1:2::/64" for any address of that
// /64; the empty text for a null address.
QString AddressKey(const QHostAddress& address);

}  // namespace taurelin
