// talmer-arb: the desktop window "Load Waveform into Talmer ARB".
#include <CLI/CLI.hpp>

#include <QApplication>
#include <QStyleFactory>
#include <exception>
#include <iostream>
#include <vector>

#include "platform/platform.h"
#include "ui/qt/file_chooser_dialog.h"
#include "ui/qt/main_window.h"
#include "ui/talmer_arb.h"

namespace {

constexpr const char *description =
    "Loads I/Q waveform files (raw 16-bit binary, ASCII numbers, AWG2021 .wfm) and downloads\n"
    "them into the ARB of a Talmer signal generator over GPIB or RS-232.\n"
    "Opens the window \"Load Waveform into Talmer ARB\"; the default sources i.bin and q.bin\n"
    "are looked up in the current directory. Qt's own options, with one dash (-platform,\n"
    "-style...), are accepted as well. For use without a display, see talmer-arb-cli.";

// The command line has no options of its own beyond --help and --version.
// Returns the exit status when the program is to stop here, -1 to go on.
// With `before_qt`, everything but an unknown "--" option is left for Qt,
// whose own options have one dash (-platform offscreen, -style...).
int check_arguments(int argc, char **argv, bool before_qt) {
  CLI::App app{description, "talmer-arb"};
  app.set_version_flag("--version", "talmer-arb 2.4");
  app.allow_extras(before_qt);
  try {
    app.parse(argc, argv);
    for (const std::string &extra : app.remaining()) {
      if (extra.rfind("--", 0) != 0) continue;
      throw CLI::ExtrasError({extra});
    }
  } catch (const CLI::Success &e) {
    return app.exit(e);
  } catch (const CLI::ParseError &e) {
    app.exit(e);
    return 2;
  }
  return -1;
}

int run(int argc, char **argv) {
  // --help, --version and usage errors need no display. Qt removes its own
  // options from the arguments; what is left must be empty.
  if (int status = check_arguments(argc, argv, true); status >= 0) return status;
  QApplication app(argc, argv);
  if (int status = check_arguments(argc, argv, false); status >= 0) return status;
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  // The window ends only through Form_Unload, which ends the program.
  QApplication::setQuitOnLastWindowClosed(false);

  talmer::platform::real_os os;
  talmer::ui::TALMER_ARB window(os);
  talmer::ui::qt::main_window view(window, &os);
  talmer::ui::qt::install_file_chooser(window, &view, [&view] { view.guard().after_nested_loop(); });
  if (!view.load()) return view.end_status().value_or(0);
  view.show();
  const int status = QApplication::exec();
  return view.end_status().value_or(status);
}

}  // namespace

// The reactions run under the window's event guard; what is thrown outside
// them (while the window is built or loaded) ends the program with a
// message and status 1, never unseen.
int main(int argc, char **argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception &e) {
    std::cerr << "talmer-arb: " << e.what() << '\n';
  } catch (...) {
    std::cerr << "talmer-arb: unexpected error\n";
  }
  return 1;
}
