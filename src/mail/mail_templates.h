#pragma once

// The mail templates of every language, read from a folder:
//
//   FOLDER/LANG/EVENT.subject   the subject: one line
//   FOLDER/LANG/EVENT.txt       the text
//   FOLDER/LANG/EVENT.html      the HTML; empty (or blank): the mail is text only
//
// LANG is a language tag ("nb", "en"), EVENT an event's name (MailEventName); every file is
// UTF-8 (a byte order mark and CRLF line ends are taken). What a template may hold is in
// template_text.h, which values each event has in mail_event.h.
//
// Promises: Load reads every language folder and takes them only if all is well: a folder
// that is missing or unreadable, a folder without language folders, a language folder
// without one of the files of every event, a file that cannot be read or is not UTF-8, a
// subject that is empty or more than one line, and whatever TemplateText refuses, throw
// MailTemplateError, whose message begins with the file (and the line: "FILE:LINE: ").
// render gives the event's subject, text and HTML in the language asked for, else in its
// primary language ("nb" for "nb-NO"), else in the fallback language the same way (letter
// case aside); when neither is loaded it throws MailTemplateError. Values are escaped in the
// HTML only; in the subject their line breaks become blanks, and the subject is trimmed.
// Values the event does not have are ignored. Loaded templates never change: render from any
// thread at once; a copy is cheap.

#include "mail/mail_event.h"
#include "mail/template_text.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <array>

namespace taurelin {

struct RenderedMail {
  QString language;  // the language the templates were taken from
  QString subject;
  QString text;
  QString html;      // empty: text only
};

class MailTemplates {
 public:
  MailTemplates() = default;

  static MailTemplates Load(const QString& folder);

  QStringList languages() const;  // sorted

  RenderedMail render(MailEvent event, const QString& language, const MailValues& values,
                      const QString& fallbackLanguage) const;

 private:
  struct Templates {
    TemplateText subject;
    TemplateText text;
    TemplateText html;
    bool hasHtml = false;
  };
  using Language = std::array<Templates, kMailEvents.size()>;

  // The loaded language that serves `language`; empty: none.
  QString find(const QString& language) const;

  QHash<QString, Language> languages_;  // by the folder's name in lower case
};

}  // namespace taurelin
