// The window's operations on the source files: classification on every
// change of a size caption, the ASCII count with its busy panel, the
// commands that open the chooser, automatic names, validation through
// "Start Download", and the download's block readers.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "platform/fake_os.h"
#include "support/memory_file.h"
#include "ui/messages.h"
#include "ui/talmer_arb.h"

using namespace talmer::ui;
using talmer::platform::fake_os;

namespace {

// Records the panel and the lock state at the moment a file is opened.
struct watching_os : fake_os {
  TALMER_ARB *w = nullptr;
  std::vector<std::pair<std::string, std::string>> panel_at_open;  // colour, text
  std::vector<bool> locked_at_open;
  std::unique_ptr<talmer::platform::input_file> open_read(const std::string &path) override {
    if (w) {
      panel_at_open.emplace_back(colour_name(w->msgsbkgd.fill()), w->Messages.caption());
      locked_at_open.push_back(!w->Start_dwnld.enabled());
    }
    return fake_os::open_read(path);
  }
};

struct sources_fixture : ::testing::Test {
  watching_os os;
  TALMER_ARB w{os};
  std::vector<std::string> chooser_answers;  // what the chooser returns, in turn
  int chooser_shown = 0;

  void SetUp() override {
    os.use_real_files = false;
    os.w = &w;
    w.show_file_chooser = [this] {
      ++chooser_shown;
      if (!chooser_answers.empty()) {
        w.getfile = chooser_answers.front();
        chooser_answers.erase(chooser_answers.begin());
      }
    };
    w.Form_Load();  // neither i.bin nor q.bin: both sources empty
  }
  void file(const std::string &path, const std::string &bytes) { os.file_contents[path] = bytes; }
  void sized(const std::string &path, std::int64_t length) { os.files[path] = length; }
  void choose_i(const std::string &path) {
    chooser_answers.push_back(path);
    w.Select_I.click();
  }
  void choose_q(const std::string &path) {
    chooser_answers.push_back(path);
    w.Select_Q.click();
  }
  std::string download() {
    w.Start_dwnld.click();
    return w.Messages.caption();
  }
  std::string numbers(int n) {
    std::string s;
    for (int k = 0; k < n; ++k) s += std::to_string(k) + "\n";
    return s;
  }
};

}  // namespace

TEST_F(sources_fixture, classification_follows_the_size_caption_and_the_conversion_choice) {
  sized("wave.wfm", 16486);
  w.Auto_name.set_checked(false);
  choose_i("wave.wfm");
  EXPECT_EQ(w.i_filetype, "AWG");
  EXPECT_EQ(w.i_points, 8192);
  EXPECT_EQ(w.points.caption(), "8192");
  w.convert_wfm.choose_text("No");
  EXPECT_EQ(w.i_filetype, "BINARY");
  EXPECT_EQ(w.i_points, 8243);
  w.convert_wfm.choose_text("Maybe");
  EXPECT_EQ(w.i_filetype, "BINARY");
  w.convert_wfm.choose_text("Yes");
  EXPECT_EQ(w.i_points, 8192);

  sized("short.wfm", 100);
  choose_i("short.wfm");
  EXPECT_EQ(w.i_points, -1);
  EXPECT_EQ(w.points.caption(), "No Download");
}

TEST_F(sources_fixture, ascii_count_paints_the_busy_panel_first_and_locks_the_inputs) {
  file("/data/ramp.txt", "1, 2,,3\r\n");
  choose_i("/data/ramp.txt");
  EXPECT_EQ(w.i_filetype, "ASCII");
  EXPECT_EQ(w.i_points, 3);
  ASSERT_EQ(os.panel_at_open.size(), 1u);
  EXPECT_EQ(os.panel_at_open[0].first, "yellow");
  EXPECT_EQ(os.panel_at_open[0].second, std::string("Counting waveform points in the file: ") + NL +
                                            "/data/ramp.txt" + NL +
                                            "This could take many seconds for a megabyte-long file.");
  EXPECT_TRUE(os.locked_at_open[0]);
  EXPECT_EQ(colour_name(w.msgsbkgd.fill()), "teal");
  EXPECT_EQ(w.Messages.caption(), initial_text);
  EXPECT_TRUE(w.Start_dwnld.enabled());
  EXPECT_TRUE(w.I_source.enabled()) << "the first unlock enables the path boxes";

  // Every conversion choice counts again from disk.
  file("/data/ramp.txt", "1 2 3 4 5");
  w.convert_wfm.choose_text("Yes");
  EXPECT_EQ(w.i_points, 5);
  EXPECT_EQ(os.panel_at_open.size(), 2u);
}

