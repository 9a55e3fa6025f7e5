#include "web/http_framing.h"

#include <algorithm>
#include <utility>

namespace taurelin {
namespace {

bool IsTokenChar(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool IsToken(QByteArrayView text) {
  return !text.isEmpty() && std::all_of(text.begin(), text.end(), IsTokenChar);
}

bool IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7f;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "HTTP/" DIGIT "." DIGIT: what the library takes for a version. Anything else is no HTTP.
bool IsHttpVersion(QByteArrayView text) {
  return text.size() == 8 && text.startsWith("HTTP/") && IsDigit(text[5]) && text[6] == '.' &&
         IsDigit(text[7]);
}

bool SameName(QByteArrayView name, const char* known) {
  return qstrnicmp(name.data(), name.size(), known) == 0;
}

// Without the spaces around it. Tabs are kept, so that a tab where a framing header has its
// value is not read as the blank a proxy before us may not have taken it for.
QByteArrayView WithoutSpaces(QByteArrayView text) {
  while (text.startsWith(' ')) text = text.sliced(1);
  while (text.endsWith(' ')) text.chop(1);
  return text;
}

QByteArrayView WithoutLeadingZeros(QByteArrayView digits) {
  while (digits.size() > 1 && digits.front() == '0') digits = digits.sliced(1);
  return digits;
}

}  // namespace

HttpFraming::HttpFraming(qint64 maxRequestBytes) : maxRequestBytes_(maxRequestBytes) {}

QList<FramingVerdict> HttpFraming::feed(QByteArrayView bytes) {
  qsizetype at = 0;
  while (at < bytes.size() && state_ != State::kEnded) {
    if (state_ == State::kBody || state_ == State::kChunkData) {
      const qint64 step = std::min<qint64>(bodyLeft_, bytes.size() - at);
      bodyLeft_ -= step;
      requestBytes_ += step;
      position_ += step;
      at += step;
      if (bodyLeft_ == 0) {
        if (state_ == State::kBody) {
          finishRequest();
        } else {
          state_ = State::kChunkEnd;
          sawCr_ = false;
        }
      }
    } else {
      ++position_;
      take(bytes[at++]);
    }
    // A request still unfinished at the limit is larger than it: it is not read further.
    if (inRequest() && requestBytes_ >= maxRequestBytes_) {
      refuse(413, QStringLiteral("the request is larger than %1 bytes").arg(maxRequestBytes_));
    }
  }
  return std::exchange(verdicts_, {});
}

void HttpFraming::take(char c) {
  switch (state_) {
    case State::kBetween:
      if (c == '\r' || c == '\n') return;
      ++begun_;
      requestBytes_ = 0;
      http10_ = false;
      fields_ = hosts_ = transferEncodings_ = 0;
      transferEncoding_.clear();
      contentLength_.clear();
      closeAsked_ = false;
      // Every method is a token: anything else (a TLS handshake, say) is told at once.
      if (!IsTokenChar(c)) {
        notHttp(QStringLiteral("not an HTTP request"));
        return;
      }
      state_ = State::kRequestLine;
      [[fallthrough]];
    case State::kRequestLine:
    case State::kHeaderLine:
    case State::kChunkSize:
      ++requestBytes_;
      if (c == '\n') {
        endLine();
      } else {
        line_.append(c);
      }
      return;
    case State::kChunkEnd:
    case State::kLastChunkEnd:
      ++requestBytes_;
      if (!sawCr_ && c == '\r') {
        sawCr_ = true;
      } else if (sawCr_ && c == '\n') {
        if (state_ == State::kChunkEnd) {
          state_ = State::kChunkSize;
        } else {
          finishRequest();
        }
      } else if (state_ == State::kLastChunkEnd && !sawCr_) {
        // The library reads no trailer fields: it would take them for the next request.
        refuse(400, QStringLiteral("trailer fields after a chunked body are not accepted"));
      } else {
        refuse(400, QStringLiteral("a chunk of the body does not end with CRLF"));
      }
      return;
    case State::kBody:
    case State::kChunkData:
    case State::kEnded:
      return;
  }
}

void HttpFraming::endLine() {
  const QByteArray whole = std::exchange(line_, {});
  QByteArrayView line(whole);
  if (line.endsWith('\r')) {
    line.chop(1);
  } else if (state_ == State::kChunkSize) {
    // The library looks for CRLF alone after a chunk size.
    refuse(400, QStringLiteral("a chunk size is malformed"));
    return;
  }
  if (state_ == State::kRequestLine) {
    endRequestLine(line);
  } else if (state_ == State::kHeaderLine) {
    endHeaderLine(line);
  } else {
    endChunkSizeLine(line);
  }
}

void HttpFraming::endRequestLine(QByteArrayView line) {
  const qsizetype lastSpace = line.lastIndexOf(' ');
  const QByteArrayView version = line.sliced(lastSpace + 1);
  if (!IsHttpVersion(version)) {
    notHttp(QStringLiteral("not an HTTP request"));
    return;
  }
  const qsizetype firstSpace = line.indexOf(' ');
  const QByteArrayView target =
      firstSpace < 0 ? QByteArrayView() : line.sliced(firstSpace + 1, lastSpace - firstSpace - 1);
  const bool visible = std::all_of(target.begin(), target.end(), [](char c) {
    return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7f;
  });
  if (firstSpace <= 0 || !IsToken(line.first(firstSpace)) || target.isEmpty() || !visible) {
    refuse(400, QStringLiteral("the request line is malformed"));
    return;
  }
  if (version[5] != '1') {
    refuse(505, QStringLiteral("only HTTP/1.0 and HTTP/1.1 are served"));
    return;
  }
  http10_ = version[7] == '0';
  state_ = State::kHeaderLine;
}

void HttpFraming::endHeaderLine(QByteArrayView line) {
  if (line.isEmpty()) {
    endHead();
    return;
  }
  if (line.front() == ' ' || line.front() == '\t') {
    refuse(400, QStringLiteral("a header line is folded onto the one before it"));
    return;
  }
  const qsizetype colon = line.indexOf(':');
  if (colon < 0 || !IsToken(line.first(colon))) {
    refuse(400, QStringLiteral("a header line is malformed"));
    return;
  }
  const QByteArrayView name = line.first(colon);
  const QByteArrayView value = line.sliced(colon + 1);
  if (std::any_of(value.begin(), value.end(), [](char c) { return IsControl(c) && c != '\t'; })) {
    refuse(400, QStringLiteral("a header value holds a control character"));
    return;
  }
  if (++fields_ > kMaxHeaderFields) {
    refuse(431, QStringLiteral("the request has more than %1 header fields").arg(kMaxHeaderFields));
    return;
  }
  if (SameName(name, "content-length")) {
    const QByteArrayView digits = WithoutSpaces(value);
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), IsDigit)) {
      refuse(400, QStringLiteral("Content-Length is not a plain decimal number"));
      return;
    }
    if (!contentLength_.isEmpty() && contentLength_ != digits) {
      refuse(400, QStringLiteral("the request gives Content-Length twice, with different values"));
      return;
    }
    contentLength_ = digits.toByteArray();
  } else if (SameName(name, "transfer-encoding")) {
    const QByteArrayView codings = WithoutSpaces(value);
    if (!std::all_of(codings.begin(), codings.end(),
                     [](char c) { return IsTokenChar(c) || c == ',' || c == ' '; })) {
      refuse(400, QStringLiteral("Transfer-Encoding is malformed"));
      return;
    }
    ++transferEncodings_;
    transferEncoding_ = codings.toByteArray();
  } else if (SameName(name, "host")) {
    ++hosts_;
  } else if (SameName(name, "connection")) {
    for (const QByteArray& option : value.toByteArray().split(',')) {
      closeAsked_ = closeAsked_ || SameName(option.trimmed(), "close");
    }
  }
}

