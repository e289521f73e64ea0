#include "gpib/ni488/ni488_layer.h"

#include <algorithm>

#include "gpib/text8.h"

namespace talmer::ni488 {

std::int16_t long_to_int16(std::int64_t x) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint64_t>(x) & 0xFFFFu));
}

call_layer::call_layer(std::unique_ptr<driver_entries> driver, platform::os &os, std::string message_title)
    : driver_(std::move(driver)), os_(os), message_title_(std::move(message_title)) {}

void call_layer::register_gpib_globals() {
  const driver_entries &d = *driver_;
  if (!d.has_registration()) {
    // A driver without registration keeps the status per thread; it is read
    // after every call instead.
    gpib_globals_registered = 1;
    return;
  }
  int rc = d.RegisterGpibGlobalsForThread(&status_cell_, &error_cell_, &count_cell_, &ibcntl);
  switch (rc) {
    case 0:
      gpib_globals_registered = 1;
      return;
    case 1:
      // Registered already (by an earlier load of the driver): register the
      // cells of this layer instead.
      d.UnregisterGpibGlobalsForThread();
      d.RegisterGpibGlobalsForThread(&status_cell_, &error_cell_, &count_cell_, &ibcntl);
      gpib_globals_registered = 1;
      return;
    case 2:
      os_.message_box(message_title_, not_multi_threaded_text);
      d.UnregisterGpibGlobalsForThread();
      os_.end_program(1);
      return;
    case 3:
      os_.message_box(message_title_, cannot_register_text);
      d.UnregisterGpibGlobalsForThread();
      os_.end_program(1);
      return;
    default:
      os_.message_box(message_title_, unknown_register_error_text);
      os_.end_program(1);
      return;
  }
}

bool call_layer::ready() {
  if (gpib_globals_registered == 0) register_gpib_globals();
  return gpib_globals_registered != 0;
}

void call_layer::copy_ib_status() {
  const driver_entries &d = *driver_;
  if (!d.has_registration()) {
    status_cell_ = d.ThreadIbsta();
    error_cell_ = d.ThreadIberr();
    if (d.has_thread_ibcnt()) count_cell_ = d.ThreadIbcnt();
    ibcntl = d.ThreadIbcntl();
  }
  ibsta = long_to_int16(status_cell_);
  iberr = long_to_int16(error_cell_);
  ibcnt = long_to_int16(ibcntl);
}

void call_layer::ibfind(const std::string &name, std::int16_t &descriptor) {
  if (!ready()) return;
  const std::string name8 = gpib::to_8bit(name);
  int r = driver_->ibfind(name8.c_str());
  copy_ib_status();
  descriptor = long_to_int16(r);
}

void call_layer::ibdev(std::int16_t board, std::int16_t pad, std::int16_t sad, std::int16_t tmo,
                       std::int16_t eot, std::int16_t eos, std::int16_t &descriptor) {
  if (!ready()) return;
  int r = driver_->ibdev(board, pad, sad, tmo, eot, eos);
  copy_ib_status();
  descriptor = long_to_int16(r);
}

void call_layer::ibclr(std::int16_t ud) {
  if (!ready()) return;
  driver_->ibclr(ud);
  copy_ib_status();
}

void call_layer::ibsic(std::int16_t ud) {
  if (!ready()) return;
  driver_->ibsic(ud);
  copy_ib_status();
}

void call_layer::ibloc(std::int16_t ud) {
  if (!ready()) return;
  driver_->ibloc(ud);
  copy_ib_status();
}

void call_layer::ibonl(std::int16_t ud, std::int16_t v) {
  if (!ready()) return;
  driver_->ibonl(ud, v);
  copy_ib_status();
}

void call_layer::ibtmo(std::int16_t ud, std::int16_t v) {
  if (!ready()) return;
  driver_->ibtmo(ud, v);
  copy_ib_status();
}

void call_layer::ibeot(std::int16_t ud, std::int16_t v) {
  if (!ready()) return;
  driver_->ibeot(ud, v);
  copy_ib_status();
}

void call_layer::ibconfig(std::int16_t ud, std::int16_t option, std::int16_t value) {
  if (!ready()) return;
  driver_->ibconfig(ud, option, value);
  copy_ib_status();
}

void call_layer::ibwrt(std::int16_t ud, const std::string &text) {
  if (!ready()) return;
  const std::string text8 = gpib::to_8bit(text);
  driver_->ibwrt(ud, text8.data(), static_cast<long>(text8.size()));
  copy_ib_status();
}

void call_layer::ibwrt(std::int16_t ud, std::span<const std::int16_t> buffer, std::int32_t count) {
  if (!ready()) return;
  const auto bytes = static_cast<std::int64_t>(buffer.size_bytes());
  const long n = static_cast<long>(std::clamp<std::int64_t>(count, 0, bytes));
  driver_->ibwrt(ud, buffer.data(), n);
  copy_ib_status();
}

void call_layer::ibrd(std::int16_t ud, std::string &buffer) {
  if (!ready()) return;
  // The reply overwrites the start of the buffer in place; whatever the
  // driver does not write keeps its old characters.
  driver_->ibrd(ud, buffer.data(), static_cast<long>(buffer.size()));
  copy_ib_status();
}

}  // namespace talmer::ni488
