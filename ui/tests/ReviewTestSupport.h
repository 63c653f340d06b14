#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPushButton>
#include <QString>
#include <QTest>
#include <deque>
#include <string>
#include <vector>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "acquisition/MeasurementStore.h"
#include "acquisition/SystemRegionalFormat.h"
#include "chart/FileChooser.h"
#include "ui/FollowDialog.h"

namespace quarn::ui::testing {

// Answers the windows' file and size questions from a script; a question with no answer queued is cancelled.
class ScriptedFileChooser : public chart::FileChooser {
 public:
  std::deque<QStringList> openAnswers;
  std::deque<SaveChoice> saveAnswers;
  std::deque<QSize> sizeAnswers;
  std::deque<QString> dataSaveAnswers;
  std::deque<QString> folderAnswers;
  std::deque<QString> limitsAnswers;
  int questions = 0;
  QStringList openFolders;  // the folder each open question started in

  QStringList DataFilesToOpen(QWidget*, const QString& folder) override {
    ++questions;
    openFolders << folder;
    return Take(openAnswers).value_or(QStringList());
  }
  QString FolderToFollow(QWidget*, const QString&) override {
    ++questions;
    return Take(folderAnswers).value_or(QString());
  }
  QString LimitsFileToOpen(QWidget*, const QString&) override {
    ++questions;
    return Take(limitsAnswers).value_or(QString());
  }
  QString DataFileSavePath(QWidget*, const QString&) override {
    ++questions;
    return Take(dataSaveAnswers).value_or(QString());
  }
  std::optional<SaveChoice> SavePath(QWidget*, const QString&, const QString&, const QString&) override {
    ++questions;
    return Take(saveAnswers);
  }
  std::optional<QSize> PictureSize(QWidget*, QSize, chart::PictureFormat) override {
    ++questions;
    return Take(sizeAnswers);
  }

 private:
  template <typename T>
  static std::optional<T> Take(std::deque<T>& answers) {
    if (answers.empty()) return std::nullopt;
    T answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

// Sets the default locale for one test and puts the previous one back.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name) { QLocale::setDefault(QLocale(name)); }
  ~ScopedLocale() { QLocale::setDefault(previous_); }

 private:
  QLocale previous_;
};

// One run of a data file as the program writes it: its header and its records.
struct RunSpec {
  std::string port, serial, firmware;
  std::vector<acquisition::MeasurementRecord> records;
};

// The bytes of a data file with these runs, dates in the default locale's format.
inline QByteArray DataFileBytes(const std::vector<RunSpec>& runs) {
  acquisition::SystemRegionalFormat format;
  std::string bytes;
  for (const RunSpec& run : runs) {
    bytes += acquisition::HeaderBlock(run.port, run.serial, run.firmware);
    for (const auto& record : run.records) bytes += acquisition::DataLine(record, format);
  }
  return QByteArray::fromStdString(bytes);
}

// Data lines alone, dates in the default locale's format.
inline QByteArray DataLines(const std::vector<acquisition::MeasurementRecord>& records) {
  acquisition::SystemRegionalFormat format;
  std::string bytes;
  for (const auto& record : records) bytes += acquisition::DataLine(record, format);
  return QByteArray::fromStdString(bytes);
}

inline void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  ASSERT_EQ(file.write(bytes), bytes.size());
}

// Records one second apart from start (days), whole seconds as a data file keeps them, values from seed.
inline std::vector<acquisition::MeasurementRecord> Records(double start, int count, uint16_t seed) {
  std::vector<acquisition::MeasurementRecord> records;
  for (int i = 0; i < count; ++i) {
    acquisition::MeasurementRecord r;
    r.DT = start + i / 86400.0;
    r.T = uint16_t(seed + i);
    r.S = uint16_t(3000 + seed + 2 * i);
    r.Ur = uint16_t(1200 + i);
    r.Uo = uint16_t(1500 + i);
    r.par5 = 5;
    r.par6 = 6;
    r.par7 = uint16_t(10000 + i);
    r.C1 = uint16_t(seed);
    r.C2 = uint16_t(400 + seed + i % 50);
    r.K = uint16_t(i % 3);
    records.push_back(r);
  }
  return records;
}

// The same record as a file or a CSV keeps it: equal values, and times equal to the millisecond.
inline bool SameRecord(const acquisition::MeasurementRecord& a, const acquisition::MeasurementRecord& b) {
  acquisition::MeasurementRecord values = a;
  values.DT = b.DT;
  return values == b && acquisition::DecodeDayNumber(a.DT) == acquisition::DecodeDayNumber(b.DT);
}

// Opens the menu titled title in window's menu bar with a click and clicks the item named itemName.
inline void ClickMenuItem(QMainWindow& window, const QString& title, const QString& itemName) {
  QMenuBar* bar = window.menuBar();
  QAction* menuAction = nullptr;
  for (QAction* a : bar->actions()) {
    if (a->text() == title) menuAction = a;
  }
  ASSERT_NE(menuAction, nullptr) << title.toStdString();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menuAction).center());
  QMenu* menu = menuAction->menu();
  ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 5000));
  QAction* item = menu->findChild<QAction*>(itemName);
  if (!item) {
    for (QAction* a : menu->actions()) {
      if (a->objectName() == itemName) item = a;
    }
  }
  ASSERT_NE(item, nullptr) << itemName.toStdString();
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
}

// Chooses Action, Follow... in window and, in the dialog that opens, either clicks Browse... (the chooser's
// answer fills the field) or types what into the field, then the password if one is given, and clicks OK.
inline void FollowThroughDialog(QMainWindow& window, const QString& what, const QString& password = {}) {
  ClickMenuItem(window, "Action", "menuFollow");
  FollowDialog* dialog = nullptr;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        dialog = window.findChild<FollowDialog*>("FollowDialog");
        return dialog && dialog->isVisible();
      },
      5000));
  if (what.isEmpty()) {
    QTest::mouseClick(dialog->BrowseButton(), Qt::LeftButton);
  } else {
    QTest::mouseClick(dialog->TargetEdit(), Qt::LeftButton);
    QTest::keyClicks(dialog->TargetEdit(), what);
  }
  if (!password.isEmpty()) {
    QTest::mouseClick(dialog->PasswordEdit(), Qt::LeftButton);
    QTest::keyClicks(dialog->PasswordEdit(), password);
  }
  auto* buttons = dialog->findChild<QDialogButtonBox*>("followButtons");
  ASSERT_NE(buttons, nullptr);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  QTest::mouseClick(ok, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.findChild<FollowDialog*>("FollowDialog") == nullptr; }, 5000));
}

}  // namespace quarn::ui::testing
