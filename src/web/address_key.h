#pragma once

#include <QHostAddress>
#include <QString>

namespace taurelin {

// The key a client's limits are kept under: an IPv4 address (also IPv4-mapped) as it is, an
// IPv6 address by its /64 prefix, which one host or household usually holds whole.
QString AddressKey(const QHostAddress& address);

}  // namespace taurelin
