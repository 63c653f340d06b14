#pragma once

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QWidget>

#include "base/testing/ScriptedMessageBoxes.h"

namespace quarn::support::testing {

// Message boxes that count the boxes shown under the busy cursor: a box must come after the network call.
class CursorBoxes : public base::ScriptedMessageBoxes {
 public:
  base::BoxAnswer Show(base::BoxKind kind, base::BoxButtons buttons, const std::string& text) override {
    if (QGuiApplication::overrideCursor() != nullptr) ++underBusyCursor_;
    return base::ScriptedMessageBoxes::Show(kind, buttons, text);
  }
  int UnderBusyCursor() const { return underBusyCursor_; }

 private:
  int underBusyCursor_ = 0;
};

// The child widget of that name and type; a test failure when the window has none.
template <typename Widget>
Widget* Find(const QWidget& form, const char* name) {
  auto* widget = form.findChild<Widget*>(name);
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}

}  // namespace quarn::support::testing
