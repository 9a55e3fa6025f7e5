#include "web/gzip.h"

#include <zlib.h>

#include <stdexcept>

namespace taurelin {

QByteArray Gzip(const QByteArray& data) {
  z_stream stream{};
  // 15 window bits plus 16: a gzip header and trailer around the deflate stream.
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) !=
      Z_OK) {
    throw std::runtime_error("zlib cannot start a gzip stream");
  }
  QByteArray out(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(data.size()))),
                 Qt::Uninitialized);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  const uLong written = stream.total_out;
  deflateEnd(&stream);
  // deflateBound leaves room for the whole stream, so one call finishes it.
  if (result != Z_STREAM_END) throw std::runtime_error("zlib could not finish a gzip stream");
  out.truncate(static_cast<qsizetype>(written));
  return out;
}

}  // namespace taurelin
