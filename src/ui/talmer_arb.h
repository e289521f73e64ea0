// The main window "Load Waveform into Talmer ARB" as a toolkit-free model.
// It owns every control (in the window's control order), the seven shared
// variables, and the reactions `<control>_<Event>`; the other subsystems are
// operations of this window, implemented in their own folders.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gpib/discovery.h"
#include "platform/platform.h"
#include "serial/serial_download_parts.h"
#include "serial/serial_port.h"
#include "sources/ascii_points.h"
#include "ui/controls.h"
#include "ui/messages.h"
#include "ui/progress.h"

namespace talmer::ui {

// Booleans kept in 16-bit integers: True is -1, False is 0.
inline constexpr std::int16_t vb_true = -1;
inline constexpr std::int16_t vb_false = 0;

class TALMER_ARB {
 public:
  static constexpr const char *window_title = "Load Waveform into Talmer ARB";
  static constexpr int client_width_twips = 7920;
  static constexpr int client_height_twips = 6345;

  explicit TALMER_ARB(platform::os &os);
  ~TALMER_ARB();
  TALMER_ARB(const TALMER_ARB &) = delete;
  TALMER_ARB &operator=(const TALMER_ARB &) = delete;

  platform::os &os() { return os_; }

  // ---- Controls, in the window's control order -------------------------
  check_box auto_find_q{"auto_find_q", "Auto Find Q", true};
  option_button serial{"serial", "RS232", false};
  option_button corvaneib{"corvaneib", "Corvane-IB", true};
  pick_list convert_wfm{"convert_wfm", {"Yes", "No", "Maybe"}};
  command_button Refresh_files{"Refresh_files", "Refresh"};
  pick_list Swap{"Swap", {"Yes", "No"}};
  command_button Select_Q{"Select_Q", "Select Q Waveform"};
  command_button Select_I{"Select_I", "Select I Waveform"};
  pick_list Talmerid{"Talmerid", {}};
  command_button clearsrc{"clearsrc", "Clear"};
  text_box destination{"destination", "waveform1"};
  text_box I_source{"I_source", "i.bin"};
  text_box Q_source{"Q_source", "q.bin"};
  command_button PgmExit{"PgmExit", "Exit"};
  command_button Start_dwnld{"Start_dwnld", "Start Download"};
  check_box Auto_name{"Auto_name", "Auto Name", true};
  label Auto_Find_Q_Lbl{"Auto_Find_Q_Lbl", "Auto Find Q"};
  label Auto_Name_Lbl{"Auto_Name_Lbl", "Auto Name"};
  talmer::serial::serial_port rs232{"rs232", [this]() -> platform::os & { return os_; }, [this] { rs232_OnComm(); }};
  label Label2{"Label2", "For 200 MHz CPU"};
  label Cvrt_wfm{"Cvrt_wfm", "Convert Files"};
  shape Shape4{"Shape4", panel_teal, 2};
  label Version{"Version", "Version 2.4"};
  label ByteSwap{"ByteSwap", "Swap Bytes:"};
  label Messages{"Messages", initial_text};
  shape msgsbkgd{"msgsbkgd", panel_teal};
  label lbl_dwnldtime{"lbl_dwnldtime", "Seconds"};
  label lbl_dwnld{"lbl_dwnld", "Estimated Download Time"};
  label dwnldtime{"dwnldtime", "0"};
  shape Shape2{"Shape2", panel_teal};
  label lbl_points{"lbl_points", "points"};
  label points{"points", "0"};
  label lblDestination{"lblDestination", "Talmer Waveform Name"};
  shape Shape1{"Shape1", panel_teal};
  label Q_length{"Q_length", "0"};
  label I_length{"I_length", "0"};
  label title{"title", "Download Waveform Files into Talmer Signal Generator ARB"};
  label lblSource_I{"lblSource_I", "I Waveform File Name"};
  label Label1{"Label1", "Source Waveform Files"};
  label lbl_Q_length{"lbl_Q_length", "bytes"};
  label lbl_I_length{"lbl_I_length", "bytes"};
  label lblSource_Q{"lblSource_Q", "Q Waveform File Name"};
  shape dest_bkgd{"dest_bkgd", rgb{255, 255, 255}};
  label lblCOMM{"lblCOMM", "Corvane-IB Address"};
  shape Shape3{"Shape3", panel_teal};

