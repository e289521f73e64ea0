// What the serial download takes from other parts of the program: the
// instrument's command texts and reply tests, the block header, the memory
// check and the completion message. The window fills its
// `serial_download_parts` once, when it is built, with the rules of the
// subsystems that own them (standard_serial_parts), so the serial path
// sends and judges exactly what the GPIB path does; a test may put scripted
// rules in their place. The sources are read by the readers every link
// shares (download/point_source.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "download/memory_check.h"

namespace talmer::serial {

// The queries the serial download sends (without the line's terminator).
enum class instrument_query {
  identification,     // "*IDN?"
  options,            // "DIAG:INFO:OPT?"
  arb_state,          // "rad:arb:stat?"
  selected_waveform,  // "rad:arb:wav?"
  memory_catalog,     // the I-memory catalog query
};

struct serial_download_parts {
  // ---- Command set ----------------------------------------------------
  std::function<std::string(instrument_query)> query_text;
  // The head of a store command for channel 'I' or 'Q' and waveform name:
  // "mmem:data " + quote + "arbi:" or "arbq:" + name + quote + ", ".
  std::function<std::string(char channel, const std::string &name)> store_prefix;
  // The definite-length block header for `points` points ("#" D C).
  std::function<std::string(std::int64_t points)> block_header;
  // Reply tests: the identification names a Talmer of the right family;
  // the option reply names the ARB option; the ARB-state reply says the
  // ARB runs; the selected-waveform reply names `name` in the I memory.
  std::function<bool(const std::string &reply)> is_talmer;
  std::function<bool(const std::string &reply)> has_arb_option;
  std::function<bool(const std::string &reply)> arb_running;
  std::function<bool(const std::string &reply, const std::string &name)> names_selected_waveform;

  // ---- Memory check ---------------------------------------------------
  // Judges the catalog reply against the window's waveform name and point
  // count: `does_not_fit` sets `error_active` and `error_text`;
  // `unparsable` when the reply cannot be read.
  std::function<download::memory_check(std::string &strbuf, bool &error_active, std::string &error_text)>
      check_avail_memory;

  // ---- Completion -----------------------------------------------------
  // The message of a successful download: "Done with download." with the
  // sample clock to set (converted sources, clock above 10 Hz) or with the
  // line about invalid data points.
  std::function<std::string(bool convert_flg, std::int32_t awg_clock, bool dataerror)> done_message;

  // True when every part the download needs is filled in.
  bool complete() const {
    return query_text && store_prefix && block_header && is_talmer && has_arb_option && arb_running &&
           names_selected_waveform && check_avail_memory && done_message;
  }
};

}  // namespace talmer::serial
