// The Qt face of the window model TALMER_ARB: one widget per control, at
// fixed positions in a client area of 528 x 423 pixels, on the grey window
// background. The widgets follow the model and forward the user's events to
// it; closing the window runs Form_Unload.
//
// The file chooser is not part of this window. To install one, assign
// `model().show_file_chooser` a function that shows the chooser modally
// (parented to this window), writes `getfile`, and, since the chooser runs a
// nested event loop, calls `guard().after_nested_loop()` right after that
// loop returns.
#pragma once

#include <QWidget>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "ui/qt/event_guard.h"
#include "ui/talmer_arb.h"

namespace talmer::ui::qt {

class main_window : public QWidget {
 public:
  static constexpr int twips_per_pixel = 15;
  static constexpr int client_width = TALMER_ARB::client_width_twips / twips_per_pixel;    // 528
  static constexpr int client_height = TALMER_ARB::client_height_twips / twips_per_pixel;  // 423

  // `os`, when given, is the real operating system layer the model runs on:
  // the window installs its hooks there (event processing, message boxes,
  // program end) and removes them when it goes.
  explicit main_window(TALMER_ARB &model, platform::real_os *os = nullptr, QWidget *parent = nullptr);
  ~main_window() override;
  main_window(const main_window &) = delete;
  main_window &operator=(const main_window &) = delete;

  TALMER_ARB &model() { return w_; }
  event_guard &guard() { return guard_; }

  // Runs Form_Load (the window being loaded). False when the program ended
  // during it; then end_status() holds the exit status.
  bool load();
  // The exit status once the program has ended (closed window, Exit).
  std::optional<int> end_status() const { return guard_.end_status(); }

  // The widget that shows the control named `name` (element 1 for the
  // second rectangle of Shape4); nullptr when none.
  QWidget *widget_for(const std::string &name, int element = 0) const;

 protected:
  void closeEvent(QCloseEvent *e) override;

 private:
  void build();

  TALMER_ARB &w_;
  event_guard guard_;
};

}  // namespace talmer::ui::qt
