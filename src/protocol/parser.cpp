#include "protocol/parser.h"

#include "base/elapsed_text.h"
#include "base/integer_text.h"
#include "protocol/dispatcher.h"
#include "protocol/request_objects.h"
#include "protocol/reply_envelope.h"
#include "protocol/split_off.h"

#include <QElapsedTimer>

#include <memory>
#include <stdexcept>
#include <utility>

namespace taurelin {
namespace {

const QString kAmpersand = QStringLiteral("&");
const QString kLineFeed = QStringLiteral("\n");

// A section the request must carry is missing.
class MissingSectionError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

class BadCountError : public std::runtime_error {
 public:
  BadCountError() : std::runtime_error("the count is not an integer") {}
};

class TooManyRowsError : public std::runtime_error {
 public:
  TooManyRowsError() : std::runtime_error("the request carries more rows than allowed") {}
};

// Blanks and control characters, as trimmed around the row count.
QString TrimControls(const QString& text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && text[begin].unicode() <= u' ') ++begin;
  while (end > begin && text[end - 1].unicode() <= u' ') --end;
  return text.mid(begin, end - begin);
}

// The working values of one request; their initial contents are what a failure answer shows
// for sections never reached.
struct Sections {
  QString rest;
  // Whether the request ended with its LF. The LF frames the request and is never part of a
  // section; where a section runs "to the LF", it runs to the end of the line.
  bool terminated = false;
  // Whether "messageID" stands anywhere in the request, also after its line.
  bool namesMessageId = false;
  // Where the LF stood in what is left to be cut; -1 without one.
  qsizetype lineFeedAt() const { return terminated ? rest.size() : -1; }
  QString id;
  QString count = QStringLiteral("count=0");
  QString header = QStringLiteral("header=");
  QString data = QStringLiteral("data=");
  QString errorCode;
  QString errorMessage;
};

void Fail(Sections& s, const char* code, const char* message, const char* internal) {
  s.errorCode = QLatin1String(code);
  s.errorMessage = QString::fromUtf8(message);
  throw MissingSectionError(internal);
}

// A request may carry error fields of its own; they are kept for a failure answer only and
// taken out of the text that is cut further. `label` is "errormessage" or "errorcode".
void TakeOwnErrorField(Sections& s, const QString& label, QString& field) {
  const qsizetype at = s.rest.indexOf(label);
  if (at < 0) return;
  const qsizetype length = s.lineFeedAt();  // the LF's 1-based position, less one
  field = length > 0 ? s.rest.mid(at, length) : QString();
  const qsizetype from = s.rest.indexOf(kAmpersand + label);
  if (from >= 0 && length > 0) s.rest.remove(from, length);
}

// An answer is exactly one line, whatever its texts hold (a remark stored with a line break
// by another program): a client reads one line per request and must never take the rest of
// one answer for the next.
QString Framed(QString answer) {
  answer.replace(u'\n', u' ');
  answer += kLineFeed;
  return answer;
}

void Log(RequestContext& context, const QString& message) {
  if (context.writeLog) context.writeLog(message);
}

QString Run(Sections& s, RequestContext& context) {
  if (!s.namesMessageId) throw MissingSectionError("no messageID");
  s.id = SplitOff(s.rest, kAmpersand);

  if (!s.rest.contains(u"count")) {
    Fail(s, "errorcode=-9999", "errormessage='count'-seksjonen mangler",
         "Instruksjonen mangler 'count'-seksjonen");
  }
  s.count = SplitOff(s.rest, kAmpersand);

  if (!s.rest.contains(u"header")) {
    Fail(s, "errorcode=-9999", "errormessage='header'-seksjonen mangler",
         "Instruksjonen mangler 'header'-seksjonen");
  }
  s.header = SplitOff(s.rest, kAmpersand);
  if (s.header.isEmpty()) s.header = SplitOff(s.rest, kLineFeed);

  TakeOwnErrorField(s, QStringLiteral("errormessage"), s.errorMessage);
  TakeOwnErrorField(s, QStringLiteral("errorcode"), s.errorCode);

  if (!s.rest.contains(u"data")) {
    Fail(s, "errorcode=-9999", "errormessage='data'-seksjonen mangler",
         "Instruksjonen mangler 'data'-seksjonen");
  }
  // The data section runs from "data" to the end of the line.
  const qsizetype dataAt = s.rest.indexOf(u"data");
  const qsizetype lineFeedAt = s.lineFeedAt();
  s.data = lineFeedAt > 0 ? s.rest.mid(dataAt, lineFeedAt) : QString();
  s.rest.remove(dataAt, lineFeedAt + 1);

  const TAPI_Header header(s.header);
  SplitOff(s.count, QStringLiteral("="));
  const std::optional<int> rowCount = ToInteger(TrimControls(s.count));
  if (!rowCount) throw BadCountError();
  // The rows run one after the other on the one event loop: a request of many holds back
  // every other client, so it is refused before any row runs.
  if (*rowCount > context.maxRows) {
    Log(context, QStringLiteral("Request refused : %1 rows, at most %2 allowed")
                     .arg(*rowCount)
                     .arg(context.maxRows));
    throw TooManyRowsError();
  }
  const TAPI_DataControl rows(*rowCount, &header, s.data);

  QElapsedTimer timer;
  timer.start();
  const std::optional<InstructionReply> reply = ExecuteInstruction(&rows, context);
  const qint64 elapsed = timer.elapsed();

  s.rest = reply ? ReplyEnvelope::Write(*reply, s.id) : s.id;
  Log(context, QStringLiteral("Instruksjonen tok  ") + FormatElapsed(elapsed));
  return s.rest.isEmpty() ? QString() : Framed(std::move(s.rest));
}

}  // namespace

QString ProcessRequest(const QString& request, RequestContext& context) {
  // The request is its first line; whatever follows that LF is ignored.
  const qsizetype lineFeed = request.indexOf(kLineFeed);
  Sections s;
  s.rest = request;
  if (lineFeed >= 0) s.rest.truncate(lineFeed);
  s.terminated = lineFeed >= 0;
  s.namesMessageId = request.contains(u"messageID");
  try {
    return Run(s, context);
  } catch (...) {
    // Whatever failed, the client gets an answer that shows how far the request was read.
  }
  Log(context, QStringLiteral("Instruksjonen feiler : ") + request.left(lineFeed));
  QString answer = s.id + kAmpersand + s.count + kAmpersand + s.header + kAmpersand + s.data;
  if (!s.errorCode.isEmpty()) answer += kAmpersand + s.errorCode + kAmpersand + s.errorMessage;
  answer = Framed(answer);
  Log(context, QStringLiteral("U1 : ") + answer);
  return answer;
}

}  // namespace taurelin
