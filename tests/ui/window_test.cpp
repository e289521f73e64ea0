// The window model: start-up, Clear, Refresh, link selection, locking of
// the inputs, help texts and panel colours.
#include <gtest/gtest.h>

#include "platform/fake_os.h"
#include "ui/messages.h"
#include "ui/talmer_arb.h"

using namespace talmer::ui;
using talmer::platform::fake_os;

namespace {

struct window_fixture : ::testing::Test {
  fake_os os;
  TALMER_ARB w{os};
  void SetUp() override { os.use_real_files = false; }
};

std::vector<std::string> items(const pick_list &l) { return l.items(); }

}  // namespace

TEST_F(window_fixture, start_up_without_default_files_empties_both_sources_silently) {
  w.Form_Load();
  EXPECT_EQ(w.I_source.text(), "");
  EXPECT_EQ(w.Q_source.text(), "");
  EXPECT_EQ(w.I_length.caption(), "");
  EXPECT_EQ(w.Q_length.caption(), "");
  EXPECT_EQ(w.Messages.caption(), "(Click on labels to see help.)");
  EXPECT_EQ(w.msgsbkgd.fill(), panel_teal);
  EXPECT_TRUE(os.message_boxes.empty());
}

TEST_F(window_fixture, start_up_with_default_files_shows_their_sizes_and_defaults) {
  os.files = {{"i.bin", 32768}, {"q.bin", 100}};
  w.Form_Load();
  EXPECT_EQ(w.I_source.text(), "i.bin");
  EXPECT_EQ(w.I_length.caption(), "32768");
  EXPECT_EQ(w.Q_length.caption(), "100");
  EXPECT_EQ(w.Talmerid.text(), "Auto Detect");
  EXPECT_EQ(w.Swap.text(), "Yes");
  EXPECT_EQ(w.convert_wfm.text(), "Yes");
  EXPECT_TRUE(w.corvaneib.selected());
  EXPECT_FALSE(w.serial.selected());
  EXPECT_EQ(w.lblCOMM.caption(), "Corvane-IB Address");
  EXPECT_EQ(w.Talmerid.items().size(), 32u);
  EXPECT_EQ(w.debug_active, 0);
  EXPECT_EQ(w.i_filetype, "BINARY");
  EXPECT_EQ(w.q_filetype, "BINARY");
  EXPECT_FALSE(w.I_source.enabled());
  EXPECT_FALSE(w.Q_source.enabled());
}

TEST_F(window_fixture, clear_empties_paths_and_shows_no_download) {
  os.files = {{"i.bin", 64}, {"q.bin", 64}};
  w.Form_Load();
  w.msgsbkgd.set_fill(panel_red);
  w.clearsrc.click();
  EXPECT_EQ(w.I_source.text(), "");
  EXPECT_EQ(w.Q_source.text(), "");
  EXPECT_EQ(w.I_length.caption(), "0");
  EXPECT_EQ(w.Q_length.caption(), "0");
  EXPECT_EQ(w.i_points, 0);
  EXPECT_EQ(w.q_points, 0);
  EXPECT_EQ(w.points.caption(), "No Download");
  EXPECT_EQ(w.dwnldtime.caption(), "No Download");
  EXPECT_EQ(w.msgsbkgd.fill(), panel_teal);
}

TEST_F(window_fixture, refresh_rereads_sizes_and_empties_a_vanished_file) {
  os.files = {{"i.bin", 64}, {"q.bin", 64}};
  w.Form_Load();
  os.files = {{"i.bin", 128}};
  w.msgsbkgd.set_fill(panel_yellow);
  w.Refresh_files.click();
  EXPECT_EQ(w.I_length.caption(), "128");
  EXPECT_EQ(w.Q_source.text(), "");
  EXPECT_EQ(w.Q_length.caption(), "");
  EXPECT_EQ(w.msgsbkgd.fill(), panel_teal);
}

TEST_F(window_fixture, rs232_and_gpib_mouse_presses_refill_the_list_and_show_help) {
  w.Form_Load();
  w.serial.mouse_down();
  EXPECT_TRUE(w.serial.selected());
  EXPECT_FALSE(w.corvaneib.selected());
  EXPECT_EQ(w.lblCOMM.caption(), "Serial Port");
  EXPECT_EQ(items(w.Talmerid), (std::vector<std::string>{"Auto Detect", "Comm 1", "Comm 2", "Comm 3", "Comm 4"}));
  EXPECT_EQ(w.Talmerid.text(), "Auto Detect");
  EXPECT_EQ(w.Messages.caption(), help_12);

  w.Talmerid.set_text("comm 3");
  w.corvaneib.mouse_down();
  EXPECT_TRUE(w.corvaneib.selected());
  EXPECT_EQ(w.lblCOMM.caption(), "GPIB Address");
  ASSERT_EQ(w.Talmerid.items().size(), 32u);
  EXPECT_EQ(w.Talmerid.items()[1], "0");
  EXPECT_EQ(w.Talmerid.items()[31], "30");
  EXPECT_EQ(w.Talmerid.text(), "Auto Detect");
  EXPECT_EQ(w.Messages.caption(), help_4);
}

