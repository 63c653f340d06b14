#include "Simulator.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace quarn::sim {

namespace {

constexpr auto kSplitGap = std::chrono::milliseconds(100);
// The sensor's input buffer: one longest command line (255 characters and CR) or a few short requests;
// bytes that arrive while it is full are lost.
constexpr size_t kInputBuffer = 256;
// Bytes leave in small bursts rather than one wake-up per byte.
constexpr auto kSendGranularity = std::chrono::milliseconds(2);

// Every line flushed at once: tests and scripts wait for these lines.
void Say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

}  // namespace

Simulator::Simulator(SimSettings settings)
    : settings_(std::move(settings)), replies_(settings_.identity, settings_.seed) {
  linkPath_ = LinkPath();
  replies_.CurrentBehaviour() = settings_.behaviour;
  replies_.Model().SetGas(settings_.gasPpm);
  replies_.Model().SetTimeConstant(settings_.timeConstant);
}

Simulator::~Simulator() { Unplug(); }

std::string Simulator::LinkPath() const {
  std::string dir = settings_.portDir;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir + "COM" + std::to_string(settings_.com);
}

bool Simulator::Plug() {
  // Plugged in under another name while plugged: the old name goes, as when the adapter re-enumerates.
  if (terminal_ && LinkPath() != linkPath_) RemoveLink(linkPath_, terminal_->SlavePath());
  linkPath_ = LinkPath();
  if (!terminal_) {
    std::string error;
    terminal_ = PseudoTerminal::Open(error);
    if (!terminal_) {
      std::fprintf(stderr, "quarn-sensor-sim: %s\n", error.c_str());
      return false;
    }
  }
  std::string error;
  if (!PublishLink(linkPath_, terminal_->SlavePath(), error)) {
    std::fprintf(stderr, "quarn-sensor-sim: %s\n", error.c_str());
    terminal_.reset();
    return false;
  }
  Say("READY COM" + std::to_string(settings_.com) + " " + terminal_->SlavePath());
  return true;
}

void Simulator::Unplug() {
  if (!terminal_) return;
  RemoveLink(linkPath_, terminal_->SlavePath());
  terminal_.reset();
  outbox_.clear();
  requestBuffer_.clear();
  requestTruncated_ = false;
  waitingRequests_.clear();
  bufferedBytes_ = 0;
  pendingRequests_ = 0;
  Say("UNPLUGGED");
}

void Simulator::ReadRequests() {
  char buffer[4096];
  const ssize_t count = read(terminal_->MasterFd(), buffer, sizeof buffer);
  if (count <= 0) return;  // EAGAIN; a hang-up cannot happen while our own slave stays open
  for (ssize_t i = 0; i < count; ++i) TakeByte(buffer[i]);
  AnswerNextRequests();
}

void Simulator::TakeByte(char c) {
  if (c == '\n') return;
  if (c != '\r') {
    if (bufferedBytes_ + requestBuffer_.size() + 1 >= kInputBuffer) {
      requestTruncated_ = true;
    } else {
      requestBuffer_ += c;
    }
    return;
  }
  // A request that lost bytes to a full buffer is garbage to the sensor: it is counted, not answered.
  std::string line;
  line.swap(requestBuffer_);
  if (requestTruncated_) {
    requestTruncated_ = false;
    ++lostRequests_;
    Say("LOST " + line);
    std::fprintf(stderr, "quarn-sensor-sim: input buffer full, %zu requests lost so far\n", lostRequests_);
  } else if (!line.empty()) {
    bufferedBytes_ += line.size() + 1;
    ++pendingRequests_;
    // Tests read from these lines whether a poller ever had more than one request unanswered.
    Say("IN " + line + " " + std::to_string(pendingRequests_));
    waitingRequests_.push_back(std::move(line));
  }
}

void Simulator::AnswerNextRequests() {
  while (outbox_.empty() && !waitingRequests_.empty()) {
    const std::string line = std::move(waitingRequests_.front());
    waitingRequests_.pop_front();
    bufferedBytes_ -= line.size() + 1;
    Say("RX " + line);
    if (const std::optional<std::string> reply = replies_.Answer(line)) {
      QueueReply(*reply, line);
    } else {
      --pendingRequests_;
    }
  }
  if (terminal_ && outbox_.empty() && waitingRequests_.empty() && replies_.CurrentBehaviour().stream) {
    QueueReply(replies_.UnaskedFrame(), {});
  }
}

void Simulator::QueueReply(const std::string& reply, const std::string& request) {
  const Behaviour& behaviour = replies_.CurrentBehaviour();
  const Clock::time_point due = Clock::now() + std::chrono::milliseconds(behaviour.replyDelayMs);
  const size_t parts = std::min<size_t>(static_cast<size_t>(behaviour.splitParts), reply.size());
  size_t begin = 0;
  for (size_t part = 0; part < parts; ++part) {
    const size_t end = reply.size() * (part + 1) / parts;
    outbox_.push_back({due + kSplitGap * static_cast<int>(part),
                       reply.substr(begin, end - begin),
                       {},
                       0,
                       part + 1 == parts ? request : std::string()});
    begin = end;
  }
}

