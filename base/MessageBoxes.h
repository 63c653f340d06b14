#pragma once

#include <string>

namespace quarn::base {

enum class BoxKind { Error, Warning, Information, Question };
enum class BoxButtons { Ok, YesNo };
enum class BoxAnswer { Ok, Yes, No };

// A box's text on one line: each run of line breaks becomes ": ", the blanks around it dropped.
std::string OneLine(const std::string& text);

// The one way the logic shows a message box. Texts are UTF-8 and shown exactly as given.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;

  // Modal box on the GUI thread; returns the button the user pressed. Only call from the GUI thread.
  virtual BoxAnswer Show(BoxKind kind, BoxButtons buttons, const std::string& text) = 0;

  // From any thread: the box is handed to the GUI thread and the caller goes on at once,
  // so a worker never waits for the GUI thread.
  virtual void Post(BoxKind kind, const std::string& text) = 0;
};

}  // namespace quarn::base
