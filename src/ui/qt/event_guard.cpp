#include "ui/qt/event_guard.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <exception>

#include "ui/qt/text.h"

namespace talmer::ui::qt {

namespace {
constexpr const char *unexpected = "The operation stopped on an unexpected error.";

struct depth_count {
  explicit depth_count(int &d) : d_(d) { ++d_; }
  ~depth_count() { --d_; }
  depth_count(const depth_count &) = delete;
  depth_count &operator=(const depth_count &) = delete;
  int &d_;
};
}  // namespace

void event_guard::run(const std::function<void()> &reaction) noexcept {
  if (end_) return;
  depth_count d(depth_);
  try {
    reaction();
  } catch (const platform::program_ended &e) {
    end(e.status);
  } catch (const std::exception &e) {
    report(*e.what() != '\0' ? e.what() : unexpected);
  } catch (...) {
    report(unexpected);
  }
}

void event_guard::report(const std::string &text) noexcept {
  if (end_) return;
  try {
    w_.show_now(panel_red, text);
    // An operation that locked the inputs and then failed would leave the
    // window unusable: unlock them once the outermost reaction is over.
    if (depth_ == 1 && (!w_.Start_dwnld.enabled() || !w_.PgmExit.enabled())) w_.enable_controls();
  } catch (...) {
    // Nothing more can be shown; the event loop goes on.
  }
}

void event_guard::end(int status) {
  if (end_) return;
  end_ = status;
  for (QWidget *top : QApplication::topLevelWidgets()) top->hide();
  // Leaves the main loop and any nested loop (a modal dialog) with the status.
  QCoreApplication::exit(status);
}

void event_guard::after_nested_loop() {
  if (end_ && depth_ > 0) throw platform::program_ended{*end_};
}

void event_guard::install(platform::real_os &os, QWidget *parent) {
  os_ = &os;
  os.process_events_hook = [this] {
    QCoreApplication::processEvents();
    after_nested_loop();
  };
  QPointer<QWidget> owner(parent);
  os.message_box_hook = [this, owner](const std::string &title, const std::string &text) {
    after_nested_loop();
    QMessageBox box(QMessageBox::Critical, to_qstring(title), display_text(text), QMessageBox::Ok,
                    owner.data());
    box.setTextFormat(Qt::PlainText);
    box.exec();
    after_nested_loop();
  };
  os.before_end_hook = [this](int status) {
    end(status);
    // Inside a reaction: unwind to the guard. Outside any (nothing of the
    // window runs), real_os ends the process itself.
    if (depth_ > 0) throw platform::program_ended{status};
  };
}

void event_guard::uninstall() {
  if (os_ == nullptr) return;
  os_->process_events_hook = nullptr;
  os_->message_box_hook = nullptr;
  os_->before_end_hook = nullptr;
  os_ = nullptr;
}

}  // namespace talmer::ui::qt
