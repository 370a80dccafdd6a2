#include "compress/gui/compress_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <limits>

#include "shell/messages.h"
#include "shell/msg.h"

namespace tabulor::compress::gui {
TfmCompress::TfmCompress(QWidget* owner, CompressFormSetup setup) : QDialog(owner), setup_(std::move(setup)) {
  setObjectName("fmCompress");
  BuildWindow();
  // The form sees the keys of its controls first.
  qApp->installEventFilter(this);
  FormCreate();
}

TfmCompress::~TfmCompress() {
  qApp->removeEventFilter(this);
  // FormDestroy: the log is closed with the form.
  log_.reset();
}

void TfmCompress::BuildWindow() {
  setWindowTitle(tr("Compression"));
  setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  auto* title = new QLabel(tr("Compression de la base de données"), this);
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  title->setAlignment(Qt::AlignCenter);
  layout->addWidget(title);

  LabProg = new QLabel(tr("Compression en cours ... Patientez S.V.P."), this);
  LabProg->setObjectName("LabProg");
  LabProg->hide();
  layout->addWidget(LabProg);
  Progress = new QProgressBar(this);
  Progress->setObjectName("Progress");
  Progress->hide();
  layout->addWidget(Progress);

  layout->addWidget(new QLabel(tr("Compte rendu :"), this));
  mErr = new QPlainTextEdit(this);
  mErr->setObjectName("mErr");
  mErr->setReadOnly(true);
  mErr->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mErr->setLineWrapMode(QPlainTextEdit::NoWrap);
  mErr->setMinimumSize(420, 160);
  layout->addWidget(mErr);

  auto* warning = new QHBoxLayout;
  auto* picture = new QLabel(this);
  picture->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
  warning->addWidget(picture, 0, Qt::AlignTop);
  auto* warning_text = new QLabel(tr("La compression d'une base de données importante peut prendre plusieurs minutes "
                                     "et ce processus ne peut pas être interrompu !"),
                                  this);
  warning_text->setWordWrap(true);
  warning->addWidget(warning_text, 1);
  layout->addLayout(warning);

  auto* threshold = new QHBoxLayout;
  auto* threshold_label = new QLabel(tr("Taille min de compression (en ko) :"), this);
  eTailleLabel_ = threshold_label;
  eTaille = new QLineEdit(QString::fromUtf8(kDefaultThresholdText.data(), kDefaultThresholdText.size()), this);
  eTaille->setObjectName("eTaille");
  threshold_label->setBuddy(eTaille);
  threshold->addWidget(threshold_label);
  threshold->addWidget(eTaille);
  layout->addLayout(threshold);
  SetThresholdVisible(false);

  lIdAcq = new QLineEdit(this);
  lIdAcq->setObjectName("lIdAcq");
  lIdAcq->hide();

  auto* buttons = new QHBoxLayout;
  Kompress = new QPushButton(tr("&Compresser"), this);
  Kompress->setObjectName("Kompress");
  Kompress->setAutoDefault(false);
  btQuit = new QPushButton(tr("&Quitter"), this);
  btQuit->setObjectName("btQuit");
  btQuit->setAutoDefault(false);
  buttons->addStretch();
  buttons->addWidget(Kompress);
  buttons->addWidget(btQuit);
  layout->addLayout(buttons);

  connect(Kompress, &QPushButton::clicked, this, [this] { KompressClick(Kompress); });
  connect(btQuit, &QPushButton::clicked, this, &TfmCompress::reject);
}

void TfmCompress::FormCreate() {
  log_ = std::make_unique<shell::LogFile>(shell::LogFile::InDirectory(setup_.context.program_dir, shell::kCompressLogName));
  run_ = std::make_unique<CompressRun>(setup_.context.Session(), log_.get(),
                                       static_cast<CompressEvents&>(*this), setup_.run);
}

void TfmCompress::KompressClick(QObject* /*sender*/) {
  if (run_->Running()) return;
  Kompress->setEnabled(false);
  std::string error;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    run_->Kompress(eTaille->text().toStdString());
  } catch (const std::exception& e) {
    error = *e.what() ? e.what() : shell::msg::UnknownError();
  } catch (...) {
    error = shell::msg::UnknownError();
  }
  QApplication::restoreOverrideCursor();
  Kompress->setEnabled(true);
  if (!error.empty()) {
    LabProg->hide();
    Progress->hide();
    setup_.context.Messages().ShowError(error);
  }
  if (close_requested_) {
    close_requested_ = false;
    reject();
  }
}

void TfmCompress::FormKeyDown(int key, Qt::KeyboardModifiers shift) {
  if ((shift & Qt::ShiftModifier) && key == 84)  // 'T'
    SetThresholdVisible(eTaille->isHidden());
}

void TfmCompress::SetThresholdVisible(bool visible) {
  eTaille->setVisible(visible);
  eTailleLabel_->setVisible(visible);
}

bool TfmCompress::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && widget->window() == this) {
      const auto* key = static_cast<QKeyEvent*>(event);
      // A key a control ignores is offered again to its parents: the form sees it once,
      // at the control that has the focus.
      QWidget* target = QApplication::focusWidget();
      if (!target || target->window() != this) target = this;
      if (widget == target) FormKeyDown(key->key(), key->modifiers());
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfmCompress::reject() {
  if (run_ && run_->Running()) {
    close_requested_ = true;
    return;
  }
  QDialog::reject();
}

void TfmCompress::closeEvent(QCloseEvent* event) {
  if (run_ && run_->Running()) {
    close_requested_ = true;
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void TfmCompress::ReportLine(int number, const std::string& text) {
  const QString line = QString::fromStdString(text);
  const size_t before = report_.Lines().size();
  const int added = report_.Put(number, text);
  if (added == 0) {
    QTextCursor cursor(mErr->document()->findBlockByNumber(number - 1));
    cursor.movePosition(QTextCursor::StartOfBlock);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(line);
    return;
  }
  const auto& lines = report_.Lines();
  for (size_t i = before; i < lines.size(); ++i) {
    const QString added_line = QString::fromStdString(lines[i]);
    if (i == 0) mErr->setPlainText(added_line);
    else mErr->appendPlainText(added_line);
  }
}

void TfmCompress::CurrentAcquisition(const std::string& id_acq) { lIdAcq->setText(QString::fromStdString(id_acq)); }

void TfmCompress::ProgressStarted(int64_t rows) {
  events_let_through_.invalidate();
  LabProg->setText(tr("Compression en cours ... Patientez S.V.P."));
  Progress->setRange(0, static_cast<int>(std::min<int64_t>(rows, std::numeric_limits<int>::max())));
  Progress->setValue(0);
  Progress->show();
  LabProg->show();
}

void TfmCompress::ProgressMoved(int64_t position) {
  Progress->setValue(static_cast<int>(std::min<int64_t>(position, Progress->maximum())));
}

void TfmCompress::Finished() {
  LabProg->setText(tr("Compression terminée"));
  Progress->hide();
}

void TfmCompress::ProcessPendingEvents() {
  // Once a row would cost more than the rows themselves on large tables of
  // small rows; a few times a frame keeps the window just as responsive.
  if (events_let_through_.isValid() && events_let_through_.elapsed() < 10) return;
  QCoreApplication::processEvents();
  events_let_through_.start();
}

void TfmCompress::ShowMessage(const std::string& text) { setup_.context.Messages().ShowMessage(text); }

}  // namespace tabulor::compress::gui