TEST_F(sources_fixture, an_ascii_file_that_cannot_be_opened_counts_zero) {
  sized("gone.txt", 50);  // sized, but no contents to open
  choose_i("gone.txt");
  EXPECT_EQ(w.i_filetype, "ASCII");
  EXPECT_EQ(w.i_points, 0);
  EXPECT_EQ(w.Messages.caption(), initial_text);
}

TEST_F(sources_fixture, choosing_the_same_file_again_classifies_again) {
  int i_changes = 0;
  w.I_source.observe([&](control &, change c) { i_changes += c == change::content ? 1 : 0; });
  sized("a.bin", 64);
  choose_i("a.bin");
  choose_i("a.bin");
  EXPECT_EQ(i_changes, 3) << "emptied and set each time, so the I change reaction runs both times";

  // Another file of the same size is classified by its own name.
  file("b.txt", "1 2 3");
  sized("b.txt", 64);
  choose_i("b.txt");
  EXPECT_EQ(w.i_filetype, "ASCII");
  EXPECT_EQ(w.i_points, 3);
}

TEST_F(sources_fixture, cancel_and_unreadable_choices_change_nothing) {
  sized("a.bin", 64);
  choose_i("a.bin");
  chooser_answers.push_back("");
  w.Select_I.click();
  EXPECT_EQ(w.I_source.text(), "a.bin");
  EXPECT_EQ(w.I_length.caption(), "64");

  choose_q("vanished.bin");
  EXPECT_EQ(w.Q_source.text(), "");
  EXPECT_EQ(colour_name(w.msgsbkgd.fill()), "red");
  EXPECT_EQ(w.Messages.caption(), "The file vanished.bin cannot be read.");

  // A chooser that is not installed does nothing.
  w.show_file_chooser = nullptr;
  w.Select_I.click();
  EXPECT_EQ(w.I_source.text(), "a.bin");
}

TEST_F(sources_fixture, select_q_and_the_double_click) {
  sized("q1.bin", 32);
  w.msgsbkgd.set_fill(panel_red);
  choose_q("q1.bin");
  EXPECT_EQ(w.Q_source.text(), "q1.bin");
  EXPECT_EQ(w.Q_length.caption(), "32");
  EXPECT_EQ(w.q_points, 16);
  EXPECT_EQ(colour_name(w.msgsbkgd.fill()), "teal");

  // The double click works once the boxes are enabled, and keeps the panel
  // colour (Auto Name off: a new waveform name would turn the panel teal).
  w.enable_controls();
  w.Auto_name.set_checked(false);
  sized("i2.bin", 40);
  w.msgsbkgd.set_fill(panel_red);
  chooser_answers.push_back("i2.bin");
  w.I_source.double_click();
  EXPECT_EQ(w.I_source.text(), "i2.bin");
  EXPECT_EQ(w.i_points, 20);
  EXPECT_EQ(colour_name(w.msgsbkgd.fill()), "red");
  const int shown = chooser_shown;
  w.Q_source.double_click();
  EXPECT_EQ(chooser_shown, shown) << "double-clicking the Q box has no reaction";
}

TEST_F(sources_fixture, auto_find_q_and_auto_name) {
  sized("/wave/sig_i.bin", 64);
  sized("/wave/sig_q.bin", 128);
  choose_i("/wave/sig_i.bin");
  EXPECT_EQ(w.Q_source.text(), "/wave/sig_q.bin");
  EXPECT_EQ(w.Q_length.caption(), "128");
  EXPECT_EQ(w.q_points, 64);
  EXPECT_EQ(w.destination.text(), "sig");
  EXPECT_EQ(w.points.caption(), "No Download");

  // Unchecked: no search; the name comes from the whole file name.
  w.auto_find_q.set_checked(false);
  sized("/wave/tone_i.bin", 64);
  sized("/wave/tone_q.bin", 64);
  choose_i("/wave/tone_i.bin");
  EXPECT_EQ(w.Q_source.text(), "/wave/sig_q.bin");
  EXPECT_EQ(w.destination.text(), "tone_i");

  // Auto Name unchecked: the name stays, the search still runs.
  w.auto_find_q.set_checked(true);
  w.Auto_name.set_checked(false);
  choose_i("/wave/tone_i.bin");
  EXPECT_EQ(w.Q_source.text(), "/wave/tone_q.bin");
  EXPECT_EQ(w.destination.text(), "tone_i");

  // An emptied I name changes neither.
  w.Auto_name.set_checked(true);
  w.clearsrc.click();
  EXPECT_EQ(w.destination.text(), "tone_i");
}

