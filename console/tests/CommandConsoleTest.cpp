#include "console/CommandConsole.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "base/Timing.h"
#include "base/testing/ScriptedMessageBoxes.h"
#include "link/SerialPort.h"
#include "link/tests/PtyPeer.h"
#include "sim/testing/SimSensor.h"

namespace quarn::console {
namespace {

using Box = base::ScriptedMessageBoxes::Box;
using Texts = std::vector<std::string>;

const Box kNoListBox{base::BoxKind::Warning, base::BoxButtons::Ok, "List of commands not found (commands.ini)", false};

// How long QTest::qWaitFor turns the event loop for a condition.
constexpr int kWaitMs = 10000;

QStringList Log(CommandConsole& form) { return form.findChild<QPlainTextEdit*>("Memo1")->toPlainText().split('\n'); }

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

// A console on the simulated sensor at COM7 whose program folder is a fresh temporary folder.
class ConsoleTest : public testing::Test {
 protected:
  void SetUp() override {
    base::SetTimeScale(0.05);
    // A parameterised test is named "Name/0": one folder, not a folder inside a folder left behind.
    std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(test.begin(), test.end(), '/', '-');
    folder_ = std::filesystem::temp_directory_path() / ("quarn-console-ui-" + std::to_string(::getpid()) + "-" + test);
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    std::filesystem::remove_all(folder_);
    base::SetTimeScale(1.0);
  }

  void StartSensor() {
    sim::SimSensor::Options options;
    // A fast line puts each reply in one write: at 9600 baud a reply leaves in bursts over about 10 ms, and a
    // loaded machine could then let the console's shortened gathering time show it as two entries.
    options.args = {"--serial", "555123", "--firmware", "QRN-2.14", "--baud", "115200"};
    sensor_ = std::make_unique<sim::SimSensor>(options);
    ports_ = std::make_unique<sim::ScopedPortDir>(sensor_->PortDir());
  }

  std::unique_ptr<CommandConsole> Open(const std::string& port = "7") {
    auto form = std::make_unique<CommandConsole>(boxes_);
    form->portNumber = port;
    form->serialNumber = "555123";
    form->firmware = "QRN-2.14";
    form->programFolder = folder_.string() + "/";
    form->show();
    return form;
  }

  void WriteListFile(const std::string& bytes) { std::ofstream(folder_ / "commands.ini", std::ios::binary) << bytes; }

  // Types the command and presses Send.
  static void Send(CommandConsole& form, const QString& command) {
    form.findChild<QLineEdit*>("eCMD")->setText(command);
    form.findChild<QPushButton*>("bSend")->click();
  }

  static void SelectMode(CommandConsole& form, const QString& name) {
    for (auto* button : form.findChild<QGroupBox*>("RG1")->findChildren<QRadioButton*>()) {
      if (button->text() == name) button->click();
    }
  }

  std::filesystem::path folder_;
  base::ScriptedMessageBoxes boxes_;
  std::unique_ptr<sim::SimSensor> sensor_;
  std::unique_ptr<sim::ScopedPortDir> ports_;
};

TEST_F(ConsoleTest, StartsWithItsControlsSet) {
  auto form = Open("99");
  EXPECT_EQ(form->windowTitle(), "Send Command");
  auto* hash = form->findChild<QCheckBox*>("CheckBox1");
  EXPECT_EQ(hash->text(), "#00");
  EXPECT_TRUE(hash->isChecked());
  EXPECT_TRUE(form->findChild<QPushButton*>("bSend")->isDefault());
  EXPECT_EQ(form->findChild<QPushButton*>("bSend")->text(), "Send");
  EXPECT_EQ(form->findChild<QPushButton*>("BitBtn1")->text(), "Save logs");
  QStringList labels;
  for (auto* label : form->findChildren<QLabel*>()) labels << label->text();
  EXPECT_TRUE(labels.contains("Command") && labels.contains("x0D") && labels.contains("Command list"));

  QStringList modes;
  auto* group = form->findChild<QGroupBox*>("RG1");
  for (auto* button : group->findChildren<QRadioButton*>()) modes << button->text() + (button->isChecked() ? "*" : "");
  EXPECT_EQ(modes.join(","), "ASCII*,HEX,ASCII/HEX");

  auto* list = form->findChild<QListWidget*>("LBComand");
  ASSERT_EQ(list->count(), 25);
  EXPECT_EQ(list->item(4)->text(), "--------");
  EXPECT_EQ(list->item(24)->text(), "KTGD");
  EXPECT_EQ(Log(*form), QStringList{"Sending:"});

  auto* dialog = form->findChild<QFileDialog*>("SaveDialog1");
  EXPECT_EQ(dialog->windowTitle(), "Save protocol");
  EXPECT_EQ(dialog->defaultSuffix(), "txt");
  EXPECT_EQ(dialog->nameFilters(), QStringList{"Text files (*.txt)"});
  EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);

