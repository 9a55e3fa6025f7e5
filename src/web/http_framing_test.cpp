#include "web/http_framing.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace taurelin {
namespace {

// The verdicts as words: "keep", "close", a refusal's status, or "no-http".
QStringList Words(const QList<FramingVerdict>& verdicts) {
  QStringList words;
  for (const FramingVerdict& verdict : verdicts) {
    if (verdict.kind == FramingVerdict::kAnswer) {
      words << (verdict.closeAfterAnswer ? "close" : "keep");
    } else {
      EXPECT_FALSE(verdict.reason.isEmpty());
      words << (verdict.kind == FramingVerdict::kRefuse ? QString::number(verdict.status)
                                                         : QStringLiteral("no-http"));
    }
  }
  return words;
}

// The verdicts of `stream` fed in pieces that end at each of `cuts`.
QStringList Fed(const QByteArray& stream, QList<qsizetype> cuts, qint64 limit = 80 * 1024) {
  HttpFraming framing(limit);
  QList<FramingVerdict> verdicts;
  qsizetype from = 0;
  cuts << stream.size();
  for (qsizetype cut : cuts) {
    verdicts += framing.feed(QByteArrayView(stream).sliced(from, cut - from));
    from = cut;
  }
  return Words(verdicts);
}

// Whole, a byte at a time, and cut in two at every byte: the verdicts never differ.
void ExpectVerdicts(const QByteArray& stream, const QStringList& expected,
                    qint64 limit = 80 * 1024) {
  SCOPED_TRACE(stream.toPercentEncoding(" /:;,.=-").toStdString());
  ASSERT_EQ(Fed(stream, {}, limit), expected);
  QList<qsizetype> everyByte;
  for (qsizetype at = 1; at < stream.size(); ++at) everyByte << at;
  EXPECT_EQ(Fed(stream, everyByte, limit), expected);
  for (qsizetype at = 1; at < stream.size(); ++at) {
    ASSERT_EQ(Fed(stream, {at}, limit), expected) << "cut at " << at;
  }
}

const QByteArray kGet = "GET /health HTTP/1.1\r\nHost: h\r\n\r\n";

QByteArray Post(const QByteArray& framing, const QByteArray& body) {
  return "POST /api/v1/reservations HTTP/1.1\r\nHost: h\r\n" + framing + "\r\n" + body;
}

TEST(HttpFramingTest, PipelinedRequestsAreFollowedPastTheirBodies) {
  // A body that looks like a request is no request.
  const QByteArray lookalike = "GET /secret HTTP/1.1\r\nHost: h\r\n\r\n";
  ExpectVerdicts(kGet + Post("Content-Length: " + QByteArray::number(lookalike.size()) + "\r\n",
                             lookalike) + kGet,
                 {"keep", "keep", "keep"});
  ExpectVerdicts(Post("Transfer-Encoding: chunked\r\n",
                      "7\r\n0\r\n\r\nGE\r\nA;name=\"x y\"\r\n0123456789\r\n0\r\n\r\n") + kGet,
                 {"keep", "keep"});
  ExpectVerdicts(Post("transfer-encoding:  Chunked \r\nContent-Type: application/json\r\n",
                      "00002\r\n{}\r\n000\r\n\r\n"),
                 {"keep"});
  // The same Content-Length twice is one; a body of length 0 is none.
  ExpectVerdicts(Post("Content-Length: 2\r\ncontent-length:2\r\n", "{}") +
                     Post("Content-Length: 0\r\n", "") + kGet,
                 {"keep", "keep", "keep"});
  // Empty lines before and between requests, and lines that end in LF alone.
  ExpectVerdicts("\r\n\r\n" + kGet + "\n\r\nGET / HTTP/1.1\nHost: h\n\n", {"keep", "keep"});
}

TEST(HttpFramingTest, HttpOneZeroAndConnectionCloseCloseAfterTheAnswer) {
  ExpectVerdicts("GET / HTTP/1.0\r\n\r\n" + kGet, {"close", "keep"});
  ExpectVerdicts("GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", {"close"});
  ExpectVerdicts("GET / HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n", {"close"});
  ExpectVerdicts("GET / HTTP/1.1\r\nConnection: TE\r\nConnection: Keep-Alive,\tCLOSE\r\n\r\n",
                 {"close"});
  ExpectVerdicts("GET / HTTP/1.1\r\nConnection: keep-alive, closed\r\n\r\n", {"keep"});
}

TEST(HttpFramingTest, AmbiguousFramingIsRefusedAndEndsTheStream) {
  const QList<std::pair<QByteArray, QString>> cases = {
      // Two ways to find the body's end.
      {"Content-Length: 5\r\nTransfer-Encoding: chunked\r\n", "400"},
      {"Transfer-Encoding: chunked\r\nContent-Length: 5\r\n", "400"},
      {"Content-Length: 5\r\nContent-Length: 6\r\n", "400"},
      {"Content-Length: 5\r\nContent-Length: 05\r\n", "400"},
      // Content-Length that is no plain number, or hides behind whitespace.
      {"Content-Length: +5\r\n", "400"},
      {"Content-Length: 5, 5\r\n", "400"},
      {"Content-Length: 0x5\r\n", "400"},
      {"Content-Length:\t5\r\n", "400"},
      {"Content-Length: \r\n", "400"},
      {"Content-Length : 5\r\n", "400"},
      {"Content-Length:\r\n 5\r\n", "400"},
      // Transfer codings other than chunked alone, or written to be read two ways.
      {"Transfer-Encoding:\tchunked\r\n", "400"},
      {"Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n", "400"},
      {"Transfer-Encoding: chunked, identity\r\n", "501"},
      {"Transfer-Encoding: gzip, chunked\r\n", "501"},
      {"Transfer-Encoding: xchunked\r\n", "501"},
      // Hosts and header lines.
      {"host: other\r\n", "400"},
      {"X-Folded: a\r\n b\r\n", "400"},
      {"X-Bare: a\rb\r\n", "400"},
      {QByteArray("X-Nul: a\0b\r\n", 12), "400"},
      {"No colon\r\n", "400"},
      {": no name\r\n", "400"},
  };
  for (const auto& [headers, status] : cases) {
    // Nothing behind a refusal is looked at: the request after it gets no verdict.
    ExpectVerdicts(kGet + Post(headers, "hello") + kGet, {"keep", status});
  }
  ExpectVerdicts("POST / HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", {"400"});
}

TEST(HttpFramingTest, MalformedChunksAreRefused) {
  const QByteArray head = Post("Transfer-Encoding: chunked\r\n", "");
  for (const QByteArray& body : {QByteArray("xyz\r\n"), QByteArray("0x5\r\nhello\r\n0\r\n\r\n"),
                                 QByteArray("-1\r\n"), QByteArray("5 ;a\r\nhello\r\n"),
                                 QByteArray("\r\n"), QByteArray("5\nhello\r\n"),
                                 QByteArray("5;a\rb\r\nhello\r\n"),
                                 QByteArray("1000000000000000\r\n")}) {
    ExpectVerdicts(head + body + kGet, {"keep", "400"});
  }
  // Data longer than its size, and trailer fields, which the library would read as a request.
  ExpectVerdicts(head + "5\r\nhello!\r\n0\r\n\r\n" + kGet, {"keep", "400"});
  ExpectVerdicts(head + "5\r\nhello\r\n0\r\nX-Trailer: y\r\n\r\n" + kGet, {"keep", "400"});
}

TEST(HttpFramingTest, RequestLinesAreHttpOrNotAnswered) {
  ExpectVerdicts("BREW /pot HTCPCP/1.0\r\n\r\n", {"no-http"});
  ExpectVerdicts("GET / http/1.1\r\n\r\n", {"no-http"});
  ExpectVerdicts("hello\r\n", {"no-http"});
  // A TLS handshake is told by its first byte, without waiting for a line.
  ExpectVerdicts(QByteArray("\x16\x03\x01\x02", 4), {"no-http"});
  ExpectVerdicts("GET  / HTTP/1.1\r\n\r\n", {"400"});
  ExpectVerdicts("GET / HTTP/1.1 \r\n\r\n", {"no-http"});
  ExpectVerdicts("GET /a\x7f HTTP/1.1\r\n\r\n", {"400"});
  ExpectVerdicts("G(T / HTTP/1.1\r\n\r\n", {"400"});
  ExpectVerdicts("GET / HTTP/2.0\r\n\r\n", {"505"});
  ExpectVerdicts(kGet + " GET / HTTP/1.1\r\n\r\n", {"keep", "no-http"});
}

TEST(HttpFramingTest, AHeadOfMoreThanAHundredFieldsIsRefused) {
  QByteArray fields;
  for (int i = 0; i < 99; ++i) fields += "X-" + QByteArray::number(i) + ": y\r\n";
  ExpectVerdicts(Post(fields, ""), {"keep"});  // with Host: 100
  ExpectVerdicts(Post(fields + "X-Last: y\r\n", ""), {"431"});
}

TEST(HttpFramingTest, ARequestPastTheLimitIsRefusedAsSoonAsThatIsCertain) {
  const QByteArray request = "GET /a HTTP/1.1\r\nX: " + QByteArray(40, 'x') + "\r\n\r\n";
  ASSERT_EQ(request.size(), 64);
  ExpectVerdicts(request + request, {"keep", "keep"}, 64);
  ExpectVerdicts("GET /ab HTTP/1.1\r\nX: " + QByteArray(40, 'x') + "\r\n\r\n", {"413"}, 64);
  // The head tells it: the body is not waited for.
  ExpectVerdicts("POST / HTTP/1.1\r\nContent-Length: 40\r\n\r\n", {"413"}, 64);
  ExpectVerdicts("POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n", {"413"},
                 64);
  ExpectVerdicts("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nff\r\n", {"keep", "413"},
                 64);
  ExpectVerdicts("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n" +
                     QByteArray(20, '0') + "1\r\n",
                 {"keep", "413"}, 64);
}

TEST(HttpFramingTest, ARequestIsUnderWayFromItsFirstByteToItsLast) {
  HttpFraming framing(80 * 1024);
  framing.feed("\r\n");
  EXPECT_FALSE(framing.inRequest());  // an empty line begins no request
  EXPECT_EQ(framing.requestsBegun(), 0);
  framing.feed(kGet + "G");
  EXPECT_TRUE(framing.inRequest());
  EXPECT_EQ(framing.requestsBegun(), 2);
  framing.feed("ET / HTTP/1.1\r\nContent-Length: 2\r\n\r\n{");
  EXPECT_TRUE(framing.inRequest());
  framing.feed("}\r\n");
  EXPECT_FALSE(framing.inRequest());
  EXPECT_FALSE(framing.ended());
}

}  // namespace
}  // namespace taurelin