TEST_F(sources_fixture, automatic_q_of_the_same_size_as_the_old_one_is_classified) {
  sized("/w/a_i.bin", 64);
  sized("/w/a_q.bin", 64);
  file("/w/b_i.txt", numbers(20));
  file("/w/b_q.txt", numbers(20));
  os.files["/w/b_q.txt"] = 64;  // same size as a_q.bin
  choose_i("/w/a_i.bin");
  EXPECT_EQ(w.q_filetype, "BINARY");
  choose_i("/w/b_i.txt");
  EXPECT_EQ(w.Q_source.text(), "/w/b_q.txt");
  EXPECT_EQ(w.q_filetype, "ASCII");
  EXPECT_EQ(w.q_points, 20);
}

// ---- Validation through "Start Download" --------------------------------------

TEST_F(sources_fixture, download_shows_each_validation_failure_in_red_and_unlocks) {
  const std::string equal = std::string("Waveforms must be equal length or one of zero length,") + NL +
                            " and must have an even number of points.";
  EXPECT_EQ(download(), "Source I and Q files not found.");
  EXPECT_EQ(colour_name(w.msgsbkgd.fill()), "red");
  EXPECT_EQ(w.points.caption(), "No Download");
  EXPECT_EQ(w.dwnldtime.caption(), "No Download");
  EXPECT_TRUE(w.Start_dwnld.enabled());

  sized("/w/x_i.bin", 200);
  sized("/w/x_q.bin", 400);
  choose_i("/w/x_i.bin");
  EXPECT_EQ(download(), equal);
  w.destination.set_text("");
  EXPECT_EQ(download(), "Talmer Waveform Name must be entered.");
  w.destination.set_text("abcdefghijklmnopqrstuvwx");
  EXPECT_EQ(download(), "Talmer Waveform Name must be less than 24 characters.");
  w.destination.set_text("say \"hi\"");
  EXPECT_EQ(download(), "Talmer Waveform Name must not contain double quotes, commas, control or non-ASCII characters.");
  w.destination.set_text("x");

  file("/w/y_i.txt", numbers(100));
  sized("/w/y_q.bin", 200);
  choose_i("/w/y_i.txt");
  choose_q("/w/y_q.bin");
  EXPECT_EQ(download(), "I and Q files must be the same type for conversion.");

  sized("/w/s.bin", 28);
  choose_i("/w/s.bin");
  w.Q_source.set_text("");
  EXPECT_EQ(download(), "Waveform must have at least 16 waveform points.");
  sized("/w/s.bin", 34);
  EXPECT_EQ(download(), "Waveform must have an even number of waveform points.") << "re-read from disk";
  sized("/w/s.bin", 36);
  // Valid: the download goes on to look for a GPIB card (none here).
  EXPECT_EQ(download(), "Could not find a Corvane or National Instruments GPIB card.");
  EXPECT_EQ(w.points.caption(), "18");
}

TEST_F(sources_fixture, validation_rereads_a_typed_name_even_at_the_same_size) {
  sized("a.bin", 40);
  choose_i("a.bin");
  w.Q_source.set_text("");
  w.enable_controls();
  file("typed.txt", numbers(16));
  os.files["typed.txt"] = 40;
  w.I_source.set_text("typed.txt");  // typed: the size caption still reads 40
  bool convert = false, error = true;
  std::string text;
  w.check_source_files(convert, error, text);
  EXPECT_FALSE(error) << text;
  EXPECT_EQ(w.i_filetype, "ASCII");
  EXPECT_EQ(w.i_points, 16);
  EXPECT_TRUE(convert);
}

TEST_F(sources_fixture, validation_empties_a_source_whose_file_has_gone) {
  sized("/w/p_i.bin", 64);
  sized("/w/p_q.bin", 64);
  choose_i("/w/p_i.bin");
  os.files.erase("/w/p_q.bin");
  bool convert = true, error = true;
  std::string text;
  w.check_source_files(convert, error, text);
  EXPECT_FALSE(error);
  EXPECT_FALSE(convert);
  EXPECT_EQ(w.Q_source.text(), "");
  EXPECT_EQ(w.Q_length.caption(), "");
  EXPECT_EQ(w.q_points, 0);
  EXPECT_EQ(w.points.caption(), "32");
}

