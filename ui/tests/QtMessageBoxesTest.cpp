#include "ui/QtMessageBoxes.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <atomic>
#include <thread>

#include "identify/tests/TestDoubles.h"
#include "ui/MainWindow.h"
#include "ui/tests/MainWindowFixture.h"

namespace quarn::ui {
namespace {

// Answers every box that opens with `button` and records what it said.
class BoxCloser {
 public:
  explicit BoxCloser(QMessageBox::StandardButton button) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this, button] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        texts_ << box->text();
        const QCursor* cursor = QApplication::overrideCursor();
        cursors_ << (cursor ? cursor->shape() : Qt::ArrowCursor);
        icons_ << box->icon();
        box->button(button)->click();
      }
    });
    timer_.start();
  }
  QStringList texts_;
  QList<QMessageBox::Icon> icons_;
  QList<Qt::CursorShape> cursors_;  // under each box

 private:
  QTimer timer_;
};

TEST(QtMessageBoxes, PostFromAWorkerNeverWaitsAndShowsOnTheGuiThread) {
  QWidget owner;
  QtMessageBoxes boxes(&owner);
  BoxCloser closer(QMessageBox::Ok);
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    boxes.Post(base::BoxKind::Warning, "Error writing to file \n\rdisk full");
    boxes.Post(base::BoxKind::Error, "Limit of attempts to send commands on port");
    returned = true;
  });
  worker.join();
  EXPECT_TRUE(returned) << "the worker went on before any box was shown";
  EXPECT_TRUE(closer.texts_.isEmpty());
  for (int i = 0; i < 300 && closer.texts_.size() < 2; ++i) QTest::qWait(10);
  EXPECT_EQ(closer.texts_,
            (QStringList{"Error writing to file \n\rdisk full", "Limit of attempts to send commands on port"}));
  EXPECT_EQ(closer.icons_, (QList<QMessageBox::Icon>{QMessageBox::Warning, QMessageBox::Critical}));
}

TEST(QtMessageBoxes, QuestionsReturnThePressedButton) {
  QtMessageBoxes boxes;
  {
    BoxCloser closer(QMessageBox::No);
    EXPECT_EQ(boxes.Show(base::BoxKind::Question, base::BoxButtons::YesNo, "Save Date to file?"), base::BoxAnswer::No);
  }
  BoxCloser closer(QMessageBox::Yes);
  EXPECT_EQ(boxes.Show(base::BoxKind::Question, base::BoxButtons::YesNo, "Clear comport settings?"),
            base::BoxAnswer::Yes);
}

// Escape and the title bar's close box leave a question open; only its buttons answer it.
TEST(QtMessageBoxes, AQuestionIgnoresEscapeAndTheCloseBox) {
  QtMessageBoxes boxes;
  for (const QMessageBox::StandardButton answer : {QMessageBox::Yes, QMessageBox::No}) {
    bool stayedOpen = false;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      QTest::keyClick(box, Qt::Key_Escape);
      // What the window manager does for the close box: a close request to the window.
      box->windowHandle()->close();
      stayedOpen = box->isVisible() && QApplication::activeModalWidget() == box;
      QTest::mouseClick(box->button(answer), Qt::LeftButton);
    });
    const base::BoxAnswer got = boxes.Show(base::BoxKind::Question, base::BoxButtons::YesNo, "Save Date to file?");
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(got, answer == QMessageBox::Yes ? base::BoxAnswer::Yes : base::BoxAnswer::No);
  }
}

TEST(QtMessageBoxes, NoBusyCursorOverABox) {
  QtMessageBoxes boxes;
  BoxCloser closer(QMessageBox::Ok);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  boxes.Show(base::BoxKind::Error, base::BoxButtons::Ok, "while busy");
  ASSERT_TRUE(QApplication::overrideCursor());
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor) << "busy again after the box";
  QApplication::restoreOverrideCursor();
  EXPECT_EQ(closer.cursors_, QList<Qt::CursorShape>{Qt::ArrowCursor});
}

// Check with no sensor on the remembered port: its boxes come under the normal cursor, and no busy cursor
// is left behind.
TEST(QtMessageBoxes, AFailedCheckShowsItsBoxesWithoutTheBusyCursor) {
  QTemporaryDir noPorts;
  qputenv("QUARN_PORT_DIR", noPorts.path().toUtf8());
  identify::testing::MemoryPortStore store({identify::PortStore::Status::Found, 7});
  testing::Folders folders;
  MainWindow form(folders.Deps(nullptr, &store));
  form.show();
  BoxCloser closer(QMessageBox::Ok);
  form.CheckSensorClicked();
  qunsetenv("QUARN_PORT_DIR");
  ASSERT_FALSE(closer.texts_.isEmpty());
  for (Qt::CursorShape shape : closer.cursors_) EXPECT_EQ(shape, Qt::ArrowCursor);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(QtMessageBoxes, APostedBoxOfAClosedWindowIsDropped) {
  BoxCloser closer(QMessageBox::Ok);
  {
    auto owner = std::make_unique<QWidget>();
    QtMessageBoxes boxes(owner.get());
    std::thread([&] { boxes.Post(base::BoxKind::Error, "late"); }).join();
    owner.reset();
  }
  QTest::qWait(100);
  EXPECT_TRUE(closer.texts_.isEmpty());
}

}  // namespace
}  // namespace quarn::ui
