#include "RunWithProgress.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include "base/WorkerThread.h"

namespace quarn::chart {

bool RunWithProgress(QWidget* parent, const QString& label,
                     const std::function<void(std::stop_token, TaskProgress&)>& work) {
  TaskProgress progress;
  QProgressDialog dialog(label, "Cancel", 0, 1000, parent);
  dialog.setObjectName("progressDialog");
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setAutoClose(false);
  dialog.setAutoReset(false);
  dialog.setMinimumDuration(300);
  dialog.setValue(0);
  QEventLoop loop;
  QTimer poll;
  poll.setInterval(50);
  const auto update = [&] {
    const uint64_t total = progress.total.load();
    if (total > 0) dialog.setValue(static_cast<int>(std::min<uint64_t>(1000, progress.done.load() * 1000 / total)));
  };
  bool cancelled = false;
  // Last: joined before the dialog and the progress it writes go.
  base::WorkerThread worker;
  QObject::connect(&dialog, &QProgressDialog::canceled, &loop, [&] {
    cancelled = true;
    worker.RequestStop();
  });
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    update();
    if (worker.Finished()) loop.quit();
  });
  worker.Start([&work, &progress](std::stop_token stop) { work(stop, progress); });
  poll.start();
  // Also left when the program quits meanwhile: then the work is asked to stop and joined below.
  if (!worker.Finished()) loop.exec();
  poll.stop();
  const bool finished = worker.Finished();
  if (!finished) {
    cancelled = true;
    worker.RequestStop();
  }
  worker.Join();
  return !cancelled && !worker.StopToken().stop_requested();
}

}  // namespace quarn::chart
