// The hidden patient-file form of start-up, in the real program: this test
// copies itself beside an old practice database and runs as the program on a
// private X server. Once the message loop runs, it checks the hidden form
// (there, hidden, holding no practice table, the two-digit years in force),
// runs the upgrade from the menu while that form is alive, then opens the
// wizard from its entry, which the upgraded database now lets through.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>

#include "db/paradox/engine.h"
#include "patient_file_import/gui/pedora_form.h"
#include "shell/formats.h"
#include "shell/gui/main_window.h"
#include "shell/gui/startup.h"
#include "upgrade/gui/db_upgrade_form.h"

namespace {

namespace fs = std::filesystem;
using tabulor::patient_file_import::gui::TfmPedora;
using tabulor::shell::gui::TfmMain;
using tabulor::upgrade::gui::TfmDBUpgrade;

constexpr char kProgramMode[] = "PEDORA_STARTUP_AS_PROGRAM";

QPointer<TfmPedora> hidden_form;  // the instance start-up made

// ---- The program side: what it sees is written on standard output, one fact a line.

template <typename T>
T* TopLevel() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* form = qobject_cast<T*>(w)) return form;
  return nullptr;
}

bool PracticeTableOpen(const char* name) {
  tabulor::db::Session& session = tabulor::db::Session::Default();
  tabulor::db::Table probe(session, "DB", name);
  probe.Open();
  const std::string path = probe.Path();
  probe.Close();
  return session.IsTableOpen(path);
}

// Answers the modal windows the menu actions open: the upgrade is started,
// the wizard opened from the menu is cancelled, message boxes are told and
// closed. The upgrade starts from the event loop, not from here: the message
// box it ends with must find this timer free to answer it.
void AnswerModalWindows() {
  static bool upgrade_started = false;
  QWidget* modal = QApplication::activeModalWidget();
  if (auto* upgrade = qobject_cast<TfmDBUpgrade*>(modal)) {
    if (!upgrade_started && upgrade->upgradeButton()->isEnabled()) {
      upgrade_started = true;
      QTimer::singleShot(0, upgrade->upgradeButton(), &QPushButton::click);
    }
  } else if (auto* wizard = qobject_cast<TfmPedora*>(modal)) {
    std::cout << "wizard opened hidden=" << (wizard == hidden_form) << " title=" << wizard->windowTitle().toStdString()
              << std::endl;
    wizard->btIntroCancel->click();
  } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    std::cout << "message " << box->text().toStdString() << std::endl;
    box->accept();
  }
}

void DriveTheProgram(TfmMain* fmMain) {
  int forms = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* form = qobject_cast<TfmPedora*>(w)) hidden_form = form, ++forms;
  std::cout << "hidden form " << forms << " visible " << (hidden_form && hidden_form->isVisible()) << std::endl;
  std::cout << "short date " << tabulor::shell::ShortDateFormat() << std::endl;
  std::cout << "tables open " << PracticeTableOpen("Patient.DB") << PracticeTableOpen("Users.DB") << std::endl;
  auto* answers = new QTimer(qApp);
  QObject::connect(answers, &QTimer::timeout, &AnswerModalWindows);
  answers->start(50);
  fmMain->mnuUpgradeClick();
  fmMain->mnuImportAm3Click();
  std::cout << "hidden form after " << !hidden_form.isNull() << std::endl;
  fmMain->close();
}

// Waits for the message loop to show the main window, then drives the program once.
void InstallDriver() {
  if (!qEnvironmentVariableIsSet(kProgramMode)) return;
  auto* wait = new QTimer(qApp);
  QObject::connect(wait, &QTimer::timeout, [wait] {
    TfmMain* fmMain = TopLevel<TfmMain>();
    if (!fmMain || !fmMain->isVisible()) return;
    wait->stop();
    DriveTheProgram(fmMain);
  });
  wait->start(50);
}
Q_COREAPP_STARTUP_FUNCTION(InstallDriver)

// ---- The test side.

std::string Slurp(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(PedoraStartupTest, TheHiddenFormHoldsNoTableAndTheUpgradeFromTheMenuRunsBesideIt) {
  if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs xvfb-run";
  std::random_device rd;
  const fs::path dir = fs::temp_directory_path() / ("pedora-startup-" + std::to_string(rd()));
  fs::create_directories(dir);
  ASSERT_EQ(std::system(("'" TABULOR_BUILD_DIR "/tabulor-mkdb' --version 2.3 --patients 12 --seed 4 '" + dir.string() +
                         "' >/dev/null")
                            .c_str()),
            0);
  fs::copy_file(fs::read_symlink("/proc/self/exe"), dir / "tabulor");

  const std::string command = "cd '" + dir.string() + "' && env -u QT_QPA_PLATFORM " + kProgramMode +
                              "=1 xvfb-run -a timeout 120 ./tabulor >out.txt 2>err.txt";
  int raw = 0;
  for (int attempt = 0; attempt < 3; ++attempt) {  // two servers started at once may pick the same display
    raw = std::system(command.c_str());
    if (Slurp(dir / "err.txt").find("could not connect to display") == std::string::npos) break;
  }
  const std::string out = Slurp(dir / "out.txt");
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << out << Slurp(dir / "err.txt");

  EXPECT_NE(out.find("hidden form 1 visible 0\n"), std::string::npos) << out;
  EXPECT_NE(out.find("short date dd/mm/yy\n"), std::string::npos) << out;
  EXPECT_NE(out.find("tables open 00\n"), std::string::npos) << out;
  EXPECT_NE(out.find("message Mise à jour terminée\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("message Version des tables incompatible"), std::string::npos) << out;
  EXPECT_NE(out.find("wizard opened hidden=0 title=Assistant pour l'importation d'une base de données\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("hidden form after 1\n"), std::string::npos) << out;

  tabulor::db::Session session;
  tabulor::db::Table version(session, (dir / "DATA").string(), "Version.db");
  version.Open();
  int rows = 0;
  for (version.First(); !version.Eof(); version.Next(), ++rows)
    EXPECT_DOUBLE_EQ(version.FieldByName("Version").AsFloat(), 2.8) << version.FieldByName("NomTable").AsString();
  EXPECT_GT(rows, 0);
  version.Close();
  fs::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsSet(kProgramMode)) return tabulor::shell::gui::RunTabulor(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
