#include "web/page_language.h"

#include <QRegularExpression>

#include <optional>
#include <stdexcept>

namespace taurelin {
namespace {

class Reader {
 public:
  Reader(const QString& text, qsizetype at) : text_(text), at_(at) {}

  // String literals joined by +, up to the , or } that ends the value.
  std::optional<QString> strings() {
    QString joined;
    for (;;) {
      std::optional<QString> part = literal();
      if (!part) return std::nullopt;
      joined += *part;
      skipBlank();
      if (peek() != u'+') break;
      ++at_;
      skipBlank();
    }
    return ends() ? std::optional<QString>(joined) : std::nullopt;
  }

  // ["a", "b"]
  std::optional<QStringList> list() {
    if (peek() != u'[') return std::nullopt;
    ++at_;
    QStringList items;
    for (;;) {
      skipBlank();
      if (peek() == u']') break;
      std::optional<QString> item = literal();
      if (!item) return std::nullopt;
      items << *item;
      skipBlank();
      if (peek() == u',') ++at_;
    }
    ++at_;
    skipBlank();
    return ends() ? std::optional<QStringList>(items) : std::nullopt;
  }

 private:
  QChar peek() const { return at_ < text_.size() ? text_[at_] : QChar(); }

  void skipBlank() {
    while (at_ < text_.size() && text_[at_].isSpace()) ++at_;
  }

  bool ends() {
    skipBlank();
    return peek() == u',' || peek() == u'}';
  }

  // One "..." or '...' literal with its escapes; a template literal or anything else is no
  // plain text.
  std::optional<QString> literal() {
    const QChar quote = peek();
    if (quote != u'"' && quote != u'\'') return std::nullopt;
    QString value;
    for (++at_; at_ < text_.size(); ++at_) {
      const QChar c = text_[at_];
      if (c == quote) {
        ++at_;
        return value;
      }
      if (c == u'\n') return std::nullopt;
      if (c != u'\\') {
        value += c;
        continue;
      }
      if (++at_ >= text_.size()) return std::nullopt;
      const QChar escaped = text_[at_];
      if (escaped == u'n') {
        value += u'\n';
      } else if (escaped == u't') {
        value += u'\t';
      } else if (escaped == u'u' && at_ + 4 < text_.size()) {
        bool ok = false;
        const ushort code = text_.mid(at_ + 1, 4).toUShort(&ok, 16);
        if (!ok) return std::nullopt;
        value += QChar(code);
        at_ += 4;
      } else if (escaped.isLetterOrNumber()) {
        return std::nullopt;  // an escape this reader does not know
      } else {
        value += escaped;
      }
    }
    return std::nullopt;
  }

  const QString& text_;
  qsizetype at_;
};

}  // namespace

PageLanguage ReadPageLanguage(const QByteArray& source) {
  const QString text = QString::fromUtf8(source);
  PageLanguage language;
  // The language's own names stand one level into its object, four spaces in.
  static const QRegularExpression kName(QStringLiteral("^    ([A-Za-z_][A-Za-z0-9_]*):\\s*"),
                                        QRegularExpression::MultilineOption);
  for (const QRegularExpressionMatch& match : kName.globalMatch(text)) {
    const QString name = match.captured(1);
    Reader reader(text, match.capturedEnd());
    if (name == u"matches") {
      if (std::optional<QStringList> matches = reader.list()) language.matches = *matches;
      continue;
    }
    std::optional<QString> value = reader.strings();
    if (!value) continue;
    if (name == u"lang") language.lang = *value;
    if (name == u"languageName") language.name = *value;
    language.texts.insert(name, *value);
  }
  if (language.lang.isEmpty()) {
    throw std::runtime_error("a language file of the page names no lang");
  }
  if (language.matches.isEmpty()) language.matches << language.lang;
  if (language.name.isEmpty()) language.name = language.lang;
  return language;
}

}  // namespace taurelin
