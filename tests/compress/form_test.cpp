// The compression form on the offscreen platform.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "compress/gui/compress_form.h"
#include "data_table.h"
#include "shell/language.h"
#include "shell/messages.h"
#include "shell/program_dir.h"

namespace tabulor::compress::testing {
namespace {

using gui::TfmCompress;
using ::testing::ElementsAre;

struct RecordingSink : shell::MessageSink {
  std::vector<std::string> messages, errors;
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowError(const std::string& text) override { errors.push_back(text); }
};

QStringList ReportOf(const TfmCompress& form) { return form.mErr->toPlainText().split('\n'); }

class CompressFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = tmp_.Dir() + "DATA";
    std::filesystem::create_directories(dir_);
    session_.AddAlias("KORVANE", dir_);
    setup_.context.session = &session_;
    setup_.context.program_dir = tmp_.Dir();
    setup_.context.messages = &sink_;
  }

  TempDir tmp_;
  std::string dir_;
  db::Session session_{db::Env::Default()};
  gui::CompressFormSetup setup_;
  RecordingSink sink_;
};

TEST_F(CompressFormTest, OpensWithItsTextsAndTheThresholdHidden) {
  TfmCompress form(nullptr, setup_);
  form.show();
  EXPECT_EQ(form.windowTitle(), "Compression");
  EXPECT_EQ(form.Kompress->text(), "&Compresser");
  EXPECT_EQ(form.btQuit->text(), "&Quitter");
  EXPECT_EQ(form.eTaille->text(), "200");
  EXPECT_FALSE(form.eTaille->isVisible());
  EXPECT_FALSE(form.LabProg->isVisible());
  EXPECT_FALSE(form.lIdAcq->isVisible());
  EXPECT_TRUE(form.mErr->toPlainText().isEmpty());
  EXPECT_TRUE(std::filesystem::exists(tmp_.Path() / "COMPRESS.log")) << "the log opens with the form";
}

TEST_F(CompressFormTest, ShiftTShowsThenHidesTheThreshold) {
  TfmCompress form(nullptr, setup_);
  form.show();
  QApplication::setActiveWindow(&form);
  form.Kompress->setFocus();
  QTest::keyClick(form.Kompress, Qt::Key_T);
  EXPECT_FALSE(form.eTaille->isVisible()) << "T alone does nothing";
  QTest::keyClick(form.Kompress, Qt::Key_T, Qt::ShiftModifier);
  EXPECT_TRUE(form.eTaille->isVisible());
  form.mErr->setFocus();
  QTest::keyClick(form.mErr, Qt::Key_T, Qt::ShiftModifier | Qt::ControlModifier);
  EXPECT_FALSE(form.eTaille->isVisible()) << "other modifiers do not matter";
}

TEST_F(CompressFormTest, RunFillsTheReportAndEndsWithItsCaption) {
  const auto ids = CreateDataTable(session_, dir_,
                                   {{150, 200, 0, {}}, {300, 200, 0, Acquisition(300, 200, 1)}, {10, 10, 0, {}}});
  TfmCompress form(nullptr, setup_);
  form.show();
  QTest::mouseClick(form.Kompress, Qt::LeftButton);
  const QString first = QString::number(ids[0]), last = QString::number(ids[2]);
  EXPECT_EQ(ReportOf(form), QStringList({"- Blob initial vide", "", "*" + first + "- Blob initial vide"}));
  EXPECT_TRUE(form.LabProg->isVisible());
  EXPECT_EQ(form.LabProg->text(), "Compression terminée");
  EXPECT_FALSE(form.Progress->isVisible());
  EXPECT_EQ(form.Progress->value(), 3);
  EXPECT_EQ(form.lIdAcq->text(), last);
  EXPECT_EQ(ReadDataTable(session_, dir_).at(ids[1]).zipped, 1);
  EXPECT_TRUE(form.Kompress->isEnabled());

  // The acquisition number stays with the form for the next run's start line.
  form.KompressClick(&form);
  EXPECT_EQ(ReportOf(form), QStringList({last + "- Blob initial vide", "", "*" + first + "- Blob initial vide"}));
  EXPECT_TRUE(sink_.errors.empty());
}

TEST_F(CompressFormTest, ThresholdThatIsNotAnIntegerIsShownAndNothingChanges) {
  const auto ids = CreateDataTable(session_, dir_, {{300, 200, 0, Acquisition(300, 200, 1)}});
  TfmCompress form(nullptr, setup_);
  form.eTaille->setText("2OO");
  form.KompressClick(&form);
  ASSERT_EQ(sink_.errors.size(), 1u);
  EXPECT_NE(sink_.errors[0].find("2OO"), std::string::npos);
  EXPECT_EQ(ReadDataTable(session_, dir_).at(ids[0]).zipped, 0);
  EXPECT_FALSE(form.RunUnderWay());
  EXPECT_TRUE(form.Kompress->isEnabled());
}

// With the English module beside the program the form and its messages are English.
TEST_F(CompressFormTest, InEnglishWithTheEnglishModule) {
  CreateDataTable(session_, dir_, {{300, 200, 0, Acquisition(300, 200, 1)}});
  ASSERT_TRUE(shell::SwitchLanguage(shell::kLocaleEnglish, TABULOR_BUILD_DIR "/"));
  {
    TfmCompress form(nullptr, setup_);
    EXPECT_EQ(form.Kompress->text(), "&Compress");
    EXPECT_EQ(form.btQuit->text(), "&Quit");
    EXPECT_EQ(form.LabProg->text(), "Compressing ... Please wait.");
    form.eTaille->setText("2OO");
    form.KompressClick(&form);
  }
  shell::SwitchLanguage(shell::kLocaleFrench, {});
  EXPECT_THAT(sink_.errors, ElementsAre("The minimum compression size “2OO” is not a whole number: no row was changed."));
}

TEST_F(CompressFormTest, MissingZippedFieldIsAMessage) {
  CreateDataTable(session_, dir_, {{300, 200, 0, Acquisition(300, 200, 1)}}, 100);
  TfmCompress form(nullptr, setup_);
  form.KompressClick(&form);
  EXPECT_THAT(sink_.messages, ElementsAre("Champ Zipped non trouvé"));
  EXPECT_TRUE(sink_.errors.empty());
}

TEST_F(CompressFormTest, QuitAndSecondClickDuringARunWaitForItsEnd) {
  std::vector<NewRow> rows(12, NewRow{300, 200, 0, {}});
  for (int i = 0; i < 12; ++i) rows[i].data = Acquisition(300, 200, i);
  CreateDataTable(session_, dir_, rows);
  TfmCompress form(nullptr, setup_);
  form.show();
  bool was_running = false, button_enabled = true;
  QTimer::singleShot(0, &form, [&] {
    was_running = form.RunUnderWay();
    button_enabled = form.Kompress->isEnabled();
    form.Kompress->click();  // ignored: disabled
    form.btQuit->click();    // waits for the end of the run
  });
  form.KompressClick(form.Kompress);
  EXPECT_TRUE(was_running);
  EXPECT_FALSE(button_enabled);
  EXPECT_FALSE(form.isVisible()) << "the form closed once the run ended";
  EXPECT_EQ(form.result(), QDialog::Rejected);
  for (const auto& [id, row] : ReadDataTable(session_, dir_)) EXPECT_EQ(row.zipped, 1) << id;
}

}  // namespace
}  // namespace tabulor::compress::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
