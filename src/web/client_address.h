#pragma once

// Who a request comes from: the connection's peer, or, when that peer is a trusted reverse
// proxy, the address the proxy forwards for. X-Forwarded-For is read from the right, past
// the trusted proxies, to the first address that is not one: what a client wrote into the
// header itself stands further left and is never taken. From any other peer the header is
// ignored, for anyone may write it.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>

namespace taurelin {

class TrustedProxies {
 public:
  TrustedProxies() = default;
  explicit TrustedProxies(QList<QPair<QHostAddress, int>> subnets)
      : subnets_(std::move(subnets)) {}

  bool empty() const { return subnets_.isEmpty(); }
  bool trusts(const QHostAddress& peer) const;

 private:
  QList<QPair<QHostAddress, int>> subnets_;
};

// `forwardedFor`: every X-Forwarded-For value of the request, joined by commas.
QHostAddress ClientAddress(const QHostAddress& peer, const QByteArray& forwardedFor,
                           const TrustedProxies& proxies);

}  // namespace taurelin
