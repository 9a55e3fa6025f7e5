// How long the request spine takes to parse, dispatch and frame a request, without logging.

#include "protocol/parser.h"

#include <benchmark/benchmark.h>

namespace {

using taurelin::ProcessRequest;
using taurelin::RequestContext;

void BM_TestApi(benchmark::State& state) {
  RequestContext context;
  const QString request = QStringLiteral("messageID=b&count=1&header=INSTRUKSJON&data=TEST-API\n");
  for (auto _ : state) benchmark::DoNotOptimize(ProcessRequest(request, context));
}
BENCHMARK(BM_TestApi);

// Fifty rows of seven columns whose keywords name no handler: the parser and the row
// objects do all the work.
void BM_FiftyUnknownRows(benchmark::State& state) {
  RequestContext context;
  QString request = QStringLiteral(
      "messageID=b&count=50&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;ANKOMST;AVREISE;"
      "PENSJONSTYPE&data=");
  for (int i = 0; i < 50; ++i) request += QStringLiteral("UNKNOWN;1;2;*;2000.04.08;2000.04.14; ;");
  request += u'\n';
  for (auto _ : state) benchmark::DoNotOptimize(ProcessRequest(request, context));
}
BENCHMARK(BM_FiftyUnknownRows);

// A request of 1 MiB with a value per byte pair: must stay linear in its length.
void BM_OneMebibyteOfValues(benchmark::State& state) {
  RequestContext context;
  context.maxRows = 262144;  // the parser's own cost, past the server's row cap
  QString request = QStringLiteral("messageID=b&count=262144&header=INSTRUKSJON;A&data=");
  request += QStringLiteral("X;1;").repeated(262144);
  request += u'\n';
  for (auto _ : state) benchmark::DoNotOptimize(ProcessRequest(request, context));
}
BENCHMARK(BM_OneMebibyteOfValues)->Unit(benchmark::kMillisecond);

}  // namespace
