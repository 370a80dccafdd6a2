#include "upgrade/gui/db_upgrade_form.h"

#include <QApplication>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>
#include <exception>
#include <stdexcept>

#include "shell/msg.h"

namespace tabulor::upgrade::gui {
namespace {

constexpr const char* kContext = "TfmDBUpgrade";

QString Text(const char* french) { return QString::fromStdString(shell::msg::Tr(kContext, french)); }

// The busy cursor while the database is read or changed.
struct BusyCursor {
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

TfmDBUpgrade::TfmDBUpgrade(QWidget* owner, UpgradeFormSetup setup)
    : QDialog(owner, Qt::Tool), messages_(setup.messages) {
  if (!messages_) throw std::logic_error("the upgrade form was given nowhere to show its messages");
  setWindowTitle(Text(QT_TRANSLATE_NOOP("TfmDBUpgrade", "Mise à jour")));

  sgResume = new QTableWidget(1, 4, this);
  sgResume->setObjectName("sgResume");
  sgResume->verticalHeader()->hide();
  sgResume->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  sgResume->setEditTriggers(QAbstractItemView::NoEditTriggers);
  sgResume->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  sgResume->horizontalHeader()->setStretchLastSection(true);

  Label13 = new QLabel(Text(QT_TRANSLATE_NOOP("TfmDBUpgrade", "Mise à jour de la base de données")), this);
  Label13->setObjectName("Label13");
  QFont title = Label13->font();
  title.setPointSize(title.pointSize() + 6);
  title.setBold(true);
  Label13->setFont(title);
  Label13->setAlignment(Qt::AlignCenter);

  btUpgrade = new QPushButton(Text(QT_TRANSLATE_NOOP("TfmDBUpgrade", "&Mise à jour")), this);
  btUpgrade->setObjectName("btUpgrade");
  btUpgrade->setDefault(true);
  btQuit = new QPushButton(Text(QT_TRANSLATE_NOOP("TfmDBUpgrade", "&Quitter")), this);
  btQuit->setObjectName("btQuit");
  connect(btUpgrade, &QPushButton::clicked, this, &TfmDBUpgrade::btUpgradeClick);
  connect(btQuit, &QPushButton::clicked, this, &QDialog::reject);  // the cancel button

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btUpgrade);
  buttons->addWidget(btQuit);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label13);
  layout->addWidget(sgResume);
  layout->addLayout(buttons);
  resize(560, 420);

  FormCreate(std::move(setup.run));
}

TfmDBUpgrade::~TfmDBUpgrade() = default;  // FormDestroy: the run closes the log

void TfmDBUpgrade::FormCreate(UpgradeSetup setup) {
  sgResume->setHorizontalHeaderLabels({Text(QT_TRANSLATE_NOOP("TfmDBUpgrade", "Table")),
                                       Text(QT_TRANSLATE_NOOP("TfmDBUpgrade", "Version ")),
                                       Text(QT_TRANSLATE_NOOP("TfmDBUpgrade", "Nb. d'enregistrements")),
                                       Text(QT_TRANSLATE_NOOP("TfmDBUpgrade", "Nb. de champs"))});
  run_ = std::make_unique<UpgradeRun>(std::move(setup));
}

void TfmDBUpgrade::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous() || shown_once_) return;
  shown_once_ = true;
  if (const QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
  FormShow();
}

void TfmDBUpgrade::FormShow() {
  BusyCursor busy;
  btUpgrade->setEnabled(false);
  try {
    const int32_t lowest = FillSummary(true);
    btUpgrade->setEnabled(lowest > 0 && lowest < run_->required_version());
  } catch (const std::exception& e) {
    Messages().ShowError(e.what());
  }
}

int32_t TfmDBUpgrade::FillSummary(bool log_missing) {
  const int32_t lowest = run_->FillSummary(log_missing);
  const std::vector<SummaryRow>& rows = run_->Summary();
  sgResume->clearContents();
  sgResume->setRowCount(std::max<int>(1, static_cast<int>(rows.size())));
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const SummaryRow& row = rows[i];
    int column = 0;
    for (const std::string* text : {&row.table, &row.version, &row.rows, &row.fields})
      sgResume->setItem(i, column++, new QTableWidgetItem(QString::fromStdString(*text)));
  }
  return lowest;
}

int32_t TfmDBUpgrade::RunUpgrade() {
  const int32_t result = run_->RunUpgrade();
  close_pending_ = true;
  return result;
}

void TfmDBUpgrade::btUpgradeClick() {
  try {
    {
      BusyCursor busy;
      RunUpgrade();
      FillSummary(false);
      btUpgrade->setEnabled(false);
    }
    Messages().ShowMessage(shell::msg::UpgradeDone());
  } catch (const std::exception& e) {
    // The run stopped: nothing is stamped and the form stays open.
    Messages().ShowError(e.what());
    return;
  }
  if (close_pending_) accept();
}

}  // namespace tabulor::upgrade::gui
