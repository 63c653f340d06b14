#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/FtpUpload.h"

namespace quarn::support::testing {

// Every progress event of a session, in order.
struct ProgressLog {
  struct Event {
    char kind;  // 'b'egin, 'w'ork, 'e'nd
    std::int64_t value;
  };
  std::vector<Event> events;

  FtpProgress Callbacks() {
    return {.onWorkBegin =
                [this](std::int64_t total) {
                  events.push_back({'b', total});
                },
            .onWork =
                [this](std::int64_t count) {
                  events.push_back({'w', count});
                },
            .onWorkEnd =
                [this] {
                  events.push_back({'e', 0});
                }};
  }

  // Checks that the events form one begin..end run per expected total, with rising counts that reach it.
  void ExpectUploads(const std::vector<std::int64_t>& totals) const {
    std::size_t at = 0;
    for (const std::int64_t total : totals) {
      ASSERT_LT(at, events.size());
      ASSERT_EQ(events[at].kind, 'b');
      EXPECT_EQ(events[at].value, total);
      std::int64_t last = -1;
      for (++at; at < events.size() && events[at].kind == 'w'; ++at) {
        EXPECT_GE(events[at].value, last);
        EXPECT_LE(events[at].value, total);
        last = events[at].value;
      }
      EXPECT_EQ(last, total);
      ASSERT_LT(at, events.size());
      EXPECT_EQ(events[at++].kind, 'e');
    }
    EXPECT_EQ(at, events.size());
  }
};

}  // namespace quarn::support::testing
