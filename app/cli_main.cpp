// talmer-arb-cli: the window without a display, for scripts and tests.
#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>

#include "platform/platform.h"
#include "ui/headless.h"
#include "ui/talmer_arb.h"

namespace {

int run(int argc, char **argv) {
  using talmer::ui::headless_options;
  CLI::App app{
      "Loads I/Q waveform files and downloads them into the ARB of a Talmer signal generator,\n"
      "driving the same window model as the desktop program, without a display.\n"
      "The actions run in this order: check boxes, conversion, swap, link, address,\n"
      "I file, Q file, name, debug, download. Each change of the message panel is\n"
      "printed to standard error as \"[colour] text\".\n"
      "Exit status: 0 when the panel is not red at the end, 1 when it is red, 2 for a usage error.",
      "talmer-arb-cli"};
  headless_options o;
  std::string auto_q, auto_name;
  const auto on_off = CLI::IsMember({"on", "off"});
  app.add_option("--auto-q", auto_q, "Auto Find Q check box")->check(on_off);
  app.add_option("--auto-name", auto_name, "Auto Name check box")->check(on_off);
  app.add_option("--convert", o.convert, "conversion of ASCII and AWG2021 files")
      ->check(CLI::IsMember({"Yes", "No", "Maybe"}));
  app.add_option("--swap", o.swap, "byte swap of binary files")->check(CLI::IsMember({"Yes", "No"}));
  app.add_option("--link", o.link, "link to the instrument")->check(CLI::IsMember({"gpib", "rs232"}));
  app.add_option("--address", o.address,
                 "GPIB address 0-30, serial port 1-4 or \"Comm N\", or auto");
  app.add_option("--i", o.i_path, "I source file, as chosen with Select I Waveform");
  app.add_option("--q", o.q_path, "Q source file, as chosen with Select Q Waveform");
  app.add_option("--name", o.name, "waveform name typed into the name box");
  app.add_flag("--debug", o.debug, "trace the steps of the link discovery");
  app.add_flag("--download", o.download, "press Start Download");
  app.add_flag("--show", o.show, "print the final state as key=value lines");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp &e) {
    return app.exit(e);
  } catch (const CLI::ParseError &e) {
    app.exit(e);
    return 2;
  }
  if (!auto_q.empty()) o.auto_q = auto_q == "on";
  if (!auto_name.empty()) o.auto_name = auto_name == "on";
  if (std::string msg = talmer::ui::check_headless_options(o); !msg.empty()) {
    std::cerr << msg << '\n';
    return 2;
  }

  talmer::platform::real_os os;
  talmer::ui::TALMER_ARB window(os);
  window.Form_Load();
  return talmer::ui::run_headless(window, o, std::cout, std::cerr);
}

}  // namespace

// What the actions do not catch themselves (the window's start, the option
// parser) ends the program with a message and status 1, never unseen.
int main(int argc, char **argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception &e) {
    std::cerr << "talmer-arb-cli: " << e.what() << '\n';
  } catch (...) {
    std::cerr << "talmer-arb-cli: unexpected error\n";
  }
  return 1;
}
