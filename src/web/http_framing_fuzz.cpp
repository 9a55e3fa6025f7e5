// libFuzzer target: any bytes as the stream of one HTTP connection are followed without
// crashing or leaking, and the verdicts do not depend on how the bytes arrive: the stream fed
// whole and fed in two pieces (cut where the first two bytes say) gets the same verdicts, and
// none comes after the one that ends the stream.

#include "web/http_framing.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace taurelin;
  if (size < 2) return 0;
  const QByteArrayView stream(reinterpret_cast<const char*>(data) + 2,
                              static_cast<qsizetype>(size - 2));
  const qsizetype cut = ((data[0] << 8) | data[1]) % (stream.size() + 1);
  // Small, so that requests reach it too.
  constexpr qint64 kLimit = 1024;
  HttpFraming whole(kLimit);
  HttpFraming pieces(kLimit);
  const QList<FramingVerdict> verdicts = whole.feed(stream);
  QList<FramingVerdict> again = pieces.feed(stream.first(cut));
  again += pieces.feed(stream.sliced(cut));
  if (verdicts.size() != again.size()) std::abort();
  for (qsizetype i = 0; i < verdicts.size(); ++i) {
    const FramingVerdict& one = verdicts[i];
    const FramingVerdict& other = again[i];
    if (one.kind != other.kind || one.closeAfterAnswer != other.closeAfterAnswer ||
        one.status != other.status || one.reason != other.reason) {
      std::abort();
    }
    const bool last = i + 1 == verdicts.size();
    if (one.kind != FramingVerdict::kAnswer && (!last || one.reason.isEmpty())) std::abort();
  }
  const bool ended = !verdicts.isEmpty() && verdicts.last().kind != FramingVerdict::kAnswer;
  if (whole.ended() != ended || pieces.ended() != ended) std::abort();
  return 0;
}
