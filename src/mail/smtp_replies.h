#pragma once

// The mail server's replies, gathered from the bytes it sent, so that an outcome can carry
// the server's own words ("550 5.1.1 <x@example.com>: Recipient address rejected").
//
// Promises: keeps the last complete reply, all of its lines, however the bytes come split;
// only what the server sent is seen here, never what we sent, so never a password; the text
// kept is at most a few hundred characters, control characters turned to blanks. A reply
// answers only what was sent last: once we send more, its code is no longer the last one, so
// a connection lost after a tolerated refusal is not taken for that refusal. The answer to
// QUIT is not kept: it says nothing of the mail.

#include <QByteArray>
#include <QString>

#include <cstddef>

namespace taurelin {

class SmtpReplies {
 public:
  // Bytes the server sent, in order.
  void add(const char* data, std::size_t size);
  // We sent a command or data. Once we say QUIT, the mail is done with: the replies that
  // follow are not kept.
  void sent(const char* data, std::size_t size);

  // 0 before the first complete reply, and while what we sent last is unanswered.
  int lastCode() const { return lastCode_; }
  const QString& last() const { return last_; }

 private:
  void takeLine(const QByteArray& line);

  QByteArray partial_;  // a line whose LF has not come
  QString current_;     // the lines so far of a reply whose last line has not come
  int lastCode_ = 0;
  QString last_;
  bool quit_ = false;
};

}  // namespace taurelin
