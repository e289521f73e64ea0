#include "lib/bus.h"

#include <algorithm>

namespace talmer::sim {

gpib_bus::gpib_bus(const settings &s, link_kind link) : s_(s), link_(link), clock_(s.timeout_scale) {
  talmer_ = std::make_unique<instrument>(s_, clock_, link_);
  if (s_.other_address >= 0 && s_.other_address != s_.address)
    other_ = std::make_unique<instrument>(s_, clock_, link_, true);
  if (!s_.wire_log_path.empty()) {
    wire_log_ = std::fopen(s_.wire_log_path.c_str(), "a");
    if (wire_log_ == nullptr) {
      std::fprintf(stderr, "talmer-sim: cannot write the wire log %s\n", s_.wire_log_path.c_str());
    } else {
      const auto attach = [this](instrument &dev, int address) {
        dev.log().set_sink([f = wire_log_, link = std::string(link_name(link_)), address](const wire_record &r) {
          std::fprintf(f, "%s %d %s\n", link.c_str(), address, wire_log::format(r).c_str());
          std::fflush(f);
        });
      };
      attach(*talmer_, s_.address);
      if (other_) attach(*other_, s_.other_address);
    }
  }
}

gpib_bus::~gpib_bus() {
  for (instrument *dev : {talmer_.get(), other_.get()})
    if (dev != nullptr) {
      dev->log().close_record();
      dev->log().set_sink(nullptr);
    }
  if (wire_log_ != nullptr) std::fclose(wire_log_);
}

instrument *gpib_bus::device_at(int address) {
  if (address == s_.address) return talmer_.get();
  if (other_ && address == s_.other_address) return other_.get();
  return nullptr;
}

void gpib_bus::wait(std::int64_t timeout_ms) { clock_.sleep_until(clock_.now_ms() + timeout_ms); }

gpib_bus::result gpib_bus::write(instrument &dev, std::string_view bytes, bool end, std::int64_t timeout_ms) {
  result r;
  if (!dev.dropped()) r.count = dev.receive(bytes, end);
  if (r.count < bytes.size()) {
    wait(timeout_ms);
    r.timed_out = true;
  }
  return r;
}

gpib_bus::result gpib_bus::read(instrument *dev, char *buf, std::size_t max, std::int64_t timeout_ms) {
  result r;
  const auto deadline = clock_.now_ms() + timeout_ms;
  while (r.count < max) {
    if (dev != nullptr && !dev->dropped()) {
      bool end = false;
      const auto bytes = dev->take_output(max - r.count, end);
      std::copy(bytes.begin(), bytes.end(), buf + r.count);
      r.count += bytes.size();
      if (end) {
        r.end = true;
        return r;
      }
      if (r.count == max) return r;
      if (const auto next = dev->next_output_ms(); next && *next <= deadline) {
        if (*next > clock_.now_ms()) clock_.sleep_until(*next);
        continue;
      }
    }
    clock_.sleep_until(deadline);
    r.timed_out = true;
    return r;
  }
  return r;
}

settings library_settings_from_environment(std::string &errors) {
  settings s = settings_from_environment(process_environment(), errors);
  if (!errors.empty()) std::fprintf(stderr, "talmer-sim: ignoring bad settings:\n%s\n", errors.c_str());
  return s;
}

std::int64_t timeout_code_ms(int code, std::int64_t forever) {
  static const std::int64_t us[] = {0,       10,       30,        100,       300,        1000,
                                    3000,    10000,    30000,     100000,    300000,     1000000,
                                    3000000, 10000000, 30000000,  100000000, 300000000,  1000000000};
  if (code <= 0 || code > 17) return forever;
  // Codes below one millisecond still wait a little: at least one millisecond.
  return std::max<std::int64_t>(1, us[code] / 1000);
}

}  // namespace talmer::sim
