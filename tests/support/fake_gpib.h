// Recording fakes of the two GPIB libraries, in-process: a platform::library
// whose entries are plain C functions that log every call and act out a
// small bus (boards or interfaces, and instruments at addresses). The state
// is global, as a driver's is; reset it in every test.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace talmer::testing {

// A loaded library made of given entries.
class fake_library : public platform::library {
 public:
  explicit fake_library(std::map<std::string, void *> entries) : entries_(std::move(entries)) {}
  void *entry(const std::string &name) override {
    auto it = entries_.find(name);
    return it == entries_.end() ? nullptr : it->second;
  }

 private:
  std::map<std::string, void *> entries_;
};

struct fake_instrument {
  std::string idn = "Talmer Instruments,Talmer-D K902,1234,2.4";
  std::string options = "QVX,SNX";
  // Identification queries that go unanswered before it starts answering.
  int silent_queries = 0;
  // Ravlink: its first reply after being opened begins with two zero bytes.
  bool first_reply_zero = false;
};

// Every call of both fakes, in order ("ibdev(0,19,0,9,1,0)",
// "vb_iopen(gpib0,19)", ...).
std::vector<std::string> &gpib_calls();
// The calls whose text starts with `prefix`.
std::vector<std::string> calls_starting(const std::string &prefix);

// ---- NI-488.2 driver -------------------------------------------------------
struct fake_ni488_state {
  std::set<int> boards;                        // boards GPIBn the driver knows
  std::map<int, fake_instrument> instruments;  // by primary address
  std::deque<int> register_answers;            // answers of RegisterGpibGlobalsForThread (then 0)
  // When set, every call reports this status word and long count.
  bool force_status = false;
  int forced_sta = 0;
  long forced_cntl = 0;

  // Registered cells (null until a registration answered 0).
  int *sta = nullptr, *err = nullptr, *cnt = nullptr;
  long *cntl = nullptr;
  // The status of the last call, as the ThreadIb* entries report it.
  int last_sta = 0, last_err = 0;
  long last_cntl = 0;

  struct descriptor {
    int board = 0;
    int pad = -1;  // -1: the board itself
    std::string reply;
  };
  std::map<int, descriptor> descriptors;
  int next_ud = 1;
};
fake_ni488_state &fake_ni488();
void reset_fake_ni488();
// The driver's library. Without the registration entries (`registration`
// false) it reports status through ThreadIbsta and the like only. Entries
// named in `omit` are left out.
std::unique_ptr<platform::library> make_fake_ni488(bool registration = true,
                                                   const std::set<std::string> &omit = {});

// ---- Ravlink library -------------------------------------------------------
struct fake_ravlink_state {
  std::set<std::string> interfaces;            // names that open
  std::map<int, fake_instrument> instruments;  // by address, on every interface
  int failing_clears = 0;                      // the next n vb_iclear calls fail (I/O error)
  bool errors_without_number = false;          // failures leave the error number 0
  std::int16_t errnum = 0;                     // what vb_igeterrno reports

  struct connection {
    std::string interface_name;
    int address = -1;  // -1: the interface itself
    bool open = true;
    bool replied = false;  // has sent its first reply
    std::string reply;     // what the next read delivers
  };
  std::map<std::int16_t, connection> connections;
  std::int16_t next_id = 1;
};
fake_ravlink_state &fake_ravlink();
void reset_fake_ravlink();
std::unique_ptr<platform::library> make_fake_ravlink(const std::set<std::string> &omit = {});

// The error text the fake gives for every error number.
std::string fake_ravlink_error_text(int errnum);

}  // namespace talmer::testing
