#include "mail/template_text.h"

namespace taurelin {
namespace {

QString HtmlEscaped(const QString& value) {
  QString escaped;
  escaped.reserve(value.size());
  for (QChar c : value) {
    switch (c.unicode()) {
      case u'&': escaped += QLatin1String("&amp;"); break;
      case u'<': escaped += QLatin1String("&lt;"); break;
      case u'>': escaped += QLatin1String("&gt;"); break;
      case u'"': escaped += QLatin1String("&quot;"); break;
      case u'\'': escaped += QLatin1String("&#39;"); break;
      default: escaped += c;
    }
  }
  return escaped;
}

QString Flattened(const QString& value) {
  QString flat = value;
  flat.replace(QLatin1String("\r\n"), QLatin1String(" "));
  flat.replace(u'\r', u' ');
  flat.replace(u'\n', u' ');
  return flat;
}

bool IsBlank(const QString& text) { return text.trimmed().isEmpty(); }

}  // namespace

TemplateText TemplateText::Parse(const QString& text, const QString& file,
                                 const QStringList& names, const QString& owner) {
  TemplateText parsed;
  QList<Token>& tokens = parsed.tokens_;
  struct Open {
    qsizetype token;
    int line;
  };
  QList<Open> open;
  const auto fail = [&file](int line, const QString& why) {
    return MailTemplateError(QStringLiteral("%1:%2: %3").arg(file).arg(line).arg(why));
  };
  const auto appendText = [&tokens](const QString& piece) {
    if (piece.isEmpty()) return;
    if (!tokens.isEmpty() && tokens.back().kind == Token::Kind::kText) {
      tokens.back().text += piece;
    } else {
      tokens.append({Token::Kind::kText, piece});
    }
  };

  int number = 0;
  qsizetype start = 0;
  while (start < text.size()) {
    ++number;
    const qsizetype newline = text.indexOf(u'\n', start);
    const qsizetype end = newline < 0 ? text.size() : newline + 1;
    const QString line = text.sliced(start, end - start);
    start = end;

    QList<Token> lineTokens;
    qsizetype at = 0;
    while (true) {
      const qsizetype tag = line.indexOf(QLatin1String("{{"), at);
      if (tag < 0) {
        if (at < line.size()) lineTokens.append({Token::Kind::kText, line.sliced(at)});
        break;
      }
      if (tag > at) lineTokens.append({Token::Kind::kText, line.sliced(at, tag - at)});
      const qsizetype close = line.indexOf(QLatin1String("}}"), tag + 2);
      if (close < 0) throw fail(number, QStringLiteral("'{{' is not closed on its line"));
      QString name = line.sliced(tag + 2, close - tag - 2).trimmed();
      Token::Kind kind = Token::Kind::kValue;
      if (name.startsWith(u'#') || name.startsWith(u'/')) {
        kind = name.startsWith(u'#') ? Token::Kind::kOpen : Token::Kind::kClose;
        name = name.sliced(1).trimmed();
      }
      if (!names.contains(name)) {
        throw fail(number, QStringLiteral("{{%1}} is not a value of %2, which has: %3")
                               .arg(name, owner, names.join(QLatin1String(", "))));
      }
      lineTokens.append({kind, name});
      at = close + 2;
    }

    // A section's mark alone on its line takes the line with it.
    qsizetype marks = 0;
    qsizetype others = 0;
    for (const Token& token : lineTokens) {
      if (token.kind == Token::Kind::kOpen || token.kind == Token::Kind::kClose) {
        ++marks;
      } else if (token.kind == Token::Kind::kValue || !IsBlank(token.text)) {
        ++others;
      }
    }
    const bool alone = marks == 1 && others == 0;

    for (const Token& token : lineTokens) {
      switch (token.kind) {
        case Token::Kind::kText:
          if (!alone) appendText(token.text);
          break;
        case Token::Kind::kValue:
          tokens.append(token);
          break;
        case Token::Kind::kOpen:
          open.append({tokens.size(), number});
          tokens.append(token);
          break;
        case Token::Kind::kClose:
          if (open.isEmpty() || tokens[open.back().token].text != token.text) {
            throw fail(number, open.isEmpty()
                                   ? QStringLiteral("{{/%1}} closes no section").arg(token.text)
                                   : QStringLiteral("{{/%1}} where {{/%2}} is due")
                                         .arg(token.text, tokens[open.back().token].text));
          }
          tokens[open.back().token].close = tokens.size();
          open.removeLast();
          tokens.append(token);
          break;
      }
    }
  }
  if (!open.isEmpty()) {
    throw fail(open.back().line,
               QStringLiteral("{{#%1}} is not closed").arg(tokens[open.back().token].text));
  }
  return parsed;
}

QString TemplateText::render(const MailValues& values, Escape escape) const {
  QString out;
  for (qsizetype i = 0; i < tokens_.size(); ++i) {
    const Token& token = tokens_[i];
    switch (token.kind) {
      case Token::Kind::kText:
        out += token.text;
        break;
      case Token::Kind::kValue: {
        const QString value = values.value(token.text);
        out += escape == Escape::kHtml     ? HtmlEscaped(value)
               : escape == Escape::kHeader ? Flattened(value)
                                           : value;
        break;
      }
      case Token::Kind::kOpen:
        if (IsBlank(values.value(token.text))) i = token.close;
        break;
      case Token::Kind::kClose:
        break;
    }
  }
  return out;
}

}  // namespace taurelin
