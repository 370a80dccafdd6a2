#pragma once
// A wizard built in French and the same wizard built in English: every text
// of its window (caption, labels, buttons, check boxes, grid titles) differs,
// so none was left without its English translation.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QWidget>

namespace tabulor::testing {

inline QStringList WindowTexts(const QWidget& window) {
  QStringList texts = {window.windowTitle()};
  for (const QLabel* label : window.findChildren<QLabel*>()) texts << label->text();
  for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) texts << button->text();
  for (const QTableWidget* grid : window.findChildren<QTableWidget*>())
    for (int column = 0; column < grid->columnCount(); ++column)
      if (const QTableWidgetItem* title = grid->horizontalHeaderItem(column)) texts << title->text();
  return texts;
}

inline void ExpectEveryTextTranslated(const QWidget& french, const QWidget& english) {
  const QStringList in_french = WindowTexts(french), in_english = WindowTexts(english);
  ASSERT_EQ(in_french.size(), in_english.size());
  int texts = 0;
  for (qsizetype i = 0; i < in_french.size(); ++i) {
    if (in_french[i].isEmpty()) continue;
    ++texts;
    EXPECT_NE(in_french[i], in_english[i]) << "not translated: " << in_french[i].toStdString();
  }
  EXPECT_GT(texts, 20);
}

}  // namespace tabulor::testing
