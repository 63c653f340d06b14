#include "ScriptedMessageBoxes.h"

namespace quarn::base {

BoxAnswer ScriptedMessageBoxes::Show(BoxKind kind, BoxButtons buttons, const std::string& text) {
  std::lock_guard lock(mutex_);
  boxes_.push_back({kind, buttons, text, false});
  changed_.notify_all();
  if (buttons == BoxButtons::Ok) return BoxAnswer::Ok;
  if (answers_.empty()) return BoxAnswer::Yes;
  BoxAnswer answer = answers_.front();
  answers_.pop_front();
  return answer;
}

void ScriptedMessageBoxes::Post(BoxKind kind, const std::string& text) {
  std::lock_guard lock(mutex_);
  boxes_.push_back({kind, BoxButtons::Ok, text, true});
  changed_.notify_all();
}

void ScriptedMessageBoxes::QueueAnswer(BoxAnswer answer) {
  std::lock_guard lock(mutex_);
  answers_.push_back(answer);
}

std::vector<ScriptedMessageBoxes::Box> ScriptedMessageBoxes::Boxes() const {
  std::lock_guard lock(mutex_);
  return boxes_;
}

std::vector<std::string> ScriptedMessageBoxes::Texts() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> texts;
  for (const Box& box : boxes_) texts.push_back(box.text);
  return texts;
}

void ScriptedMessageBoxes::Clear() {
  std::lock_guard lock(mutex_);
  boxes_.clear();
  answers_.clear();
}

bool ScriptedMessageBoxes::WaitForCount(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return boxes_.size() >= count; });
}

}  // namespace quarn::base
