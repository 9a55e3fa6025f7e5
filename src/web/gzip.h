#pragma once

// Promises: a whole gzip stream (not zlib's own format), which any gzip reader inflates back
// to the bytes given; the same bytes always give the same stream (no time in its header).

#include <QByteArray>

namespace taurelin {

QByteArray Gzip(const QByteArray& data);

}  // namespace taurelin