  // Every control, in control order.
  std::vector<control *> controls();
  // The keyboard focus order of the window.
  std::vector<control *> focus_order();

  // ---- Shared variables ------------------------------------------------
  std::string getfile;                     // path chosen in the file chooser; "" when cancelled
  std::int16_t wait_for_talmer = vb_false; // the instrument paused serial input (XOFF)
  std::string i_filetype = "BINARY";       // "BINARY", "ASCII" or "AWG"
  std::string q_filetype = "BINARY";
  std::int64_t i_points = 0;               // waveform points of the I source
  std::int64_t q_points = 0;
  std::int16_t debug_active = vb_false;    // step-by-step trace of the link discovery

  // ---- Start-up, shut-down, Clear and Refresh --------------------------
  void Form_Load();
  void Form_Unload();
  void PgmExit_Click();
  void clearsrc_Click();
  void Refresh_files_Click();
  // Called when the window is being unloaded, before the program ends (the
  // view closes its windows and the serial port is closed).
  std::function<void()> on_unload;

  // ---- Control enabling and link selection -----------------------------
  void disable_controls();
  void enable_controls();
  void corvaneib_Click();
  void corvaneib_MouseDown();
  void serial_MouseDown();

  // ---- Help and status messages ----------------------------------------
  void lbl_dwnld_MouseDown();
  void lblDestination_MouseDown();
  void title_MouseDown();
  void Version_MouseDown();
  void lbl_points_MouseDown();
  void Label1_MouseDown();
  void Cvrt_wfm_MouseDown();
  void Auto_Name_Lbl_Click();
  void Swap_GotFocus();
  void ByteSwap_MouseDown();
  void Auto_Find_Q_Lbl_Click();
  void Swap_LostFocus();
  void destination_Change();

  // Panel helpers: set the colour; write a text; write both and repaint the
  // panel at once (for long operations that keep the thread busy).
  void set_panel_colour(rgb c) { msgsbkgd.set_fill(c); }
  void show_message(const std::string &text) { Messages.set_caption(text); }
  void show_now(rgb c, const std::string &text);
  void repaint_panel();

  // ---- Source waveform files -------------------------------------------
  // Classify the I (Q) source from its name, its size caption and the
  // conversion choice: `i_filetype` and `i_points` (`q_...`), then the point
  // display and the estimate. Run by every change of the size caption.
  void I_length_Change();
  void Q_length_Change();
  // A conversion choice: both sources classified again (ASCII files recounted).
  void convert_wfm_Click();
  // The I name changed: look for the matching Q file (`auto_find_q`) and
  // derive the waveform name (`Auto_name`).
  void I_source_Change();
  // "Select I Waveform", "Select Q Waveform", double-click in the I path box:
  // the chooser, then the chosen path and its size. A chosen file that can
  // no longer be read changes nothing and is reported on a red panel.
  void Select_I_Click();
  void Select_Q_Click();
  void I_source_DblClick();
  // Shows the file chooser modally; returns when it is hidden again, with
  // `getfile` holding the chosen path ("" when cancelled). Installed by the
  // view: the Qt dialog in the window, the chosen option in the CLI. While
  // none is installed the Select buttons do nothing.
  std::function<void()> show_file_chooser;
  // Recompute the point display `points` and the estimate `dwnldtime`.
  void set_waveform_points();
  void set_download_time();

  // The number of points (number tokens) of the ASCII file `name`. Shows the
  // yellow counting message and locks the inputs for the scan (unless they
  // are locked already, as during a download), then shows the neutral help
  // text on teal. A file that cannot be opened counts 0.
  std::int64_t ascii_numpoints(const std::string &name);

