// The real OS layer opens only regular files for reading, and never blocks
// while doing so: a named pipe put in a source file's place must not hold
// the download until some writer comes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/platform.h"

namespace {

struct open_read_fixture : ::testing::Test {
  std::string dir;
  void SetUp() override {
    char tmpl[] = "/tmp/talmer-open-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    for (const char *n : {"/pipe", "/file", "/folder"}) {
      ::unlink((dir + n).c_str());
      ::rmdir((dir + n).c_str());
    }
    ::rmdir(dir.c_str());
  }
};

TEST_F(open_read_fixture, a_named_pipe_is_refused_at_once) {
  const std::string pipe = dir + "/pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  talmer::platform::real_os os;
  EXPECT_EQ(os.open_read(pipe), nullptr);
  EXPECT_FALSE(os.file_length(pipe).has_value());
}

TEST_F(open_read_fixture, a_folder_is_refused_and_a_regular_file_reads_in_full) {
  talmer::platform::real_os os;
  ASSERT_EQ(::mkdir((dir + "/folder").c_str(), 0700), 0);
  EXPECT_EQ(os.open_read(dir + "/folder"), nullptr);
  { std::ofstream(dir + "/file", std::ios::binary) << "0123456789"; }
  auto f = os.open_read(dir + "/file");
  ASSERT_NE(f, nullptr);
  char buf[16] = {};
  EXPECT_EQ(f->read_full(buf, 16), 10);
  EXPECT_EQ(std::string(buf, 10), "0123456789");
}

}  // namespace
