// The settings of a run: every key of the table, the environment and the
// configuration file.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "model/settings.h"
#include "sim_rig.h"

namespace talmer::sim {
namespace {

// One good and one bad value for each key of the table.
const std::map<std::string, std::pair<std::string, std::string>> values = {
    {"identity", {"Acme,1", ""}},  // any text is an identity
    {"options", {"QVX", ""}},
    {"capacity", {"16M", "lots"}},
    {"arb", {"on", "maybe"}},
    {"selected", {"W1", "bad\"name"}},
    {"waveform", {"arbq:W:100", "arbx:W:100"}},
    {"store", {"/tmp", ""}},
    {"keep", {"0", "-1"}},
    {"log_cap", {"1K", "1X"}},
    {"wire_log", {"/tmp/log", ""}},
    {"fault", {"no-qvx", "no-such-fault"}},
    {"address", {"7", "31"}},
    {"ni_boards", {"0,1", "0,x"}},
    {"rav_interfaces", {"corvaneib,gpib7", "a b"}},
    {"other_address", {"-1", "-2"}},
    {"other_identity", {"Other", ""}},
    {"timeout_scale", {"0.01", "0"}},
    {"register", {"3", "three"}},
    {"forever", {"1000", "-5"}},
    {"buffer_size", {"1024", "big"}},
    {"high_mark", {"768", "-"}},
    {"low_mark", {"256", "x"}},
    {"drain_rate", {"1920", "0"}},
    {"line_rate", {"0", "-1"}},
    {"message_timeout", {"5000", "soon"}},
    {"xoff_slack", {"64", "some"}},
};

TEST(settings, every_key_of_the_table_takes_a_value_and_refuses_a_bad_one) {
  for (const auto &info : setting_table()) {
    const auto it = values.find(info.key);
    ASSERT_NE(it, values.end()) << "no test values for " << info.key;
    settings s;
    EXPECT_EQ(apply_setting(s, info.key, it->second.first), "") << info.key;
    if (!it->second.second.empty()) {
      const std::string e = apply_setting(s, info.key, it->second.second);
      EXPECT_NE(e, "") << info.key;
      EXPECT_NE(e.find(info.key), std::string::npos) << e;
    }
  }
  EXPECT_EQ(values.size(), setting_table().size());
  settings s;
  EXPECT_NE(apply_setting(s, "colour", "red"), "");
}

TEST(settings, come_from_the_config_file_then_the_environment) {
  testing::temp_dir dir;
  {
    std::ofstream f(dir / "sim.conf");
    f << "# a run with a slow drain\n"
         "drain_rate = 500\n"
         "address = 7   # the instrument\n"
         "fault = no-qvx\n"
         "fault = xoff-stuck\n";
  }
  const std::map<std::string, std::string> env = {
      {"TALMER_SIM_CONFIG", dir / "sim.conf"},
      {"TALMER_SIM_ADDRESS", "9"},
      {"TALMER_SIM_FAULT", "memory-full;drop-after=4K"},
      {"TALMER_SIM_NI_BOARDS", "none"},
      {"TALMER_SIM_RAV_INTERFACES", "gpib7"},
      {"TALMER_SIM_STORE", "/tmp/store"},
  };
  std::string errors;
  const settings s = settings_from_environment(
      [&](const std::string &name) -> std::optional<std::string> {
        const auto it = env.find(name);
        if (it == env.end()) return std::nullopt;
        return it->second;
      },
      errors);
  EXPECT_EQ(errors, "");
  EXPECT_EQ(s.serial.drain_rate, 500);
  EXPECT_EQ(s.address, 9);
  EXPECT_TRUE(s.faults.no_qvx && s.faults.xoff_stuck && s.faults.memory_full);
  EXPECT_EQ(s.faults.drop_after, 4096u);
  EXPECT_TRUE(s.ni_boards.empty());
  EXPECT_EQ(s.rav_interfaces, std::vector<std::string>{"gpib7"});
  EXPECT_EQ(s.store_dir, "/tmp/store");
}

TEST(settings, report_bad_values_and_keep_the_defaults) {
  const std::map<std::string, std::string> env = {{"TALMER_SIM_ADDRESS", "abc"}, {"TALMER_SIM_CONFIG", "/nowhere"}};
  std::string errors;
  const settings s = settings_from_environment(
      [&](const std::string &name) -> std::optional<std::string> {
        const auto it = env.find(name);
        if (it == env.end()) return std::nullopt;
        return it->second;
      },
      errors);
  EXPECT_NE(errors.find("TALMER_SIM_ADDRESS"), std::string::npos) << errors;
  EXPECT_NE(errors.find("/nowhere"), std::string::npos) << errors;
  EXPECT_EQ(s.address, 19);
}

TEST(settings, config_text_names_the_bad_line) {
  settings s;
  EXPECT_EQ(apply_config_text(s, "address = 5\nnonsense\n"), "line 2: 'nonsense' is not key = value\n");
  EXPECT_EQ(s.address, 5);
}

TEST(settings, marks_that_contradict_each_other_are_repaired_and_reported) {
  settings s;
  s.serial.buffer_size = 1000;
  s.serial.high_mark = 2000;
  EXPECT_NE(check_settings(s), "");
  EXPECT_EQ(s.serial.high_mark, 750u);
  EXPECT_EQ(s.serial.low_mark, 250u);
  EXPECT_EQ(check_settings(s), "");
}

TEST(settings, environment_names_follow_the_keys) {
  EXPECT_EQ(env_name("drain_rate"), "TALMER_SIM_DRAIN_RATE");
  EXPECT_EQ(env_name("drain-rate"), "TALMER_SIM_DRAIN_RATE");
  EXPECT_EQ(env_name("store"), "TALMER_SIM_STORE");
}

TEST(settings, waveform_names_the_instrument_accepts) {
  EXPECT_TRUE(valid_waveform_name("W"));
  EXPECT_TRUE(valid_waveform_name("with blank-and_dots.1"));
  EXPECT_TRUE(valid_waveform_name(std::string(23, 'x')));
  EXPECT_FALSE(valid_waveform_name(std::string(24, 'x')));
  EXPECT_FALSE(valid_waveform_name(""));
  EXPECT_FALSE(valid_waveform_name("a\"b"));
  EXPECT_FALSE(valid_waveform_name("a,b"));
  EXPECT_FALSE(valid_waveform_name("a\nb"));
  EXPECT_FALSE(valid_waveform_name("caf\xc3\xa9"));
}

}  // namespace
}  // namespace talmer::sim
