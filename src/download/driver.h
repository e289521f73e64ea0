// The GPIB part of a download, from the "Using ... interface" message to
// the success message: the checks on the instrument (ARB state, replace
// rule, free memory), then the I block and the Q block, each followed by
// the completion query.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "download/download_link.h"
#include "download/point_source.h"
#include "ui/controls.h"

namespace talmer::ui {
class TALMER_ARB;
}

namespace talmer::download {

struct channel_source {
  std::int64_t points = 0;  // 0: nothing to send on this channel
  std::string path;
  std::string filetype;     // "BINARY", "ASCII" or "AWG"
};

// Everything the GPIB download reads from the window, taken at its start.
struct download_request {
  std::string gpibcard;        // "NI" or "Corvane"
  std::string intfc;           // the interface chosen for that family
  int address = 0;             // the instrument's GPIB address
  std::string name;            // the waveform name (`destination`)
  std::string points_caption;  // the `points` caption, for the memory check
  bool swap_yes = false;       // `Swap` shows "Yes"
  bool convert_flg = false;    // ASCII or AWG sources are converted
  channel_source i, q;
};

struct download_result {
  bool error_active = false;
  std::string error_text;
  bool dataerror = false;      // a converted ASCII point was invalid
  std::int32_t awg_clock = 0;  // the I file's AWG2021 sample clock, Hz
  std::string message;         // the success message, when no error
};

// Where the driver shows its messages while it keeps the thread busy.
class download_panel {
 public:
  virtual ~download_panel() = default;
  // Sets the panel colour and text and repaints the panel at once.
  virtual void show_now(ui::rgb colour, const std::string &text) = 0;
  // A blocking pause.
  virtual void pause_ms(std::int64_t ms) = 0;
};

// Runs the GPIB download over `link`: shows which interface and address
// are used, opens the link, checks the instrument, sends both channels and
// releases the link (close_link after success, abort_link after any
// failure, also when an exception passes through). Stops at the first
// failure; what the instrument stored before stays stored. `progress` may
// be null.
download_result send_over_link(download_link &link, point_source_opener &opener,
                               const download_request &req, download_panel &panel,
                               progress_observer *progress);

// The request of a GPIB download, from the window's state.
download_request request_from_window(ui::TALMER_ARB &w, const std::string &gpibcard,
                                     const std::string &intfc, int address, bool convert_flg);

// The GPIB download for the window's "Start Download": runs send_over_link
// with the window's state, its panel, its pauses and its progress hook.
// On success the panel shows the success message (idle colour, not yet
// repainted); on failure `error_active` and `error_text` are set and the
// caller's finish shows them.
void gpib_download(ui::TALMER_ARB &w, download_link &link, point_source_opener &opener,
                   const std::string &gpibcard, const std::string &intfc, int Talmeraddr,
                   bool convert_flg, bool &error_active, std::string &error_text);

// Opens sources through the OS layer with the reader of each format.
class standard_opener : public point_source_opener {
 public:
  explicit standard_opener(platform::os &os) : os_(os) {}
  std::unique_ptr<point_source> open(source_format format, channel ch,
                                     const std::string &path) override {
    return open_point_source(os_, format, ch, path);
  }

 private:
  platform::os &os_;
};

}  // namespace talmer::download
