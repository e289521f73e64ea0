// Runs of the command-line program, started together and collected
// together: the program's pauses are real sleeps, so a table of runs takes
// about as long as its slowest row.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace talmer::testing {

struct cli_run {
  // In: arguments after the program name, extra environment (added to the
  // test's own, overriding it), the folder the program runs in.
  std::vector<std::string> args;
  std::map<std::string, std::string> env;
  std::filesystem::path dir;

  // Out.
  int status = -1;  // exit status; -1 when it did not exit normally
  std::string out, err;
  std::map<std::string, std::string> state;  // --show lines of standard output
};

// Starts every run at once and waits for all of them.
void run_all(const std::string &program, std::vector<cli_run> &runs);

// A fresh empty folder under the temporary folder, named after the test.
std::filesystem::path fresh_folder(const std::string &tag);

// The whole content of a file; empty when it cannot be read (`exists` false).
std::string file_bytes(const std::filesystem::path &path, bool *exists = nullptr);

}  // namespace talmer::testing