  form->resize(500, 300);
  QTest::qWait(1);
  EXPECT_GE(form->frameGeometry().width(), CommandConsole::kMinWidth);
  EXPECT_GE(form->frameGeometry().height(), CommandConsole::kMinHeight);

  // No commands.ini and no port 99.
  EXPECT_EQ(boxes_.Boxes(),
            (std::vector<Box>{kNoListBox,
                              {base::BoxKind::Error, base::BoxButtons::Ok, "Not successful open COM port99", false}}));
}

struct SendCase {
  const char* name;
  QString mode;
  bool withAddress;
  std::string sent;
  QStringList log;
};
void PrintTo(const SendCase& c, std::ostream* os) { *os << c.name; }

class ConsoleSendTest : public ConsoleTest, public testing::WithParamInterface<SendCase> {};

TEST_P(ConsoleSendTest, SendsTheCommandAndShowsTheReply) {
  StartSensor();
  auto form = Open();
  SelectMode(*form, GetParam().mode);
  form->findChild<QCheckBox*>("CheckBox1")->setChecked(GetParam().withAddress);
  Send(*form, "SREV?");
  ASSERT_TRUE(sensor_->WaitReceived(1, std::chrono::seconds(10)));
  EXPECT_EQ(sensor_->Received(), Texts{GetParam().sent});
  EXPECT_TRUE(QTest::qWaitFor([&] { return Log(*form).size() >= GetParam().log.size(); }, kWaitMs));
  EXPECT_EQ(Log(*form), GetParam().log);
  EXPECT_EQ(boxes_.Boxes(), std::vector<Box>{kNoListBox});
}

INSTANTIATE_TEST_SUITE_P(
    ConsoleReplies, ConsoleSendTest,
    testing::Values(
        SendCase{"Ascii", "ASCII", true, "#00SREV?", {"Sending:", "> #00SREV?", "<< QRN-2.14\u240D", ""}},
        SendCase{"Hex", "HEX", true, "#00SREV?", {"Sending:", "> #00SREV?", "<< 51 52 4E 2D 32 2E 31 34 0D ", ""}},
        SendCase{"AsciiHex",
                 "ASCII/HEX",
                 true,
                 "#00SREV?",
                 {"Sending:", "> #00SREV?", "<< QRN-2.14\u240D", "<< 51 52 4E 2D 32 2E 31 34 0D ", ""}},
        SendCase{"WithoutAddress", "ASCII", false, "SREV?", {"Sending:", "> SREV?", "<< QRN-2.14\u240D", ""}}),
    [](const testing::TestParamInfo<SendCase>& info) { return std::string(info.param.name); });

TEST_F(ConsoleTest, EachReplyIsShownInTheModeSetWhenItCame) {
  StartSensor();
  auto form = Open();
  Send(*form, "SRAL?");
  ASSERT_TRUE(QTest::qWaitFor([&] { return Log(*form).size() >= 4; }, kWaitMs));
  SelectMode(*form, "HEX");
  Send(*form, "SRAL?");
  ASSERT_TRUE(QTest::qWaitFor([&] { return Log(*form).size() >= 7; }, kWaitMs));
  EXPECT_EQ(Log(*form), (QStringList{"Sending:", "> #00SRAL?", "<< 555123\u240D", "", "> #00SRAL?",
                                     "<< 35 35 35 31 32 33 0D ", ""}));
}

TEST_F(ConsoleTest, AReplyInTwoPartsGivesTwoEntries) {
  StartSensor();
  sensor_->Control("split 2");
  auto form = Open();
  Send(*form, "SREV?");
  ASSERT_TRUE(QTest::qWaitFor([&] { return Log(*form).size() >= 6; }, kWaitMs));
  EXPECT_EQ(Log(*form), (QStringList{"Sending:", "> #00SREV?", "<< QRN-", "", "<< 2.14\u240D", ""}));
}

TEST_F(ConsoleTest, EmptyOrOverlongCommandsAreRefused) {
  StartSensor();
  auto form = Open();
  Send(*form, "");
  Send(*form, QString(253, 'A'));  // with "#00" one character more than a line carries
  EXPECT_EQ(boxes_.Texts(), (Texts{kNoListBox.text, "Input the command",
                                   "The command is too long: a command line carries at most 255 characters"}));
  form->findChild<QCheckBox*>("CheckBox1")->setChecked(false);
  Send(*form, QString(253, 'A'));
  ASSERT_TRUE(sensor_->WaitReceived(1, std::chrono::seconds(10)));
  EXPECT_EQ(sensor_->Received(), Texts{std::string(253, 'A')});
  EXPECT_EQ(Log(*form).mid(0, 2), (QStringList{"Sending:", "> " + QString(253, 'A')}));
  EXPECT_EQ(boxes_.Boxes().size(), 3u);
}

std::string Utf16LittleEndian(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

struct ListCase {
  const char* name;
  std::string bytes;
};
void PrintTo(const ListCase& c, std::ostream* os) { *os << c.name; }

class ConsoleListTest : public ConsoleTest, public testing::WithParamInterface<ListCase> {};

TEST_P(ConsoleListTest, CommandFileReplacesTheList) {
  StartSensor();
  WriteListFile(GetParam().bytes);
  auto form = Open();
  auto* list = form->findChild<QListWidget*>("LBComand");
  QStringList entries;
  for (int i = 0; i < list->count(); ++i) entries << list->item(i)->text();
  EXPECT_EQ(entries, (QStringList{"ZERO2", "--------", "Z\u00E4hler ?"}));
  EXPECT_TRUE(boxes_.Boxes().empty());

  // A separator copies nothing; a command is copied but not sent.
  auto* entry = form->findChild<QLineEdit*>("eCMD");
  entry->setText("typed");
  auto click = [&](int row) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
  };
  click(1);
  EXPECT_EQ(entry->text(), "typed");
  click(0);
  EXPECT_EQ(entry->text(), "ZERO2");
  click(1);
  EXPECT_EQ(entry->text(), "ZERO2");
  click(2);
  EXPECT_EQ(entry->text(), "Z\u00E4hler ?");
  QTest::qWait(50);
  EXPECT_TRUE(sensor_->Received().empty());
  EXPECT_EQ(Log(*form), QStringList{"Sending:"});
}

INSTANTIATE_TEST_SUITE_P(ConsoleEncodings, ConsoleListTest,
                         testing::Values(ListCase{"Windows1252CrLf", "ZERO2\r\n--------\r\nZ\xE4hler ?\r\n"},
                                         ListCase{"Utf8Mark", "\xEF\xBB\xBFZERO2\n--------\nZ\xC3\xA4hler ?\n"},
                                         ListCase{"Utf16Mark",
                                                  Utf16LittleEndian(u"ZERO2\r\n--------\r\nZ\u00E4hler ?")},
                                         ListCase{"CrOnly", "ZERO2\r--------\rZ\xE4hler ?\r"}),
                         [](const testing::TestParamInfo<ListCase>& info) { return std::string(info.param.name); });

TEST_F(ConsoleTest, AnUnreadableCommandFileKeepsTheConsoleClosed) {
  StartSensor();
  std::filesystem::create_directory(folder_ / "commands.ini");
  auto form = Open();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }, kWaitMs));
  EXPECT_FALSE(form->HasPort());
  EXPECT_FALSE(form->ReaderRunning());
  EXPECT_EQ(
      boxes_.Boxes(),
      (std::vector<Box>{{base::BoxKind::Error, base::BoxButtons::Ok,
                         "Cannot read file \"" + (folder_ / "commands.ini").string() + "\". Is a directory", false}}));
}

