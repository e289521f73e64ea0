// Speed of the ASCII reader on large files of random 16-bit integers, page
// cache warm: the token count of classification and the point reader of the
// download, each next to the bandwidth of a plain read loop over the same
// file in the same run. The ratio to the plain read is the figure we track.
//
//   ascii_bench [--dir FOLDER] [--mb SIZE] [--runs N]
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sources/ascii_points.h"

using talmer::platform::real_os;
namespace src = talmer::sources;

namespace {

struct layout {
  const char *label;
  const char *file;
  char separator;
  const char *line_end;
};

// Writes random integers -32768..32767, 16 to a line, until `bytes` are
// reached; returns the number of integers written.
std::int64_t make_file(const std::string &path, std::int64_t bytes, const layout &l) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> value(-32768, 32767);
  std::string chunk;
  std::int64_t written = 0, count = 0;
  while (written < bytes) {
    chunk.clear();
    for (int line = 0; line < 1024 && written + static_cast<std::int64_t>(chunk.size()) < bytes; ++line) {
      for (int k = 0; k < 16; ++k) {
        if (k > 0) chunk += l.separator;
        chunk += std::to_string(value(rng));
        ++count;
      }
      chunk += l.line_end;
    }
    out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    written += static_cast<std::int64_t>(chunk.size());
  }
  return count;
}

// Wall-clock and processor time (user and system) of one run.
struct timing {
  double wall = 1e99, cpu = 1e99;
};

double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Best of `runs`, as MB/s (10^6 bytes per second) of wall-clock time and of
// processor time. On a machine shared with other work the processor-time
// figure is the steadier one.
struct rates {
  double wall, cpu;
};
rates best_rate(int runs, std::int64_t bytes, const std::function<void()> &f) {
  timing best;
  for (int r = 0; r < runs; ++r) {
    const double c0 = cpu_seconds();
    const auto t0 = std::chrono::steady_clock::now();
    f();
    const auto t1 = std::chrono::steady_clock::now();
    const double c1 = cpu_seconds();
    best.wall = std::min(best.wall, std::chrono::duration<double>(t1 - t0).count());
    best.cpu = std::min(best.cpu, c1 - c0);
  }
  const auto b = static_cast<double>(bytes);
  return {b / best.wall / 1e6, b / best.cpu / 1e6};
}

volatile std::uint64_t sink;

}  // namespace

int main(int argc, char **argv) {
  std::string dir = "/tmp";
  std::int64_t mb = 100;
  int runs = 3;
  for (int a = 1; a + 1 < argc; a += 2) {
    if (!std::strcmp(argv[a], "--dir")) dir = argv[a + 1];
    else if (!std::strcmp(argv[a], "--mb")) mb = std::atoll(argv[a + 1]);
    else if (!std::strcmp(argv[a], "--runs")) runs = std::atoi(argv[a + 1]);
  }
  const layout layouts[] = {{"blanks and LF", "talmer-bench-blank-lf.txt", ' ', "\n"},
                            {"commas and CR LF", "talmer-bench-comma-crlf.txt", ',', "\r\n"}};
  real_os os;

  std::printf("ASCII reader, %lld MB of random 16-bit integers per file, page cache warm, best of %d\n",
              static_cast<long long>(mb), runs);
  std::printf("token counter: %s\n\n", src::detail::have_avx2() ? "AVX2" : "SSE2");
  std::printf("| file | size MB | plain read MB/s | count (ascii_numpoints) MB/s | x read | points (get_ascii_points) MB/s | x read |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  std::string cpu_rows;
  bool ok = true;
  double worst_count = 1e99, worst_parse = 1e99;
  for (const layout &l : layouts) {
    const std::string path = dir + "/" + l.file;
    const std::int64_t numbers = make_file(path, mb * 1000000, l);
    const std::int64_t bytes = *os.file_length(path);

    const rates read_rate = best_rate(runs + 1, bytes, [&] {  // the first run warms the cache
      auto f = os.open_read(path);
      std::vector<unsigned char> buf(128 * 1024);
      std::uint64_t sum = 0;
      for (;;) {
        std::int64_t r = f->read(buf.data(), static_cast<std::int64_t>(buf.size()));
        if (r <= 0) break;
        // Every byte, eight at a time.
        std::int64_t k = 0;
        for (; k + 8 <= r; k += 8) {
          std::uint64_t w;
          std::memcpy(&w, buf.data() + k, 8);
          sum += w;
        }
        for (; k < r; ++k) sum += buf[static_cast<std::size_t>(k)];
      }
      sink = sum;
    });

    std::int64_t counted = 0;
    const rates count_rate = best_rate(runs, bytes, [&] {
      auto f = os.open_read(path);
      counted = src::count_tokens(*f);
    });

    std::int64_t parsed = 0;
    bool dataerror = false;
    const rates parse_rate = best_rate(runs, bytes, [&] {
      auto f = os.open_read(path);
      src::ascii_reader reader(*f);
      std::int16_t numbuf[8192];
      std::uint64_t sum = 0;
      parsed = 0;
      for (;;) {
        std::int64_t got = reader.read_points(numbuf, 8192, dataerror);
        for (std::int64_t k = 0; k < got; ++k) sum += static_cast<std::uint16_t>(numbuf[k]);
        parsed += got;
        if (got < 8192) break;
      }
      sink = sum;
    });

    if (counted != numbers || parsed != numbers || dataerror) {
      std::printf("MISMATCH in %s: written %lld, counted %lld, read %lld, dataerror %d\n", l.label,
                  static_cast<long long>(numbers), static_cast<long long>(counted),
                  static_cast<long long>(parsed), dataerror ? 1 : 0);
      ok = false;
    }
    std::printf("| %s | %.0f | %.0f | %.0f | %.2f | %.0f | %.2f |\n", l.label, static_cast<double>(bytes) / 1e6,
                read_rate.wall, count_rate.wall, count_rate.wall / read_rate.wall, parse_rate.wall,
                parse_rate.wall / read_rate.wall);
    char row[256];
    std::snprintf(row, sizeof row, "| %s | %.0f | %.0f | %.0f | %.2f | %.0f | %.2f |\n", l.label,
                  static_cast<double>(bytes) / 1e6, read_rate.cpu, count_rate.cpu, count_rate.cpu / read_rate.cpu,
                  parse_rate.cpu, parse_rate.cpu / read_rate.cpu);
    cpu_rows += row;
    worst_count = std::min(worst_count, count_rate.wall);
    worst_parse = std::min(worst_parse, parse_rate.wall);
    std::remove(path.c_str());
  }
  std::printf("\nthe same per second of processor time (user and system), steadier when the machine is busy:\n\n");
  std::printf("| file | size MB | plain read MB/s | count MB/s | x read | points MB/s | x read |\n");
  std::printf("|---|---|---|---|---|---|---|\n%s", cpu_rows.c_str());
  double load = 0;
  if (FILE *f = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(f, "%lf", &load) != 1) load = 0;
    std::fclose(f);
  }
  std::printf("\nload average during the run: %.2f\n", load);
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  std::printf("\npeak resident memory: %.1f MB\n", static_cast<double>(ru.ru_maxrss) / 1024.0);
  std::printf("targets (wall clock): count >= 3000 MB/s (%s), points >= 600 MB/s (%s)\n",
              worst_count >= 3000 ? "met" : "MISSED", worst_parse >= 600 ? "met" : "MISSED");
  return ok ? 0 : 1;
}