TEST_F(sources_fixture, the_count_inside_a_download_keeps_the_inputs_locked) {
  file("/w/r_i.txt", numbers(32));
  choose_i("/w/r_i.txt");
  os.locked_at_open.clear();
  w.disable_controls();
  bool convert = false, error = true;
  std::string text;
  w.check_source_files(convert, error, text);
  EXPECT_FALSE(error) << text;
  EXPECT_FALSE(w.Start_dwnld.enabled()) << "the download's lock holds";
  EXPECT_FALSE(w.PgmExit.enabled());
}

// ---- The readers as the download calls them --------------------------------------

TEST_F(sources_fixture, get_ascii_points_fills_blocks_and_marks_a_file_that_shrank) {
  file("/w/n.txt", numbers(10000));
  auto f = w.os().open_read("/w/n.txt");
  ASSERT_TRUE(f);
  talmer::sources::ascii_reader source(*f);
  std::vector<std::int16_t> numbuf(8192, 5);
  bool dataerror = false;
  std::int64_t remaining = 10000;
  w.get_ascii_points(source, numbuf.data(), 8192, remaining, dataerror);
  EXPECT_EQ(numbuf[8191], 8191);
  remaining -= 8192;
  w.get_ascii_points(source, numbuf.data(), 8192, remaining, dataerror);
  EXPECT_EQ(numbuf[0], 8192);
  EXPECT_EQ(numbuf[1807], 9999);
  EXPECT_EQ(numbuf[1808], 1808) << "the rest of the block is left from the first one";
  EXPECT_FALSE(dataerror);

  // Asked for more than the file holds (it shrank after it was counted):
  // the reader stops at once, stores 0 for the missing points and marks it.
  file("/w/short.txt", "1 2 3");
  auto g = w.os().open_read("/w/short.txt");
  talmer::sources::ascii_reader shrunk(*g);
  std::vector<std::int16_t> buf(2048, 9);
  w.get_ascii_points(shrunk, buf.data(), 2048, 100, dataerror);
  EXPECT_EQ(buf[0], 1);
  EXPECT_EQ(buf[2], 3);
  EXPECT_EQ(buf[3], 0);
  EXPECT_EQ(buf[99], 0);
  EXPECT_EQ(buf[100], 9) << "points past n are left as they were";
  EXPECT_TRUE(dataerror);
}

TEST_F(sources_fixture, awg_file_read_as_the_download_reads_it) {
  // Header with a 100 MHz clock, then 8192 words: one GPIB block, four RS-232 blocks.
  std::string bytes(102, '\0');
  const unsigned char clock[8] = {0x41, 0x97, 0xD7, 0x84, 0, 0, 0, 0};
  std::memcpy(bytes.data() + 56, clock, 8);
  for (int k = 0; k < 8192; ++k) {
    bytes += static_cast<char>(0x60 | ((k >> 8) & 0x0F));
    bytes += static_cast<char>(k & 0xFF);
  }
  file("/w/t.wfm", bytes);
  w.Auto_name.set_checked(false);
  choose_i("/w/t.wfm");
  ASSERT_EQ(w.i_points, 8192);
  auto f = w.os().open_read("/w/t.wfm");
  std::array<std::uint8_t, 102> hdr{};
  ASSERT_EQ(f->read_full(hdr.data(), 102), 102);
  EXPECT_EQ(TALMER_ARB::extract_AWG_clock_freq(hdr.data()), 100000000);
  std::vector<std::int16_t> numbuf(2048);
  int blocks = 0;
  for (std::int64_t remaining = w.i_points; remaining > 0; remaining -= 2048, ++blocks) {
    ASSERT_EQ(f->read_full(numbuf.data(), 4096), 4096);
    TALMER_ARB::convert_AWG(2048, numbuf.data(), "I");
    const int k = blocks * 2048 + 5;
    EXPECT_EQ(static_cast<std::uint16_t>(numbuf[5]), 0xC000u | static_cast<unsigned>((k & 0x0FFF) * 4));
  }
  EXPECT_EQ(blocks, 4);
}
