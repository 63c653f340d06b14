#include <gtest/gtest.h>

#include <qcustomplot.h>

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QImage>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QXmlStreamReader>
#include <cmath>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "acquisition/SystemRegionalFormat.h"
#include "base/testing/ScriptedMessageBoxes.h"
#include "chart/ChartExport.h"
#include "chart/MeasurementChart.h"
#include "chart/RecordTableModel.h"
#include "datafile/CsvExport.h"
#include "identify/tests/TestDoubles.h"
#include "review/DataFileTexts.h"
#include "review/ReviewWindow.h"
#include "ui/MainWindow.h"
#include "ui/tests/MainWindowFixture.h"
#include "ui/tests/ReviewTestSupport.h"

namespace quarn::ui::testing {
namespace {

// 5 September 2013, 14:03:07.
const double kStart = acquisition::EncodeDayNumber({2013, 9, 5, 14, 3, 7, 0});

// The main window without a sensor, its file questions answered from a script, and data files to review.
class ReviewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MainWindowDependencies deps = folders_.Deps(&boxes_, &ports_);
    deps.files = &files_;
    form_ = std::make_unique<MainWindow>(deps);
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  }
  void TearDown() override { form_.reset(); }

  QString FilePath(const QString& name) const { return data_.filePath(name); }
  QString WriteRuns(const QString& name, const std::vector<RunSpec>& runs) {
    const QString path = FilePath(name);
    WriteFile(path, DataFileBytes(runs));
    return path;
  }
  // Waits until the main window has count review windows that have finished reading.
  bool WaitForReviews(int count) {
    return QTest::qWaitFor(
        [&] {
          const auto reviews = form_->ReviewWindows();
          return reviews.size() == count &&
                 std::none_of(reviews.begin(), reviews.end(), [](review::ReviewWindow* r) { return r->Loading(); });
        },
        kWaitMs);
  }
  static int OpenReviewWindows() {
    int open = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) open += qobject_cast<review::ReviewWindow*>(w) && w->isVisible();
    return open;
  }

  ScopedLocale locale_{"en_GB"};
  Folders folders_;
  QTemporaryDir data_;
  base::ScriptedMessageBoxes boxes_;
  identify::testing::MemoryPortStore ports_{{identify::PortStore::Status::Found, 7}};
  ScriptedFileChooser files_;
  std::unique_ptr<MainWindow> form_;
};

TEST_F(ReviewTest, CtrlOOpensAFileWithTwoRunsInFileOrderWithBoundariesAndItsSpanInTheTitle) {
  const auto first = Records(kStart, 30, 10);
  const auto second = Records(kStart + 0.5, 20, 70);  // twelve hours later
  const QString path = WriteRuns("102345(QRN-2.14) 5-9-2013 14%3.txt",
                                 {{"7", "102345", "QRN-2.14", first}, {"9", "102999", "QRN-2.15", second}});
  files_.openAnswers.push_back({path});

  QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);
  ASSERT_TRUE(WaitForReviews(1));
  review::ReviewWindow* review = form_->ReviewWindows().front();
  EXPECT_TRUE(boxes_.Texts().empty());

  ASSERT_EQ(review->Records().Count(), 50u);
  const auto read = review->Records().ReadFrom(0);
  for (size_t i = 0; i < first.size(); ++i) EXPECT_TRUE(SameRecord(read[i], first[i])) << i;
  for (size_t i = 0; i < second.size(); ++i) EXPECT_TRUE(SameRecord(read[30 + i], second[i])) << i;
  ASSERT_EQ(review->Result().runs.size(), 2u);
  EXPECT_EQ(review->Result().runs[1].firstRecord, 30u);
  EXPECT_EQ(review->Chart()->RunBoundaryCount(), 2);
  // Each run is a segment of its own: the lines break once, between the runs' points.
  for (int series : {0, 4}) {
    std::vector<double> gaps;
    for (const QCPGraphData& point : *review->Chart()->Plot()->graph(series)->data()) {
      if (std::isnan(point.value)) gaps.push_back(point.key);
    }
    ASSERT_EQ(gaps.size(), 1u) << series;
    EXPECT_GT(gaps[0], (first.back().DT - 25569.0) * 86400.0);
    EXPECT_LT(gaps[0], (second.front().DT - 25569.0) * 86400.0);
  }
  EXPECT_EQ(review->Chart()->PointCount(), 50);
  EXPECT_EQ(review->TableModel()->RecordRows(), 50);
  EXPECT_EQ(review->TableModel()->index(30, 2).data().toString(), QString::number(second[0].C2));
  EXPECT_EQ(review->IdentityRow("Port"), "COM7, COM9");
  EXPECT_EQ(review->IdentityRow("Serial Number"), "102345, 102999");
  EXPECT_EQ(review->IdentityRow("Firmware rev."), "QRN-2.14, QRN-2.15");
  // The span in the files' own text.
  const acquisition::SystemRegionalFormat regional;
  EXPECT_EQ(review->windowTitle().toStdString(),
            "102345(QRN-2.14) 5-9-2013 14%3.txt (" + acquisition::LocalDateTimeText(first.front().DT, regional) +
                " \u2013 " + acquisition::LocalDateTimeText(second.back().DT, regional) + ")");
  EXPECT_TRUE(review->FileNotes().contains("No line skipped.")) << review->FileNotes().toStdString();
  EXPECT_TRUE(review->isVisible());
}