  // Reads the next block of an ASCII source during a download. The caller
  // opens the file (os().open_read) and keeps one `sources::ascii_reader`
  // over it for the whole channel, then calls this once per block:
  //   auto file = os().open_read(I_source.text());
  //   sources::ascii_reader source(*file);
  //   while (remaining > 0) {
  //     get_ascii_points(source, numbuf, 8192, remaining, dataerror);
  //     ...send 2 * min(remaining, 8192) bytes; remaining -= min(remaining, 8192);
  //   }
  // Stores n = min(num_wfm_points, numbufsize) points in numbuf[0..n-1], in
  // the host's byte order; the rest of numbuf is left as it was. An invalid
  // or out-of-range number stores 0 and sets `dataerror`; so does every
  // point missing because the file ended early (it shrank after it was
  // counted). `dataerror` is never cleared here. `source.read_failed()` tells
  // afterwards whether a read of the file failed.
  void get_ascii_points(sources::ascii_reader &source, std::int16_t *numbuf, std::int64_t numbufsize,
                        std::int64_t num_wfm_points, bool &dataerror);

  // The sample clock in Hz from the 102-byte header `hdrbuf` of an AWG2021
  // file (bytes 56 to 59), or 0 when it holds none that can be shown.
  static std::int32_t extract_AWG_clock_freq(const std::uint8_t *hdrbuf);

  // Converts numbuf[0..numbufsize-1] in place from AWG2021 words (each read
  // from the file as a little-endian 16-bit value) to the instrument's
  // points, in the host's byte order. `I_or_Q` "Q" drops the marker bits;
  // any other text ("I") keeps them. The caller reads the 102-byte header
  // first, then per block 2 * numbufsize bytes (a short last block is
  // converted whole; only the points that remain are sent).
  static void convert_AWG(std::int64_t numbufsize, std::int16_t *numbuf, const std::string &I_or_Q);

  // Re-reads both sources from disk (a file that has gone empties its name,
  // size and count) and classifies them again, then runs the checks before
  // a download in their order. On success `error_active` is false and
  // `convert_flg` tells whether the sources are converted (ASCII or AWG);
  // on failure `error_active` is true and `error_text` holds the message
  // (`convert_flg` is untouched when a name check failed).
  void check_source_files(bool &convert_flg, bool &error_active, std::string &error_text);

  // With `Auto_name` checked, sets the waveform name from the I name;
  // `i_position` is the 1-based position of the letter replaced to find the
  // Q file, -1 when none was.
  void destination_filename(std::int64_t i_position);

  // ---- GPIB link discovery ---------------------------------------------
  // Each operation runs with failures suppressed (gpib_pending), writes the
  // debug trace "Starting step:  " LF CR step when debug_active is set, and
  // reports failure through the error pair: error_active is set to true
  // (never back to false) and error_text to the message for the red panel;
  // on success neither is touched.
  //
  // Card detection: which GPIB software is installed, from the presence of
  // its library files (gpib_card_probes). gpibcard = "NONE", "NI",
  // "Corvane" or "BOTH"; always written.
  void find_gpibcard(std::string &gpibcard, bool &error_active, std::string &error_text);
  // Interface selection: GPIB0 to GPIB3 through the NI-488.2 layer, then
  // corvaneib, gpib, corvaneib0..30, gpib0..30 through the Ravlink layer;
  // the first that answers wins and settles gpibcard ("NI" or "Corvane").
  // intfc is always written ("NONE" when nothing answered).
  void find_gpib_interface(std::string &gpibcard, std::string &intfc, bool &error_active,
                           std::string &error_text);
  // Address search on the interface found: the address chosen in Talmerid,
  // or with "Auto Detect" 19..30 then 0..30 (NI) / 0..19 (Corvane). The
  // instrument is identified by "*IDN?" and checked for its ARB option by
  // "DIAG:INFO:OPT?". Talmeraddr = the address found, -1 otherwise; on
  // success Talmerid shows the address.
  void find_Talmer_NI(std::string intfc, int &Talmeraddr, bool &error_active, std::string &error_text);
  void find_Talmer_Corvane(std::string intfc, int &Talmeraddr, bool &error_active,
                           std::string &error_text);
  // The discovery of a GPIB download run: card detection, interface
  // selection and the address search of the family found, stopping at the
  // first failure. On success `link` holds "NI" or "Corvane", the interface
  // and the address, and the layer of that family is loaded (ni488_layer,
  // ravlink_layer).
  void discover_gpib_link(gpib::link_identity &link, bool &error_active, std::string &error_text);

