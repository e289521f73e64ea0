// Every reaction the Qt window runs on behalf of a user event goes through
// one event_guard. It keeps exceptions out of Qt's event loop (the failure
// text is shown on the red panel instead) and turns the model's program end
// into a clean return from QApplication::exec with the program's status.
//
// How the end works: when the model ends the program (Form_Unload, or a
// driver layer that cannot go on), the windows are hidden, the event loops
// are told to exit with the status, and `platform::program_ended` is thrown
// through the model code back to the outermost guard, so that the operation
// that was running (a download, say) stops there and nothing after it runs.
// An end ordered inside a nested event loop (an event processed while a long
// operation calls process_events, or while a modal dialog is open) reaches
// the outer operation when that loop returns: code that runs a nested loop on
// behalf of the model calls `after_nested_loop()` right after it.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "ui/talmer_arb.h"

class QWidget;

namespace talmer::ui::qt {

class event_guard {
 public:
  explicit event_guard(TALMER_ARB &w) : w_(w) {}
  event_guard(const event_guard &) = delete;
  event_guard &operator=(const event_guard &) = delete;

  // Runs one reaction. Never throws. Does nothing once the program has ended.
  void run(const std::function<void()> &reaction) noexcept;

  // Installs the hooks of the real operating system layer: pending events
  // are processed by Qt, message boxes are Qt message boxes over `parent`,
  // and the program end goes the way described above.
  void install(platform::real_os &os, QWidget *parent);
  // Removes the hooks again (the window is going away).
  void uninstall();

  // Throws program_ended when the program end was ordered while a nested
  // event loop ran inside a reaction.
  void after_nested_loop();

  // The program's exit status once it has ended.
  std::optional<int> end_status() const { return end_; }
  // How many reactions are running, nested in one another.
  int depth() const { return depth_; }

 private:
  void end(int status);
  void report(const std::string &text) noexcept;

  TALMER_ARB &w_;
  platform::real_os *os_ = nullptr;
  int depth_ = 0;
  std::optional<int> end_;
};

}  // namespace talmer::ui::qt
