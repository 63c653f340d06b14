#include <gtest/gtest.h>

#include "chart/ChartExport.h"

namespace quarn::chart {
namespace {

TEST(PictureFormat, TheExtensionDecidesBeforeTheFilter) {
  const QString svg = "SVG drawing (*.svg)";
  const struct {
    const char* path;
    QString filter;
    std::optional<PictureFormat> format;
    const char* written;
  } cases[] = {
      {"/tmp/a.png", svg, PictureFormat::Png, "/tmp/a.png"},
      {"/tmp/a.PDF", "", PictureFormat::Pdf, "/tmp/a.PDF"},
      {"/tmp/a", svg, PictureFormat::Svg, "/tmp/a.svg"},
      {"/tmp/v1.2/chart", "PDF document (*.pdf)", PictureFormat::Pdf, "/tmp/v1.2/chart.pdf"},
      {"/tmp/a.jpg", "", std::nullopt, nullptr},
      {"/tmp/a", "", std::nullopt, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const auto format = PictureFormatFor(c.path, c.filter);
    EXPECT_EQ(format, c.format);
    if (format) {
      EXPECT_EQ(WithPictureExtension(c.path, *format), c.written);
    }
  }
}

// Pixels for PNG and SVG, millimetres for a PDF page, each with its limits and said in the reason.
TEST(PictureSize, EachSideWithinTheLimitsOfItsUnit) {
  struct Case {
    PictureFormat format;
    int min, max;
    const char* unit;
  };
  for (const Case& c : {Case{PictureFormat::Png, 100, 10000, "px"}, Case{PictureFormat::Svg, 100, 10000, "px"},
                        Case{PictureFormat::Pdf, 20, 1200, "mm"}}) {
    EXPECT_EQ(PictureUnitOf(c.format).suffix, " " + std::string(c.unit));
    EXPECT_FALSE(PictureSizeProblem({c.min, c.max}, c.format));
    for (QSize bad : {QSize(c.min - 1, c.min), QSize(c.min, c.max + 1), QSize(0, 0), QSize(-5, c.min)}) {
      const auto problem = PictureSizeProblem(bad, c.format);
      ASSERT_TRUE(problem) << bad.width() << "x" << bad.height();
      EXPECT_TRUE(problem->endsWith(QString("%1 to %2 %3.").arg(c.min).arg(c.max).arg(c.unit)))
          << problem->toStdString();
    }
  }
}

TEST(ExportNames, SuggestedFromTheSourceFile) {
  EXPECT_EQ(SuggestedExportPath("/save", "/save/12345(2.04) 5-9-2013 14%3.txt", "chart", "png"),
            "/save/12345(2.04) 5-9-2013 14%3.png");
  EXPECT_EQ(SuggestedExportPath("/save", "", "data", "csv"), "/save/data.csv");
  EXPECT_EQ(WithCsvExtension("/tmp/range"), "/tmp/range.csv");
  EXPECT_EQ(WithCsvExtension("/tmp/range.txt"), "/tmp/range.txt");
}

}  // namespace
}  // namespace quarn::chart
