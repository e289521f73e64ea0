// Start-up time of the window to its first paint, as the program starts it
// (application object, window model, Form_Load, the Qt view, shown), and of
// an empty widget of the same size in the same way: the reference of what the
// toolkit alone costs. Run it with QT_QPA_PLATFORM=offscreen.
//
//   window_bench [--reference]
// Prints "process_ms|main_ms": from the start of the process (the kernel's
// start time, 10 ms steps) and from the start of main() to the first paint.
#include <time.h>

#include <QApplication>
#include <QEvent>
#include <QStyleFactory>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "platform/platform.h"
#include "ui/qt/file_chooser_dialog.h"
#include "ui/qt/main_window.h"
#include "ui/talmer_arb.h"

namespace {

using clock_type = std::chrono::steady_clock;
clock_type::time_point main_start;

// Milliseconds the process has existed: now on the boot clock minus the
// start time in /proc/self/stat (field 22, in clock ticks since boot).
double process_age_ms() {
  std::ifstream in("/proc/self/stat");
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto paren = all.rfind(')');
  std::istringstream rest(all.substr(paren + 2));
  std::string field;
  for (int k = 3; k <= 22 && rest >> field; ++k) {
  }
  const double ticks = std::stod(field);
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  const double now_ms = static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
  return now_ms - ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Reports the first paint of the watched widget and ends the event loop.
class first_paint : public QObject {
 public:
  bool eventFilter(QObject *o, QEvent *e) override {
    if (e->type() == QEvent::Paint && !done_) {
      done_ = true;
      const double main_ms = std::chrono::duration<double, std::milli>(clock_type::now() - main_start).count();
      std::printf("%.1f|%.1f\n", process_age_ms(), main_ms);
      std::fflush(stdout);
      QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    }
    return QObject::eventFilter(o, e);
  }

 private:
  bool done_ = false;
};

}  // namespace

int main(int argc, char **argv) {
  main_start = clock_type::now();
  const bool reference = argc > 1 && !std::strcmp(argv[1], "--reference");
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QApplication::setQuitOnLastWindowClosed(false);
  first_paint watcher;
  QTimer::singleShot(10000, [] {
    std::fprintf(stderr, "window_bench: no paint within 10 s\n");
    QCoreApplication::exit(1);
  });
  if (reference) {
    QWidget empty;
    empty.resize(talmer::ui::qt::main_window::client_width, talmer::ui::qt::main_window::client_height);
    empty.installEventFilter(&watcher);
    empty.show();
    return QApplication::exec();
  }
  talmer::platform::real_os os;
  talmer::ui::TALMER_ARB window(os);
  talmer::ui::qt::main_window view(window, &os);
  talmer::ui::qt::install_file_chooser(window, &view, [&view] { view.guard().after_nested_loop(); });
  view.installEventFilter(&watcher);
  if (!view.load()) return 1;
  view.show();
  const int status = QApplication::exec();
  // The model's program end must not run here: leave without unloading.
  std::fflush(stdout);
  _exit(status);
}