TEST_F(window_fixture, gpib_mouse_press_while_selected_keeps_the_chosen_address) {
  w.Form_Load();
  w.Talmerid.set_text("19");
  w.corvaneib.mouse_down();
  EXPECT_EQ(w.Talmerid.text(), "19");
  EXPECT_EQ(w.lblCOMM.caption(), "Corvane-IB Address");
}

TEST_F(window_fixture, keyboard_selection_of_rs232_changes_only_the_option) {
  w.Form_Load();
  w.serial.set_selected(true);
  EXPECT_TRUE(w.serial.selected());
  EXPECT_EQ(w.lblCOMM.caption(), "Corvane-IB Address");
  EXPECT_EQ(w.Talmerid.items().size(), 32u);
}

TEST_F(window_fixture, disable_and_enable_switch_the_inputs_in_order_and_keep_the_choice) {
  w.Form_Load();
  w.serial.mouse_down();
  w.Talmerid.set_text("Comm 3");
  std::vector<std::string> order;
  std::vector<int> tokens;
  for (control *c : w.controls())
    tokens.push_back(c->observe([&order](control &ctl, change ch) {
      if (ch == change::enabled) order.push_back(ctl.name() + (ctl.enabled() ? "+" : "-"));
    }));
  w.disable_controls();
  EXPECT_EQ(order, (std::vector<std::string>{
                       "PgmExit-", "destination-", "Start_dwnld-", "clearsrc-", "Swap-",
                       "convert_wfm-", "Select_I-", "Select_Q-", "Refresh_files-", "Auto_name-",
                       "auto_find_q-", "Talmerid-", "corvaneib-", "serial-"}));
  EXPECT_TRUE(w.serial.selected());
  EXPECT_FALSE(w.corvaneib.selected());
  EXPECT_EQ(w.Talmerid.text(), "Comm 3");
  EXPECT_EQ(w.lblCOMM.caption(), "Serial Port");
  order.clear();
  w.enable_controls();
  EXPECT_EQ(order, (std::vector<std::string>{
                       "PgmExit+", "I_source+", "Q_source+", "Talmerid+", "destination+",
                       "Start_dwnld+", "clearsrc+", "Swap+", "convert_wfm+", "Select_I+", "Select_Q+",
                       "Refresh_files+", "corvaneib+", "serial+", "Auto_name+", "auto_find_q+"}));
  EXPECT_TRUE(w.I_source.enabled());
  EXPECT_TRUE(w.Q_source.enabled());
  for (control *c : w.controls()) EXPECT_TRUE(c->enabled()) << c->name();
}

TEST_F(window_fixture, path_boxes_refuse_double_click_until_first_enable) {
  int opened = 0;
  w.show_file_chooser = [&] { ++opened; };
  w.Form_Load();
  w.I_source.double_click();
  EXPECT_EQ(opened, 0);
  w.disable_controls();
  w.enable_controls();
  w.I_source.double_click();
  w.Q_source.double_click();
  EXPECT_GE(opened, 0);  // the chooser reaction itself belongs to the sources
}

struct help_case {
  const char *name;
  void (*press)(TALMER_ARB &);
  std::string expected;
};

class help_texts : public ::testing::TestWithParam<help_case> {};

TEST_P(help_texts, each_caption_shows_its_text_on_teal) {
  fake_os os;
  os.use_real_files = false;
  TALMER_ARB w(os);
  w.Form_Load();
  w.msgsbkgd.set_fill(panel_red);
  GetParam().press(w);
  EXPECT_EQ(w.Messages.caption(), GetParam().expected);
  EXPECT_EQ(w.msgsbkgd.fill(), panel_teal);
}

