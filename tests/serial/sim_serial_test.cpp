// Downloads over RS-232 to the simulated serial instrument (talmer-sim on a
// pseudo-terminal, reached through TALMER_ARB_COMM<n>): every bundled
// example through the command-line program, compared byte for byte with
// what the instrument stored; the port search; pacing against a small
// input buffer; and, in this process with the fake clock, an XOFF that is
// never followed by XON and a line that drops mid-transfer.
#include <gtest/gtest.h>

#ifdef TALMER_SIM_PATH

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>
#include <vector>

#include "platform/fake_os.h"
#include "support/serial_sim.h"
#include "ui/talmer_arb.h"

namespace {

namespace fs = std::filesystem;
using serial_sim::read_all;
using serial_sim::sim_process;
using serial_sim::temp_dir;

// A serial device that never answers: a pseudo-terminal whose other end
// this test holds and never reads.
struct silent_device {
  int master = -1;
  std::string path;
  silent_device() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
    termios t{};
    tcgetattr(master, &t);
    cfmakeraw(&t);
    tcsetattr(master, TCSANOW, &t);
    path = ptsname(master);
  }
  ~silent_device() {
    if (master >= 0) close(master);
  }
};

struct cli_result {
  int status = -1;
  std::string out;
  std::map<std::string, std::string> state;  // --show lines
};

// Runs talmer-arb-cli with the ports mapped by `comm` (port -> device).
cli_result run_cli(const std::map<int, std::string> &comm, const std::string &args) {
  std::string cmd = "cd '" TALMER_SOURCE_DIR "' && ";
  for (int p = 1; p <= 4; ++p) {
    auto it = comm.find(p);
    // An unmapped port names a device that does not exist, so the
    // machine's own serial ports never take part.
    const std::string dev = it != comm.end() ? it->second : "/nonexistent/talmer-tty" + std::to_string(p);
    cmd += "TALMER_ARB_COMM" + std::to_string(p) + "='" + dev + "' ";
  }
  cmd += "timeout -k 5 120 '" TALMER_CLI_PATH "' " + args + " 2>&1";
  cli_result r;
  FILE *f = popen(cmd.c_str(), "r");
  if (f == nullptr) return r;
  char line[4096];
  while (std::fgets(line, sizeof line, f) != nullptr) {
    std::string s = line;
    r.out += s;
    if (!s.empty() && s.back() == '\n') s.pop_back();
    const auto eq = s.find('=');
    if (eq != std::string::npos && s[0] != '[') r.state[s.substr(0, eq)] = s.substr(eq + 1);
  }
  const int st = pclose(f);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

// ---- What the instrument must store, computed from the source file -------

// BINARY: the file's bytes; with Swap the two bytes of every pair exchanged.
std::string expect_binary(const std::string &file, bool swap) {
  std::string s = file;
  if (swap)
    for (std::size_t i = 0; i + 1 < s.size(); i += 2) std::swap(s[i], s[i + 1]);
  return s;
}

void append_msb_first(std::string &out, long v) {
  const auto u = static_cast<std::uint16_t>(static_cast<std::int16_t>(v));
  out += static_cast<char>(u >> 8);
  out += static_cast<char>(u & 0xFF);
}

// ASCII: every number of the text as a 16-bit value, most significant byte
// first (the bundled examples hold only whole numbers in range).
std::string expect_ascii(const std::string &text) {
  std::string out;
  std::string token;
  auto flush = [&] {
    if (!token.empty()) append_msb_first(out, std::strtol(token.c_str(), nullptr, 10));
    token.clear();
  };
  for (char c : text) {
    if (c == '-' || c == '+' || (c >= '0' && c <= '9')) token += c;
    else flush();
  }
  flush();
  return out;
}

// AWG2021: after the 102-byte header, words stored most significant byte
// first: bit 14 and 13 are the markers, bits 0 to 11 the value. The
// instrument's point carries the markers in bits 15 and 14 (I only) and the
// value in bits 2 to 13.
std::string expect_awg(const std::string &file, bool i_channel) {
  std::string out;
  for (std::size_t k = 102; k + 1 < file.size(); k += 2) {
    const unsigned w = static_cast<unsigned>(static_cast<unsigned char>(file[k])) << 8 |
                       static_cast<unsigned char>(file[k + 1]);
    const unsigned markers = i_channel ? ((w >> 13) & 3u) << 14 : 0u;
    const unsigned point = markers | (w & 0x0FFFu) << 2;
    out += static_cast<char>(point >> 8);
    out += static_cast<char>(point & 0xFF);
  }
  return out;
}

const std::string examples = TALMER_SOURCE_DIR "/examples/";
const std::string not_found = "Talmer not found.  Check Talmer's RS232 settings and the cable.";

// Fast line: replies at once, the input drained far faster than 19200 baud.
const std::vector<std::string> fast_line{"--line-rate", "0", "--drain-rate", "200000"};

}  // namespace

