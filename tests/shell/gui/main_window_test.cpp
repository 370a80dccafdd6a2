#include "shell/gui/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace tabulor::shell::gui {
namespace {

class RecordingSink : public MessageSink {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  std::vector<std::string> messages, errors;
};

const std::string kIncompatible =
    "Version des tables incompatible ! Veuillez faire la mise à jour de votre base de données.";

// Registers every function with a form that records its opening and closes
// itself as soon as its modal display starts.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_dir_ = std::filesystem::temp_directory_path() / ("tabulor-main-" + std::to_string(::getpid()));
    std::filesystem::create_directories(program_dir_);
    for (auto f : {ShellFunction::kUpgrade, ShellFunction::kCompress, ShellFunction::kImportDatabase,
                   ShellFunction::kImportAccessPatients, ShellFunction::kImportAccessFull,
                   ShellFunction::kImportPatientFile})
      forms_.Register(f, [this, f](QWidget* owner, const FunctionContext& context) {
        if (fail_creation_) throw std::runtime_error("Table Patient.DB introuvable");
        auto form = std::make_unique<QDialog>(owner);
        opened_.push_back(f);
        context_program_dirs_.push_back(context.program_dir);
        ++alive_;
        QObject::connect(form.get(), &QObject::destroyed, [this] { --alive_; });
        QTimer::singleShot(0, form.get(), &QDialog::accept);
        return form;
      });
    runs_.Register(ShellFunction::kUpgrade, [this](const FunctionContext& context) {
      EXPECT_EQ(context.messages, &sink_);
      run_calls_.push_back("upgrade");
    });
    runs_.Register(ShellFunction::kCompress, [this](const FunctionContext&) { run_calls_.push_back("compress"); });
  }
  void TearDown() override { std::filesystem::remove_all(program_dir_); }

  std::unique_ptr<TfmMain> Make(std::vector<std::string> args = {}, const FormRegistry* forms = nullptr) {
    MainWindowSetup setup;
    setup.schema_version = [this] {
      ++version_asked_;
      if (version_fails_) throw std::runtime_error("Version.db introuvable");
      return version_;
    };
    setup.context.program_dir = program_dir_.string() + "/";
    setup.context.messages = &sink_;
    setup.arguments = std::move(args);
    setup.forms = forms ? forms : &forms_;
    setup.runs = &runs_;
    setup.status = &status_;
    return std::make_unique<TfmMain>(std::move(setup));
  }

  template <typename T>
  static T* Child(QObject* w, const char* name) {
    T* child = w->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  std::filesystem::path program_dir_;
  FormRegistry forms_;
  UnattendedRuns runs_;
  StartupStatus status_;
  RecordingSink sink_;
  std::vector<ShellFunction> opened_;
  std::vector<std::string> context_program_dirs_;
  std::vector<std::string> run_calls_;
  int alive_ = 0;
  int version_ = 280;
  int version_asked_ = 0;
  bool version_fails_ = false;
  bool fail_creation_ = false;
};

TEST_F(MainWindowTest, CaptionsBorderAndVersionLabel) {
  auto w = Make();
  EXPECT_EQ(w->windowTitle(), "Tabulor");
  EXPECT_TRUE(w->windowFlags() & Qt::Tool);
  EXPECT_EQ(w->minimumSize(), w->maximumSize());
  EXPECT_EQ(Child<QLabel>(w.get(), "Label1")->text(),
            "Avant toute manipulation sur votre base de données il est conseillé de faire une sauvegarde de "
            "ladite base.");
  EXPECT_TRUE(Child<QLabel>(w.get(), "Label1")->font().bold());
  EXPECT_EQ(Child<QPushButton>(w.get(), "btUpgrade")->text(), "&Mise à jour de la Base");
  EXPECT_EQ(Child<QPushButton>(w.get(), "btImport")->text(), "&Importation d'une Base");
  EXPECT_EQ(Child<QPushButton>(w.get(), "btQuit")->text(), "&Quitter");
  EXPECT_EQ(Child<QLabel>(w.get(), "lVersion")->text(), "Version 2.8");
  EXPECT_TRUE(Child<QLabel>(w.get(), "lVersion")->alignment() & Qt::AlignRight);
  EXPECT_EQ(w->RequiredVersion(), 280);
  EXPECT_EQ(w->TimerTicks(), 0);
  EXPECT_TRUE(Child<QTimer>(w.get(), "Timer")->isActive());
  EXPECT_EQ(Child<QTimer>(w.get(), "Timer")->interval(), 1000);
}