TEST_F(ReviewTest, SkippedLinesAndTheDateReadingAreShown) {
  const auto records = Records(kStart, 10, 1);
  QByteArray bytes = DataFileBytes({{"7", "1", "F", {records.begin(), records.begin() + 5}}});
  bytes += "a foreign line\r\n";
  bytes += DataLines({records.begin() + 5, records.end()});
  bytes += "06/09/2013 14:0";  // cut by a power failure
  const QString path = FilePath("skipped.txt");
  WriteFile(path, bytes);
  form_->OpenDataFiles({path});
  ASSERT_TRUE(WaitForReviews(1));
  review::ReviewWindow* review = form_->ReviewWindows().front();
  EXPECT_EQ(review->Records().Count(), 10u);
  EXPECT_EQ(review->Result().skippedLines, 2u);
  const QString notes = review->FileNotes();
  EXPECT_TRUE(notes.contains(QString::fromStdString(datafile::SkippedLinesText(review->Result()))));
  EXPECT_TRUE(notes.contains(QString::fromStdString(review->Result().dateReading)));
  EXPECT_FALSE(review->Result().dateReading.empty());
}

TEST_F(ReviewTest, CtrlOStartsInTheFolderLastOpenedFromAlsoAfterARestart) {
  QDir(data_.path()).mkdir("runs");
  const QString path = WriteRuns("runs/a.txt", {{"7", "111", "F1", Records(kStart, 10, 1)}});
  const QString runs = QFileInfo(path).absolutePath();
  const auto startedIn = [&] { return QDir::cleanPath(files_.openFolders.back()); };

  files_.openAnswers.push_back({path});
  QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);
  ASSERT_EQ(files_.openFolders.size(), 1);
  EXPECT_EQ(startedIn(), QDir::cleanPath(folders_.SaveFolder()));
  ASSERT_TRUE(WaitForReviews(1));

  // The review window took the focus; Ctrl+O is the main window's.
  form_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);  // cancelled: remembers nothing new
  ASSERT_EQ(files_.openFolders.size(), 2);
  EXPECT_EQ(startedIn(), runs);
  QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);
  ASSERT_EQ(files_.openFolders.size(), 3);
  EXPECT_EQ(startedIn(), runs);

  // A new session of the program (same user) starts there too.
  form_.reset();
  MainWindowDependencies deps = folders_.Deps(&boxes_, &ports_);
  deps.files = &files_;
  form_ = std::make_unique<MainWindow>(deps);
  form_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);
  ASSERT_EQ(files_.openFolders.size(), 4);
  EXPECT_EQ(startedIn(), runs);

  // A remembered folder that is gone gives the save folder again.
  ASSERT_TRUE(QDir(runs).removeRecursively());
  QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);
  ASSERT_EQ(files_.openFolders.size(), 5);
  EXPECT_EQ(startedIn(), QDir::cleanPath(folders_.SaveFolder()));
}