void HttpFraming::endHead() {
  if (hosts_ > 1) {
    refuse(400, QStringLiteral("the request gives Host more than once"));
    return;
  }
  if (transferEncodings_ > 0) {
    if (!contentLength_.isEmpty()) {
      refuse(400, QStringLiteral("the request gives both Content-Length and Transfer-Encoding"));
    } else if (http10_) {
      refuse(400, QStringLiteral("an HTTP/1.0 request cannot have a Transfer-Encoding"));
    } else if (transferEncodings_ > 1) {
      refuse(400, QStringLiteral("the request gives Transfer-Encoding more than once"));
    } else if (!SameName(transferEncoding_, "chunked")) {
      refuse(501, QStringLiteral("the only transfer coding served is chunked"));
    }
    if (state_ == State::kEnded) return;
  }
  qint64 length = 0;
  if (!contentLength_.isEmpty()) {
    const QByteArrayView digits = WithoutLeadingZeros(contentLength_);
    // Eighteen digits still fit; more than that is larger than any limit.
    length = digits.size() > 18 ? maxRequestBytes_ : digits.toLongLong();
    if (requestBytes_ + length > maxRequestBytes_) {
      refuse(413, QStringLiteral("the request is larger than %1 bytes").arg(maxRequestBytes_));
      return;
    }
  }
  FramingVerdict verdict;
  verdict.closeAfterAnswer = http10_ || closeAsked_;
  verdicts_.append(verdict);
  if (transferEncodings_ > 0) {
    state_ = State::kChunkSize;
  } else if (length > 0) {
    state_ = State::kBody;
    bodyLeft_ = length;
  } else {
    finishRequest();
  }
}

