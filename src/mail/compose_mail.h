#pragma once

// The message of a mail as it is sent: RFC 5322 bytes with CRLF line ends, written by GMime.
//
// Promises: From, Reply-To (when given), To, Subject, Date, Message-ID and MIME-Version, then
// the text as text/plain, or text/plain and text/html in a multipart/alternative, both UTF-8
// in quoted-printable or base64; a calendar is attached beside them in a multipart/mixed as
// text/calendar (method PUBLISH, UTF-8, in base64, so its CRLF lines arrive as they are),
// written from the content's stay (StayCalendar) when the content has no calendar file.
// Names, subjects and file names are written as encoded words where they need it; their line
// breaks and other control characters become blanks first, so nothing in them can add a
// header or a recipient. An address must be one as IsMailAddress says (blanks around it are
// dropped); the mail needs a sender, a recipient, a Message-ID and a date. What is not so
// throws MailError and writes nothing. The same content gives the same bytes (the multipart
// boundaries come from the Message-ID). Callable from any thread at once; GMime is set up at
// the first call.

#include "mail/mail_content.h"

#include <QByteArray>

namespace taurelin {

QByteArray ComposeMail(const MailContent& content);

}  // namespace taurelin
