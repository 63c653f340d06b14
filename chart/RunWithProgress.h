#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <stop_token>

class QWidget;

namespace quarn::chart {

// How far a worker has come, written by the worker and read by the GUI thread.
struct TaskProgress {
  std::atomic<uint64_t> done{0};
  std::atomic<uint64_t> total{0};
};

// Runs work on a worker thread of its own while a progress dialog, modal to parent's window, shows how far it
// has come; the dialog's Cancel asks the work to stop through its stop token. The GUI thread keeps turning its
// event loop meanwhile. Returns once the worker has ended and been joined: true when it ran to its end without
// a stop request.
bool RunWithProgress(QWidget* parent, const QString& label,
                     const std::function<void(std::stop_token, TaskProgress&)>& work);

}  // namespace quarn::chart
