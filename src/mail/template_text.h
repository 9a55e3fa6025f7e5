#pragma once

// One template file, parsed: text with values written {{name}} and sections written
// {{#name}}...{{/name}}, which are shown only when the value `name` is not empty (blanks
// count as empty). Sections may nest. A line that holds nothing but a section's opening or
// closing (and blanks) is left out as a whole, so sections can stand on lines of their own
// in a text without leaving blank lines behind.
//
// Promises: Parse refuses, with a MailTemplateError whose message begins "FILE:LINE: ", a
// name not among the names given, a {{ that is not closed on its line, a section closed that
// is not open (or not the innermost one open), and a section left open (naming the line that
// opens it). Render puts the values in as the escape says: as they are, with &<>"' escaped
// for HTML, or with line breaks flattened to blanks for a header; the template's own text is
// never changed. A parsed template is immutable: render it from any thread at once.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <stdexcept>

namespace taurelin {

class MailTemplateError : public std::runtime_error {
 public:
  explicit MailTemplateError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

using MailValues = QHash<QString, QString>;

class TemplateText {
 public:
  enum class Escape { kNone, kHtml, kHeader };

  TemplateText() = default;

  // `text` is the file's text with LF line ends; `file` names it in errors; `names` are the
  // values the template may use and `owner` says whose they are ("booking-confirmed").
  static TemplateText Parse(const QString& text, const QString& file, const QStringList& names,
                            const QString& owner);

  QString render(const MailValues& values, Escape escape) const;

 private:
  struct Token {
    enum class Kind { kText, kValue, kOpen, kClose } kind;
    QString text;          // the text, or the value's name
    qsizetype close = -1;  // of an opening: the index of its closing
  };

  QList<Token> tokens_;
};

}  // namespace taurelin
