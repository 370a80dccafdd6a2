#include "shell/gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>
#include <exception>

#include "shell/command_line.h"
#include "shell/config.h"
#include "shell/msg.h"
#include "shell/schema_version.h"

namespace tabulor::shell::gui {

TfmMain::TfmMain(MainWindowSetup setup, QWidget* parent)
    : QMainWindow(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), setup_(std::move(setup)) {
  if (!setup_.context.messages) setup_.context.messages = &shell::Messages();
  setObjectName("fmMain");
  setAttribute(Qt::WA_QuitOnClose, true);
  BuildWindow();
  BuildMenu();
  RetranslateUi();
  EnableFunctions();
  SetKeyPreview(true);
  Timer->start();
  FormCreate();
}

TfmMain::~TfmMain() { SetKeyPreview(false); }

void TfmMain::BuildWindow() {
  auto* central = new QWidget(this);
  setCentralWidget(central);

  Image1 = new QLabel(central);
  Image1->setObjectName("Image1");
  Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));

  Label1 = new QLabel(central);
  Label1->setObjectName("Label1");
  QFont bold = Label1->font();
  bold.setBold(true);
  Label1->setFont(bold);
  Label1->setAlignment(Qt::AlignCenter);
  Label1->setWordWrap(true);

  btUpgrade = new QPushButton(central);
  btUpgrade->setObjectName("btUpgrade");
  btUpgrade->setMinimumHeight(48);
  btImport = new QPushButton(central);
  btImport->setObjectName("btImport");
  btImport->setMinimumHeight(48);
  btImport->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
  btQuit = new QPushButton(central);
  btQuit->setObjectName("btQuit");
  // The cancel kind: Escape presses it.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, btQuit, &QPushButton::click);

  lVersion = new QLabel("Version X", central);
  lVersion->setObjectName("lVersion");
  lVersion->setAlignment(Qt::AlignRight | Qt::AlignBottom);

  auto* top = new QHBoxLayout;
  top->addWidget(Image1, 0, Qt::AlignTop);
  top->addWidget(Label1, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(btQuit);
  bottom->addStretch(1);
  bottom->addWidget(lVersion, 0, Qt::AlignRight | Qt::AlignBottom);
  auto* layout = new QVBoxLayout(central);
  layout->addLayout(top);
  layout->addSpacing(8);
  layout->addWidget(btUpgrade);
  layout->addWidget(btImport);
  layout->addSpacing(8);
  layout->addLayout(bottom);

  Timer = new QTimer(this);
  Timer->setObjectName("Timer");
  Timer->setInterval(1000);
  connect(Timer, &QTimer::timeout, this, &TfmMain::TimerTimer);

  connect(btUpgrade, &QPushButton::clicked, this, &TfmMain::mnuUpgradeClick);
  connect(btImport, &QPushButton::clicked, this, &TfmMain::mnuImportBDClick);
  connect(btQuit, &QPushButton::clicked, this, &TfmMain::mnuQuitClick);

  setFixedSize(440, 300);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

void TfmMain::BuildMenu() {
  auto add = [this](QMenu* menu, const char* name, void (TfmMain::*handler)()) {
    QAction* action = menu->addAction(QString());
    action->setObjectName(name);
    connect(action, &QAction::triggered, this, handler);
    return action;
  };
  QMenuBar* mnuMain = menuBar();
  mnuMain->setObjectName("mnuMain");
  mnuFile = mnuMain->addMenu(QString());
  mnuFile->setObjectName("mnuFile");
  mnuUpgrade = add(mnuFile, "mnuUpgrade", &TfmMain::mnuUpgradeClick);
  mnuCompress = add(mnuFile, "mnuCompress", &TfmMain::mnuCompressClick);
  N2 = mnuFile->addSeparator();
  N2->setObjectName("N2");
  mnuQuit = add(mnuFile, "mnuQuit", &TfmMain::mnuQuitClick);

  mnuImportations = mnuMain->addMenu(QString());
  mnuImportations->setObjectName("mnuImportations");
  mnuImportBD = add(mnuImportations, "mnuImportBD", &TfmMain::mnuImportBDClick);
  mnuImportPatAccess = add(mnuImportations, "mnuImportPatAccess", &TfmMain::mnuImportPatAccessClick);
  mnuImportAccess = add(mnuImportations, "mnuImportAccess", &TfmMain::mnuImportAccessClick);
  mnuImportAm3 = add(mnuImportations, "mnuImportAm3", &TfmMain::mnuImportAm3Click);
  mnuImportAccess->setVisible(false);
  mnuImportAm3->setVisible(false);
}

void TfmMain::RetranslateUi() {
  setWindowTitle(tr("Tabulor"));
  Label1->setText(tr("Avant toute manipulation sur votre base de données il est conseillé de faire une "
                     "sauvegarde de ladite base."));
  btUpgrade->setText(tr("&Mise à jour de la Base"));
  btImport->setText(tr("&Importation d'une Base"));
  btQuit->setText(tr("&Quitter"));
  mnuFile->setTitle(tr("&Fichiers"));
  mnuUpgrade->setText(tr("Mise à jour de la base"));
  mnuCompress->setText(tr("Compression de la base"));
  mnuQuit->setText(tr("&Quitter"));
  mnuImportations->setTitle(tr("&Importations"));
  mnuImportBD->setText(tr("Importation d'une base de données"));
  mnuImportPatAccess->setText(tr("Importation des patients d'une base Balantis Access"));
  mnuImportAccess->setText(tr("Importation d'une base Balantis Access"));
  mnuImportAm3->setText(tr("Importation d'un fichier patient Pedora"));
  if (required_version_ != 0) lVersion->setText(QString::fromStdString(msg::VersionPrefix() + kProgramVersionText));
}

void TfmMain::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
  if (event->isAccepted()) QCoreApplication::quit();
}

