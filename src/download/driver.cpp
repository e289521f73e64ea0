#include "download/driver.h"

#include <array>

#include "download/download_rules.h"
#include "download/memory_check.h"
#include "ui/messages.h"
#include "ui/talmer_arb.h"

namespace talmer::download {

namespace {

// Releases the link on every way out of the run: close_link or abort_link
// when the driver says so, abort_link when an exception passes through (a
// failure while releasing is then dropped, so the first one is the one
// that reaches the caller).
class link_release {
 public:
  explicit link_release(download_link &link) : link_(link) {}
  ~link_release() {
    if (!armed_) return;
    try {
      link_.abort_link();
    } catch (...) {
    }
  }
  link_release(const link_release &) = delete;
  link_release &operator=(const link_release &) = delete;

  void close() {
    armed_ = false;
    link_.close_link();
  }
  void abort() {
    armed_ = false;
    link_.abort_link();
  }

 private:
  download_link &link_;
  bool armed_ = true;
};

}  // namespace

download_result send_over_link(download_link &link, point_source_opener &opener,
                               const download_request &req, download_panel &panel,
                               progress_observer *progress) {
  download_result r;
  auto fail = [&r](std::string text) {
    r.error_active = true;
    r.error_text = std::move(text);
    return r;
  };

  panel.show_now(ui::panel_teal, using_interface_text(req.gpibcard, req.intfc, req.address));
  panel.pause_ms(500);
  bool arb_on = false;
  // A byte count of more than 9 digits cannot be announced in a block
  // header; such a waveform is refused before anything is sent.
  for (const channel_source *src : {&req.i, &req.q})
    if (src->points > 0 && !block_fits(src->points)) return fail(too_long_text());

  link.open_link(req.intfc, req.address);
  link_release release(link);
  std::string reply(reply_buffer_size, ' ');

  // A waveform that the running ARB plays is not replaced.
  link.query(arb_state_query, reply);
  if (arb_running(reply)) arb_on = true;
  link.query(selected_waveform_query, reply);
  if (arb_on && selected_waveform_is(reply, req.name)) {
    release.abort();
    return fail(replace_blocked_text(req.name));
  }

  link.query(catalog_query, reply);
  // The check rewrites the text it reads; the reply buffer keeps its
  // fixed length for the completion reads that follow.
  std::string catalog = reply;
  const memory_check room =
      check_avail_memory(catalog, req.name, req.points_caption, r.error_active, r.error_text);
  if (r.error_active) {
    release.abort();
    return r;
  }
  if (link.query_phase_failed(room == memory_check::unparsable)) {
    release.abort();
    return fail(std::string(unknown_io_error_text));
  }
  link.enter_data_phase();

  std::array<std::int16_t, chunk_points> buffer{};
  const bool swap = swap_bytes(req.swap_yes, req.convert_flg);
  for (channel ch : {channel::I, channel::Q}) {
    const channel_source &src = ch == channel::I ? req.i : req.q;
    const std::int64_t n = src.points;
    if (n > 0) {
      panel.show_now(ui::panel_green, downloading_text(ch));
      panel.pause_ms(500);
      const std::string prefix = store_prefix(ch, req.name);
      const std::string header = block_header(n);
      link.begin_block({ch, prefix, header, n, swap});

      std::unique_ptr<point_source> source =
          opener.open(reader_for(req.convert_flg, src.filetype), ch, src.path);
      if (!source) {
        release.abort();
        return fail(source_read_failed_text(ch, src.path));
      }
      if (ch == channel::I) r.awg_clock = source->sample_clock();
      if (progress) progress->channel_progress(ch, 0, n);

      std::int64_t remaining = n;
      while (remaining > 0) {
        const chunk c = next_chunk(remaining);
        if (!source->read_chunk(buffer, c.points, r.dataerror)) {
          source.reset();
          release.abort();
          return fail(source_read_failed_text(ch, src.path));
        }
        link.write_chunk(buffer, c.bytes, c.last);
        remaining -= c.points;
        if (link.chunk_failed()) {
          source.reset();
          release.abort();
          return fail(link.timeout_text(ch));
        }
        if (progress) progress->channel_progress(ch, n - remaining, n);
      }
      link.end_block();
      source.reset();
    }
    // Also after a channel without points: the instrument has taken the
    // previous block before the next one starts.
    link.wait_complete(reply);
  }

  // The last completion query is the only sign that the instrument took
  // the last block; without its answer the run is not reported as done.
  if (link.completion_failed()) {
    release.abort();
    return fail(not_confirmed_text());
  }
  release.close();
  r.message = success_text(req.convert_flg, r.awg_clock, r.dataerror);
  return r;
}

link_timing timing_from_window(ui::TALMER_ARB &w) {
  return {numeric_value(w.dwnldtime.caption()), numeric_value(w.I_length.caption()),
          numeric_value(w.Q_length.caption())};
}

download_request request_from_window(ui::TALMER_ARB &w, const std::string &gpibcard,
                                     const std::string &intfc, int address, bool convert_flg) {
  download_request req;
  req.gpibcard = gpibcard;
  req.intfc = intfc;
  req.address = address;
  req.name = w.destination.text();
  req.points_caption = w.points.caption();
  req.swap_yes = w.Swap.text() == "Yes";
  req.convert_flg = convert_flg;
  req.i = {w.i_points, w.I_source.text(), w.i_filetype};
  req.q = {w.q_points, w.Q_source.text(), w.q_filetype};
  return req;
}

namespace {

class window_panel : public download_panel {
 public:
  explicit window_panel(ui::TALMER_ARB &w) : w_(w) {}
  void show_now(ui::rgb colour, const std::string &text) override { w_.show_now(colour, text); }
  void pause_ms(std::int64_t ms) override { w_.os().sleep_ms(ms); }

 private:
  ui::TALMER_ARB &w_;
};

class window_progress : public progress_observer {
 public:
  explicit window_progress(ui::TALMER_ARB &w) : w_(w) {}
  void channel_progress(channel c, std::int64_t sent, std::int64_t total) override {
    auto &bar = w_.download_progress;
    const char letter = channel_letter(c);
    if (!bar.active() || bar.channel() != letter || sent == 0) bar.start(total, letter);
    bar.advance(sent);
  }

 private:
  ui::TALMER_ARB &w_;
};

}  // namespace

void gpib_download(ui::TALMER_ARB &w, download_link &link, point_source_opener &opener,
                   const std::string &gpibcard, const std::string &intfc, int Talmeraddr,
                   bool convert_flg, bool &error_active, std::string &error_text) {
  window_panel panel(w);
  window_progress progress(w);
  const download_result r = send_over_link(
      link, opener, request_from_window(w, gpibcard, intfc, Talmeraddr, convert_flg), panel,
      &progress);
  if (r.error_active) {
    error_active = true;
    error_text = r.error_text;
    return;
  }
  w.set_panel_colour(ui::panel_teal);
  w.show_message(r.message);
}


}  // namespace talmer::download