INSTANTIATE_TEST_SUITE_P(
    window, help_texts,
    ::testing::Values(
        help_case{"lbl_dwnld", [](TALMER_ARB &w) { w.lbl_dwnld.mouse_down(); },
                  "This is an ESTIMATE of the total time to download the specified files.\n\r"
                  "This estimate is based on a 200 MHz CPU."},
        help_case{"lblDestination", [](TALMER_ARB &w) { w.lblDestination.mouse_down(); },
                  "This is the name that the waveform will have once it resides in the Talmer's ARB.\n\r"
                  "Both source files will be combined into this one waveform name."},
        help_case{"title", [](TALMER_ARB &w) { w.title.mouse_down(); },
                  "This program downloads waveform files to the Corvane Talmer using .\n\r"
                  "an GPIB card (Corvane or National Instruments), or RS232 port.\n\rVersion 2.4"},
        help_case{"Version", [](TALMER_ARB &w) { w.Version.mouse_down(); },
                  "This program downloads waveform files to the Corvane Talmer using .\n\r"
                  "an GPIB card (Corvane or National Instruments), or RS232 port.\n\rVersion 2.4"},
        help_case{"corvaneib", [](TALMER_ARB &w) { w.corvaneib.mouse_down(); },
                  "Use GPIB to download files to the Talmer ARB.  \n\r"
                  "AutoDetect will try to find the GPIB address of the Talmer,\n\r"
                  "or a particular address may be specified."},
        help_case{"lbl_points", [](TALMER_ARB &w) { w.lbl_points.mouse_down(); },
                  "A waveform point is an integer consisting of two bytes. \n\r"
                  "There will be half as many waveform points\n\r"
                  "as there are bytes of each source file (except for ASCII files)."},
        help_case{"Label1", [](TALMER_ARB &w) { w.Label1.mouse_down(); },
                  "There must be at least one source file, and normally two: I and Q.\n\r"
                  "They must have an even number of waveform points.\n\r"
                  "Each source file specified must have at least 16 waveform points."},
        help_case{"Cvrt_wfm", [](TALMER_ARB &w) { w.Cvrt_wfm.mouse_down(); },
                  "Converts files named *.txt, *.asc, *.dat, *.prn, *.csv from ASCII format \n\r"
                  "with spaces, commas, tabs, carriage returns, and line feeds as delimiters.\n\r"
                  "Also converts files named *.wfm from AWG2021 format. "},
        help_case{"Auto_Name_Lbl", [](TALMER_ARB &w) { w.Auto_Name_Lbl.click(); },
                  "If there is a check in the checkbox, the Talmer Waveform Name will be set to the \n\r"
                  "I filename. A waveform name can also be typed in.\n\r"
                  "With no checkmark, the waveform name must be typed in. "},
        help_case{"Swap_focus", [](TALMER_ARB &w) { w.Swap.got_focus(); },
                  "Set SWAP Bytes depending on the origin of the source files.\n\r"
                  "Use YES if the files were made and saved on a PC (Little Endien).\n\r"
                  "Use NO if the files were made and saved on UNIX (Big Endien). "},
        help_case{"ByteSwap", [](TALMER_ARB &w) { w.ByteSwap.mouse_down(); },
                  "Set SWAP Bytes depending on the origin of binary source files.\n\r"
                  "Use YES if the files were made and saved on a PC (Little Endien).\n\r"
                  "Use NO if the files were made and saved on UNIX (Big Endien). "},
        help_case{"Auto_Find_Q_Lbl", [](TALMER_ARB &w) { w.Auto_Find_Q_Lbl.click(); },
                  "With 'Auto Find Q' checked, when a new I Waveform is entered, an attempt \n\r"
                  "will be made to find a matching Q file with an 'I' or 'i' replaced by a 'Q' or 'q'.  If \n\r"
                  "such a file is found, it will be automatically entered into Q Waveform box. "},
        help_case{"serial", [](TALMER_ARB &w) { w.serial.mouse_down(); },
                  "Use a NULL MODEM Cable.   Set Talmer to:\n\r"
                  "19200 Baud,   Transmit Pace None,     Receive Pace Xon,\n\r"
                  "RTS/CTS Off,    RS232 Echo Off,    RS232 Timeout = 60 Seconds."},
        help_case{"Swap_leave", [](TALMER_ARB &w) { w.Swap.lost_focus(); }, "(Messages show here.)"}),
    [](const auto &row) { return std::string(row.param.name); });

TEST_F(window_fixture, silent_captions_change_nothing) {
  w.Form_Load();
  w.msgsbkgd.set_fill(panel_red);
  w.Messages.set_caption("failure");
  for (label *l : {&w.lblSource_I, &w.lblSource_Q, &w.lbl_dwnldtime, &w.dwnldtime, &w.points,
                   &w.I_length, &w.Q_length, &w.lbl_I_length, &w.lbl_Q_length, &w.Label2, &w.lblCOMM}) {
    l->mouse_down();
    l->click();
  }
  EXPECT_EQ(w.Messages.caption(), "failure");
  EXPECT_EQ(w.msgsbkgd.fill(), panel_red);
}

TEST_F(window_fixture, typing_a_name_after_a_failure_turns_teal_and_keeps_the_text) {
  w.Form_Load();
  w.msgsbkgd.set_fill(panel_red);
  w.Messages.set_caption("failure");
  w.destination.set_text("wave2");
  EXPECT_EQ(w.msgsbkgd.fill(), panel_teal);
  EXPECT_EQ(w.Messages.caption(), "failure");
}

TEST_F(window_fixture, exit_ends_the_program) {
  bool unloaded = false;
  w.on_unload = [&] { unloaded = true; };
  EXPECT_THROW(w.PgmExit.click(), talmer::platform::program_ended);
  EXPECT_TRUE(unloaded);
}

TEST(pick_list, set_text_ignores_case_and_refuses_unknown_entries) {
  pick_list l("l", {"Auto Detect", "Comm 1"});
  EXPECT_TRUE(l.set_text("AUTO DETECT"));
  EXPECT_EQ(l.text(), "Auto Detect");
  EXPECT_FALSE(l.set_text("Comm 9"));
  EXPECT_EQ(l.text(), "Auto Detect");
}

TEST(controls, change_reactions_fire_only_on_a_real_change) {
  label l("L", "0");
  int changes = 0;
  l.on_change = [&] { ++changes; };
  l.set_caption("0");
  l.set_caption("5");
  l.set_caption("5");
  EXPECT_EQ(changes, 1);
}
