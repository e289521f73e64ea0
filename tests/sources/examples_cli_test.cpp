// The example pairs through the command-line front end: each shows its type,
// point count and estimate, and Auto Find Q and Auto Name work on it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

struct cli_result {
  int status = -1;
  std::map<std::string, std::string> state;  // --show lines
  std::string all;
};

cli_result run_cli(const std::string &args) {
  // Downloads go to the simulated instrument behind the simulated libraries.
  const std::string cmd = "cd '" TALMER_SOURCE_DIR "' && TALMER_ARB_LIBDIR='" TALMER_SIM_LIBDIR
                          "' TALMER_SIM_TIMEOUT_SCALE=0.01 '" TALMER_CLI_PATH "' " + args + " 2>&1";
  cli_result r;
  FILE *p = popen(cmd.c_str(), "r");
  if (p == nullptr) return r;
  char line[4096];
  while (std::fgets(line, sizeof line, p) != nullptr) {
    std::string s = line;
    r.all += s;
    if (!s.empty() && s.back() == '\n') s.pop_back();
    auto eq = s.find('=');
    if (eq != std::string::npos && s[0] != '[') r.state[s.substr(0, eq)] = s.substr(eq + 1);
  }
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

struct example_case {
  const char *i_file, *q_file, *type, *name, *seconds, *done;
};

class example_pairs : public ::testing::TestWithParam<example_case> {};

}  // namespace

TEST_P(example_pairs, show_type_points_and_estimate) {
  const auto &c = GetParam();
  auto r = run_cli(std::string("--show --i ") + c.i_file);
  ASSERT_EQ(r.status, 0) << r.all;
  EXPECT_EQ(r.state["Q_source"], c.q_file) << r.all;
  EXPECT_EQ(r.state["i_filetype"], c.type);
  EXPECT_EQ(r.state["q_filetype"], c.type);
  EXPECT_EQ(r.state["i_points"], "4096");
  EXPECT_EQ(r.state["q_points"], "4096");
  EXPECT_EQ(r.state["points"], "4096");
  EXPECT_EQ(r.state["dwnldtime"], c.seconds);
  EXPECT_EQ(r.state["destination"], c.name);

  auto d = run_cli(std::string("--show --download --i ") + c.i_file);
  EXPECT_EQ(d.status, 0) << d.all;
  EXPECT_EQ(d.state["Messages"], c.done);
}

INSTANTIATE_TEST_SUITE_P(examples, example_pairs,
                         ::testing::Values(example_case{"examples/sine_i.bin", "examples/sine_q.bin", "BINARY", "sine", "9", "Done with download."},
                                           example_case{"examples/ramp_i.txt", "examples/ramp_q.txt", "ASCII", "ramp", "7", "Done with download."},
                                           example_case{"examples/tone_i.wfm", "examples/tone_q.wfm", "AWG", "tone", "9",
                                                                        "Done with download.  Set ARB Sample Clock Frequency to  100 MHz."}));

TEST(examples_cli, validation_messages_reach_the_command_line) {
  auto r = run_cli("--show --download --i examples/sine_i.bin --name 'a\"b'");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.state["msgsbkgd"], "red");
  EXPECT_EQ(r.state["Messages"],
            "Talmer Waveform Name must not contain double quotes, commas, control or non-ASCII characters.");

  auto m = run_cli("--show --download --convert Yes --i examples/ramp_i.txt --q examples/sine_q.bin");
  EXPECT_EQ(m.status, 1);
  EXPECT_EQ(m.state["Messages"], "I and Q files must be the same type for conversion.");

  auto n = run_cli("--show --i examples/no_such_i.bin");
  EXPECT_EQ(n.status, 1);
  EXPECT_EQ(n.state["Messages"], "The file examples/no_such_i.bin cannot be read.");
}