Simulator::Clock::duration Simulator::ByteTime() const {
  const double seconds = 10.0 / replies_.CurrentBehaviour().baud;
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

void Simulator::SendDueBytes(Clock::time_point now) {
  const Clock::duration byteTime = ByteTime();
  while (terminal_ && !outbox_.empty() && outbox_.front().due <= now) {
    Chunk& chunk = outbox_.front();
    if (!chunk.start) chunk.start = std::max(chunk.due, lineFreeAt_);
    // The bytes whose ten bits have gone over the line by now.
    const auto elapsed = now - *chunk.start;
    const size_t done =
        elapsed < Clock::duration::zero() ? 0 : std::min<size_t>(chunk.bytes.size(), elapsed / byteTime);
    if (done > chunk.sent) {
      const size_t count = done - chunk.sent;
      const ssize_t written = write(terminal_->MasterFd(), chunk.bytes.data() + chunk.sent, count);
      // A full input queue means nobody reads the port: the bytes are lost, as on a real line.
      if (written < static_cast<ssize_t>(count)) {
        std::fprintf(stderr, "quarn-sensor-sim: reply bytes dropped (%zd of %zu written)\n", written, count);
      }
      chunk.sent = done;
      lineFreeAt_ = *chunk.start + byteTime * static_cast<long>(done);
    }
    if (chunk.sent < chunk.bytes.size()) break;
    if (!chunk.answers.empty()) {
      --pendingRequests_;
      Say("ANSWERED " + chunk.answers);
    }
    outbox_.pop_front();
    // The reply is out: the sensor turns to the next request in its buffer.
    if (outbox_.empty()) AnswerNextRequests();
  }
}

bool Simulator::ReadControl() {
  char buffer[1024];
  const ssize_t count = read(STDIN_FILENO, buffer, sizeof buffer);
  if (count < 0 && (errno == EINTR || errno == EAGAIN)) return true;
  if (count <= 0) return false;
  controlBuffer_.append(buffer, static_cast<size_t>(count));
  size_t end;
  while ((end = controlBuffer_.find('\n')) != std::string::npos) {
    const std::string line = controlBuffer_.substr(0, end);
    controlBuffer_.erase(0, end + 1);
    HandleControl(line);
  }
  return true;
}

void Simulator::HandleControl(const std::string& line) {
  const ControlTargets targets{replies_.CurrentBehaviour(), replies_.Model(), replies_.CurrentIdentity(),
                               settings_.com};
  switch (ApplyControlLine(line, targets)) {
    case ControlAction::kNone: break;
    case ControlAction::kPlug:
      appearAt_.reset();
      Plug();
      break;
    case ControlAction::kUnplug: Unplug(); break;
    case ControlAction::kQuit: quit_ = true; break;
    case ControlAction::kInvalid:
      std::fprintf(stderr, "quarn-sensor-sim: ignored control line \"%s\"\n", line.c_str());
      Say("REFUSED " + line);
      return;
  }
  // Whoever drives us waits for this line before relying on the change.
  Say("DONE " + line);
  // "stream on" starts sending at once, not only after the next request.
  AnswerNextRequests();
}

std::optional<Simulator::Clock::time_point> Simulator::NextWakeUp() const {
  std::optional<Clock::time_point> next;
  auto consider = [&next](std::optional<Clock::time_point> t) {
    if (t && (!next || *t < *next)) next = t;
  };
  if (terminal_ && !outbox_.empty()) {
    const Chunk& chunk = outbox_.front();
    if (!chunk.start) {
      consider(chunk.due);
    } else {
      const auto nextByte = *chunk.start + ByteTime() * static_cast<long>(chunk.sent + 1);
      consider(std::max(nextByte, Clock::now() + kSendGranularity));
    }
  }
  consider(appearAt_);
  consider(disappearAt_);
  return next;
}

int Simulator::Run() {
  // Stop signals arrive as a readable descriptor in the same poll, so a busy port cannot starve them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  for (int stop : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stopSignals, stop);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  const int signalFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
  if (signalFd < 0) {
    std::perror("quarn-sensor-sim: signalfd");
    return 1;
  }
  signal(SIGPIPE, SIG_IGN);

  const Clock::time_point start = Clock::now();
  auto after = [start](double seconds) {
    return start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  };
  if (settings_.appearAfter >= 0) {
    appearAt_ = after(settings_.appearAfter);
  } else if (!Plug()) {
    close(signalFd);
    return 1;
  }
  if (settings_.disappearAfter >= 0) disappearAt_ = after(settings_.disappearAfter);

  bool controlOpen = true;
  while (!quit_) {
    const Clock::time_point now = Clock::now();
    if (appearAt_ && *appearAt_ <= now) {
      appearAt_.reset();
      Plug();
    }
    if (disappearAt_ && *disappearAt_ <= now) {
      disappearAt_.reset();
      Unplug();
    }
    SendDueBytes(now);

    pollfd fds[3] = {
        {STDIN_FILENO, POLLIN, 0}, {terminal_ ? terminal_->MasterFd() : -1, POLLIN, 0}, {signalFd, POLLIN, 0}};
    if (!controlOpen) fds[0].fd = -1;
    timespec timeout{};
    timespec* timeoutPointer = nullptr;
    if (const auto wake = NextWakeUp()) {
      const auto left = std::max(Clock::duration::zero(), *wake - Clock::now());
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
      timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
      timeout.tv_nsec = static_cast<long>(ns % 1000000000);
      timeoutPointer = &timeout;
    }
    const PseudoTerminal* polled = terminal_.get();
    if (ppoll(fds, 3, timeoutPointer, nullptr) < 0) continue;
    if (fds[2].revents & POLLIN) break;
    // EOF on standard input does not quit: the demo may start us with it closed.
    if (fds[0].fd >= 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) controlOpen = ReadControl();
    if (fds[1].fd >= 0 && (fds[1].revents & POLLIN) && terminal_.get() == polled) ReadRequests();
  }
  close(signalFd);
  Unplug();
  return 0;
}

}  // namespace quarn::sim