  // The pending error of the GPIB operations (number 0 = none). The Ravlink
  // layer raises into it; discovery and the download links clear and test it.
  gpib::pending_error gpib_pending;
  // The probe table card detection uses; the platform's own by default.
  std::span<const gpib::card_probe> gpib_card_probes = gpib::native_card_probes();
  // The call layer over the library file card detection found (the first
  // present file of the family), loaded on first use and kept while that
  // file stays the one found. nullptr when there is none or it cannot be
  // used, with `problem` set to the user's text.
  ni488::call_layer *ni488_layer(std::string &problem);
  ravlink::call_layer *ravlink_layer(std::string &problem);

  // ---- Download --------------------------------------------------------
  void Start_dwnld_Click();
  // How far the channel being sent has got, in points: the driver moves it
  // after every chunk without touching the panel's text; the window shows
  // it as a thin bar under the message text, the headless front end as a
  // progress line.
  progress download_progress;

  // ---- Serial link -----------------------------------------------------
  // Receive reaction of `rs232`: tracks the instrument's XON and XOFF.
  void rs232_OnComm();
  // Waits up to `timeout` ms for a reply on `rs232` to arrive and come to
  // rest; `answer` is false when the time ran out.
  void wait_answer(double timeout, bool &answer);
  // The whole download over RS-232: port search, instrument checks, the
  // paced transfer of both channels and the completion message.
  void download_RS232(bool convert_flg, bool &error_active, std::string &error_text);
  // The rules the serial download takes from the command set, the reply
  // tests, the memory check and the download's completion message; filled
  // with the program's own rules when the window is built.
  talmer::serial::serial_download_parts standard_serial_parts();
  talmer::serial::serial_download_parts serial_parts = standard_serial_parts();

 private:
  // ---- private: source waveform files ----------------------------------
  void classify_source(const text_box &name, const label &length, std::string &filetype, std::int64_t &count);
  // Writes a size caption and classifies the source even when the caption
  // already read so (another file of the same size, or a file rewritten).
  void show_source_length(label &length, const std::string &caption);
  void choose_source(text_box &box, label &length, bool empty_first);
  void reread_source(text_box &box, label &length, std::int64_t &count);

  // ---- private: GPIB link discovery ------------------------------------
  void gpib_trace(const std::string &step);
  // The path a probe queries when its file is present; nullopt otherwise.
  std::optional<std::string> gpib_probe_file(const gpib::card_probe &probe);
  // The file the layer of `family` loads; "" when none was found.
  std::string gpib_library_file(gpib::card_family family);
  // The end of both address searches: the error pair and Talmerid.
  void finish_address_search(const char *prefix, const std::string &intfc, bool automatic,
                             int Talmeraddr, bool arb_option_found, bool &error_active,
                             std::string &error_text);
  gpib::found_libraries gpib_found_;
  std::unique_ptr<ni488::call_layer> gpib_ni488_;
  std::unique_ptr<ravlink::call_layer> gpib_ravlink_;

  // ---- private: download -----------------------------------------------
  // Steps of a GPIB download after validation: discovery, then the link of
  // the card family found.
  void gpib_download_run(bool convert_flg, bool &error_active, std::string &error_text);

  // ---- private: serial link --------------------------------------------
  struct serial_run;
  bool serial_find_port(serial_run &run);
  bool serial_check_instrument(serial_run &run);
  bool serial_query(serial_run &run, talmer::serial::instrument_query q, double timeout);
  bool serial_send_channel(serial_run &run, char channel);
  bool serial_wait_xon(std::int64_t deadline);
  bool serial_wait_drained(std::int64_t deadline);

  // ---- private: window -------------------------------------------------
  void wire_reactions();
  // Reads the size of the file named in `box` into `size`; empties both
  // when it cannot be read.
  void read_source_size(text_box &box, label &size);

  platform::os &os_;
};

}  // namespace talmer::ui
