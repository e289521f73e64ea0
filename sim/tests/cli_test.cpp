// The talmer-sim command: its help, the environment it prints for the
// libraries, and a serial session from start to SIGTERM.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "model/settings.h"
#include "sim_rig.h"

namespace talmer::sim {
namespace {

struct run_result {
  int status = -1;
  std::string output;
};

run_result run(const std::string &args) {
  run_result r;
  const std::string cmd = std::string(TALMER_SIM_PATH) + " " + args + " 2>&1";
  FILE *p = popen(cmd.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string dashed(std::string key) {
  for (char &c : key)
    if (c == '_') c = '-';
  return key;
}

TEST(talmer_sim_command, help_documents_every_option_and_fault) {
  const auto serial = run("serial --help");
  EXPECT_EQ(serial.status, 0);
  const auto env = run("env --help");
  for (const auto &info : setting_table()) {
    const std::string option = "--" + dashed(info.key);
    const auto &text = info.scope == setting_scope::gpib ? env.output : serial.output;
    EXPECT_NE(text.find(option), std::string::npos) << option;
  }
  EXPECT_NE(serial.output.find("--link"), std::string::npos);
  for (const char *fault : {"no-reply=", "slow-reply=", "split-reply=", "garbled-catalog", "unparsable-catalog",
                            "other-device", "no-qvx", "arb-playing=", "memory-full", "drop-after=", "xoff-stuck"})
    EXPECT_NE(serial.output.find(fault), std::string::npos) << fault;
}

TEST(talmer_sim_command, env_prints_the_settings_for_the_libraries) {
  const auto r = run("env --address 7 --fault no-qvx --fault 'slow-reply=*IDN?/300' --identity \"it's me\"");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("export TALMER_SIM_ADDRESS='7'\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("export TALMER_SIM_FAULT='no-qvx;slow-reply=*IDN?/300'\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("export TALMER_SIM_IDENTITY='it'\\''s me'\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("export TALMER_ARB_LIBDIR="), std::string::npos) << r.output;
}

TEST(talmer_sim_command, refuses_bad_values_with_a_message_naming_them) {
  auto r = run("serial --link /tmp/never --drain-rate fast");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("drain"), std::string::npos) << r.output;
  r = run("serial --link /tmp/never --fault melt-down");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("melt-down"), std::string::npos) << r.output;
  r = run("serial --link /tmp/never --store /no/such/folder");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("/no/such/folder"), std::string::npos) << r.output;
  r = run("serial");
  EXPECT_NE(r.status, 0);
}

std::string converse(int fd, const std::string &query) {
  [[maybe_unused]] auto w = ::write(fd, query.data(), query.size());
  std::string out;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (out.find('\n') == std::string::npos && std::chrono::steady_clock::now() < until) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    char buf[256];
    const auto n = ::read(fd, buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  return out;
}

TEST(talmer_sim_command, serves_on_its_link_until_stopped_and_stores_to_the_folder) {
  testing::temp_dir dir;
  std::filesystem::create_directory(dir / "store");
  const std::string link = dir / "tty";
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int out = ::open((dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(out, 2);
    execl(TALMER_SIM_PATH, TALMER_SIM_PATH, "serial", "--link", link.c_str(), "--store", (dir / "store").c_str(),
          "--identity", "talmer,k902,CLI,1", "--drain-rate", "100000", "--line-rate", "0",
          static_cast<char *>(nullptr));
    _exit(127);
  }
  for (int k = 0; k < 250 && !std::filesystem::is_symlink(link); ++k)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(std::filesystem::is_symlink(link)) << testing::read_file(dir / "out");
  const int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  EXPECT_EQ(converse(fd, "*IDN?\n"), "talmer,k902,CLI,1\n");
  const std::string data = testing::pattern(64);
  EXPECT_EQ(converse(fd, "mmem:data \"arbq:Cli\", #264" + data + "\nmmem:cat? \"arbq:\"\n"),
            "8192," + std::to_string((32u << 20) - 8192) + ",\"Cli,BIN,64\"\n");
  ::close(fd);
  ::kill(pid, SIGTERM);
  int st = 0;
  ASSERT_EQ(waitpid(pid, &st, 0), pid);
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << testing::read_file(dir / "out");
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
  EXPECT_EQ(testing::read_file(dir / "store/arbq_Cli.bin"), data);
  EXPECT_NE(testing::read_file(dir / "out").find("1 waveform(s) stored"), std::string::npos);
}

}  // namespace
}  // namespace talmer::sim
