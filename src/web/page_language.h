#pragma once

// Promises: the plain texts of one of the booking page's language files, read from its
// source as the browser would run it: each text of the language written as string literals
// (joined by +, if at all), its code (lang), the browser languages it serves (matches) and
// its own name (languageName). Texts made by a function, and the nested error sentences,
// are left to the page's script.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

namespace taurelin {

struct PageLanguage {
  QString lang;
  QStringList matches;
  QString name;
  QHash<QString, QString> texts;
};

// Throws std::runtime_error when the file gives no lang.
PageLanguage ReadPageLanguage(const QByteArray& source);

}  // namespace taurelin
