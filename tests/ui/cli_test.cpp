// The headless front end, run as a user runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "ui/headless.h"

namespace {

struct run_result {
  int status;
  std::string out;
  std::string err;
};

// Runs the CLI in `dir` with `args`; standard output and error captured.
run_result run_cli(const std::filesystem::path &dir, const std::string &args) {
  auto err_file = dir / "stderr.txt";
  std::string cmd = "cd '" + dir.string() + "' && '" TALMER_CLI_PATH "' " + args + " 2>'" + err_file.string() + "'";
  run_result r{};
  FILE *p = popen(cmd.c_str(), "r");
  std::array<char, 4096> buf{};
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  std::ifstream e(err_file);
  r.err.assign(std::istreambuf_iterator<char>(e), {});
  return r;
}

struct cli_fixture : ::testing::Test {
  std::filesystem::path dir;
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("talmer_cli_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
};

}  // namespace

TEST_F(cli_fixture, show_after_start_up_prints_every_key_in_order) {
  auto r = run_cli(dir, "--show");
  EXPECT_EQ(r.status, 0);
  std::string expected_start =
      "I_source=\nI_length=\ni_filetype=BINARY\ni_points=0\nQ_source=\nQ_length=\nq_filetype=BINARY\nq_points=0\n";
  EXPECT_EQ(r.out.substr(0, expected_start.size()), expected_start);
  for (const char *key : {"points=", "dwnldtime=", "destination=waveform1\n", "Swap=Yes\n", "convert_wfm=Yes\n",
                          "link=gpib\n", "lblCOMM=Corvane-IB Address\n", "Talmerid=Auto Detect\n",
                          "msgsbkgd=teal\n", "Messages=(Click on labels to see help.)\n"})
    EXPECT_NE(r.out.find(key), std::string::npos) << key;
  EXPECT_LT(r.out.find("destination="), r.out.find("Messages="));
}

TEST_F(cli_fixture, options_apply_as_user_actions_in_fixed_order) {
  // The address is applied after the link, so "Comm 3" is found in the
  // serial list that the link change has just built.
  auto r = run_cli(dir, "--address 3 --link rs232 --swap No --convert Maybe --show");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("link=rs232\nlblCOMM=Serial Port\nTalmerid=Comm 3\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Swap=No\nconvert_wfm=Maybe\n"), std::string::npos);
  EXPECT_NE(r.out.find("Messages=Use a NULL MODEM Cable.   Set Talmer to:\\n\\r19200 Baud"), std::string::npos);
  // The panel printed on standard error with the LF CR pair as one newline.
  EXPECT_NE(r.err.find("[teal] Use a NULL MODEM Cable.   Set Talmer to:\n19200 Baud"), std::string::npos) << r.err;
}

TEST_F(cli_fixture, usage_errors_exit_2_and_name_the_option) {
  struct row {
    const char *args;
    const char *names;
  };
  for (const row &c : {row{"--swap Maybe", "--swap"}, row{"--link usb", "--link"},
                       row{"--address 31", "--address"}, row{"--link rs232 --address 5", "--address"},
                       row{"--no-such-option", "--no-such-option"}, row{"--auto-q yes", "--auto-q"}}) {
    auto r = run_cli(dir, c.args);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_NE(r.err.find(c.names), std::string::npos) << c.args << ": " << r.err;
  }
}

TEST_F(cli_fixture, help_prints_the_usage) {
  auto r = run_cli(dir, "--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("--download"), std::string::npos);
}

TEST(headless, address_entries_per_link) {
  using talmer::ui::address_entry;
  EXPECT_EQ(address_entry("auto", false), "Auto Detect");
  EXPECT_EQ(address_entry("0", false), "0");
  EXPECT_EQ(address_entry("30", false), "30");
  EXPECT_EQ(address_entry("07", false), "7");
  EXPECT_FALSE(address_entry("-1", false));
  EXPECT_FALSE(address_entry("Comm 1", false));
  EXPECT_EQ(address_entry("4", true), "Comm 4");
  EXPECT_EQ(address_entry("Comm 2", true), "Comm 2");
  EXPECT_FALSE(address_entry("0", true));
  EXPECT_FALSE(address_entry("Comm 5", true));
}

TEST(headless, message_escapes) {
  using talmer::ui::escape_message;
  using talmer::ui::printable_message;
  EXPECT_EQ(escape_message("a\n\rb\\c"), "a\\n\\rb\\\\c");
  EXPECT_EQ(printable_message("a\n\rb\rc\nd"), "a\nb\rc\nd");
}
