// A window on the fake operating system with the recording GPIB fakes
// installed where card detection looks for them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake_os.h"
#include "support/fake_gpib.h"
#include "ui/talmer_arb.h"

namespace talmer::testing {

struct gpib_window_test : ::testing::Test {
  platform::fake_os os;
  ui::TALMER_ARB w{os};
  std::vector<std::string> panel;  // every text the message panel showed, in order
  int panel_repaints = 0;
  std::vector<std::string> loaded;  // library files loaded, in order

  void SetUp() override {
    os.use_real_files = false;
    reset_fake_ni488();
    reset_fake_ravlink();
    w.Form_Load();
    w.Messages.observe([this](ui::control &, ui::change c) {
      if (c == ui::change::content) panel.push_back(w.Messages.caption());
      if (c == ui::change::refresh) ++panel_repaints;
    });
  }

  // The NI-488.2 fake as the file `path`.
  void install_ni(const std::string &path = "/usr/lib/libgpib.so.0", bool registration = true,
                  std::set<std::string> omit = {}) {
    os.files[path] = 0;
    os.libraries[path] = [this, path, registration, omit] {
      loaded.push_back(path);
      return make_fake_ni488(registration, omit);
    };
  }

  // The Ravlink fake: the probed base library in `dir`, the entries loaded
  // from the library next to it.
  void install_ravlink(const std::string &dir = "/usr/lib", std::set<std::string> omit = {}) {
    os.files[dir + "/libravlink32.so"] = 0;
    const std::string lib = dir + "/libvbravlink32.so";
    os.libraries[lib] = [this, lib, omit] {
      loaded.push_back(lib);
      return make_fake_ravlink(omit);
    };
  }

  struct outcome {
    bool error_active = false;
    std::string error_text;
  };
};

}  // namespace talmer::testing
