#include "mail/mail_templates.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>

namespace taurelin {
namespace {

const QString kShipped = QStringLiteral(TAURELIN_MAIL_TEMPLATES);

MailValues Filled(MailEvent event) {
  MailValues values;
  for (const QString& name : MailPlaceholders(event)) values[name] = u'[' + name + u']';
  return values;
}

TEST(MailTemplatesTest, TheShippedTemplatesUseEveryValueOfEveryEventInBothLanguages) {
  const MailTemplates templates = MailTemplates::Load(kShipped);
  ASSERT_EQ(templates.languages(), QStringList({QStringLiteral("en"), QStringLiteral("nb")}));
  for (const QString& language : templates.languages()) {
    for (MailEvent event : kMailEvents) {
      SCOPED_TRACE((language + u'/' + MailEventName(event)).toStdString());
      const RenderedMail full = templates.render(event, language, Filled(event), language);
      EXPECT_EQ(full.language, language);
      EXPECT_FALSE(full.subject.isEmpty());
      for (const QString* part : {&full.subject, &full.text, &full.html}) {
        EXPECT_FALSE(part->contains(QLatin1String("{{")) || part->contains(QLatin1String("}}")))
            << part->toStdString();
      }
      for (const QString& name : MailPlaceholders(event)) {
        EXPECT_TRUE(full.text.contains(u'[' + name + u']')) << name.toStdString();
        EXPECT_TRUE(full.html.contains(u'[' + name + u']')) << name.toStdString();
      }
      EXPECT_TRUE(full.html.contains(QStringLiteral("<html lang=\"%1\">").arg(language)));

      // Values left out leave no gaps: sections on lines of their own take their lines.
      const RenderedMail bare = templates.render(event, language, {}, language);
      EXPECT_FALSE(bare.text.contains(QLatin1String("\n\n\n"))) << bare.text.toStdString();
      EXPECT_FALSE(bare.text.startsWith(u'\n'));
    }
  }
}

TEST(MailTemplatesTest, ALanguageNotLoadedFallsBack) {
  const MailTemplates templates = MailTemplates::Load(kShipped);
  const MailValues values = Filled(MailEvent::kTest);
  EXPECT_EQ(templates.render(MailEvent::kTest, QStringLiteral("nb-NO"), values, {}).language,
            QStringLiteral("nb"));
  EXPECT_EQ(templates.render(MailEvent::kTest, QStringLiteral("EN"), values, {}).language,
            QStringLiteral("en"));
  EXPECT_EQ(templates
                .render(MailEvent::kTest, QStringLiteral("de"), values, QStringLiteral("nb"))
                .language,
            QStringLiteral("nb"));
  EXPECT_THROW(templates.render(MailEvent::kTest, QStringLiteral("de"), values,
                                QStringLiteral("fr")),
               MailTemplateError);
}

TEST(MailTemplatesTest, ValuesAreEscapedForHtmlOnlyAndFlattenedInTheSubject) {
  const QStringList names = {QStringLiteral("guest_name"), QStringLiteral("link"),
                             QStringLiteral("remark")};
  const auto parse = [&names](const char* text) {
    return TemplateText::Parse(QString::fromUtf8(text), QStringLiteral("t.txt"), names,
                               QStringLiteral("test"));
  };
  const TemplateText text = parse(
      "Hei {{ guest_name }}!\n"
      "  {{#link}}\n"
      "Lenke: {{link}}{{#remark}} ({{remark}}){{/remark}}\n"
      "{{/link}}\n"
      "Slutt\n");
  MailValues values = {{QStringLiteral("guest_name"), QStringLiteral("<b>Ola</b> & 'Kari' \"K\"")},
                       {QStringLiteral("remark"), QStringLiteral("sen ankomst")}};
  EXPECT_EQ(text.render(values, TemplateText::Escape::kNone),
            QStringLiteral("Hei <b>Ola</b> & 'Kari' \"K\"!\nSlutt\n"));
  values[QStringLiteral("link")] = QStringLiteral(" \t");
  EXPECT_EQ(text.render(values, TemplateText::Escape::kNone),
            QStringLiteral("Hei <b>Ola</b> & 'Kari' \"K\"!\nSlutt\n"));
  values[QStringLiteral("link")] = QStringLiteral("https://b.example/?r=1&c=x");
  EXPECT_EQ(text.render(values, TemplateText::Escape::kHtml),
            QStringLiteral("Hei &lt;b&gt;Ola&lt;/b&gt; &amp; &#39;Kari&#39; &quot;K&quot;!\n"
                           "Lenke: https://b.example/?r=1&amp;c=x (sen ankomst)\nSlutt\n"));
  values[QStringLiteral("remark")].clear();
  EXPECT_EQ(text.render(values, TemplateText::Escape::kNone),
            QStringLiteral("Hei <b>Ola</b> & 'Kari' \"K\"!\nLenke: https://b.example/?r=1&c=x\n"
                           "Slutt\n"));

  const TemplateText subject = parse("Bestilling: {{remark}}");
  EXPECT_EQ(subject.render({{QStringLiteral("remark"), QStringLiteral("a\r\nBcc: x@y\nz")}},
                           TemplateText::Escape::kHeader),
            QStringLiteral("Bestilling: a Bcc: x@y z"));
}

// A copy of the shipped English templates, changed, loaded: what the refusal says.
QString Refusal(const std::function<void(const QDir&)>& change) {
  static const QHash<QString, QByteArray> kEnglish = [] {
    QHash<QString, QByteArray> files;
    const QDir shipped(kShipped + QStringLiteral("/en"));
    for (const QString& name : shipped.entryList(QDir::Files)) {
      QFile file(shipped.filePath(name));
      if (file.open(QIODevice::ReadOnly)) files[name] = file.readAll();
    }
    return files;
  }();
  QTemporaryDir dir;
  QDir(dir.path()).mkdir(QStringLiteral("en"));
  const QDir english(dir.filePath(QStringLiteral("en")));
  for (auto file = kEnglish.cbegin(); file != kEnglish.cend(); ++file) {
    QFile copy(english.filePath(file.key()));
    if (copy.open(QIODevice::WriteOnly)) copy.write(file.value());
  }
  change(english);
  try {
    MailTemplates::Load(dir.path());
  } catch (const MailTemplateError& error) {
    return QString::fromUtf8(error.what()).remove(dir.path() + u'/');
  }
  return {};
}

void Write(const QDir& dir, const char* file, const QByteArray& bytes) {
  QFile out(dir.filePath(QString::fromUtf8(file)));
  ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
  out.write(bytes);
}

TEST(MailTemplatesTest, RefusalsNameTheFileAndTheLine) {
  EXPECT_EQ(Refusal([](const QDir&) {}), QString());
  const struct {
    const char* file;
    QByteArray text;  // null: the file is removed
    const char* says;
  } cases[] = {
      {"booking-confirmed.txt", "Hei\n\nPris: {{prize}}\n",
       "en/booking-confirmed.txt:3: {{prize}} is not a value of booking-confirmed"},
      // The booking code is a value of other events, not of a cancellation.
      {"booking-cancelled.html", "<p>{{code}}</p>", "en/booking-cancelled.html:1: {{code}}"},
      {"reminder.html", "<p>\n{{link</p>\n}}\n", "en/reminder.html:2: '{{' is not closed"},
      {"booking-cancelled.txt", "a\n{{#contact}}\nb\n", "en/booking-cancelled.txt:2: {{#contact}}"},
      {"booking-cancelled.txt", "{{#contact}}{{/refnr}}", "en/booking-cancelled.txt:1: {{/refnr}}"},
      {"business-overbooking.txt", "a\r\nb\r\n\xff\r\n",
       "en/business-overbooking.txt:3: not UTF-8"},
      {"booking-changed.subject", " \n", "en/booking-changed.subject:1: the subject is empty"},
      {"booking-changed.subject", "Endret\nbestilling\n", "en/booking-changed.subject:2:"},
      {"test.subject", QByteArray(), "en/test.subject: missing"},
  };
  for (const auto& c : cases) {
    const QString said = Refusal([&c](const QDir& dir) {
      if (c.text.isNull()) {
        QFile::remove(dir.filePath(QString::fromUtf8(c.file)));
      } else {
        Write(dir, c.file, c.text);
      }
    });
    EXPECT_TRUE(said.startsWith(QString::fromUtf8(c.says))) << said.toStdString();
  }

  QTemporaryDir empty;
  EXPECT_THROW(MailTemplates::Load(empty.path()), MailTemplateError);
  EXPECT_THROW(MailTemplates::Load(empty.filePath(QStringLiteral("none"))), MailTemplateError);
}

}  // namespace
}  // namespace taurelin
