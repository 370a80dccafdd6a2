#pragma once
// The upgrade form: the summary of every registered table (version, rows,
// fields), and the button that brings the database to the required version.
#include <QDialog>
#include <cstdint>
#include <memory>

#include "shell/messages.h"
#include "upgrade/upgrade_run.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace tabulor::upgrade::gui {

struct UpgradeFormSetup {
  UpgradeSetup run;                        // see UpgradeSetup::From for the program's
  shell::MessageSink* messages = nullptr;  // required
};

class TfmDBUpgrade : public QDialog {
  Q_OBJECT

 public:
  TfmDBUpgrade(QWidget* owner, UpgradeFormSetup setup);
  ~TfmDBUpgrade() override;

  // Fills the grid; returns what UpgradeRun::FillSummary returns.
  int32_t FillSummary(bool log_missing);
  // Runs the upgrade; the form closes once the handler that called it is done.
  int32_t RunUpgrade();
  void btUpgradeClick();

  QTableWidget* grid() const { return sgResume; }
  QPushButton* upgradeButton() const { return btUpgrade; }
  QPushButton* quitButton() const { return btQuit; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormCreate(UpgradeSetup setup);
  void FormShow();
  shell::MessageSink& Messages() const { return *messages_; }

  shell::MessageSink* messages_ = nullptr;
  std::unique_ptr<UpgradeRun> run_;
  bool close_pending_ = false;
  bool shown_once_ = false;

  QTableWidget* sgResume = nullptr;
  QLabel* Label13 = nullptr;
  QPushButton* btUpgrade = nullptr;
  QPushButton* btQuit = nullptr;
};

}  // namespace tabulor::upgrade::gui
