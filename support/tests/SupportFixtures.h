#pragma once

// Pieces shared by the tests of the settings and send sequences.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/testing/ScriptedMessageBoxes.h"
#include "support/Accounts.h"
#include "support/tests/TestServers.h"

namespace quarn::support::testing {

// The test servers' certificates are signed by TestAuthority(), which only these settings trust.
inline ConnectionSettings TestConnection() {
  return {std::chrono::seconds(10), std::chrono::seconds(10), TestAuthority().certificate.string()};
}
// For servers that never answer: long enough for a loaded machine, short enough to keep the run quick.
inline ConnectionSettings ShortConnection() {
  return {std::chrono::seconds(2), std::chrono::seconds(2), TestAuthority().certificate.string()};
}

inline const std::string kCriteriaBytes = "kzero2=10\r\nkscale=50\r\nmailsupport=support@example.org\r\n";
inline const std::string kCommandsBytes = "#00N\r\n#00F\r\n";

// The ways a STARTTLS mail can go: tls is the session kind the server saw, empty when no mail may arrive.
struct StartTlsCase {
  std::string name;
  SmtpServerOptions options;
  std::string password;
  std::string tls;
};
inline std::vector<StartTlsCase> StartTlsCases() {
  return {
      {"STARTTLS offered", {.startTls = true}, kPassword, "1"},
      {"no STARTTLS", {.authBeforeTls = true}, kPassword, "0"},
      {"TLS switch fails", {.startTls = true, .untrustedCertificate = true}, kPassword, ""},
      {"STARTTLS answered 454", {.startTls = true, .authBeforeTls = true, .startTlsFault = "refuse"}, kPassword, ""},
      {"TLS handshake broken", {.startTls = true, .authBeforeTls = true, .startTlsFault = "break"}, kPassword, ""},
      {"wrong password", {.startTls = true}, "wrong", ""},
  };
}

// A program folder holding criteria.ini and commands.ini; Path() ends with the separator.
class ProgramFolder {
 public:
  ProgramFolder() {
    WriteFile(folder_.Path() / "criteria.ini", kCriteriaBytes);
    WriteFile(folder_.Path() / "commands.ini", kCommandsBytes);
  }
  std::string Path() const { return folder_.Path().string() + "/"; }
  std::filesystem::path File(const std::string& name) const { return folder_.Path() / name; }

 private:
  TempFolder folder_;
};

// Message boxes that also note whether a network call was running when a box came up, and what the busy
// hook was told, in order.
class FeedbackBoxes : public base::ScriptedMessageBoxes {
 public:
  base::BoxAnswer Show(base::BoxKind kind, base::BoxButtons buttons, const std::string& text) override {
    if (busy_) ++boxesWhileBusy_;
    return base::ScriptedMessageBoxes::Show(kind, buttons, text);
  }

  NetworkFeedback Feedback() {
    NetworkFeedback feedback;
    feedback.busy = [this](bool busy) {
      EXPECT_NE(busy, busy_) << "busy hook called twice with the same state";
      busy_ = busy;
      busyChanges_.push_back(busy);
    };
    return feedback;
  }

  int BoxesWhileBusy() const { return boxesWhileBusy_; }
  const std::vector<bool>& BusyChanges() const { return busyChanges_; }
  bool Busy() const { return busy_; }

 private:
  bool busy_ = false;
  int boxesWhileBusy_ = 0;
  std::vector<bool> busyChanges_;
};

// Expects the boxes' kinds and texts; a text ending in "..." matches any text that starts with the rest.
struct ExpectedBox {
  base::BoxKind kind;
  std::string text;
};

inline void ExpectBoxes(const base::ScriptedMessageBoxes& boxes, const std::vector<ExpectedBox>& expected) {
  const auto shown = boxes.Boxes();
  ASSERT_EQ(shown.size(), expected.size()) << ::testing::PrintToString(boxes.Texts());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(shown[i].kind, expected[i].kind) << shown[i].text;
    const std::string& text = expected[i].text;
    if (text.size() >= 3 && text.compare(text.size() - 3, 3, "...") == 0) {
      const std::string start = text.substr(0, text.size() - 3);
      EXPECT_EQ(shown[i].text.substr(0, start.size()), start) << shown[i].text;
      EXPECT_GT(shown[i].text.size(), start.size()) << "no error text after " << start;
    } else {
      EXPECT_EQ(shown[i].text, text);
    }
  }
}

}  // namespace quarn::support::testing
