// The GPIB bus inside a simulated driver library: the boards or interfaces
// that exist, the Talmer instrument at its address on the first of them,
// perhaps another device, and transfers with time-outs that pass in real
// time scaled by the `timeout_scale` setting. Both simulated libraries build
// on it; each has its own bus, so each has its own instrument.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "model/clock.h"
#include "model/instrument.h"
#include "model/settings.h"

namespace talmer::sim {

class gpib_bus {
 public:
  gpib_bus(const settings &s, link_kind link);
  ~gpib_bus();
  gpib_bus(const gpib_bus &) = delete;
  gpib_bus &operator=(const gpib_bus &) = delete;

  const settings &config() const { return s_; }
  link_kind link() const { return link_; }

  // The device at `address` on the instrument's board, nullptr when none.
  instrument *device_at(int address);
  instrument &talmer() { return *talmer_; }

  struct result {
    std::size_t count = 0;
    bool end = false;        // read: the last byte carried EOI / END
    bool timed_out = false;
  };
  // Sends bytes to a device; a dropped link takes what it takes and the
  // write times out after `timeout_ms`.
  result write(instrument &dev, std::string_view bytes, bool end, std::int64_t timeout_ms);
  // Reads up to `max` bytes, ending at END or when `timeout_ms` has passed.
  result read(instrument *dev, char *buf, std::size_t max, std::int64_t timeout_ms);
  // Waits out a time-out with nothing to show for it.
  void wait(std::int64_t timeout_ms);

 private:
  settings s_;
  link_kind link_;
  scaled_clock clock_;
  std::unique_ptr<instrument> talmer_;
  std::unique_ptr<instrument> other_;
  std::FILE *wire_log_ = nullptr;
};

// The settings of a library run, from the environment. Problems are
// reported on standard error and returned in `errors`.
settings library_settings_from_environment(std::string &errors);

// Milliseconds of an NI-488.2 time-out code (0 = none -> `forever`).
std::int64_t timeout_code_ms(int code, std::int64_t forever);

}  // namespace talmer::sim