// Answers the save dialog with the given file once it is shown.
void ChooseFileWhenAsked(CommandConsole& form, const QString& path) {
  QTimer::singleShot(0, &form, [&form, path] {
    auto* dialog = form.findChild<QFileDialog*>("SaveDialog1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->isVisible(); }, kWaitMs));
    dialog->selectFile(path);
    QMetaObject::invokeMethod(dialog, "accept");
  });
}

TEST_F(ConsoleTest, SavingRightAfterOpeningWritesTheHeaderAndSending) {
  StartSensor();
  auto form = Open();
  form->firmware = "QRN-2.14 \u00E4";
  const std::string path = (folder_ / "first.txt").string();
  ChooseFileWhenAsked(*form, QString::fromStdString(path));
  form->findChild<QPushButton*>("BitBtn1")->click();
  EXPECT_EQ(ReadBytes(path), "Port: COM7\r\nSN: 555123\r\nType: QRN-2.14 \xE4\r\n================\r\nSending:\r\n");
  EXPECT_EQ(boxes_.Boxes(),
            (std::vector<Box>{kNoListBox, {base::BoxKind::Information, base::BoxButtons::Ok, "Log is save!", false}}));
}

TEST_F(ConsoleTest, SavedLogKeepsTheReceivedBytesAndTheDefaultSuffix) {
  StartSensor();
  auto form = Open();
  Send(*form, "SREV?");
  ASSERT_TRUE(QTest::qWaitFor([&] { return Log(*form).size() >= 4; }, kWaitMs));
  ChooseFileWhenAsked(*form, QString::fromStdString((folder_ / "reply").string()));
  form->findChild<QPushButton*>("BitBtn1")->click();
  EXPECT_EQ(ReadBytes((folder_ / "reply.txt").string()),
            "Port: COM7\r\nSN: 555123\r\nType: QRN-2.14\r\n================\r\nSending:\r\n> #00SREV?\r\n"
            "<< QRN-2.14\r\r\n\r\n");
}

TEST_F(ConsoleTest, ALogFileThatCannotBeCreatedIsReportedAndTheConsoleStays) {
  StartSensor();
  auto form = Open();
  // A link into a missing folder: the dialog takes the name, creating the file fails (also for root).
  const std::string path = (folder_ / "log.txt").string();
  std::filesystem::create_symlink(folder_ / "missing" / "log.txt", path);
  ChooseFileWhenAsked(*form, QString::fromStdString(path));
  form->findChild<QPushButton*>("BitBtn1")->click();
  EXPECT_EQ(boxes_.Texts(), (Texts{kNoListBox.text, "Cannot create file \"" + path + "\". No such file or directory"}));
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->HasPort());
}

