#pragma once

// A mail as the outbox keeps it: its content (MailContent) as plain data, rendered from its
// templates when the change that calls for it is written, and made into the message's bytes
// (ComposeMail) only when it is sent. So the change's transaction pays for the rendering and
// the row alone, while the MIME and calendar writing run on the courier's thread; and since
// the same content gives the same bytes, every attempt sends the very same message.
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
