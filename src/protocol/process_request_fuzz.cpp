// libFuzzer target: any bytes, decoded as the wire's Windows-1252, are answered with the
// empty text or exactly one line (one LF, at the end), without crashing or leaking.

#include "protocol/parser.h"
#include "protocol/windows1252.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  taurelin::RequestContext context;
  qsizetype logged = 0;
  // Log lines are built as on a real server, but kept in memory.
  context.writeLog = [&logged](const QString& line) { logged += line.size(); };
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const QString answer = taurelin::ProcessRequest(taurelin::FromWindows1252(bytes), context);
  if (!answer.isEmpty() && (!answer.endsWith(u'\n') || answer.count(u'\n') != 1)) std::abort();
  (void)taurelin::ToWindows1252(answer);
  return 0;
}