TEST_F(ConsoleTest, APortHeldByAnotherProgramIsReportedAtShowAndSend) {
  StartSensor();
  const link::PortHandle run = link::OpenPort("COM7", link::kEventRxFlag);
  auto form = Open();
  EXPECT_FALSE(form->HasPort());
  EXPECT_FALSE(form->ReaderRunning());
  Send(*form, "SREV?");
  EXPECT_EQ(boxes_.Boxes(),
            (std::vector<Box>{kNoListBox,
                              {base::BoxKind::Error, base::BoxButtons::Ok, "Not successful open COM port7", false},
                              {base::BoxKind::Error, base::BoxButtons::Ok, "Not successful open COM port", false}}));
  EXPECT_EQ(Log(*form), (QStringList{"Sending:", "> #00SREV?"}));
  run->Close();
}

// The port is free again once the console has closed it.
bool PortIsFree(const std::string& name) {
  try {
    link::OpenPort(name, link::kEventRxChar)->Close();
    return true;
  } catch (const link::PortError&) {
    return false;
  }
}

TEST_F(ConsoleTest, ClosingWhileTheSensorIsSilentEnds) {
  base::SetTimeScale(1.0);  // the full five-second wait
  StartSensor();
  sensor_->Control("silent on");
  auto form = Open();
  ASSERT_TRUE(form->ReaderRunning());
  EXPECT_FALSE(PortIsFree("COM7"));
  QTest::keyClick(form.get(), Qt::Key_Escape);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->result(), QDialog::Rejected);
  EXPECT_FALSE(form->ReaderRunning());
  EXPECT_FALSE(form->HasPort());
  EXPECT_TRUE(PortIsFree("COM7"));
}

