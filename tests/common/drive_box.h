#pragma once
// The drive box of a wizard's source page and the directory list it drives,
// checked the same way for the three import wizards.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QString>
#include <QTreeView>
#include <functional>

namespace tabulor::testing {

// Points the home folder at a test's own folder while the wizard is built, so
// that its drive box offers that folder as one of its drives.
class HomeFolder {
 public:
  explicit HomeFolder(const QString& home) : saved_(qgetenv("HOME")) { qputenv("HOME", QFile::encodeName(home)); }
  ~HomeFolder() { qputenv("HOME", saved_); }

 private:
  QByteArray saved_;
};

// `source` is a folder below `home` that the wizard accepts, already chosen;
// `chosen` is the wizard's chosen folder and `accepted` whether it may go on.
// The box offers the file-system root first and the home folder; the chosen
// folder's drive is the home folder, the list is rooted there with the folder
// current; choosing the root drive roots the list at "/" and chooses "/",
// which the wizard does not accept; choosing the folder again in the list
// brings the home drive back.
inline void CheckDriveBox(QComboBox* drive, QTreeView* directories, const QString& home, const QString& source,
                          const std::function<QString()>& chosen, const std::function<bool()>& accepted) {
  const auto* model = qobject_cast<const QFileSystemModel*>(directories->model());
  ASSERT_NE(model, nullptr);
  const auto root_of_list = [&] { return model->filePath(directories->rootIndex()); };
  ASSERT_GE(drive->count(), 2);
  EXPECT_EQ(drive->itemText(0), QDir::rootPath());
  const int home_drive = drive->findText(QDir::toNativeSeparators(home));
  ASSERT_GE(home_drive, 0) << "no drive for the home folder";
  ASSERT_EQ(chosen(), source);
  ASSERT_TRUE(accepted());
  EXPECT_EQ(drive->currentIndex(), home_drive) << drive->currentText().toStdString();
  EXPECT_EQ(root_of_list(), home);
  EXPECT_EQ(model->filePath(directories->currentIndex()), source);

  emit drive->activated(0);
  EXPECT_EQ(chosen(), QDir::rootPath());
  EXPECT_EQ(root_of_list(), QDir::rootPath());
  EXPECT_FALSE(accepted()) << "nothing to import at the root";

  directories->setCurrentIndex(model->index(source));
  EXPECT_EQ(chosen(), source);
  EXPECT_TRUE(accepted());
  EXPECT_EQ(drive->currentIndex(), home_drive);
  EXPECT_EQ(root_of_list(), home);
}

}  // namespace tabulor::testing
