#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QListWidget>

#include "app/about_box.h"

namespace velmarin::test {
namespace {

TEST(AboutBox, ShowsTheThirtyEightLinesInOrderWithBlankRowsKept) {
  app::AboutBox about;
  EXPECT_EQ(about.windowTitle(), QString::fromUtf8("VelmarinCap\u3000Ver4.0"));
  QListWidget* list = about.list();
  ASSERT_EQ(list->count(), 38);
  // Not sorted: the rules and the blank rows stay where they are.
  EXPECT_EQ(list->item(0)->text(), QString(53, QLatin1Char('=')));
  for (const int blank : {10, 19, 31}) EXPECT_EQ(list->item(blank)->text(), QString(QChar(0x3000)));
  EXPECT_TRUE(list->item(37)->text().startsWith(QString::fromUtf8("書き込むID")));
}

TEST(AboutBox, KeyTableColumnsLineUpInTheBoxFont) {
  app::AboutBox about;
  const QFontMetrics metrics(about.list()->font());
  // Rows 12 to 19 of the box: two columns of "name  0xNN". Each "0x" starts at the same
  // place in every row, the rows with full-width arrows included.
  std::vector<int> first, second;
  for (int row = 11; row <= 18; ++row) {
    const QString text = about.list()->item(row)->text();
    const auto at = text.indexOf(QStringLiteral("0x"));
    const auto next = text.indexOf(QStringLiteral("0x"), text.indexOf(QLatin1Char(' '), at));
    ASSERT_GT(at, 0) << row;
    ASSERT_GT(next, at) << row;
    first.push_back(metrics.horizontalAdvance(text.left(at)));
    second.push_back(metrics.horizontalAdvance(text.left(next)));
  }
  for (std::size_t i = 1; i < first.size(); ++i) {
    EXPECT_EQ(first[i], first[0])
        << about.list()->item(11 + static_cast<int>(i))->text().toStdString();
    EXPECT_EQ(second[i], second[0])
        << about.list()->item(11 + static_cast<int>(i))->text().toStdString();
  }
}

}  // namespace
}  // namespace velmarin::test