TEST_F(ConsoleTest, APulledOutConverterFailsTheSendAndTheConsoleStillCloses) {
  StartSensor();
  auto form = Open();
  ASSERT_TRUE(form->ReaderRunning());
  sensor_->Control("unplug");
  ASSERT_TRUE(sensor_->WaitUnplugged(std::chrono::seconds(5)));
  boxes_.Clear();
  Send(*form, "SREV?");
  EXPECT_EQ(boxes_.Texts(), Texts{"Not successful open COM port"});
  form->findChild<QPushButton*>("bClose")->click();
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(form->ReaderRunning());
  EXPECT_FALSE(form->HasPort());
}

// Boxes that stay open for a while, each in its own event loop as a modal box does while its user reads it
// (ten times the console's report interval); records how many were open at once.
class ModalBoxes : public base::MessageBoxes {
 public:
  base::BoxAnswer Show(base::BoxKind, base::BoxButtons, const std::string& text) override {
    texts.push_back(text);
    maxOpen = std::max(maxOpen, ++open);
    QEventLoop loop;
    QTimer::singleShot(500, &loop, &QEventLoop::quit);
    loop.exec();
    --open;
    return base::BoxAnswer::Ok;
  }
  void Post(base::BoxKind kind, const std::string& text) override { Show(kind, base::BoxButtons::Ok, text); }

  std::vector<std::string> texts;
  int open = 0;
  int maxOpen = 0;
};

TEST_F(ConsoleTest, ReaderBoxesComeOneAfterTheOtherInOrder) {
  StartSensor();
  ModalBoxes boxes;
  CommandConsole form(boxes);
  form.portNumber = "7";
  form.programFolder = folder_.string() + "/";
  WriteListFile("SREV?\r\n");
  form.show();
  ASSERT_TRUE(form.ReaderRunning());

  std::thread reader([&] {
    form.Channel().Post(ReaderBox{base::BoxKind::Warning, "first"});
    form.Channel().Post(ReaderBox{base::BoxKind::Error, "second"});
    form.Channel().Post(LogLines{{"<< after the boxes"}});
  });
  reader.join();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Log(form).contains("<< after the boxes"); }, kWaitMs));
  EXPECT_EQ(boxes.texts, (Texts{"first", "second"}));
  EXPECT_EQ(boxes.maxOpen, 1) << "the second box opened on top of the first";
  form.reject();
}

TEST_F(ConsoleTest, ClosingWhileTheLineFloodsDoesNotDeadlock) {
  link::testing::PtyPeer peer(9);
  auto form = Open("9");
  ASSERT_TRUE(form->ReaderRunning());
  std::atomic<bool> flooding{true};
  std::thread sensor([&] {
    const std::string block(200, 'F');
    while (flooding.load()) {
      // Far faster than the line's 960 bytes a second, and still a rate a pass can take in.
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      try {
        peer.Write(block + "\r");
      } catch (const std::runtime_error&) {
        // The line is full until the reader makes room.
      }
    }
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return Log(*form).filter("<< FFFF").size() >= 3; }, kWaitMs));
  form->findChild<QPushButton*>("bClose")->click();
  flooding.store(false);
  sensor.join();
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(form->ReaderRunning());
  EXPECT_FALSE(form->HasPort());
}

}  // namespace
}  // namespace quarn::console

// Qt is not built for ThreadSanitizer, so its own threads (file dialog, text layout) look racy to it. The
// console's reader touches no Qt object, so nothing of ours is hidden by leaving Qt's libraries out.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libQt6Core.so\nrace:libQt6Gui.so\nrace:libQt6Widgets.so\n";
}
