#include "protocol/request_objects.h"

#include "protocol/split_off.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace taurelin {
namespace {

QStringList Names(const TAPI_Header& header) {
  QStringList names;
  for (const TAPI_Header* node = &header; node != nullptr; node = node->next.get()) {
    names << node->name;
  }
  return names;
}

TEST(SplitOffTest, CutsAtTheFirstSeparatorOrTakesEverything) {
  QString rest = QStringLiteral("a&b&c");
  EXPECT_EQ(SplitOff(rest, QStringLiteral("&")), "a");
  EXPECT_EQ(rest, "b&c");
  rest = QStringLiteral("abc");
  EXPECT_EQ(SplitOff(rest, QStringLiteral("&")), "abc");
  EXPECT_TRUE(rest.isEmpty());
  rest = QStringLiteral("&x");
  EXPECT_EQ(SplitOff(rest, QStringLiteral("&")), "");
  EXPECT_EQ(rest, "x");
}

TEST(HeaderListTest, DropsTheLabelAndKeepsEmptyNames) {
  EXPECT_EQ(Names(TAPI_Header(QStringLiteral("header=A;B;C"))), QStringList({"A", "B", "C"}));
  EXPECT_EQ(Names(TAPI_Header(QStringLiteral("header=A;B;C;"))), QStringList({"A", "B", "C"}));
  EXPECT_EQ(Names(TAPI_Header(QStringLiteral("header=A;;C"))), QStringList({"A", "", "C"}));
  EXPECT_EQ(Names(TAPI_Header(QStringLiteral("header="))), QStringList({""}));
}

TEST(RowListTest, BuildsOneRowPerCountWithValuesByColumn) {
  const TAPI_Header header(QStringLiteral("header=INSTRUKSJON;A;B"));
  QString data = QStringLiteral("data=X;1;2;Y;3;4");
  const TAPI_DataControl rows(2, &header, data);
  EXPECT_EQ(rows.rowNumber, 0);
  EXPECT_EQ(rows.keyword, "X");
  EXPECT_EQ(GetValue(rows.values.get(), QStringLiteral("A")), "1");
  EXPECT_EQ(GetValue(rows.values.get(), QStringLiteral("B")), "2");
  ASSERT_NE(rows.next, nullptr);
  EXPECT_EQ(rows.next->rowNumber, 1);
  EXPECT_EQ(rows.next->keyword, "Y");
  EXPECT_EQ(GetValue(rows.next->values.get(), QStringLiteral("A")), "3");
  EXPECT_EQ(GetValue(rows.next->values.get(), QStringLiteral("B")), "4");
  EXPECT_EQ(rows.next->next, nullptr);
  EXPECT_TRUE(data.isEmpty());
}

TEST(RowListTest, ShortDataGivesShortRowsAndSpareDataStays) {
  const TAPI_Header header(QStringLiteral("header=INSTRUKSJON;A;B"));
  QString data = QStringLiteral("data=X;1");
  const TAPI_DataControl row(1, &header, data);
  EXPECT_EQ(GetValue(row.values.get(), QStringLiteral("A")), "1");
  EXPECT_EQ(GetValue(row.values.get(), QStringLiteral("B")), "");

  QString longData = QStringLiteral("data=X;1;2;Y;3;4");
  const TAPI_DataControl first(1, &header, longData);
  EXPECT_EQ(longData, "Y;3;4");
}

TEST(RowListTest, ValuesKeepTheirBlanks) {
  const TAPI_Header header(QStringLiteral("header=INSTRUKSJON;A"));
  QString data = QStringLiteral("data=X; 1 ");
  const TAPI_DataControl row(1, &header, data);
  EXPECT_EQ(GetValue(row.values.get(), QStringLiteral("A")), " 1 ");
}

TEST(RowListTest, CountZeroOrNegativeLeavesOneEmptyRow) {
  const TAPI_Header header(QStringLiteral("header=INSTRUKSJON;A"));
  for (int count : {0, -5}) {
    QString data = QStringLiteral("data=X;1");
    const TAPI_DataControl row(count, &header, data);
    EXPECT_EQ(row.rowNumber, 0);
    EXPECT_TRUE(row.keyword.isEmpty());
    EXPECT_EQ(row.values, nullptr);
    EXPECT_EQ(row.next, nullptr);
    EXPECT_EQ(data, "X;1");
  }
}

TEST(RowListTest, RowsBeyondTheDataAreEmptyWithValueListsOnlyForWideHeaders) {
  const TAPI_Header wide(QStringLiteral("header=INSTRUKSJON;A"));
  QString data = QStringLiteral("data=X;1");
  const TAPI_DataControl rows(1000000, &wide, data);
  ASSERT_NE(rows.next, nullptr);
  const TAPI_DataControl& last = *rows.next;
  EXPECT_EQ(last.next, nullptr);
  EXPECT_TRUE(last.keyword.isEmpty());
  ASSERT_NE(last.values, nullptr);
  EXPECT_EQ(GetValue(last.values.get(), QStringLiteral("A")), "");

  const TAPI_Header narrow(QStringLiteral("header=INSTRUKSJON"));
  QString keywords = QStringLiteral("data=X");
  const TAPI_DataControl bare(3, &narrow, keywords);
  EXPECT_EQ(bare.values, nullptr);
  ASSERT_NE(bare.next, nullptr);
  EXPECT_EQ(bare.next->values, nullptr);
}

TEST(GetValueTest, FirstNonEmptyExactMatchWins) {
  const TAPI_Header header(QStringLiteral("header=INSTRUKSJON;ANLEGGSNR;ANLEGGSNR;X"));
  QString data = QStringLiteral("data=K;;7;8");
  const TAPI_DataControl row(1, &header, data);
  EXPECT_EQ(GetValue(row.values.get(), QStringLiteral("ANLEGGSNR")), "7");
  EXPECT_EQ(GetValue(row.values.get(), QStringLiteral("anleggsnr")), "");
  EXPECT_EQ(GetValue(row.values.get(), QStringLiteral("MISSING")), "");
}

TEST(GetValueTest, BlankValueCountsAsGiven) {
  const TAPI_Header header(QStringLiteral("header=INSTRUKSJON;A;A"));
  QString data = QStringLiteral("data=K; ;2");
  const TAPI_DataControl row(1, &header, data);
  EXPECT_EQ(GetValue(row.values.get(), QStringLiteral("A")), " ");
}

TEST(GetValueTest, RowWithoutValuesFails) {
  const TAPI_Header header(QStringLiteral("header=INSTRUKSJON"));
  QString data = QStringLiteral("data=K");
  const TAPI_DataControl row(1, &header, data);
  EXPECT_THROW(GetValue(row.values.get(), QStringLiteral("A")), NoValuesError);
}

}  // namespace
}  // namespace taurelin
