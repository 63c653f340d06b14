#pragma once

#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "acquisition/RunFailure.h"
#include "base/MessageBoxes.h"
#include "recorder/ExitStatus.h"

namespace quarn::recorder {

using base::OneLine;

// The boxes of the acquisition code without a window: each becomes one line on the error stream,
// "quarn-record: COM7: <text>". A failure the run's threads report (busy port, ten failed sends, no data
// file, a line not written) ends the run: the first one is kept for the exit status, and nothing is printed
// after it, so a failure reads as one line and not as one warning per refused line.
class ErrorLineBoxes : public base::MessageBoxes, public acquisition::RunFailures {
 public:
  // port: "COM7", or empty before a port is known.
  ErrorLineBoxes(std::ostream& err, std::string port);

  base::BoxAnswer Show(base::BoxKind kind, base::BoxButtons buttons, const std::string& text) override;
  void Post(base::BoxKind kind, const std::string& text) override;
  void Failed(acquisition::RunFailure failure, const std::string& boxText) override;

  // The first failure so far.
  std::optional<ExitStatus> Failure() const;
  // Records a failure of the recorder's own and prints its line, unless one came first.
  void Fail(ExitStatus status, const std::string& text);
  // Writes a line that is no box (the summary) under the same lock, so lines never interleave.
  void Print(const std::string& line);

 private:
  void WriteLocked(const std::string& line);

  std::ostream& err_;
  const std::string port_;
  mutable std::mutex mutex_;  // guards err_ and failure_
  std::optional<ExitStatus> failure_;
};

// The exit status a failure of the run's threads ends the recorder with.
ExitStatus ExitStatusOf(acquisition::RunFailure failure);

}  // namespace quarn::recorder
