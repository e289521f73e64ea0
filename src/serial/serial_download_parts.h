// What the serial download takes from other parts of the program: the
// instrument's command texts and reply tests, the block header, the memory
// check, the readers of converted sources, the completion message and the
// progress display. The window holds one `serial_download_parts`; the
// program fills it in once at start-up from the subsystems that own these
// rules, so the serial path sends and judges exactly what the GPIB path
// does. Raw BINARY sources are read by the serial download itself.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace talmer::serial {

// The queries the serial download sends (without the line's terminator).
enum class instrument_query {
  identification,     // "*IDN?"
  options,            // "DIAG:INFO:OPT?"
  arb_state,          // "rad:arb:stat?"
  selected_waveform,  // "rad:arb:wav?"
  memory_catalog,     // the I-memory catalog query
};

// An ASCII source opened for the transfer; destroying it closes the file.
class ascii_points_source {
 public:
  virtual ~ascii_points_source() = default;
  // Fills the first min(numbufsize, num_wfm_points) points of `numbuf` from
  // the next numbers of the file, in the host's byte order; sets
  // `dataerror` (and never clears it) for an invalid or out-of-range value.
  virtual void get_ascii_points(std::int16_t *numbuf, int numbufsize, std::int64_t num_wfm_points,
                                bool &dataerror) = 0;
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
  // count: sets `error_active` and `error_text` when the waveform does not
  // fit. Returns false when the reply cannot be parsed.
  std::function<bool(std::string &strbuf, bool &error_active, std::string &error_text)> check_avail_memory;

  // ---- Converted sources ----------------------------------------------
  // Opens an ASCII source for the transfer; nullptr when it cannot be read.
  std::function<std::unique_ptr<ascii_points_source>(const std::string &path)> open_ascii_source;
  // The sample clock in Hz of an AWG2021 file's 102-byte header.
  std::function<std::int32_t(const std::uint8_t *hdrbuf)> extract_AWG_clock_freq;
  // Converts the `numbufsize` raw AWG2021 words of `numbuf` in place into
  // points of channel 'I' (markers kept) or 'Q'.
  std::function<void(int numbufsize, std::int16_t *numbuf, char I_or_Q)> convert_AWG;

  // ---- Completion -----------------------------------------------------
  // The message of a successful download: "Done with download." with the
  // sample clock to set (converted sources, clock above 10 Hz) or with the
  // line about invalid data points.
  std::function<std::string(bool convert_flg, std::int32_t awg_clock, bool dataerror)> done_message;

  // ---- Progress (optional) ---------------------------------------------
  // Called after each block of a channel with the points sent so far.
  std::function<void(char channel, std::int64_t points_sent, std::int64_t points_total)> progress;

  // True when every part the download needs is filled in (progress may
  // stay empty).
  bool complete() const {
    return query_text && store_prefix && block_header && is_talmer && has_arb_option && arb_running &&
           names_selected_waveform && check_avail_memory && open_ascii_source && extract_AWG_clock_freq &&
           convert_AWG && done_message;
  }
};

}  // namespace talmer::serial
