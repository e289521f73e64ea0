// One whole download over a real pseudo-terminal: the termios device, the
// port found through TALMER_ARB_COMM1, the queries and the paced block as
// they reach the far end. The fake clock keeps the pauses instant; the test
// plays the instrument on the master side whenever the program pauses.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/fake_os.h"
#include "serial/serial_support.h"
#include "ui/talmer_arb.h"

using namespace talmer::ui;

namespace {

bool readable(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, timeout_ms) > 0;
}

}  // namespace

TEST(pty_download, sends_the_queries_and_the_block_through_a_real_terminal) {
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  termios t{};
  ASSERT_EQ(tcgetattr(master, &t), 0);
  cfmakeraw(&t);
  ASSERT_EQ(tcsetattr(master, TCSANOW, &t), 0);

  talmer::platform::fake_os os;
  os.use_real_serial = true;
  os.environment["TALMER_ARB_COMM1"] = ptsname(master);
  TALMER_ARB w(os);
  w.Auto_name.set_checked(false);
  w.auto_find_q.set_checked(false);
  w.serial_MouseDown();
  w.Swap.set_text("Yes");

  const auto dir = std::filesystem::temp_directory_path() / ("talmer-pty-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::string file;
  for (int i = 0; i < 16; ++i) file += {static_cast<char>(i), static_cast<char>(0x80 + i)};
  std::ofstream((dir / "i.bin").string(), std::ios::binary) << file;
  w.I_source.set_text((dir / "i.bin").string());
  w.i_filetype = "BINARY";
  w.i_points = 16;
  w.points.set_caption("16");

  // The instrument: answers each query line; the rest is collected.
  std::string received;
  size_t answered = 0;
  bool just_replied = false;
  auto serve = [&] {
    // The program's bytes reach this side a moment after its write: give
    // them time to come unless a reply of ours is still being taken.
    if (!just_replied) readable(master, 100);
    just_replied = false;
    char buf[4096];
    ssize_t r;
    while ((r = read(master, buf, sizeof buf)) > 0) received.append(buf, static_cast<size_t>(r));
    size_t eol;
    while (received.find("mmem:data") == std::string::npos && (eol = received.find('\n', answered)) != std::string::npos) {
      const std::string line = received.substr(answered, eol - answered);
      answered = eol + 1;
      std::string reply;
      if (line == "*IDN?") reply = "Talmer-D,K902\n";
      else if (line == "DIAG:INFO:OPT?") reply = "QVX\n";
      else if (line == "rad:arb:stat?") reply = "0\n";
      else if (line == "rad:arb:wav?") reply = "\"ARBI:OTHER\"\n";
      else if (line == "mmem:cat? \"arbi:\"") reply = "0,100000\n";
      if (reply.empty()) continue;
      ASSERT_EQ(write(master, reply.data(), reply.size()), static_cast<ssize_t>(reply.size()));
      // The ticks of the reply wait are instant here: let the reply reach
      // the program's side first.
      ASSERT_TRUE(readable(w.rs232.descriptor(), 2000));
      just_replied = true;
    }
  };
  os.on_sleep = [&](std::int64_t) { serve(); };

  bool error_active = false;
  std::string error_text;
  w.download_RS232(false, error_active, error_text);
  EXPECT_FALSE(error_active) << error_text;
  EXPECT_EQ(w.Talmerid.text(), "Comm 1");
  EXPECT_EQ(w.Messages.caption(), "Done with download.");

  std::string expected_data;
  for (int i = 0; i < 16; ++i) expected_data += {static_cast<char>(0x80 + i), static_cast<char>(i)};
  const std::string expected = "*IDN?\nDIAG:INFO:OPT?\nrad:arb:stat?\nrad:arb:wav?\nmmem:cat? \"arbi:\"\n"
                               "mmem:data \"arbi:waveform1\", #232" + expected_data + "\n";
  while (received.size() < expected.size() && readable(master, 2000)) serve();
  EXPECT_EQ(received, expected);
  close(master);
  std::filesystem::remove_all(dir);
}
