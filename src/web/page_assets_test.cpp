// The booking page's files as the server sends them: what a request's headers ask for, and
// the page with a language's words already in it (the gzip form is checked on the wire).

#include "web/content_negotiation.h"
#include "web/page_assets.h"
#include "web/page_language.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

namespace taurelin {
namespace {

TEST(ContentNegotiationTest, GzipIsTakenOnlyWhereItsWeightIsAboveNothing) {
  for (const char* yes : {"gzip", "deflate, GZIP;q=0.5", "x-gzip", "br;q=1, *;q=0.1",
                          "gzip;q=1.0, *;q=0"}) {
    EXPECT_TRUE(AcceptsGzip(yes)) << yes;
  }
  for (const char* no : {"", "identity", "gzip;q=0", "gzip;q=0.000", "*;q=1, gzip;q=0",
                         "gzip;q=2", "deflate"}) {
    EXPECT_FALSE(AcceptsGzip(no)) << no;
  }
}

TEST(ContentNegotiationTest, LanguagesComeMostWantedFirstAndEntityTagsCompareWeakly) {
  EXPECT_EQ(AcceptedLanguages("nb-NO,nb;q=0.9,en;q=0.8"), (QStringList{"nb", "en"}));
  EXPECT_EQ(AcceptedLanguages("en-GB;q=0.2, NN, *;q=0.9, de;q=0"), (QStringList{"nn", "en"}));
  EXPECT_TRUE(NoneMatchNames("\"a\", W/\"b\"", "\"b\""));
  EXPECT_TRUE(NoneMatchNames("*", "\"b\""));
  EXPECT_FALSE(NoneMatchNames("\"a\", \"b-gz\"", "\"b\""));
  EXPECT_FALSE(NoneMatchNames("", "\"b\""));
}

TEST(PageLanguageTest, PlainTextsAreReadAndWhatAScriptMakesIsLeft) {
  const PageLanguage read = ReadPageLanguage(
      "(window.LANGUAGES = window.LANGUAGES || {}).xx = (() => {\n"
      "  const T = {\n"
      "    lang: \"xx\",\n"
      "    matches: [\"xx\", 'yy'],\n"
      "    title: \"A \\\"quoted\\\" \\u00e5\",\n"
      "    help:\n"
      "      \"one, \" +\n"
      "      'two',\n"
      "    nights: (count) => `${count} nights`,\n"
      "    mixed: \"a\" + name,\n"
      "    errors: {\n"
      "      nested: \"left to the script\",\n"
      "    },\n"
      "  };\n"
      "  return T;\n"
      "})();\n");
  EXPECT_EQ(read.lang, "xx");
  EXPECT_EQ(read.matches, (QStringList{"xx", "yy"}));
  EXPECT_EQ(read.name, "xx");
  EXPECT_EQ(read.texts.value("title"), QString::fromUtf8("A \"quoted\" å"));
  EXPECT_EQ(read.texts.value("help"), "one, two");
  EXPECT_FALSE(read.texts.contains("nights"));
  EXPECT_FALSE(read.texts.contains("mixed"));
  EXPECT_FALSE(read.texts.contains("nested"));
}

TEST(PageAssetsTest, ThePageArrivesInTheAskedLanguageWithItsWordsAndVersionedFiles) {
  struct Case {
    const char* acceptLanguage;
    const char* lang;
    const char* title;
  };
  for (const Case& c : {Case{"nb-NO,nb;q=0.9", "nb", "Bestill opphold"},
                        Case{"nn", "nb", "Bestill opphold"}, Case{"en-GB", "en", "Book a stay"},
                        Case{"de, fr;q=0.5", "en", "Book a stay"},
                        Case{"", "en", "Book a stay"}}) {
    SCOPED_TRACE(c.acceptLanguage);
    const QString html = QString::fromUtf8(FindPageAsset("/", c.acceptLanguage)->body);
    EXPECT_TRUE(html.contains(QStringLiteral("<html lang=\"%1\">").arg(c.lang)));
    EXPECT_TRUE(html.contains(QStringLiteral("<h1 data-text=\"title\">%1</h1>").arg(c.title)));
    // No element or attribute is left for the script to fill in.
    static const QRegularExpression kEmpty(
        QStringLiteral("data-text=\"\\w+\"[^>]*></|=\"\"\\s+data-text-"));
    EXPECT_FALSE(kEmpty.match(html).hasMatch()) << kEmpty.match(html).captured().toStdString();
    EXPECT_TRUE(html.contains(QStringLiteral("<button type=\"button\" class=\"language\" "
                                             "lang=\"%1\" aria-pressed=\"true\"").arg(c.lang)));
    EXPECT_EQ(html.count(QStringLiteral("aria-pressed=\"true\"")), 1);
    // Each file named is the one served at that URL, and only the shown language's runs.
    static const QRegularExpression kUrl(
        QStringLiteral("\\s(?:src|href)=\"(/[^\"?]+)\\?v=([^\"]+)\""));
    QStringList named;
    for (const QRegularExpressionMatch& url : kUrl.globalMatch(html)) {
      named << url.captured(1);
      const StaticFile* file = FindPageAsset(url.captured(1));
      ASSERT_NE(file, nullptr) << url.captured(1).toStdString();
      EXPECT_EQ(file->version, url.captured(2).toLatin1());
    }
    EXPECT_EQ(named, (QStringList{"/style.css", QStringLiteral("/lang/%1.js").arg(c.lang),
                                  "/calendar.js", "/app.js"}));
  }
  EXPECT_EQ(FindPageAsset("/index.html"), nullptr);
}

}  // namespace
}  // namespace taurelin