TEST_F(ReviewTest, AFileThatIsNoDataFileGetsABoxAndNoWindow) {
  QByteArray binary;
  for (int i = 0; i < 5000; ++i) binary.append(char(i * 37 % 256));
  WriteFile(FilePath("binary.txt"), binary);
  WriteFile(FilePath("empty.txt"), {});
  WriteFile(FilePath("letter.txt"), "Dear support,\r\nplease find the file attached.\r\n");
  QDir(data_.path()).mkdir("folder.txt");
  for (const char* name : {"binary.txt", "empty.txt", "letter.txt", "missing.txt", "folder.txt"}) {
    SCOPED_TRACE(name);
    boxes_.Clear();
    files_.openAnswers.push_back({FilePath(name)});
    QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(boxes_.Boxes().size(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].kind, base::BoxKind::Error);
    EXPECT_TRUE(boxes_.Texts()[0].starts_with("Cannot open " + std::string(name) + " for review.\n"))
        << boxes_.Texts()[0];
    EXPECT_TRUE(form_->ReviewWindows().isEmpty());
    EXPECT_EQ(OpenReviewWindows(), 0);
  }
}

TEST_F(ReviewTest, DroppedFilesOpenAWindowEachDropAndTheyStayIndependent) {
  const QString a = WriteRuns("a.txt", {{"7", "111", "F1", Records(kStart, 40, 1)}});
  const QString b = WriteRuns("b.txt", {{"8", "222", "F2", Records(kStart + 1, 25, 2)}});
  const QPoint centre = form_->rect().center();
  // One file a drop: several at once open one bench window instead.
  for (const QString& path : {a, b}) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(centre, Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(form_.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(centre, Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(form_.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
  }

  ASSERT_TRUE(WaitForReviews(2));
  const auto reviews = form_->ReviewWindows();
  EXPECT_EQ(reviews[0]->Records().Count(), 40u);
  EXPECT_EQ(reviews[1]->Records().Count(), 25u);
  EXPECT_EQ(reviews[0]->IdentityRow("Serial Number"), "111");
  EXPECT_EQ(reviews[1]->IdentityRow("Serial Number"), "222");
  EXPECT_EQ(OpenReviewWindows(), 2);

  // Zooming one leaves the other as it is; closing one leaves the other open.
  const double before = reviews[1]->Chart()->TimeMax();
  QTest::mouseClick(reviews[0]->findChild<QPushButton*>("zoomX+"), Qt::LeftButton);
  EXPECT_FALSE(reviews[0]->Chart()->AutoTime());
  EXPECT_TRUE(reviews[1]->Chart()->AutoTime());
  EXPECT_EQ(reviews[1]->Chart()->TimeMax(), before);
  reviews[0]->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->ReviewWindows().size() == 1; }, kWaitMs));
  EXPECT_EQ(form_->ReviewWindows().front()->Records().Count(), 25u);

  // The main window closes the rest with it.
  form_->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->ReviewWindows().isEmpty(); }, kWaitMs));
}

TEST_F(ReviewTest, CancelEndsALongReadAndLeavesTheWindowConsistent) {
  // Long enough that the read is still going when Cancel is clicked right after the window opens.
  const QString path = FilePath("long.txt");
  {
    QByteArray bytes = DataFileBytes({{"7", "1", "F", Records(kStart, 1, 1)}});
    const QByteArray block = DataFileBytes({{"7", "1", "F", Records(kStart, 2000, 1)}}).mid(bytes.size());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    for (int i = 0; i < 1000; ++i) file.write(block);
  }
  review::ReviewWindow* review = review::ReviewWindow::Open(path, boxes_, files_);
  ASSERT_NE(review, nullptr);
  QPointer<review::ReviewWindow> guard(review);
  // Cancelled once records are coming in: the run list counts what was read.
  ASSERT_TRUE(QTest::qWaitFor([&] { return review->Records().Count() > 0; }, kWaitMs));
  QTest::mouseClick(review->CancelButton(), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !review->Loading(); }, kWaitMs));

  EXPECT_TRUE(review->Result().cancelled);
  const size_t read = review->Records().Count();
  EXPECT_LT(read, 2000001u);
  ASSERT_EQ(review->RunList()->count(), 1);
  EXPECT_TRUE(review->RunList()->item(0)->text().contains(QString(", %1 records from ").arg(read)))
      << review->RunList()->item(0)->text().toStdString();
  EXPECT_EQ(size_t(review->Chart()->PointCount()), read);
  EXPECT_EQ(size_t(review->TableModel()->RecordRows()), read);
  EXPECT_TRUE(review->FileNotes().contains("Reading cancelled")) << review->FileNotes().toStdString();
  EXPECT_FALSE(review->CancelButton()->isVisible());
  EXPECT_TRUE(boxes_.Texts().empty());
  review->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return guard.isNull(); }, kWaitMs));
}