TEST_F(MainWindowTest, MenusInTheirOrderWithTheirCaptionsAndVisibility) {
  auto w = Make();
  const QList<QAction*> top = w->menuBar()->actions();
  ASSERT_EQ(top.size(), 2);
  EXPECT_EQ(top[0]->text(), "&Fichiers");
  EXPECT_EQ(top[1]->text(), "&Importations");

  struct Entry {
    const char* name;
    const char* caption;
    bool visible;
  };
  auto check = [](QMenu* menu, std::vector<Entry> expected) {
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(actions[i]->objectName(), expected[i].name);
      EXPECT_EQ(actions[i]->text(), QString::fromUtf8(expected[i].caption)) << expected[i].name;
      EXPECT_EQ(actions[i]->isVisible(), expected[i].visible) << expected[i].name;
    }
  };
  check(top[0]->menu(), {{"mnuUpgrade", "Mise à jour de la base", true},
                         {"mnuCompress", "Compression de la base", true},
                         {"N2", "", true},
                         {"mnuQuit", "&Quitter", true}});
  EXPECT_TRUE(top[0]->menu()->actions()[2]->isSeparator());
  check(top[1]->menu(), {{"mnuImportBD", "Importation d'une base de données", true},
                         {"mnuImportPatAccess", "Importation des patients d'une base Balantis Access", true},
                         {"mnuImportAccess", "Importation d'une base Balantis Access", false},
                         {"mnuImportAm3", "Importation d'un fichier patient Pedora", false}});
  for (const char* name : {"mnuUpgrade", "mnuCompress", "mnuQuit", "mnuImportBD", "mnuImportPatAccess"})
    EXPECT_TRUE(Child<QAction>(w.get(), name)->isEnabled()) << name;
}

TEST_F(MainWindowTest, ShiftSAndShiftARevealTheHiddenEntriesDuringTheFirstFiveTicks) {
  auto w = Make();
  auto* access = Child<QAction>(w.get(), "mnuImportAccess");
  auto* pedora = Child<QAction>(w.get(), "mnuImportAm3");
  auto* button = Child<QPushButton>(w.get(), "btUpgrade");

  // Without Shift nothing happens; other modifiers held with Shift do not matter.
  QTest::keyClick(button, Qt::Key_S);
  QTest::keyClick(button, Qt::Key_A, Qt::ControlModifier);
  EXPECT_FALSE(access->isVisible());
  EXPECT_FALSE(pedora->isVisible());

  for (int tick = 0; tick < 4; ++tick) w->TimerTimer();
  EXPECT_TRUE(w->KeyPreview());
  // The keys reach the window before the focused control.
  QTest::keyClick(button, Qt::Key_S, Qt::ShiftModifier | Qt::ControlModifier);
  EXPECT_TRUE(access->isVisible());
  EXPECT_FALSE(pedora->isVisible());
  QTest::keyClick(button, Qt::Key_A, Qt::ShiftModifier);
  EXPECT_TRUE(pedora->isVisible());

  w->TimerTimer();
  EXPECT_EQ(w->TimerTicks(), 5);
  EXPECT_FALSE(w->KeyPreview());
  EXPECT_FALSE(Child<QTimer>(w.get(), "Timer")->isActive());
  // Once shown an entry stays.
  EXPECT_TRUE(access->isVisible());
}

TEST_F(MainWindowTest, AfterFiveTicksTheKeysDoNothing) {
  auto w = Make();
  for (int tick = 0; tick < 5; ++tick) w->TimerTimer();
  QTest::keyClick(Child<QPushButton>(w.get(), "btUpgrade"), Qt::Key_S, Qt::ShiftModifier);
  QTest::keyClick(w.get(), Qt::Key_A, Qt::ShiftModifier);
  EXPECT_FALSE(Child<QAction>(w.get(), "mnuImportAccess")->isVisible());
  EXPECT_FALSE(Child<QAction>(w.get(), "mnuImportAm3")->isVisible());
}

TEST_F(MainWindowTest, ImportsNeedVersion280) {
  auto w = Make();
  version_ = 279;
  w->mnuImportBDClick();
  w->mnuImportPatAccessClick();
  w->mnuImportAccessClick();
  w->mnuImportAm3Click();
  Child<QPushButton>(w.get(), "btImport")->click();
  EXPECT_TRUE(opened_.empty());
  EXPECT_EQ(sink_.messages, std::vector<std::string>(5, kIncompatible));

  sink_.messages.clear();
  version_ = 280;
  w->mnuImportBDClick();
  w->mnuImportPatAccessClick();
  w->mnuImportAccessClick();
  w->mnuImportAm3Click();
  Child<QPushButton>(w.get(), "btImport")->click();
  EXPECT_TRUE(sink_.messages.empty());
  // The two Access entries open the wizard in its two modes.
  EXPECT_EQ(opened_, (std::vector<ShellFunction>{ShellFunction::kImportDatabase, ShellFunction::kImportAccessPatients,
                                                 ShellFunction::kImportAccessFull, ShellFunction::kImportPatientFile,
                                                 ShellFunction::kImportDatabase}));
  // Every form is handed the window's context.
  EXPECT_EQ(context_program_dirs_, std::vector<std::string>(5, program_dir_.string() + "/"));
  // Asked afresh at each click.
  EXPECT_EQ(version_asked_, 10);
}

