// The download over RS-232: find the port with an instrument (or test the
// chosen one), check the instrument, send the I and then the Q waveform as
// definite-length blocks paced in 16-byte groups, and report.
#include <algorithm>
#include <span>
#include <vector>

#include "download/commands.h"
#include "download/download_rules.h"
#include "download/point_source.h"
#include "serial/serial_rules.h"
#include "ui/talmer_arb.h"

namespace talmer::ui {

namespace sl = talmer::serial;
using sl::comm_error;
using sl::instrument_query;

struct TALMER_ARB::serial_run {
  bool convert_flg;
  bool &error_active;
  std::string &error_text;
  std::string reply;   // the last reply, as the fixed reply text
  bool arb_on;
  std::int32_t clock;  // sample clock of an AWG2021 I source, 0 if none
  bool dataerror;      // an ASCII value was invalid or out of range
  std::vector<std::int16_t> block;
  std::string wire;    // the wire bytes of one block
};

namespace {

// Closes the port and switches receive notifications off on every way out
// of the download, also when something throws.
struct port_closer {
  sl::serial_port &port;
  ~port_closer() {
    port.set_PortOpen(false);
    port.set_RThreshold(0);
  }
};

}  // namespace

void TALMER_ARB::download_RS232(bool convert_flg, bool &error_active, std::string &error_text) {
  serial_run run{convert_flg, error_active, error_text, sl::fixed_reply(""), false, 0, false,
                 std::vector<std::int16_t>(sl::block_points), std::string()};
  port_closer closer{rs232};
  rs232.set_PortOpen(false);

  if (!serial_parts.complete()) {
    error_text = "The RS232 download is not available in this build.";
    error_active = true;
    return;
  }

  // A block header announces at most 9 digits of bytes: refuse a channel
  // longer than that before anything is sent.
  if ((i_points > 0 && !download::block_fits(i_points)) || (q_points > 0 && !download::block_fits(q_points))) {
    error_text = download::too_long_text();
    error_active = true;
    return;
  }

  rs232.OutBufferSize = 2 * sl::block_points;
  const std::string entry = Talmerid.text();
  if (entry == "Auto Detect") show_now(panel_teal, sl::finding_port_text);
  else show_now(panel_teal, sl::testing_port_text + entry);
  rs232.InputMode = sl::serial_port::input_mode::text;

  if (!serial_find_port(run) || !serial_check_instrument(run)) {
    error_active = true;
    return;
  }
  os().sleep_ms(1000);
  rs232.set_RThreshold(1);

  if (i_points > 0 && !serial_send_channel(run, 'I')) {
    error_active = true;
    return;
  }
  os().sleep_ms(1000);
  if (q_points > 0 && !serial_send_channel(run, 'Q')) {
    error_active = true;
    return;
  }

  set_panel_colour(panel_teal);
  show_message(serial_parts.done_message(convert_flg, run.clock, run.dataerror));
  rs232.set_PortOpen(false);
  rs232.set_RThreshold(0);
  repaint_panel();
}

bool TALMER_ARB::serial_find_port(serial_run &run) {
  const std::string entry = Talmerid.text();
  const bool automatic = entry == "Auto Detect";
  std::string &error_text = run.error_text;
  std::string denied;  // the message for the first port the user may not open
  bool found = false;
  for (int p = sl::first_port; !found && p <= sl::last_port; ++p) {
    // A chosen port is tried in each of the four rounds.
    rs232.set_CommPort(automatic ? p : sl::chosen_port_number(entry));
    rs232.clear_error();
    const comm_error opened = rs232.set_PortOpen(true);
    if (opened == comm_error::invalid_port) {
      if (!automatic) {
        error_text = entry + sl::not_on_computer_text;
        return false;
      }
      continue;
    }
    if (opened == comm_error::permission_denied) {
      std::string text = sl::permission_text(automatic ? "Comm " + std::to_string(p) : entry, rs232.last_device());
      if (!automatic) {
        error_text = text;
        return false;
      }
      if (denied.empty()) denied = std::move(text);
      continue;
    }
    // Any other failure to open is taken as a port that does not answer.
    if (opened == comm_error::none) wait_for_talmer = vb_false;  // no stale XOFF from an earlier run
    error_text = "";
    std::int64_t waiting = 0;
    if (rs232.InBufferCount(waiting) == comm_error::none && waiting >= 1) run.reply = sl::fixed_reply(rs232.Input());
    rs232.Output(serial_parts.query_text(instrument_query::identification) + "\n");
    bool answer = false;
    wait_answer(250, answer);
    if (answer) {
      run.reply = sl::fixed_reply(rs232.Input());
      if (serial_parts.is_talmer(run.reply)) {
        found = true;
      } else {
        // Something else answers here: the search stops at this port.
        rs232.set_PortOpen(false);
        error_text = sl::not_found_text;
        return false;
      }
    } else {
      rs232.set_PortOpen(false);
    }
  }
  if (!found) {
    if (error_text.empty()) error_text = denied.empty() ? std::string(sl::not_found_text) : denied;
    return false;
  }
  Talmerid.set_text("Comm " + std::to_string(rs232.CommPort()));
  return true;
}

bool TALMER_ARB::serial_query(serial_run &run, instrument_query q, double timeout) {
  rs232.Output(serial_parts.query_text(q) + "\n");
  bool answer = false;
  wait_answer(timeout, answer);
  std::string data;
  if (!answer || rs232.Input(data) == comm_error::lost_contact) {
    run.error_text = sl::lost_contact_text;
    return false;
  }
  run.reply = sl::fixed_reply(data);
  return true;
}

bool TALMER_ARB::serial_check_instrument(serial_run &run) {
  std::string &error_text = run.error_text;
  if (!serial_query(run, instrument_query::options, 200)) return false;
  if (!serial_parts.has_arb_option(run.reply)) {
    error_text = sl::no_option_text;
    return false;
  }

  run.arb_on = false;
  run.reply = sl::fixed_reply("");
  if (!serial_query(run, instrument_query::arb_state, 200)) return false;
  run.arb_on = serial_parts.arb_running(run.reply);

  run.reply = sl::fixed_reply("");
  if (!serial_query(run, instrument_query::selected_waveform, 200)) return false;
  const std::string name = destination.text();
  if (serial_parts.names_selected_waveform(run.reply, name) && run.arb_on) {
    error_text = download::replace_blocked_text(name);
    return false;
  }

  if (!serial_query(run, instrument_query::memory_catalog, 200)) return false;
  const download::memory_check room = serial_parts.check_avail_memory(run.reply, run.error_active, error_text);
  if (run.error_active) return false;
  if (room == download::memory_check::unparsable || rs232.pending_error() != comm_error::none) {
    error_text = std::string(download::unknown_io_error_text);
    return false;
  }
  return true;
}

bool TALMER_ARB::serial_wait_xon(std::int64_t deadline) {
  // Let a notification that is already due run first: an XOFF that arrived
  // while the group was written must hold back the next one.
  rs232.poll_receive();
  while (wait_for_talmer != vb_false) {
    if (rs232.lost() || os().now_ms() >= deadline) return false;
    os().sleep_ms(1);
    os().process_events();
    rs232.poll_receive();
  }
  return !rs232.lost();
}

bool TALMER_ARB::serial_wait_drained(std::int64_t deadline) {
  // Polls without pausing: a group of 16 bytes takes about 8 ms at 19200
  // baud.
  for (;;) {
    std::int64_t pending = 0;
    if (rs232.OutBufferCount(pending) != comm_error::none) return false;
    if (pending < 1) return true;
    if (os().now_ms() >= deadline) return false;
  }
}

bool TALMER_ARB::serial_send_channel(serial_run &run, char channel) {
  const bool is_i = channel == 'I';
  const std::int64_t total = is_i ? i_points : q_points;
  const std::string &filetype = is_i ? i_filetype : q_filetype;
  const std::string path = (is_i ? I_source : Q_source).text();
  auto fail = [&run, is_i] {
    run.error_text = is_i ? sl::i_failed_text : sl::q_failed_text;
    return false;
  };

  show_now(panel_green, is_i ? sl::downloading_i_text : sl::downloading_q_text);
  os().sleep_ms(1000);

  // The source is opened before the command goes out, so that a file that
  // vanished since it was checked leaves no half-begun block behind.
  if (is_i) run.clock = 0;
  const download::channel ch = is_i ? download::channel::I : download::channel::Q;
  auto reader = download::open_point_source(os(), download::reader_for(run.convert_flg, filetype), ch, path);
  if (!reader) return fail();
  // Only the I source's clock is used; the Q header is skipped.
  if (is_i) run.clock = reader->sample_clock();

  if (rs232.Output(serial_parts.store_prefix(channel, destination.text())) != comm_error::none) return fail();
  if (rs232.Output(serial_parts.block_header(total)) != comm_error::none) return fail();

  const bool swap = Swap.text() == "Yes" || run.convert_flg;
  std::int64_t remaining = total;
  download_progress.start(total, channel);
  while (remaining > 0) {
    const std::int64_t count = std::min<std::int64_t>(sl::block_points, remaining);
    if (!reader->read_chunk(run.block, count, run.dataerror)) return fail();
    if (swap) sl::swap_sample_bytes(run.block);
    run.wire.clear();
    sl::append_wire_bytes(std::span<const std::int16_t>(run.block).first(static_cast<std::size_t>(count)), run.wire);
    const sl::block_plan plan = sl::plan_block(2 * count);
    const std::string_view wire = run.wire;
    std::size_t at = 0;
    for (std::int64_t g = 0; g < plan.groups; ++g, at += sl::group_bytes) {
      if (rs232.Output(wire.substr(at, sl::group_bytes)) != comm_error::none) return fail();
      if (!serial_wait_xon(os().now_ms() + sl::instrument_timeout_ms)) return fail();
      if (!serial_wait_drained(os().now_ms() + sl::instrument_timeout_ms)) return fail();
    }
    for (std::int64_t b = 0; b < plan.single_bytes; ++b, ++at) {
      if (rs232.Output(wire.substr(at, 1)) != comm_error::none) return fail();
      if (!serial_wait_drained(os().now_ms() + sl::instrument_timeout_ms)) return fail();
    }
    remaining -= count;
    download_progress.advance(total - remaining);
  }
  if (rs232.Output("\n") != comm_error::none) return fail();
  if (!serial_wait_drained(os().now_ms() + sl::instrument_timeout_ms)) return fail();
  return true;
}

}  // namespace talmer::ui