void HttpFraming::endChunkSizeLine(QByteArrayView line) {
  const qsizetype semicolon = line.indexOf(';');
  const QByteArrayView size = WithoutLeadingZeros(semicolon < 0 ? line : line.first(semicolon));
  const QByteArrayView extension = semicolon < 0 ? QByteArrayView() : line.sliced(semicolon);
  // Fifteen hex digits still fit; the library ignores extensions, but a control character
  // in one could end its line elsewhere.
  if (size.isEmpty() || size.size() > 15 || !std::all_of(size.begin(), size.end(), IsHexDigit) ||
      std::any_of(extension.begin(), extension.end(),
                  [](char c) { return IsControl(c) && c != '\t'; })) {
    refuse(400, QStringLiteral("a chunk size is malformed"));
    return;
  }
  const qint64 chunk = size.toByteArray().toLongLong(nullptr, 16);
  if (requestBytes_ + chunk > maxRequestBytes_) {
    refuse(413, QStringLiteral("the request is larger than %1 bytes").arg(maxRequestBytes_));
    return;
  }
  sawCr_ = false;
  if (chunk == 0) {
    state_ = State::kLastChunkEnd;
  } else {
    state_ = State::kChunkData;
    bodyLeft_ = chunk;
  }
}

void HttpFraming::finishRequest() {
  state_ = State::kBetween;
  requestBytes_ = 0;
  lastEnd_ = position_;
}

void HttpFraming::refuse(int status, const QString& reason) {
  FramingVerdict verdict;
  verdict.kind = FramingVerdict::kRefuse;
  verdict.status = status;
  verdict.reason = reason;
  verdicts_.append(verdict);
  state_ = State::kEnded;
  line_ = QByteArray();
}

void HttpFraming::notHttp(const QString& reason) {
  FramingVerdict verdict;
  verdict.kind = FramingVerdict::kNotHttp;
  verdict.reason = reason;
  verdicts_.append(verdict);
  state_ = State::kEnded;
  line_ = QByteArray();
}

}  // namespace taurelin
