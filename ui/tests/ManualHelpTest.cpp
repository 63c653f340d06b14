#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QUrl>
#include <memory>
#include <vector>

#include "base/testing/ScriptedMessageBoxes.h"
#include "identify/tests/TestDoubles.h"
#include "ui/MainWindow.h"
#include "ui/tests/MainWindowFixture.h"

namespace quarn::ui {
namespace {

void WriteFile(const QString& path) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("<html></html>");
}

// Opens the Help menu and chooses "Manual help" with the mouse, as a user does.
void ClickManualHelp(MainWindow& window) {
  QMenuBar* bar = window.menuBar();
  QAction* helpMenu = nullptr;
  for (QAction* action : bar->actions()) {
    if (action->text() == "Help") helpMenu = action;
  }
  ASSERT_NE(helpMenu, nullptr);
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(helpMenu).center());
  QMenu* menu = helpMenu->menu();
  ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, testing::kWaitMs));
  QAction* manual = menu->findChild<QAction*>("menuManualHelp");
  ASSERT_NE(manual, nullptr);
  ASSERT_EQ(manual->text(), "Manual help");
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(manual).center());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !menu->isVisible(); }, testing::kWaitMs));
}

struct HelpCase {
  const char* name;
  bool chm;            // help.chm in the program folder
  bool manual;         // the HTML manual installed
  bool browser;        // something can show a file
  bool byKey;          // F1 instead of the menu
  const char* opened;  // file handed to the desktop: "help.chm", "index.html" or ""
  enum Box { kNoBox, kNotFound, kNoViewer } box;
};

const HelpCase kCases[] = {
    {"compiled help first", true, true, true, false, "help.chm", HelpCase::kNoBox},
    {"HTML manual without help.chm", false, true, true, false, "index.html", HelpCase::kNoBox},
    {"HTML manual by F1", false, true, true, true, "index.html", HelpCase::kNoBox},
    {"no browser", false, true, false, false, "index.html", HelpCase::kNoViewer},
    {"no viewer for help.chm", true, false, false, true, "help.chm", HelpCase::kNoViewer},
    {"no manual at all", false, false, true, false, "", HelpCase::kNotFound},
};

void PrintTo(const HelpCase& c, std::ostream* out) { *out << c.name; }

class ManualHelpTest : public ::testing::TestWithParam<HelpCase> {};

TEST_P(ManualHelpTest, OpensTheCompiledHelpElseTheHtmlManualElseSaysNotFound) {
  const HelpCase& c = GetParam();
  testing::Folders folders;
  base::ScriptedMessageBoxes boxes;
  identify::testing::MemoryPortStore store{{identify::PortStore::Status::Found, 7}};
  MainWindowDependencies deps = folders.Deps(&boxes, &store);
  deps.manualFile = folders.Documents() + "/manual/index.html";
  if (c.chm) WriteFile(folders.Program() + "/help.chm");
  if (c.manual) {
    QDir().mkpath(folders.Documents() + "/manual");
    WriteFile(deps.manualFile);
  }
  std::vector<QUrl> asked;
  deps.openUrl = [&](const QUrl& url) {
    asked.push_back(url);
    return c.browser;
  };
  MainWindow window(deps);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  ::testing::internal::CaptureStderr();
  if (c.byKey) {
    QTest::keyClick(&window, Qt::Key_F1);
  } else {
    ClickManualHelp(window);
  }
  const std::string log = ::testing::internal::GetCapturedStderr();

  if (*c.opened == '\0') {
    EXPECT_TRUE(asked.empty());
  } else {
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].isLocalFile());
    EXPECT_EQ(QFileInfo(asked[0].toLocalFile()).fileName(), c.opened);
  }
  switch (c.box) {
    case HelpCase::kNoBox: EXPECT_TRUE(boxes.Boxes().empty()); break;
    case HelpCase::kNotFound:
      EXPECT_EQ(boxes.Boxes(),
                (std::vector<base::ScriptedMessageBoxes::Box>{
                    {base::BoxKind::Warning, base::BoxButtons::Ok, "The Help file is not found !", false}}));
      break;
    case HelpCase::kNoViewer: {
      // The file was there: the box names it and says nothing could show it, never that it is missing.
      ASSERT_EQ(boxes.Boxes().size(), 1u);
      const std::string text = boxes.Boxes()[0].text;
      const std::string path =
          QDir::toNativeSeparators(QFileInfo(asked[0].toLocalFile()).absoluteFilePath()).toStdString();
      EXPECT_NE(text.find(path), std::string::npos) << text;
      EXPECT_NE(text.find("no program could be started"), std::string::npos) << text;
      EXPECT_EQ(text.find("not found"), std::string::npos) << text;
      EXPECT_EQ(boxes.Boxes()[0].kind, base::BoxKind::Warning);
      break;
    }
  }
  // Without a browser the log names the command that would have shown the manual.
  const bool logged = log.find("xdg-open 'file://") != std::string::npos && log.find(c.opened) != std::string::npos;
  EXPECT_EQ(logged, c.box == HelpCase::kNoViewer) << log;
}

INSTANTIATE_TEST_SUITE_P(Help, ManualHelpTest, ::testing::ValuesIn(kCases), [](const auto& info) {
  std::string name = info.param.name;
  for (char& ch : name) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return name;
});

// Without a manual given, F1 finds the copy beside the build tree's programs as it finds the installed one
// (both sit in ../share/quarn-eval/manual from the program's folder).
TEST(ManualHelpBuildTreeTest, F1OpensTheManualBesideTheProgram) {
  testing::Folders folders;
  base::ScriptedMessageBoxes boxes;
  identify::testing::MemoryPortStore store{{identify::PortStore::Status::Found, 7}};
  MainWindowDependencies deps = folders.Deps(&boxes, &store);
  std::vector<QUrl> asked;
  deps.openUrl = [&](const QUrl& url) {
    asked.push_back(url);
    return true;
  };
  MainWindow window(deps);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  QTest::keyClick(&window, Qt::Key_F1);

  EXPECT_TRUE(boxes.Boxes().empty());
  ASSERT_EQ(asked.size(), 1u);
  const QString path = asked[0].toLocalFile();
  EXPECT_EQ(QFileInfo(path).fileName(), "index.html");
  EXPECT_EQ(QFileInfo(path).dir().dirName(), "manual");
  QFile manual(path);
  ASSERT_TRUE(manual.open(QIODevice::ReadOnly)) << path.toStdString();
  EXPECT_TRUE(manual.readAll().contains("<title>QUARN Evaluation Software")) << path.toStdString();
}

}  // namespace
}  // namespace quarn::ui
