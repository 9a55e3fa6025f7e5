// libFuzzer target: any bytes as one endpoint's request (the first byte picks the endpoint;
// then the query, the path's value and the JSON body, one per line) are read without crashing
// or leaking, and what passes the reader holds no control character: a value can never
// carry a line break or other framing into the line protocol's notation.

#include "web/endpoint_table.h"
#include "web/request_values.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace taurelin;
  if (size == 0) return 0;
  const std::span<const Endpoint> endpoints = Endpoints();
  const Endpoint& endpoint = endpoints[data[0] % endpoints.size()];
  QList<QByteArray> parts =
      QByteArray(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size - 1))
          .split('\n');
  while (parts.size() < 3) parts << QByteArray();
  HttpInput input;
  input.query = QUrlQuery(QString::fromUtf8(parts[0]));
  input.contentType = QByteArrayLiteral("application/json");
  input.body = parts.mid(2).join('\n');
  const RequestValues read = ReadRequestValues(endpoint, input, QString::fromUtf8(parts[1]));
  if (read.error) return 0;
  for (const InputField& field : endpoint.inputs) {
    for (QChar c : read.values[field.column]) {
      if (c.unicode() < 0x20 || c.unicode() == 0x7f) std::abort();
    }
  }
  return 0;
}
