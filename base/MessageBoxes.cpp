#include "MessageBoxes.h"

namespace quarn::base {

std::string OneLine(const std::string& text) {
  std::string line;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '\n' && text[i] != '\r') {
      line += text[i++];
      continue;
    }
    while (i < text.size() && (text[i] == '\n' || text[i] == '\r' || text[i] == ' ')) ++i;
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (!line.empty() && i < text.size()) line += ": ";
  }
  return line;
}

}  // namespace quarn::base
