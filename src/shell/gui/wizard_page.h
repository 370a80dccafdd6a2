#pragma once
// What the three import wizards build alike: their window, their pages (a
// column of captions and controls with the row of buttons at its foot), the
// panels of counts, and the drive box that roots the directory list.
#include <QObject>
#include <QString>
#include <QStringList>
#include <initializer_list>

class QComboBox;
class QDialog;
class QFileSystemModel;
class QGridLayout;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTableWidget;
class QTextEdit;
class QTreeView;
class QVBoxLayout;
class QWidget;

namespace tabulor::shell::gui {

class DriveDirectoryLists;

// The translation context of every text of the import wizards: the texts they
// share are translated once.
inline constexpr char kWizardContext[] = "ImportWizard";

// A French text of a wizard, in the language in force.
QString WizardText(const char* french);
// A label holding such a text.
QLabel* WizardLabel(const char* french, QWidget* parent = nullptr);

// The wizard window: its caption (the same for the three), fixed size with the
// close box as its only title-bar button, centred on the screen; its pages have
// no tabs. Returns the stack of pages.
QStackedWidget* BuildWizardWindow(QDialog* window);
void FixWizardSize(QDialog* window, int width, int height);

// One line of a panel of counts: its caption, the value label made for it,
// and, when the line can be hidden, its caption label.
struct CountLine {
  const char* caption;
  QLabel** value;
  QLabel** caption_label = nullptr;
};

// One page of a wizard, added to the stack under its name.
class WizardPage {
 public:
  WizardPage(QStackedWidget* pages, const char* name);

  QWidget* page() const { return page_; }
  QVBoxLayout* column() const { return column_; }

  QLabel* Title(const char* text);    // bold
  QLabel* Caption(const char* text);  // a caption on its own line
  // A text beside its picture, wrapped; the picture is one of the style's.
  QLabel* Notice(const char* text, int standard_pixmap);
  // One of the style's pictures, at the top of its place, for the page to lay out.
  QLabel* Picture(int standard_pixmap) const;
  // A button of the page; Enter goes to the page's default button, not to the
  // button that has the focus.
  QPushButton* Button(const char* text) const;
  // The lists of a source page: "Disque :" with the drive box, the directory
  // list taking the page's free height, then "Contenu :" above the file list,
  // which cannot be clicked. Returns the file list.
  QListWidget* SourceLists(DriveDirectoryLists* drives);
  // The user page's caption "Définissez l'utilisateur courant :" above the
  // grid of the users (import_wizard.h), which takes the page's free height.
  QTableWidget* UserGrid();
  // The head of a summary page: the source's name, the current user's when
  // `user` is given, then the caption of the source's counts.
  void SummaryHead(QLabel** name, QLabel** user);
  // The head of a run page: the text "in progress" above the progress bar,
  // then the caption of the report's counts.
  void RunHead(QLabel** in_progress, QProgressBar** progress);
  // A panel of counts (FillCountPanel) named `name`, on its own line.
  QWidget* CountPanel(const char* name, std::initializer_list<CountLine> lines);
  // The report of a run, read-only, with its vertical scroll bar, taking the
  // page's free height.
  QTextEdit* Report();
  // The row of buttons at the foot of the page, to the right.
  void Buttons(std::initializer_list<QPushButton*> buttons);

 private:
  QWidget* page_;
  QVBoxLayout* column_;
};


// Fills `panel` with its lines, caption in column 0 and value in column 1;
// column 2 is left to a value shown beside the first line.
QGridLayout* FillCountPanel(QWidget* panel, std::initializer_list<CountLine> lines);

// The roots offered by a drive box: the file-system root first, then the home
// folder, then every mounted volume a user keeps files on (disks, removable
// media, network shares), without the system's own mounts.
QStringList DriveRoots();

// The root of `roots` that holds `path`: the longest that is `path` or one of
// its parents; empty when none is.
QString RootOf(const QStringList& roots, const QString& path);

// The drive box `dbDrive` and the directory list `dbPath` it drives: choosing
// a drive roots the list there and chooses that folder; choosing a folder in
// the list chooses it. Either way DirectoryChosen tells the form.
class DriveDirectoryLists : public QObject {
  Q_OBJECT

 public:
  explicit DriveDirectoryLists(QWidget* page);

  QComboBox* drive() const { return drive_; }
  QTreeView* directories() const { return tree_; }
  QString Root() const;  // the drive in the box

  // Shows `directory` as the chosen one: its drive in the box, the list rooted
  // on that drive with the directory current. Tells nothing.
  void Show(const QString& directory);

 signals:
  void DirectoryChosen(const QString& directory);

 private:
  void RootAt(const QString& root);

  QComboBox* drive_;
  QFileSystemModel* model_;
  QTreeView* tree_;
};

}  // namespace tabulor::shell::gui
