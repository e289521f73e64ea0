// The window's operations on the source waveform files: classification,
// the ASCII and AWG2021 readers the download calls, validation, automatic
// names, the point display and the estimate, and the commands that open
// the file chooser. Thin glue over the rules in this folder.
#include <algorithm>
#include <span>

#include "sources/ascii_points.h"
#include "sources/auto_names.h"
#include "sources/awg2021.h"
#include "sources/source_rules.h"
#include "ui/talmer_arb.h"

namespace talmer::ui {

namespace {
bool is_yes(const pick_list &l) { return l.text() == "Yes"; }
}  // namespace

// ---- Classification --------------------------------------------------------

void TALMER_ARB::classify_source(const text_box &name, const label &length, std::string &filetype,
                                 std::int64_t &count) {
  const std::int64_t bytes = sources::caption_number(length.caption());
  const std::string type = sources::source_type(name.text(), is_yes(convert_wfm));
  count = type == sources::type_ascii ? ascii_numpoints(name.text()) : sources::points_from_length(type, bytes);
  filetype = type;
}

void TALMER_ARB::I_length_Change() {
  classify_source(I_source, I_length, i_filetype, i_points);
  set_waveform_points();
  set_download_time();
}

void TALMER_ARB::Q_length_Change() {
  classify_source(Q_source, Q_length, q_filetype, q_points);
  set_waveform_points();
  set_download_time();
}

void TALMER_ARB::convert_wfm_Click() {
  I_length_Change();
  Q_length_Change();
}

void TALMER_ARB::show_source_length(label &length, const std::string &caption) {
  if (length.caption() == caption) {
    if (length.on_change) length.on_change();
  } else {
    length.set_caption(caption);
  }
}

// ---- Point display and estimate -------------------------------------------

void TALMER_ARB::set_waveform_points() {
  if (auto text = sources::point_display(i_points, q_points, is_yes(convert_wfm), i_filetype, q_filetype))
    points.set_caption(*text);
}

void TALMER_ARB::set_download_time() {
  sources::estimate_inputs in;
  in.i_points = i_points;
  in.q_points = q_points;
  in.i_length = sources::caption_number(I_length.caption());
  in.q_length = sources::caption_number(Q_length.caption());
  in.i_type = i_filetype;
  in.q_type = q_filetype;
  in.convert_on = is_yes(convert_wfm);
  in.rs232 = serial.selected();
  dwnldtime.set_caption(sources::time_display(points.caption(), in));
  dwnldtime.refresh();
}

// ---- ASCII files -----------------------------------------------------------

std::int64_t TALMER_ARB::ascii_numpoints(const std::string &name) {
  // Inside a download the inputs are locked already and must stay locked
  // until the download ends.
  const bool lock = Start_dwnld.enabled();
  if (lock) disable_controls();
  show_now(panel_yellow, std::string("Counting waveform points in the file: ") + NL + name + NL +
                             "This could take many seconds for a megabyte-long file.");
  std::int64_t count = 0;
  if (auto file = os_.open_read(name)) count = sources::count_tokens(*file);
  show_now(panel_teal, initial_text);
  if (lock) enable_controls();
  return count;
}

void TALMER_ARB::get_ascii_points(sources::ascii_reader &source, std::int16_t *numbuf, std::int64_t numbufsize,
                                  std::int64_t num_wfm_points, bool &dataerror) {
  sources::get_ascii_points(source, numbuf, numbufsize, num_wfm_points, dataerror);
}

// ---- AWG2021 files -----------------------------------------------------------

std::int32_t TALMER_ARB::extract_AWG_clock_freq(const std::uint8_t *hdrbuf) {
  return sources::awg_clock_frequency(std::span<const std::uint8_t, 102>(hdrbuf, 102));
}

void TALMER_ARB::convert_AWG(std::int64_t numbufsize, std::int16_t *numbuf, const std::string &I_or_Q) {
  sources::convert_awg_words(numbuf, numbufsize, I_or_Q != "Q");
}

// ---- Validation --------------------------------------------------------------

void TALMER_ARB::reread_source(text_box &box, label &length, std::int64_t &count) {
  if (auto len = os_.file_length(box.text())) {
    // Classified again even at an unchanged size: the name may have been
    // typed since, or the file rewritten.
    show_source_length(length, std::to_string(*len));
  } else {
    box.set_text("");
    length.set_caption("");
    count = 0;
  }
}

void TALMER_ARB::check_source_files(bool &convert_flg, bool &error_active, std::string &error_text) {
  error_active = true;
  reread_source(I_source, I_length, i_points);
  reread_source(Q_source, Q_length, q_points);
  set_waveform_points();
  set_download_time();

  sources::validation_inputs in;
  in.i_points = i_points;
  in.q_points = q_points;
  in.i_type = i_filetype;
  in.q_type = q_filetype;
  in.convert_on = is_yes(convert_wfm);
  const std::string name = destination.text();
  const std::string shown = points.caption();
  in.name = name;
  in.points_caption = shown;
  const sources::validation_result r = sources::validate_sources(in);
  if (r.no_download_displays) {
    points.set_caption(sources::no_download);
    points.refresh();
    dwnldtime.set_caption(sources::no_download);
    dwnldtime.refresh();
  }
  if (r.convert) convert_flg = *r.convert;
  if (r.error) {
    error_text = r.text;
    return;
  }
  error_active = false;
}

// ---- Automatic names -----------------------------------------------------------

void TALMER_ARB::I_source_Change() {
  const std::string name = I_source.text();
  if (name.empty()) return;
  std::int64_t i_position = -1;
  if (auto_find_q.checked()) {
    std::int64_t q_length = 0;
    auto found = sources::find_matching_q(name, [this, &q_length](const std::string &candidate) {
      auto len = os_.file_length(candidate);
      if (len) q_length = *len;
      return len.has_value();
    });
    if (found) {
      Q_source.set_text(found->name);
      i_position = found->i_position;
      show_source_length(Q_length, std::to_string(q_length));
    }
  }
  destination_filename(i_position);
}

void TALMER_ARB::destination_filename(std::int64_t i_position) {
  if (!Auto_name.checked()) return;
  std::string name = sources::waveform_name_from(I_source.text(), i_position);
  if (!name.empty()) destination.set_text(name);
}

// ---- Commands that open the file chooser ------------------------------------------

void TALMER_ARB::choose_source(text_box &box, label &length, bool empty_first) {
  if (!show_file_chooser) return;
  show_file_chooser();
  if (getfile.empty()) return;
  const std::string path = getfile;
  auto len = os_.file_length(path);
  if (!len) {
    show_now(panel_red, "The file " + path + " cannot be read.");
    return;
  }
  if (empty_first) box.set_text("");
  box.set_text(path);
  show_source_length(length, std::to_string(*len));
}

void TALMER_ARB::Select_I_Click() {
  set_panel_colour(panel_teal);
  choose_source(I_source, I_length, true);
}

void TALMER_ARB::Select_Q_Click() {
  set_panel_colour(panel_teal);
  choose_source(Q_source, Q_length, false);
}

void TALMER_ARB::I_source_DblClick() { choose_source(I_source, I_length, false); }

}  // namespace talmer::ui
