// Progress lines for the headless front end.
#include <gtest/gtest.h>

#include <sstream>

#include "download/progress_printer.h"
#include "platform/fake_os.h"
#include "ui/talmer_arb.h"

using namespace talmer::download;

TEST(progress_printer, lines_name_the_channel_and_the_points_sent) {
  EXPECT_EQ(progress_line('I', 8192, 10000), "progress: I waveform 8192 of 10000 points (81%)");
  EXPECT_EQ(progress_line('Q', 0, 16), "progress: Q waveform 0 of 16 points (0%)");
  EXPECT_EQ(progress_line('Q', 16, 16), "progress: Q waveform 16 of 16 points (100%)");
}

TEST(progress_printer, prints_at_most_every_interval_and_always_the_end_of_a_channel) {
  talmer::platform::fake_os os;
  talmer::ui::TALMER_ARB w(os);
  std::ostringstream err;
  {
    progress_printer p(w, err, 250);
    const std::int64_t total = 5 * 8192;
    w.download_progress.start(total, 'I');  // first: printed
    for (std::int64_t k = 1; k <= 5; ++k) {
      os.sleep_ms(100);
      w.download_progress.advance(k * 8192);
    }
  }
  EXPECT_EQ(err.str(),
            "progress: I waveform 0 of 40960 points (0%)\n"
            "progress: I waveform 24576 of 40960 points (60%)\n"   // 300 ms after the first
            "progress: I waveform 40960 of 40960 points (100%)\n"); // the end of the channel
  w.download_progress.advance(1);  // the printer is gone: nothing more
}
