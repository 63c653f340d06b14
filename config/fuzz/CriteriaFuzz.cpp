// libFuzzer target: the criteria reader and writer on arbitrary file content. Built with
// QUARN_BUILD_FUZZ (scripts/fuzz).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/testing/FuzzCheck.h"
#include "config/Criteria.h"

using quarn::base::FuzzCheck;

namespace {

using quarn::base::BoxAnswer;
using quarn::base::BoxButtons;
using quarn::base::BoxKind;

class CountingBoxes : public quarn::base::MessageBoxes {
 public:
  BoxAnswer Show(BoxKind, BoxButtons, const std::string&) override { return BoxAnswer::Ok; }
  void Post(BoxKind, const std::string&) override {}
};

class Window : public quarn::config::CriteriaHost {
 public:
  void SetIntervalPosition(int position) override {
    ++positionsSet;
    lastPositionSet = position;
    position_ = std::clamp(position, 5, 990);
  }
  int IntervalPosition() const override { return position_; }
  bool AdvancedMode() const override { return flag; }
  void SetAdvancedModeFlag(bool advanced) override { flag = advanced; }
  void SelectAdvancedMode() override { modeIndex_ = 1; }
  int ModeIndex() const override { return modeIndex_; }
  void RequestClose() override { std::abort(); }

  bool flag = false;
  int positionsSet = 0;
  int lastPositionSet = 0;

 private:
  int position_ = 20;
  int modeIndex_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  CountingBoxes boxes;
  quarn::config::CriteriaSettings settings;
  Window window;
  quarn::config::ApplyCriteriaText(content, settings, window, boxes, true);

  // What the writer leaves must read back as the written settings, and writing it again changes nothing.
  const std::string written = quarn::config::RewriteWindowSettings(content, 123, 1);
  FuzzCheck(quarn::config::RewriteWindowSettings(written, 123, 1) == written);
  FuzzCheck(written.size() >= 2 && written.compare(written.size() - 2, 2, "\r\n") == 0);
  Window reread;
  quarn::config::ApplyCriteriaText(written, settings, reread, boxes, true);
  FuzzCheck(reread.positionsSet >= 1 && reread.lastPositionSet == 123 && reread.flag);
  return 0;
}
