#include "web/page_template.h"

#include <QRegularExpression>

namespace taurelin {
namespace {

QString Text(const PageFrame& frame, const PageLanguage& shown, const QString& name) {
  if (shown.texts.contains(name)) return shown.texts.value(name);
  return frame.languages.isEmpty() ? QString() : frame.languages.first()->texts.value(name);
}

// Each match of `pattern` in `html` replaced by what `with` makes of it.
template <typename Make>
QString ReplaceEach(const QString& html, const QRegularExpression& pattern, Make with) {
  QString out;
  qsizetype done = 0;
  for (const QRegularExpressionMatch& match : pattern.globalMatch(html)) {
    out += QStringView(html).mid(done, match.capturedStart() - done);
    out += with(match);
    done = match.capturedEnd();
  }
  out += QStringView(html).mid(done);
  return out;
}

QString Buttons(const PageFrame& frame, const PageLanguage& shown) {
  QString buttons;
  for (const PageLanguage* language : frame.languages) {
    const QString file = QStringLiteral("/lang/%1.js").arg(language->lang);
    buttons += QStringLiteral("\n    <button type=\"button\" class=\"language\" lang=\"%1\" "
                              "aria-pressed=\"%2\" data-src=\"%3\">%4</button>")
                   .arg(language->lang.toHtmlEscaped(),
                        language == &shown ? QStringLiteral("true") : QStringLiteral("false"),
                        frame.urls.value(file, file).toHtmlEscaped(),
                        language->name.toHtmlEscaped());
  }
  return buttons + QStringLiteral("\n  ");
}

}  // namespace

QString FrameLanguage(const QByteArray& html) {
  static const QRegularExpression kLang(QStringLiteral("<html lang=\"([^\"]*)\""));
  return kLang.match(QString::fromUtf8(html)).captured(1);
}

QByteArray FillPage(const PageFrame& frame, const PageLanguage& shown) {
  QString html = QString::fromUtf8(frame.html);
  static const QRegularExpression kHtml(QStringLiteral("<html lang=\"[^\"]*\""));
  html.replace(kHtml, QStringLiteral("<html lang=\"%1\"").arg(shown.lang.toHtmlEscaped()));
  // The frame leaves each such element empty for its text.
  static const QRegularExpression kElement(
      QStringLiteral("(data-text=\"([A-Za-z0-9_]+)\"[^>]*>)(</)"));
  html = ReplaceEach(html, kElement, [&](const QRegularExpressionMatch& match) {
    return match.captured(1) + Text(frame, shown, match.captured(2)).toHtmlEscaped() +
           match.captured(3);
  });
  static const QRegularExpression kAttribute(
      QStringLiteral("([a-z-]+)=\"\"(\\s+data-text-\\1=\"([A-Za-z0-9_]+)\")"));
  html = ReplaceEach(html, kAttribute, [&](const QRegularExpressionMatch& match) {
    return QStringLiteral("%1=\"%2\"%3")
        .arg(match.captured(1), Text(frame, shown, match.captured(3)).toHtmlEscaped(),
             match.captured(2));
  });
  static const QRegularExpression kButtons(
      QStringLiteral("(<[^>]* id=\"languages\"[^>]*>)\\s*(</)"));
  html = ReplaceEach(html, kButtons, [&](const QRegularExpressionMatch& match) {
    return match.captured(1) + Buttons(frame, shown) + match.captured(2);
  });
  static const QRegularExpression kUrl(QStringLiteral("(src|href)=\"(/[^\"]*)\""));
  html = ReplaceEach(html, kUrl, [&](const QRegularExpressionMatch& match) {
    QString path = match.captured(2);
    path.replace(QStringLiteral("{lang}"), shown.lang);
    return QStringLiteral("%1=\"%2\"").arg(match.captured(1),
                                            frame.urls.value(path, path).toHtmlEscaped());
  });
  return html.toUtf8();
}

}  // namespace taurelin
