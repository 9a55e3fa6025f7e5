#include "mail/smtp_replies.h"

#include <cstring>

namespace taurelin {
namespace {

// Enough for any honest reply; a server that talks on does not fill the outbox.
constexpr qsizetype kMaxText = 400;
constexpr qsizetype kMaxLine = 4096;

QString Printable(const QByteArray& bytes) {
  QString text = QString::fromUtf8(bytes);
  for (QChar& c : text) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7f) c = QLatin1Char(' ');
  }
  return text.trimmed();
}

}  // namespace

void SmtpReplies::add(const char* data, std::size_t size) {
  if (quit_) return;
  partial_.append(data, static_cast<qsizetype>(size));
  qsizetype end;
  while ((end = partial_.indexOf('\n')) >= 0) {
    takeLine(partial_.left(end));
    partial_.remove(0, end + 1);
  }
  if (partial_.size() > kMaxLine) partial_.truncate(kMaxLine);
}

void SmtpReplies::sent(const char* data, std::size_t size) {
  if (size >= 4 && std::memcmp(data, "QUIT", 4) == 0) {
    quit_ = true;
    return;
  }
  lastCode_ = 0;
}

void SmtpReplies::takeLine(const QByteArray& line) {
  // "250-first", "250-more", "250 last": three digits, then a hyphen while more lines follow.
  if (line.size() < 3) return;
  for (qsizetype i = 0; i < 3; ++i) {
    if (line.at(i) < '0' || line.at(i) > '9') return;
  }
  const int code = line.left(3).toInt();
  const bool more = line.size() > 3 && line.at(3) == '-';
  const QString text = Printable(line.mid(4));
  if (current_.isEmpty()) {
    current_ = QString::number(code);
  }
  if (!text.isEmpty() && current_.size() < kMaxText) current_ += QLatin1Char(' ') + text;
  if (more) return;
  lastCode_ = code;
  last_ = current_.left(kMaxText);
  current_.clear();
}

}  // namespace taurelin
