#include "protocol/parser.h"
#include "protocol/windows1252.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

namespace taurelin {
namespace {

class OmTnApiTest : public ::testing::Test {
 protected:
  QString Answer(const QString& request) { return ProcessRequest(request, context_); }
  QString OmTnApi() {
    return Answer(QStringLiteral("messageID=r&count=1&header=INSTRUKSJON&data=OM_TN_API\n"));
  }

  QTemporaryDir dir_;
  QSettings settings_{dir_.filePath(QStringLiteral("taurelin.conf")), QSettings::IniFormat};
  RequestContext context_;
};

TEST_F(OmTnApiTest, ReadsTheConfiguredRegionalValuesInOrder) {
  settings_.beginGroup(QStringLiteral("Control Panel/International"));
  settings_.setValue(QStringLiteral("sDate"), QStringLiteral("."));
  settings_.setValue(QStringLiteral("sDecimal"), QStringLiteral(","));
  settings_.setValue(QStringLiteral("sLongDate"), QStringLiteral("d. MMMM yyyy"));
  settings_.setValue(QStringLiteral("sShortDate"), QStringLiteral("dd.MM.yyyy"));
  settings_.endGroup();
  context_.handlers.configuration = &settings_;

  const QString head = QStringLiteral("OM_TN_API;HKEY_CURRENT_USER\\Control Panel\\International;");
  EXPECT_EQ(OmTnApi(), "messageID=r&count=5&header=INSTRUKSJON;NØKKEL;VERDI;Data&data=" +
                           head + "sDate;.;" + head + "sDecimal;,;" + head +
                           "sLongDate;d. MMMM yyyy;" + head + "sShortDate;dd.MM.yyyy;" + head +
                           "sThousand;;\n");
}

TEST_F(OmTnApiTest, HandWrittenIniValuesReadAsWritten) {
  // An operator editing the file writes a comma without quotes.
  {
    QFile file(settings_.fileName());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Control%20Panel]\nInternational\\sThousand=,\nInternational\\sDecimal=.\n");
  }
  QSettings settings(settings_.fileName(), QSettings::IniFormat);
  context_.handlers.configuration = &settings;
  const QString answer = OmTnApi();
  EXPECT_TRUE(answer.contains(u"International;sThousand;,;")) << answer.toStdString();
  EXPECT_TRUE(answer.contains(u"International;sDecimal;.;")) << answer.toStdString();
}

TEST_F(OmTnApiTest, FallsBackToTheSystemLocaleWithFiveRows) {
  for (QSettings* configuration : {static_cast<QSettings*>(nullptr), &settings_}) {
    context_.handlers.configuration = configuration;
    const QString answer = OmTnApi();
    EXPECT_TRUE(answer.startsWith(u"messageID=r&count=5&header=INSTRUKSJON;NØKKEL;VERDI;Data"));
    EXPECT_EQ(answer.count(u"OM_TN_API;HKEY_CURRENT_USER\\Control Panel\\International;"), 5);
    EXPECT_TRUE(answer.endsWith(u";\n"));
  }
}

TEST_F(OmTnApiTest, WorksOnARowWithValuesToo) {
  EXPECT_TRUE(Answer(QStringLiteral("messageID=r&count=1&header=INSTRUKSJON;A&data=OM_TN_API;1\n"))
                  .contains(u"&count=5"));
}

TEST(TestApiTest, LeavesTheWireAsWindows1252) {
  RequestContext context;
  const QByteArray bytes = ToWindows1252(
      ProcessRequest(QStringLiteral("messageID=x&count=1&header=INSTRUKSJON&data=OM_TN_API\n"),
                     context));
  EXPECT_TRUE(bytes.contains("N\xD8KKEL;"));
}

}  // namespace
}  // namespace taurelin