TEST_F(MainWindowTest, CompressionNeedsVersion120AndTheUpgradeNothing) {
  auto w = Make();
  version_ = 119;
  w->mnuCompressClick();
  EXPECT_TRUE(opened_.empty());
  EXPECT_EQ(sink_.messages, std::vector<std::string>{kIncompatible});
  version_ = 120;
  w->mnuCompressClick();
  EXPECT_EQ(opened_, std::vector<ShellFunction>{ShellFunction::kCompress});

  opened_.clear();
  version_asked_ = 0;
  version_ = 0;
  w->mnuUpgradeClick();
  Child<QPushButton>(w.get(), "btUpgrade")->click();
  EXPECT_EQ(opened_, (std::vector<ShellFunction>{ShellFunction::kUpgrade, ShellFunction::kUpgrade}));
  EXPECT_EQ(version_asked_, 0);
  EXPECT_EQ(sink_.messages.size(), 1u);
}

TEST_F(MainWindowTest, EachFormIsAFreshInstanceFreedOnReturn) {
  auto w = Make();
  w->mnuUpgradeClick();
  EXPECT_EQ(alive_, 0);
  w->mnuImportBDClick();
  w->mnuImportBDClick();
  EXPECT_EQ(opened_.size(), 3u);
  EXPECT_EQ(alive_, 0);
}

TEST_F(MainWindowTest, ErrorsOfTheGateOrOfTheFormReachTheErrorMessage) {
  auto w = Make();
  version_fails_ = true;
  w->mnuImportBDClick();
  EXPECT_EQ(sink_.errors, std::vector<std::string>{"Version.db introuvable"});
  version_fails_ = false;
  fail_creation_ = true;
  w->mnuUpgradeClick();
  EXPECT_EQ(sink_.errors.back(), "Table Patient.DB introuvable");
  EXPECT_TRUE(opened_.empty());
  EXPECT_EQ(alive_, 0);
}

TEST_F(MainWindowTest, BalantisIniGreysTheCompressionEntryButZipDataStillCompresses) {
  std::ofstream(program_dir_ / "BALANTIS.INI") << "[Main]\n";
  auto w = Make({"zip_data"});
  EXPECT_FALSE(Child<QAction>(w.get(), "mnuCompress")->isEnabled());
  EXPECT_TRUE(Child<QAction>(w.get(), "mnuUpgrade")->isEnabled());
  EXPECT_EQ(run_calls_, std::vector<std::string>{"compress"});
  w->mnuCompressClick();
  EXPECT_TRUE(opened_.empty());
}

TEST_F(MainWindowTest, FunctionsThisBuildLacksAreDisabled) {
  FormRegistry only_upgrade;
  only_upgrade.Register(ShellFunction::kUpgrade, [](QWidget* owner, const FunctionContext&) { return std::make_unique<QDialog>(owner); });
  auto w = Make({}, &only_upgrade);
  EXPECT_TRUE(Child<QAction>(w.get(), "mnuUpgrade")->isEnabled());
  EXPECT_TRUE(Child<QPushButton>(w.get(), "btUpgrade")->isEnabled());
  for (const char* name : {"mnuCompress", "mnuImportBD", "mnuImportPatAccess", "mnuImportAccess", "mnuImportAm3"})
    EXPECT_FALSE(Child<QAction>(w.get(), name)->isEnabled()) << name;
  EXPECT_FALSE(Child<QPushButton>(w.get(), "btImport")->isEnabled());
  EXPECT_TRUE(Child<QAction>(w.get(), "mnuQuit")->isEnabled());
  EXPECT_TRUE(Child<QPushButton>(w.get(), "btQuit")->isEnabled());
  w->mnuImportBDClick();
  EXPECT_EQ(version_asked_, 0);
  EXPECT_TRUE(sink_.messages.empty());
}

TEST_F(MainWindowTest, CreationRunsTheSwitches) {
  auto w = Make({"Update_BD_Ortalis", "zip_data", "NO_IHM"});
  EXPECT_EQ(run_calls_, (std::vector<std::string>{"upgrade", "compress"}));
  EXPECT_TRUE(w->SwitchesSucceeded());
  EXPECT_TRUE(status_.TerminationRequested());
  EXPECT_TRUE(opened_.empty());  // no form is shown by an unattended run

  runs_.Register(ShellFunction::kUpgrade, [](const FunctionContext&) { throw std::runtime_error("Version.db verrouillée"); });
  StartupStatus fresh;
  status_ = fresh;
  auto failing = Make({"update_bd_ortalis", "zip_data"});
  EXPECT_FALSE(failing->SwitchesSucceeded());
  EXPECT_EQ(sink_.errors, std::vector<std::string>{"Version.db verrouillée"});
  EXPECT_EQ(run_calls_.size(), 2u);  // the compression after the failure did not run
  EXPECT_NE(status_.ExitCode(), 0);
}

TEST_F(MainWindowTest, QuitAndEscapeCloseTheWindow) {
  auto w = Make();
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
  QTest::keyClick(w.get(), Qt::Key_Escape);
  EXPECT_FALSE(w->isVisible());
  w->show();
  Child<QAction>(w.get(), "mnuQuit")->trigger();
  EXPECT_FALSE(w->isVisible());
}

}  // namespace
}  // namespace tabulor::shell::gui