// ---- Every bundled example through the command-line program ---------------

struct example_row {
  const char *what;
  const char *i_file, *q_file;
  const char *options;  // --convert / --swap
  std::string (*expect)(const std::string &file, bool i_channel);
  const char *done;
};

std::string binary_no_swap(const std::string &f, bool) { return expect_binary(f, false); }
std::string binary_swap(const std::string &f, bool) { return expect_binary(f, true); }
std::string ascii(const std::string &f, bool) { return expect_ascii(f); }

class sim_examples : public ::testing::TestWithParam<example_row> {};

TEST_P(sim_examples, the_instrument_stores_exactly_the_expected_bytes) {
  const example_row &r = GetParam();
  temp_dir dir;
  sim_process sim(TALMER_SIM_PATH, dir.path, "talmer", fast_line);
  ASSERT_TRUE(sim.ready()) << sim.stop();
  auto res = run_cli({{1, sim.link().string()}},
                           std::string("--link rs232 --address 'Comm 1' --name wave1 ") + r.options + " --i " +
                               examples + r.i_file + " --q " + examples + r.q_file + " --download --show");
  EXPECT_TRUE(sim.wait_stored("arbq_wave1.bin", 8192));
  const std::string log = sim.stop();
  ASSERT_EQ(res.status, 0) << res.out << log;
  EXPECT_EQ(res.state["Messages"], r.done) << res.out;
  EXPECT_EQ(res.state["Talmerid"], "Comm 1");
  const std::string i_file = read_all(examples + r.i_file), q_file = read_all(examples + r.q_file);
  const std::string i_stored = read_all(sim.stored("arbi_wave1.bin"));
  const std::string q_stored = read_all(sim.stored("arbq_wave1.bin"));
  EXPECT_EQ(i_stored.size(), 8192u);
  EXPECT_TRUE(i_stored == r.expect(i_file, true)) << "I differs";
  EXPECT_TRUE(q_stored == r.expect(q_file, false)) << "Q differs";
  EXPECT_NE(log.find("2 waveform(s) stored, 0 byte(s) lost to overrun"), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(
    rows, sim_examples,
    ::testing::Values(
        example_row{"binary_swap_no", "sine_i.bin", "sine_q.bin", "--swap No", binary_no_swap, "Done with download."},
        example_row{"binary_swap_yes", "sine_i.bin", "sine_q.bin", "--swap Yes", binary_swap, "Done with download."},
        example_row{"ascii", "ramp_i.txt", "ramp_q.txt", "--convert Yes", ascii, "Done with download."},
        example_row{"awg2021", "tone_i.wfm", "tone_q.wfm", "--convert Yes", expect_awg,
                    "Done with download.  Set ARB Sample Clock Frequency to  100 MHz."}),
    [](const ::testing::TestParamInfo<example_row> &i) { return std::string(i.param.what); });

// ---- Port search --------------------------------------------------------------

TEST(sim_serial, finds_the_instrument_on_port_3_behind_a_missing_and_a_silent_port) {
  temp_dir dir;
  silent_device silent;
  ASSERT_FALSE(silent.path.empty());
  // Paced by a small input buffer drained slowly (about 8 KB/s): every
  // byte must arrive, in order, without overrun.
  std::vector<std::string> options{"--line-rate", "0",   "--buffer-size", "512", "--high-mark",
                                   "384",         "--low-mark", "128",    "--drain-rate",  "8000"};
  sim_process sim(TALMER_SIM_PATH, dir.path, "talmer", options);
  ASSERT_TRUE(sim.ready()) << sim.stop();
  // Port 1 names no device, port 2 never answers, port 4 is missing too.
  auto res = run_cli({{2, silent.path}, {3, sim.link().string()}},
                           "--link rs232 --address auto --name wave1 --swap No --i " + examples +
                               "sine_i.bin --q " + examples + "sine_q.bin --download --show");
  EXPECT_TRUE(sim.wait_stored("arbq_wave1.bin", 8192));
  const std::string log = sim.stop();
  ASSERT_EQ(res.status, 0) << res.out << log;
  EXPECT_EQ(res.state["Talmerid"], "Comm 3");
  EXPECT_EQ(res.state["Messages"], "Done with download.");
  EXPECT_TRUE(read_all(sim.stored("arbi_wave1.bin")) == read_all(examples + "sine_i.bin"));
  EXPECT_TRUE(read_all(sim.stored("arbq_wave1.bin")) == read_all(examples + "sine_q.bin"));
  EXPECT_NE(log.find("2 waveform(s) stored, 0 byte(s) lost to overrun"), std::string::npos) << log;
}

TEST(sim_serial, a_chosen_port_that_does_not_exist_is_named_in_the_message) {
  temp_dir dir;
  sim_process sim(TALMER_SIM_PATH, dir.path, "talmer", fast_line);
  ASSERT_TRUE(sim.ready()) << sim.stop();
  auto res = run_cli({{1, sim.link().string()}}, "--link rs232 --address 'Comm 4' --i " + examples +
                                                           "sine_i.bin --download --show");
  sim.stop();
  EXPECT_EQ(res.status, 1) << res.out;
  EXPECT_EQ(res.state["Messages"], "Comm 4 not found on this computer.");
  EXPECT_EQ(res.state["msgsbkgd"], "red");
  EXPECT_TRUE(fs::is_empty(sim.stored("")));
}

// ---- Faults, in this process with the fake clock --------------------------------
//
// The reply waits tick in real time (10 ms a tick) so that the instrument's
// replies arrive; every other pause of the download only moves the fake
// clock, so the bound of 60 s on the XON wait is measured on that clock.

struct sim_fault : ::testing::Test {
  temp_dir dir;
  talmer::platform::fake_os os;
  std::unique_ptr<talmer::ui::TALMER_ARB> w;
  bool error_active = false;
  std::string error_text;

  void start(const sim_process &sim) {
    os.use_real_serial = true;
    os.environment["TALMER_ARB_COMM1"] = sim.link().string();
    for (int p = 2; p <= 4; ++p) os.environment["TALMER_ARB_COMM" + std::to_string(p)] = "/nonexistent/tty";
    os.on_sleep = [](std::int64_t ms) {
      if (ms == 10) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    };
    w = std::make_unique<talmer::ui::TALMER_ARB>(os);
    w->Auto_name.set_checked(false);
    w->auto_find_q.set_checked(false);
    w->serial_MouseDown();
    w->Swap.set_text("No");
    w->destination.set_text("wave1");
    // A long I waveform, so that the fault strikes while I is being sent.
    std::string bytes(2 * 65536, '\0');
    for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<char>(k * 7);
    const fs::path i = dir.path / "long_i.bin";
    std::ofstream(i, std::ios::binary) << bytes;
    w->I_source.set_text(i.string());
    w->i_filetype = "BINARY";
    w->i_points = 65536;
    w->points.set_caption("65536");
  }
  void run() {
    w->download_RS232(false, error_active, error_text);
    EXPECT_FALSE(w->rs232.PortOpen());
    EXPECT_EQ(w->rs232.RThreshold(), 0);
  }
};

TEST_F(sim_fault, an_xoff_never_followed_by_xon_fails_the_channel_after_60_seconds) {
  sim_process sim(TALMER_SIM_PATH, dir.path, "talmer",
                  {"--line-rate", "0", "--buffer-size", "256", "--high-mark", "128", "--low-mark", "64",
                   "--drain-rate", "1000", "--fault", "xoff-stuck"});
  ASSERT_TRUE(sim.ready()) << sim.stop();
  start(sim);
  const auto real_start = std::chrono::steady_clock::now();
  run();
  const auto real_s =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - real_start).count();
  EXPECT_TRUE(error_active);
  EXPECT_EQ(error_text, " Error for I download.");
  // The checks, two pauses of 1 s and the wait of 60 s for XON.
  EXPECT_GE(os.clock_ms, 60000);
  EXPECT_LT(os.clock_ms, 75000);
  EXPECT_LT(real_s, 50) << "the wait must run on the fake clock";
  sim.stop();
  EXPECT_FALSE(fs::exists(sim.stored("arbi_wave1.bin")));
}

TEST_F(sim_fault, a_line_that_drops_mid_transfer_fails_the_channel_at_once) {
  sim_process sim(TALMER_SIM_PATH, dir.path, "talmer", {"--line-rate", "0", "--drain-rate", "200000", "--fault", "drop-after=1000"});
  ASSERT_TRUE(sim.ready()) << sim.stop();
  start(sim);
  run();
  EXPECT_TRUE(error_active);
  EXPECT_EQ(error_text, " Error for I download.");
  // No wait for a line that is gone.
  EXPECT_LT(os.clock_ms, 10000);
  EXPECT_NE(sim.stop().find("link dropped after"), std::string::npos);
}

#endif  // TALMER_SIM_PATH
