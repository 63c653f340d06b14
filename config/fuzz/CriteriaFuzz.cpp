// libFuzzer target: the criteria reader and writer on arbitrary file content. Built with
// QUARN_BUILD_FUZZ (scripts/fuzz).
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  CountingBoxes boxes;
  quarn::config::CriteriaSettings settings;
  quarn::config::ApplyCriteriaText(content, settings, boxes, true);

  // What the writer leaves must read back as the written settings, and writing it again changes nothing.
  const std::string written = quarn::config::RewriteWindowSettings(content, 123, 1);
  FuzzCheck(quarn::config::RewriteWindowSettings(written, 123, 1) == written);
  FuzzCheck(written.size() >= 2 && written.compare(written.size() - 2, 2, "\r\n") == 0);
  const quarn::config::WindowSettings reread = quarn::config::ApplyCriteriaText(written, settings, boxes, true);
  FuzzCheck(reread.intervalPosition == 123 && reread.advancedMode == true);
  return 0;
}
