// The NI-488.2 call layer: the program's only way to a National Instruments
// GPIB board. Every operation
//   1. registers the layer's status cells with the driver on first use,
//   2. calls exactly one driver entry (16-bit arguments widened to 32 bits,
//      text as its 8-bit copy),
//   3. copies the driver's status into ibsta, iberr and ibcnt.
// Driver failures are never reported here; they show only in the status
// variables and in the outputs. The one exception: a driver that refuses
// the registration ends the program with a message box.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "gpib/ni488/ni488_entries.h"
#include "platform/platform.h"

namespace talmer::ni488 {

// The 16-bit signed value of the low 16 bits of x: 0x12345 -> 9029,
// 0xC004 -> -16380, 0x8000 -> -32768, -1 -> -1.
std::int16_t long_to_int16(std::int64_t x);

inline constexpr const char *not_multi_threaded_text =
    "Operating System is not multi-threaded. Quitting the Program!";
inline constexpr const char *cannot_register_text =
    "Unable to register GPIB thread globals. Quitting the Program!";
inline constexpr const char *unknown_register_error_text =
    "Unknown Error for Registering GPIB Globals!!! Quitting the Program!";

class call_layer {
 public:
  // `message_title` is the title of the message boxes shown when the driver
  // refuses the registration.
  call_layer(std::unique_ptr<driver_entries> driver, platform::os &os, std::string message_title);
  call_layer(const call_layer &) = delete;
  call_layer &operator=(const call_layer &) = delete;

  const driver_entries &driver() const { return *driver_; }

  // ---- Status of the last driver call (read by the callers) -----------
  std::int16_t ibsta = 0;  // status word, folded from the status cell
  std::int16_t iberr = 0;  // error code
  std::int16_t ibcnt = 0;  // byte count, folded from ibcntl
  long ibcntl = 0;         // long count cell, written by the driver
  // 0 until the status cells are registered, then 1 for good.
  std::int16_t gpib_globals_registered = 0;

  // ---- Operations (statement forms) -------------------------------------
  // descriptor = the board's descriptor; -1 when the driver does not know
  // the name.
  void ibfind(const std::string &name, std::int16_t &descriptor);
  void ibdev(std::int16_t board, std::int16_t pad, std::int16_t sad, std::int16_t tmo,
             std::int16_t eot, std::int16_t eos, std::int16_t &descriptor);
  void ibclr(std::int16_t ud);
  void ibsic(std::int16_t ud);
  void ibloc(std::int16_t ud);
  void ibonl(std::int16_t ud, std::int16_t v);
  void ibtmo(std::int16_t ud, std::int16_t v);
  void ibeot(std::int16_t ud, std::int16_t v);
  void ibconfig(std::int16_t ud, std::int16_t option, std::int16_t value);
  // Text form: all characters of the text's 8-bit copy (see to_8bit),
  // nothing appended. For commands and names; binary data (waveform
  // points) goes through the buffer form, which sends bytes unchanged.
  void ibwrt(std::int16_t ud, const std::string &text);
  // Buffer form: the first `count` bytes of the buffer in memory order
  // (never more than the buffer holds).
  void ibwrt(std::int16_t ud, std::span<const std::int16_t> buffer, std::int32_t count);
  // Reads at most buffer.size() bytes over the start of the buffer; the
  // rest keeps what it held, the length never changes.
  void ibrd(std::int16_t ud, std::string &buffer);

 private:
  // Step 1 of every operation; false when the call must not be made (the
  // program is ending).
  bool ready();
  void register_gpib_globals();
  // Step 3 of every operation.
  void copy_ib_status();

  std::unique_ptr<driver_entries> driver_;
  platform::os &os_;
  std::string message_title_;
  // The cells the driver writes after every call of the registered thread.
  int status_cell_ = 0;
  int error_cell_ = 0;
  int count_cell_ = 0;
};

}  // namespace talmer::ni488