// ---- exports ------------------------------------------------------------------------------------------

class ReviewExportTest : public ReviewTest {
 protected:
  void SetUp() override {
    ReviewTest::SetUp();
    records_ = Records(kStart, 600, 5);
    form_->OpenDataFiles({WriteRuns("export.txt", {{"7", "102345", "QRN-2.14", records_}})});
    ASSERT_TRUE(WaitForReviews(1));
    review_ = form_->ReviewWindows().front();
    // A zoom: the records from 100 to 299 are in view.
    review_->Chart()->SetTimeRange(records_[100].DT, records_[299].DT);
    review_->Chart()->Refresh();
  }
  void ExportChartAs(const QString& name, QSize size) {
    files_.saveAnswers.push_back({FilePath(name), ""});
    files_.sizeAnswers.push_back(size);
    ClickMenuItem(*review_, "File", "menuExportChart");
  }
  std::vector<acquisition::MeasurementRecord> records_;
  review::ReviewWindow* review_ = nullptr;
};

TEST_F(ReviewExportTest, PngHasTheRequestedPixelSize) {
  ExportChartAs("chart.png", QSize(640, 400));
  ASSERT_TRUE(QTest::qWaitFor([&] { return files_.questions == 2; }, kWaitMs));
  const QImage image(FilePath("chart.png"));
  EXPECT_EQ(image.size(), QSize(640, 400));
  EXPECT_TRUE(boxes_.Texts().empty());
}

TEST_F(ReviewExportTest, PdfHasTheRequestedPageSizeInMillimetres) {
  ExportChartAs("chart.pdf", QSize(180, 100));
  ASSERT_TRUE(QTest::qWaitFor([&] { return files_.questions == 2; }, kWaitMs));
  QFile pdf(FilePath("chart.pdf"));
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  const QString text = QString::fromLatin1(pdf.readAll());
  const auto match = QRegularExpression(R"(/MediaBox\s*\[\s*0\s+0\s+([\d.]+)\s+([\d.]+)\s*\])").match(text);
  ASSERT_TRUE(match.hasMatch());
  // In points of 1/72 inch.
  EXPECT_NEAR(match.captured(1).toDouble(), 180 / 25.4 * 72, 0.5);
  EXPECT_NEAR(match.captured(2).toDouble(), 100 / 25.4 * 72, 0.5);
}

// The SVG's text is as large as the plot laid it out for, and the legend's title stands clear of its line sample.
TEST_F(ReviewExportTest, SvgParsesWithTheRequestedViewBoxAndAReadableLegend) {
  // No extension: the chosen filter decides.
  files_.saveAnswers.push_back({FilePath("chart"), "SVG drawing (*.svg)"});
  files_.sizeAnswers.push_back(QSize(800, 450));
  ClickMenuItem(*review_, "File", "menuExportChart");
  ASSERT_TRUE(QTest::qWaitFor([&] { return files_.questions == 2; }, kWaitMs));
  QFile svg(FilePath("chart.svg"));
  ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
  QXmlStreamReader xml(&svg);
  QString viewBox;
  int elements = 0;
  struct Text {
    double x, y, size;
  };
  std::optional<Text> title;
  std::vector<QLineF> shortLines;  // horizontal, as a legend's line sample is
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    const QXmlStreamAttributes a = xml.attributes();
    if (++elements == 1) {
      EXPECT_EQ(xml.name(), QString("svg"));
      viewBox = a.value("viewBox").toString();
    }
    if (xml.name() == QString("polyline")) {
      const QStringList points = a.value("points").toString().split(' ', Qt::SkipEmptyParts);
      if (points.size() != 2) continue;
      const QStringList p0 = points[0].split(','), p1 = points[1].split(',');
      const QLineF line(p0[0].toDouble(), p0[1].toDouble(), p1[0].toDouble(), p1[1].toDouble());
      if (line.dy() == 0 && std::abs(line.dx()) < 60) shortLines.push_back(line);
    }
    if (xml.name() == QString("text")) {
      const Text text{a.value("x").toDouble(), a.value("y").toDouble(), a.value("font-size").toDouble()};
      if (xml.readElementText() == "Conc (t)") title = text;
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  EXPECT_EQ(viewBox, "0 0 800 450");
  EXPECT_GT(elements, 20) << "the chart's lines, axes and legend";
  ASSERT_TRUE(title) << "the legend's title";
  QCustomPlot* plot = review_->Chart()->Plot();
  EXPECT_NEAR(title->size, plot->legend->font().pointSizeF() * plot->logicalDpiY() / 72, 0.5);
  int samples = 0;
  for (const QLineF& line : shortLines) {
    // A line on the title's height that begins just left of it ends before it.
    const double left = std::min(line.x1(), line.x2());
    if (line.y1() < title->y - title->size || line.y1() > title->y || left >= title->x || left < title->x - 60) {
      continue;
    }
    ++samples;
    EXPECT_LE(std::max(line.x1(), line.x2()), title->x - 3) << "the sample runs into the title";
  }
  EXPECT_EQ(samples, 1);
}

TEST_F(ReviewExportTest, CsvHoldsTheRecordsInViewAndReadsBackToTheSameValues) {
  files_.saveAnswers.push_back({FilePath("range.csv"), ""});
  ClickMenuItem(*review_, "File", "menuExportData");
  ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(FilePath("range.csv")) && !review_->isHidden(); }, kWaitMs));
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return files_.questions == 1 && QApplication::activeModalWidget() == nullptr; }, kWaitMs));
  const std::vector<acquisition::MeasurementRecord> back = datafile::ReadCsv(FilePath("range.csv").toStdString());
  const std::vector<acquisition::MeasurementRecord> shown = review_->Records().ReadFrom(0);
  ASSERT_EQ(back.size(), 200u);
  for (size_t i = 0; i < back.size(); ++i) EXPECT_TRUE(SameRecord(back[i], shown[100 + i])) << i;
  EXPECT_TRUE(boxes_.Texts().empty());
}