void TfmMain::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) RetranslateUi();
  QMainWindow::changeEvent(event);
}

// A function that this build lacks keeps its entry and button disabled.
void TfmMain::EnableFunctions() {
  const FormRegistry& forms = setup_.forms ? *setup_.forms : FormRegistry::Global();
  auto has = [&forms](ShellFunction f) { return forms.Find(f) != nullptr; };
  mnuUpgrade->setEnabled(has(ShellFunction::kUpgrade));
  btUpgrade->setEnabled(has(ShellFunction::kUpgrade));
  mnuCompress->setEnabled(has(ShellFunction::kCompress));
  mnuImportBD->setEnabled(has(ShellFunction::kImportDatabase));
  btImport->setEnabled(has(ShellFunction::kImportDatabase));
  mnuImportPatAccess->setEnabled(has(ShellFunction::kImportAccessPatients));
  mnuImportAccess->setEnabled(has(ShellFunction::kImportAccessFull));
  mnuImportAm3->setEnabled(has(ShellFunction::kImportPatientFile));
}

void TfmMain::FormCreate() {
  timer_ticks_ = 0;
  required_version_ = kRequiredVersion;
  lVersion->setText(QString::fromStdString(msg::VersionPrefix() + kProgramVersionText));
  if (CompressionMarkerPresent(setup_.context.program_dir)) mnuCompress->setEnabled(false);

  StartupStatus& status = setup_.status ? *setup_.status : own_status_;
  const UnattendedRuns& runs = setup_.runs ? *setup_.runs : UnattendedRuns::Global();
  switches_succeeded_ = CommandLineRun(runs, status, setup_.context).Run(setup_.arguments);
}

void TfmMain::SetKeyPreview(bool on) {
  if (on == key_preview_) return;
  key_preview_ = on;
  if (on) qApp->installEventFilter(this);
  else qApp->removeEventFilter(this);
}

// While key preview is on, the window sees the keys of its controls first.
bool TfmMain::eventFilter(QObject* watched, QEvent* event) {
  if (key_preview_ && event->type() == QEvent::KeyPress) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && widget->window() == this) {
      const auto* key = static_cast<QKeyEvent*>(event);
      FormKeyDown(key->key(), key->modifiers());
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TfmMain::FormKeyDown(int key, Qt::KeyboardModifiers shift) {
  if (!(shift & Qt::ShiftModifier)) return;
  if (key == 83) mnuImportAccess->setVisible(true);   // 'S'
  if (key == 65) mnuImportAm3->setVisible(true);      // 'A'
}

void TfmMain::TimerTimer() {
  ++timer_ticks_;
  if (timer_ticks_ == 5) {
    SetKeyPreview(false);
    Timer->stop();
  }
}

void TfmMain::OpenFunction(ShellFunction function, int32_t required) {
  const FormRegistry& forms = setup_.forms ? *setup_.forms : FormRegistry::Global();
  const FormFactory* factory = forms.Find(function);
  if (!factory) return;
  try {
    // Asked afresh at each click, so that an upgrade done meanwhile opens the imports at once.
    if (required > 0 && setup_.schema_version() < required) {
      Messages().ShowMessage(msg::IncompatibleVersion());
      return;
    }
    std::unique_ptr<QDialog> form = (*factory)(this, setup_.context);
    form->exec();
  } catch (const std::exception& e) {
    Messages().ShowError(e.what());
  }
}

void TfmMain::mnuUpgradeClick() { OpenFunction(ShellFunction::kUpgrade, 0); }

void TfmMain::mnuCompressClick() {
  if (!mnuCompress->isEnabled()) return;
  OpenFunction(ShellFunction::kCompress, kCompressionRequiredVersion);
}

void TfmMain::mnuImportBDClick() { OpenFunction(ShellFunction::kImportDatabase, required_version_); }

void TfmMain::mnuImportPatAccessClick() { OpenFunction(ShellFunction::kImportAccessPatients, required_version_); }

void TfmMain::mnuImportAccessClick() { OpenFunction(ShellFunction::kImportAccessFull, required_version_); }

void TfmMain::mnuImportAm3Click() { OpenFunction(ShellFunction::kImportPatientFile, required_version_); }

void TfmMain::mnuQuitClick() { close(); }

}  // namespace tabulor::shell::gui
