#pragma once

// Promises: the booking page's HTML as served in one language, made from its frame
// (index.html) without a script: the text of each element marked data-text="NAME", each
// attribute written empty before data-text-ATTR="NAME", <html lang>, the language buttons
// (the one shown pressed) and the URL of each of the page's own files with its version, so
// that nothing on the page moves when its script starts. A text the language lacks is the
// first language's; one that neither has stays empty.

#include "web/page_language.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

namespace taurelin {

struct PageFrame {
  QByteArray html;  // the frame; {lang} in a file's URL stands for the language shown
  QList<const PageLanguage*> languages;  // in the order of their buttons, the first first
  QHash<QString, QString> urls;  // a file's path => the URL the page names it by
};

// The frame's own language: the one its <html lang> names.
QString FrameLanguage(const QByteArray& html);

QByteArray FillPage(const PageFrame& frame, const PageLanguage& shown);

}  // namespace taurelin
