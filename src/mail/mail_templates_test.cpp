#include "mail/mail_templates.h"

#include <gtest/gtest.h>

namespace taurelin {
namespace {

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

}  // namespace
}  // namespace taurelin
