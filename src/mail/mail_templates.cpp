#include "mail/mail_templates.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>

namespace taurelin {
namespace {

MailTemplateError Refusal(const QString& where, const QString& why) {
  return MailTemplateError(QStringLiteral("%1: %2").arg(where, why));
}

// The file's text with LF line ends; bytes that are no UTF-8 are refused by their line.
QString ReadText(const QString& path) {
  QFile file(path);
  if (!file.exists()) throw Refusal(path, QStringLiteral("missing"));
  if (!file.open(QIODevice::ReadOnly)) {
    throw Refusal(path, QStringLiteral("cannot be read: %1").arg(file.errorString()));
  }
  QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    throw Refusal(path, QStringLiteral("cannot be read: %1").arg(file.errorString()));
  }
  if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
  QString text;
  int number = 0;
  for (const QByteArray& line : bytes.split('\n')) {
    ++number;
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decode(line);
    if (decode.hasError()) {
      throw Refusal(QStringLiteral("%1:%2").arg(path).arg(number), QStringLiteral("not UTF-8"));
    }
    if (number > 1) text += u'\n';
    text += decoded;
  }
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  return text;
}

TemplateText ReadSubject(const QString& path, const QStringList& names, const QString& owner) {
  const QString text = ReadText(path);
  qsizetype end = text.size();
  while (end > 0 && text[end - 1].isSpace()) --end;
  const QString subject = text.first(end);
  if (subject.contains(u'\n')) {
    throw Refusal(QStringLiteral("%1:2").arg(path), QStringLiteral("a subject is one line"));
  }
  if (subject.trimmed().isEmpty()) {
    throw Refusal(QStringLiteral("%1:1").arg(path), QStringLiteral("the subject is empty"));
  }
  return TemplateText::Parse(subject, path, names, owner);
}

// "nb" of "nb-NO" (or of "nb_NO", as a locale writes it).
QString PrimaryLanguage(const QString& tag) {
  for (qsizetype i = 0; i < tag.size(); ++i) {
    if (tag[i] == u'-' || tag[i] == u'_') return tag.first(i);
  }
  return tag;
}

}  // namespace

MailTemplates MailTemplates::Load(const QString& folder) {
  const QFileInfo info(folder);
  if (!info.isDir()) throw Refusal(folder, QStringLiteral("no such folder"));
  if (!info.isReadable()) throw Refusal(folder, QStringLiteral("cannot be read"));
  const QStringList folders =
      QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Readable, QDir::Name);
  if (folders.isEmpty()) {
    throw Refusal(folder, QStringLiteral("holds no language folder (such as nb or en)"));
  }

  MailTemplates loaded;
  for (const QString& language : folders) {
    const QString base = QDir(folder).filePath(language) + u'/';
    Language& templates = loaded.languages_[language.toLower()];
    for (MailEvent event : kMailEvents) {
      const QString name = MailEventName(event);
      const QStringList& names = MailPlaceholders(event);
      Templates& mail = templates[static_cast<size_t>(event)];
      mail.subject = ReadSubject(base + name + QLatin1String(".subject"), names, name);
      const QString textPath = base + name + QLatin1String(".txt");
      mail.text = TemplateText::Parse(ReadText(textPath), textPath, names, name);
      const QString htmlPath = base + name + QLatin1String(".html");
      const QString html = ReadText(htmlPath);
      mail.html = TemplateText::Parse(html, htmlPath, names, name);
      mail.hasHtml = !html.trimmed().isEmpty();
    }
  }
  return loaded;
}

QStringList MailTemplates::languages() const {
  QStringList names = languages_.keys();
  std::sort(names.begin(), names.end());
  return names;
}

QString MailTemplates::find(const QString& language) const {
  const QString tag = language.trimmed().toLower();
  if (languages_.contains(tag)) return tag;
  if (languages_.contains(PrimaryLanguage(tag))) return PrimaryLanguage(tag);
  return {};
}

RenderedMail MailTemplates::render(MailEvent event, const QString& language,
                                   const MailValues& values,
                                   const QString& fallbackLanguage) const {
  QString used = find(language);
  if (used.isEmpty()) used = find(fallbackLanguage);
  if (used.isEmpty()) {
    throw MailTemplateError(
        QStringLiteral("no mail templates in '%1' nor in '%2'").arg(language, fallbackLanguage));
  }
  const Templates& mail = languages_.constFind(used).value()[static_cast<size_t>(event)];
  RenderedMail rendered;
  rendered.language = used;
  rendered.subject = mail.subject.render(values, TemplateText::Escape::kHeader).trimmed();
  rendered.text = mail.text.render(values, TemplateText::Escape::kNone);
  if (mail.hasHtml) rendered.html = mail.html.render(values, TemplateText::Escape::kHtml);
  return rendered;
}

}  // namespace taurelin
