#pragma once

// A mail kept as its rendered content (MailContent) as plain data, made into the message's
// bytes (ComposeMail) only when it is sent; since the same content gives the same bytes, every
// attempt sends the very same message. A booking's mail is kept as what it tells instead
// (KeptBookingMail); this form serves mails that were rendered when they were written.
//
// Promises: MessageOfKept(KeepMail(content)) is ComposeMail(content) byte for byte, at every
// call; a kept mail that is not of this form (a message kept as its bytes) is given back as it
// stands; what cannot be read or composed throws MailError.

#include "mail/mail_content.h"

#include <QByteArray>

namespace taurelin {

QByteArray KeepMail(const MailContent& content);
QByteArray MessageOfKept(const QByteArray& kept);

}  // namespace taurelin