TEST_F(ReviewExportTest, ACancelledChoiceWritesNothingAndATinySizeIsRefused) {
  ClickMenuItem(*review_, "File", "menuExportChart");  // no path given: cancelled
  ASSERT_TRUE(QTest::qWaitFor([&] { return files_.questions == 1; }, kWaitMs));
  EXPECT_TRUE(QDir(data_.path()).entryList({"chart*"}).isEmpty());
  ExportChartAs("small.png", QSize(10, 10));
  ASSERT_TRUE(QTest::qWaitFor([&] { return files_.questions == 3; }, kWaitMs));
  EXPECT_FALSE(QFile::exists(FilePath("small.png")));
  ASSERT_EQ(boxes_.Boxes().size(), 1u);
  EXPECT_EQ(boxes_.Boxes()[0].kind, base::BoxKind::Error);
}

}  // namespace
}  // namespace quarn::ui::testing

namespace quarn::ui::testing {
namespace {

// The size dialog as the user fills it: typed sides and Enter give that size; Escape gives none. A PDF's
// sides are in millimetres.
TEST(PictureSizeDialog, TypedSidesAndEnterGiveTheSizeEscapeCancels) {
  chart::DialogFileChooser chooser;
  QString suffix;  // of the sides as the dialog showed them
  const auto typeAnswer = [&suffix](const char* width, const char* height, bool accept) {
    QTimer::singleShot(0, [=, &suffix] {
      QWidget* dialog = QApplication::activeModalWidget();
      ASSERT_NE(dialog, nullptr);
      ASSERT_EQ(dialog->objectName(), "pictureSizeDialog");
      for (auto [name, text] : {std::pair{"pictureWidth", width}, std::pair{"pictureHeight", height}}) {
        auto* box = dialog->findChild<QSpinBox*>(name);
        suffix = box->suffix();
        box->setFocus();
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(box, text);
      }
      QTest::keyClick(dialog->focusWidget(), accept ? Qt::Key_Return : Qt::Key_Escape);
    });
  };
  typeAnswer("1234", "567", true);
  EXPECT_EQ(chooser.PictureSize(nullptr, QSize(800, 600), chart::PictureFormat::Png), QSize(1234, 567));
  EXPECT_EQ(suffix, " px");
  typeAnswer("999", "999", false);
  EXPECT_EQ(chooser.PictureSize(nullptr, QSize(800, 600), chart::PictureFormat::Svg), std::nullopt);
  typeAnswer("297", "210", true);
  EXPECT_EQ(chooser.PictureSize(nullptr, QSize(200, 100), chart::PictureFormat::Pdf), QSize(297, 210));
  EXPECT_EQ(suffix, " mm");
}

}  // namespace
}  // namespace quarn::ui::testing
