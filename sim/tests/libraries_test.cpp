// The simulated driver libraries, loaded with dlopen as the program loads
// them, and the status rules each one follows.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include "gpib/ni488/ni488_abi.h"
#include "gpib/ravlink/ravlink_abi.h"
#include "sim_rig.h"

namespace talmer::sim {
namespace {

namespace ni = talmer::ni488;
namespace rl = talmer::ravlink;
using testing::block_header;
using testing::pattern;
using testing::store_prefix;

using reset_fn = int (*)();
using set_fn = int (*)(const char *, const char *);
using query_fn = long (*)(const char *, char *, long);

void *open_library(const char *file) {
  const std::string path = std::string(TALMER_SIM_LIBDIR) + "/" + file;
  void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) ADD_FAILURE() << dlerror();
  return h;
}

template <typename F>
F entry(void *h, const char *name) {
  void *p = dlsym(h, name);
  if (p == nullptr) ADD_FAILURE() << "missing entry " << name;
  return reinterpret_cast<F>(p);
}

// The control entries both libraries share.
struct controls {
  reset_fn reset;
  set_fn set;
  query_fn query_entry;

  explicit controls(void *h)
      : reset(entry<reset_fn>(h, "talmer_sim_reset")),
        set(entry<set_fn>(h, "talmer_sim_set")),
        query_entry(entry<query_fn>(h, "talmer_sim_query")) {}
  std::string query(const std::string &what) const {
    const long n = query_entry(what.c_str(), nullptr, 0);
    if (n < 0) return "<unknown>";
    std::string out(static_cast<std::size_t>(n), '\0');
    query_entry(what.c_str(), out.data(), n);
    return out;
  }
  // A fresh library with fast time-outs and the given settings.
  void fresh(std::initializer_list<std::pair<const char *, const char *>> extra = {}) const {
    ASSERT_EQ(reset(), 0) << query("settings_errors");
    ASSERT_EQ(set("timeout_scale", "0.001"), 0);
    for (const auto &[k, v] : extra) ASSERT_EQ(set(k, v), 0) << k << ": " << query("settings_errors");
  }
};

struct ni_library : controls {
  ni::ibfind_fn ibfindA, ibfind;
  ni::ibdev_fn ibdev;
  ni::ibud_fn ibclr, ibsic, ibloc;
  ni::ibud_int_fn ibonl, ibtmo, ibeot;
  ni::ibconfig_fn ibconfig;
  ni::ibwrt_fn ibwrt;
  ni::ibrd_fn ibrd;
  ni::register_fn reg;
  ni::unregister_fn unreg;
  ni::thread_int_fn sta, err, cnt;
  ni::thread_long_fn cntl;

  explicit ni_library(void *h)
      : controls(h),
        ibfindA(entry<ni::ibfind_fn>(h, "ibfindA")),
        ibfind(entry<ni::ibfind_fn>(h, "ibfind")),
        ibdev(entry<ni::ibdev_fn>(h, "ibdev")),
        ibclr(entry<ni::ibud_fn>(h, "ibclr")),
        ibsic(entry<ni::ibud_fn>(h, "ibsic")),
        ibloc(entry<ni::ibud_fn>(h, "ibloc")),
        ibonl(entry<ni::ibud_int_fn>(h, "ibonl")),
        ibtmo(entry<ni::ibud_int_fn>(h, "ibtmo")),
        ibeot(entry<ni::ibud_int_fn>(h, "ibeot")),
        ibconfig(entry<ni::ibconfig_fn>(h, "ibconfig")),
        ibwrt(entry<ni::ibwrt_fn>(h, "ibwrt")),
        ibrd(entry<ni::ibrd_fn>(h, "ibrd")),
        reg(entry<ni::register_fn>(h, "RegisterGpibGlobalsForThread")),
        unreg(entry<ni::unregister_fn>(h, "UnregisterGpibGlobalsForThread")),
        sta(entry<ni::thread_int_fn>(h, "ThreadIbsta")),
        err(entry<ni::thread_int_fn>(h, "ThreadIberr")),
        cnt(entry<ni::thread_int_fn>(h, "ThreadIbcnt")),
        cntl(entry<ni::thread_long_fn>(h, "ThreadIbcntl")) {}

  int write(int ud, const std::string &s) { return ibwrt(ud, s.data(), static_cast<long>(s.size())); }
  std::string read(int ud, long max = 4880) {
    std::string buf(static_cast<std::size_t>(max), ' ');
    ibrd(ud, buf.data(), max);
    return buf.substr(0, static_cast<std::size_t>(cntl()));
  }
};

ni_library &ni_lib() {
  static ni_library lib(open_library("libgpib.so.0"));
  return lib;
}

struct ravlink_library : controls {
  rl::iopen_fn iopen;
  rl::itimeout_fn itimeout;
  rl::iid_fn iclear, iclose, ilocal;
  rl::iwrite_fn iwrite;
  rl::iread_fn iread;
  rl::iflush_fn iflush;
  rl::iswap_fn iswap;
  rl::igeterrno_fn igeterrno;
  rl::igeterrstr_fn igeterrstr;

  explicit ravlink_library(void *h)
      : controls(h),
        iopen(entry<rl::iopen_fn>(h, "vb_iopen")),
        itimeout(entry<rl::itimeout_fn>(h, "vb_itimeout")),
        iclear(entry<rl::iid_fn>(h, "vb_iclear")),
        iclose(entry<rl::iid_fn>(h, "vb_iclose")),
        ilocal(entry<rl::iid_fn>(h, "vb_ilocal")),
        iwrite(entry<rl::iwrite_fn>(h, "vb_iwrite")),
        iread(entry<rl::iread_fn>(h, "vb_iread")),
        iflush(entry<rl::iflush_fn>(h, "vb_iflush")),
        iswap(entry<rl::iswap_fn>(h, "vb_iswap")),
        igeterrno(entry<rl::igeterrno_fn>(h, "vb_igeterrno")),
        igeterrstr(entry<rl::igeterrstr_fn>(h, "vb_igeterrstr")) {}

  int16_t write(int16_t id, const std::string &s, int16_t end) {
    int32_t actual = -1;
    const auto r = iwrite(rl::MODE_TEXT, id, s.data(), static_cast<int32_t>(s.size()), end, &actual);
    last_actual = actual;
    return r;
  }
  std::string read(int16_t id, int32_t size = 4880) {
    std::string buf(static_cast<std::size_t>(size), ' ');
    int32_t actual = -1;
    last_reason = -1;
    iread(rl::MODE_TEXT, id, buf.data(), size, &last_reason, &actual);
    last_actual = actual;
    return buf.substr(0, static_cast<std::size_t>(actual));
  }
  int16_t last_reason = 0;
  int32_t last_actual = 0;
};

ravlink_library &rav_lib() {
  static ravlink_library lib(open_library("libvbravlink32.so"));
  return lib;
}

double seconds_of(const std::function<void()> &f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// ---- NI-488.2 ------------------------------------------------------------

TEST(library_folders, hold_the_files_detection_looks_for) {
  void *h = open_library("libravlink32.so");
  ASSERT_NE(h, nullptr);
  EXPECT_NE(dlsym(h, "talmer_sim_ravlink_base"), nullptr);
  dlclose(h);
  namespace fs = std::filesystem;
  const fs::path all(TALMER_SIM_LIBDIR), ni(TALMER_SIM_LIBDIR_NI), rav(TALMER_SIM_LIBDIR_RAVLINK);
  for (const char *f : {"libgpib.so.0", "libvbravlink32.so", "libravlink32.so"}) EXPECT_TRUE(fs::exists(all / f)) << f;
  EXPECT_TRUE(fs::exists(ni / "libgpib.so.0"));
  EXPECT_FALSE(fs::exists(ni / "libravlink32.so"));
  EXPECT_TRUE(fs::exists(rav / "libvbravlink32.so"));
  EXPECT_TRUE(fs::exists(rav / "libravlink32.so"));
  EXPECT_FALSE(fs::exists(rav / "libgpib.so.0"));
}

TEST(ni488_library, registration_gives_the_configured_answer) {
  auto &l = ni_lib();
  struct row {
    const char *answer;
    int first, second_after_unregister;
  };
  for (const row &r : {row{"0", 0, 0}, row{"1", 1, 0}, row{"2", 2, 2}, row{"3", 3, 3}, row{"-7", -7, -7}}) {
    l.fresh({{"register", r.answer}});
    int sta = -1, err = -1, cnt = -1;
    long cntl = -1;
    EXPECT_EQ(l.reg(&sta, &err, &cnt, &cntl), r.first) << r.answer;
    EXPECT_EQ(l.unreg(), 0);
    EXPECT_EQ(l.reg(&sta, &err, &cnt, &cntl), r.second_after_unregister) << r.answer;
    l.ibfind("GPIB0");
    if (r.second_after_unregister == 0) {
      EXPECT_EQ(sta, ni::CMPL) << r.answer;
      EXPECT_EQ(l.reg(&sta, &err, &cnt, &cntl), 1) << "registered twice";
    } else {
      EXPECT_EQ(sta, -1) << "cells of a refused registration are never written";
    }
  }
}

TEST(ni488_library, registered_cells_follow_every_call) {
  auto &l = ni_lib();
  l.fresh();
  int sta = 0, err = 0, cnt = 0;
  long cntl = 0;
  ASSERT_EQ(l.reg(&sta, &err, &cnt, &cntl), 0);
  EXPECT_EQ(l.ibfindA("GPIB3"), -1);
  EXPECT_EQ(sta, ni::ERR);
  EXPECT_EQ(err, ni::EDVR);
  const int ud = l.ibdev(0, 19, 0, 9, 1, 0);
  l.write(ud, "*IDN?");
  EXPECT_EQ(sta, ni::CMPL);
  EXPECT_EQ(cntl, 5);
  EXPECT_EQ(cnt, 5);
  EXPECT_EQ(err, ni::EDVR) << "iberr keeps its value after a call that succeeds";
  l.unreg();
}

TEST(ni488_library, finds_only_the_boards_present) {
  auto &l = ni_lib();
  l.fresh();
  EXPECT_EQ(l.ibfind("GPIB0"), 0);
  EXPECT_EQ(l.sta(), ni::CMPL);
  EXPECT_EQ(l.ibfindA("gpib0"), 0);
  EXPECT_EQ(l.ibfind("GPIB1"), -1);
  EXPECT_EQ(l.sta() & ni::ERR, ni::ERR);
  EXPECT_EQ(l.ibsic(0), ni::CMPL);
  EXPECT_EQ(l.ibonl(0, 0), ni::CMPL);
  l.fresh({{"ni_boards", "1"}});
  EXPECT_EQ(l.ibfind("GPIB0"), -1);
  EXPECT_EQ(l.ibfind("GPIB1"), 1);
  EXPECT_EQ(l.ibdev(0, 19, 0, 9, 1, 0), -1);
  EXPECT_EQ(l.err(), ni::ENEB);
  l.fresh({{"ni_boards", "none"}});
  EXPECT_EQ(l.ibfind("GPIB0"), -1);
}

TEST(ni488_library, identifies_the_instrument_and_ends_a_read_at_eoi) {
  auto &l = ni_lib();
  l.fresh();
  const int ud = l.ibdev(0, 19, 0, 9, 1, 0);
  ASSERT_GE(ud, 0);
  EXPECT_EQ(l.ibclr(ud), ni::CMPL);
  EXPECT_EQ(l.write(ud, "*IDN?"), ni::CMPL);
  std::string buf(240, ' ');
  EXPECT_EQ(l.ibrd(ud, buf.data(), 240), ni::CMPL | ni::END);
  const std::string idn = "Talmer-D,K902,SIM000001,2.40\n";
  EXPECT_EQ(l.cntl(), static_cast<long>(idn.size()));
  EXPECT_EQ(buf, idn + std::string(240 - idn.size(), ' '));
  // A read shorter than the reply ends without END and leaves the rest.
  l.write(ud, "DIAG:INFO:OPT?");
  EXPECT_EQ(l.read(ud, 3), "QVB");
  EXPECT_EQ(l.sta(), ni::CMPL);
  EXPECT_EQ(l.read(ud), ",QVX\n");
  EXPECT_EQ(l.sta(), ni::CMPL | ni::END);
  EXPECT_EQ(l.ibloc(ud), ni::CMPL);
  EXPECT_EQ(l.ibonl(ud, 0), ni::CMPL);
  EXPECT_EQ(l.query("open"), "0");
}

TEST(ni488_library, nobody_listens_at_an_empty_address_and_its_reads_time_out) {
  auto &l = ni_lib();
  l.fresh();
  ASSERT_EQ(l.set("timeout_scale", "0.01"), 0);
  const int ud = l.ibdev(0, 5, 0, 11, 1, 0);  // 1 s, 10 ms in real time
  ASSERT_GE(ud, 0);
  EXPECT_EQ(l.write(ud, "*IDN?"), ni::ERR);
  EXPECT_EQ(l.err(), ni::ENOL);
  EXPECT_EQ(l.cntl(), 0);
  EXPECT_EQ(l.ibclr(ud), ni::ERR);
  EXPECT_EQ(l.err(), ni::ENOL);
  std::string buf(240, ' ');
  const double t = seconds_of([&] { EXPECT_EQ(l.ibrd(ud, buf.data(), 240), ni::ERR | ni::TIMO | ni::CMPL); });
  EXPECT_EQ(l.err(), ni::EABO);
  EXPECT_EQ(l.cntl(), 0);
  EXPECT_EQ(buf, std::string(240, ' '));
  EXPECT_GE(t, 0.0099);
  EXPECT_LT(t, 0.5);
}

TEST(ni488_library, another_device_answers_with_its_own_identity) {
  auto &l = ni_lib();
  l.fresh({{"other_address", "7"}, {"other_identity", "Acme,Counter,1,1"}});
  const int ud = l.ibdev(0, 7, 0, 9, 1, 0);
  l.write(ud, "*IDN?");
  EXPECT_EQ(l.read(ud), "Acme,Counter,1,1\n");
  l.write(ud, "DIAG:INFO:OPT?");
  EXPECT_EQ(l.read(ud), "");
  EXPECT_EQ(l.sta() & ni::TIMO, ni::TIMO);
}

TEST(ni488_library, stores_a_block_sent_with_eot_off_and_write_adjustment) {
  auto &l = ni_lib();
  l.fresh();
  const int ud = l.ibdev(0, 19, 0, 9, 1, 0);
  const std::string data = pattern(20000);
  EXPECT_EQ(l.ibeot(ud, 0), ni::CMPL);
  l.write(ud, store_prefix(channel::i, "W1"));
  l.write(ud, block_header(data.size()));
  EXPECT_EQ(l.ibconfig(ud, ni::IbcWriteAdjust, 1), ni::CMPL);
  EXPECT_EQ(l.ibwrt(ud, data.data(), 16384), ni::CMPL);
  EXPECT_EQ(l.cntl(), 16384);
  l.ibeot(ud, 1);
  EXPECT_EQ(l.ibwrt(ud, data.data() + 16384, 20000 - 16384), ni::CMPL);
  l.ibconfig(ud, ni::IbcWriteAdjust, 0);
  l.write(ud, "*OPC?");
  EXPECT_EQ(l.read(ud), "1\n");
  std::string swapped = data;
  for (std::size_t k = 0; k + 1 < swapped.size(); k += 2) std::swap(swapped[k], swapped[k + 1]);
  EXPECT_EQ(l.query("data:arbi:W1"), swapped);
  EXPECT_EQ(l.query("errors"), "");
  EXPECT_EQ(l.query("stores"), "arbi:W1 20000 20000 stored\n");
  EXPECT_EQ(l.query("catalog:arbi"), "24576," + std::to_string((32u << 20) - 24576) + ",\"W1,BIN,20000\"");
  const std::string log = l.query("wire_log");
  EXPECT_NE(log.find("> 20028 E mmem:data \"arbi:W1\", #520000"), std::string::npos) << log.substr(0, 300);
}

TEST(ni488_library, a_block_whose_last_chunk_lacks_eoi_is_refused) {
  auto &l = ni_lib();
  l.fresh();
  const int ud = l.ibdev(0, 19, 0, 9, 1, 0);
  l.ibeot(ud, 0);
  l.write(ud, store_prefix(channel::i, "W1") + block_header(32));
  l.write(ud, pattern(32));
  l.ibeot(ud, 1);
  l.write(ud, "*OPC?");
  l.read(ud);
  EXPECT_EQ(l.sta() & ni::TIMO, ni::TIMO) << "the query was taken as part of the block";
  EXPECT_EQ(l.query("errors"), "-160,Block data error; extra bytes after block\n");
  EXPECT_EQ(l.query("stores"), "arbi:W1 32 32 protocol_error\n");
}

TEST(ni488_library, a_dropped_link_times_out_from_then_on) {
  auto &l = ni_lib();
  l.fresh({{"fault", "drop-after=100"}});
  const int ud = l.ibdev(0, 19, 0, 9, 1, 0);
  l.ibeot(ud, 0);
  l.write(ud, store_prefix(channel::i, "W1") + block_header(16384));
  const std::string data = pattern(16384);
  EXPECT_EQ(l.ibwrt(ud, data.data(), 16384), ni::ERR | ni::TIMO | ni::CMPL);
  EXPECT_EQ(l.err(), ni::EABO);
  EXPECT_EQ(l.cntl(), 100);
  l.ibeot(ud, 1);
  EXPECT_EQ(l.write(ud, "*OPC?"), ni::ERR | ni::TIMO | ni::CMPL);
  EXPECT_EQ(l.cntl(), 0);
  l.read(ud);
  EXPECT_EQ(l.sta(), ni::ERR | ni::TIMO | ni::CMPL);
  EXPECT_EQ(l.ibclr(ud), ni::ERR | ni::TIMO | ni::CMPL);
}

TEST(ni488_library, a_reply_slower_than_the_time_out_is_lost_to_the_next_query) {
  auto &l = ni_lib();
  // Times far apart, so that the time the test itself takes between two
  // calls (counted in instrument time too) cannot make the reply early.
  l.fresh({{"fault", "slow-reply=*IDN?/5000"}, {"timeout_scale", "0.01"}});
  const int ud = l.ibdev(0, 19, 0, 9, 1, 0);  // 100 ms
  l.write(ud, "*IDN?");
  EXPECT_EQ(l.read(ud), "");
  EXPECT_EQ(l.sta(), ni::ERR | ni::TIMO | ni::CMPL);
  l.ibtmo(ud, 14);  // 30 s: long enough
  l.write(ud, "*IDN?");
  EXPECT_EQ(l.query("errors"), "-410,Query INTERRUPTED\n") << "the late reply was discarded";
  EXPECT_EQ(l.read(ud), "Talmer-D,K902,SIM000001,2.40\n");
  EXPECT_EQ(l.sta(), ni::CMPL | ni::END);
}

TEST(ni488_library, refuses_bad_descriptors_and_arguments) {
  auto &l = ni_lib();
  l.fresh();
  EXPECT_EQ(l.write(999, "*IDN?"), ni::ERR);
  EXPECT_EQ(l.err(), ni::EDVR);
  const int ud = l.ibdev(0, 19, 0, 9, 1, 0);
  EXPECT_EQ(l.ibdev(0, 31, 0, 9, 1, 0), -1);
  EXPECT_EQ(l.err(), ni::EARG);
  EXPECT_EQ(l.ibtmo(ud, 18), ni::ERR);
  EXPECT_EQ(l.err(), ni::EARG);
  EXPECT_EQ(l.ibconfig(ud, 0x99, 0), ni::ERR);
  EXPECT_EQ(l.err(), ni::ECAP);
  EXPECT_EQ(l.ibconfig(ud, ni::IbcWriteAdjust, 2), ni::ERR);
  EXPECT_EQ(l.ibsic(ud), ni::ERR) << "interface clear needs a board descriptor";
  EXPECT_EQ(l.query("open"), "1");
  l.ibonl(ud, 0);
  EXPECT_EQ(l.write(ud, "*IDN?"), ni::ERR);
  EXPECT_EQ(l.err(), ni::EDVR);
  EXPECT_EQ(l.query("open"), "0");
  EXPECT_EQ(l.query("no such question"), "<unknown>");
  EXPECT_EQ(l.set("address", "99"), -1);
  EXPECT_NE(l.query("settings_errors"), "");
}

TEST(ni488_library, writes_stored_waveforms_to_the_store_folder) {
  auto &l = ni_lib();
  testing::temp_dir dir;
  l.fresh({{"store", dir.path().c_str()}});
  const int ud = l.ibdev(0, 19, 0, 9, 1, 0);
  l.write(ud, store_prefix(channel::q, "Q1") + block_header(64) + pattern(64));
  EXPECT_EQ(testing::read_file(dir / "arbq_Q1.bin"), pattern(64));
  l.reset();
}

// ---- Ravlink -------------------------------------------------------------

TEST(ravlink_library, opens_only_the_interfaces_present) {
  auto &l = rav_lib();
  l.fresh();
  const int16_t id = l.iopen("corvaneib");
  EXPECT_GT(id, 0);
  EXPECT_EQ(l.igeterrno(), 0);
  EXPECT_EQ(l.itimeout(id, 100), 0);
  EXPECT_EQ(l.iclear(id), 0);
  EXPECT_EQ(l.iclose(id), 0);
  EXPECT_EQ(l.iclose(id), rl::I_ERR_BADID);
  struct row {
    const char *address;
    int16_t error;
  };
  for (const row &r : {row{"gpib", rl::I_ERR_BADADDR}, row{"corvaneib0", rl::I_ERR_BADADDR},
                       row{"corvaneib,31", rl::I_ERR_BADADDR}, row{"corvaneib,x", rl::I_ERR_SYNTAX},
                       row{"", rl::I_ERR_SYNTAX}}) {
    EXPECT_EQ(l.iopen(r.address), 0) << r.address;
    EXPECT_EQ(l.igeterrno(), r.error) << r.address;
  }
  char text[60];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(l.igeterrstr(rl::I_ERR_BADADDR, text), 0);
  EXPECT_LT(std::strlen(text), 60u);
  EXPECT_NE(std::string(text).find("Invalid address"), std::string::npos);
  l.fresh({{"rav_interfaces", "gpib7,gpib"}});
  EXPECT_GT(l.iopen("gpib7"), 0);
  EXPECT_GT(l.iopen("gpib"), 0);
  EXPECT_EQ(l.iopen("corvaneib"), 0);
}

TEST(ravlink_library, identifies_the_instrument_with_end_on_the_reply) {
  auto &l = rav_lib();
  l.fresh();
  const int16_t id = l.iopen("corvaneib,19");
  ASSERT_GT(id, 0);
  EXPECT_EQ(l.itimeout(id, 100), 0);
  EXPECT_EQ(l.iclear(id), 0);
  EXPECT_EQ(l.write(id, "*IDN?", 1), 0);
  EXPECT_EQ(l.last_actual, 5);
  EXPECT_EQ(l.read(id, 16384), "Talmer-D,K902,SIM000001,2.40\n");
  EXPECT_EQ(l.last_reason, rl::REASON_END);
  l.write(id, "*OPC?", 1);
  EXPECT_EQ(l.read(id, 1), "1");
  EXPECT_EQ(l.last_reason, rl::REASON_REQCNT);
  EXPECT_EQ(l.ilocal(id), 0);
  EXPECT_EQ(l.iclose(id), 0);
}

TEST(ravlink_library, an_empty_address_has_no_listener_and_its_reads_time_out) {
  auto &l = rav_lib();
  l.fresh();
  ASSERT_EQ(l.set("timeout_scale", "0.01"), 0);
  const int16_t id = l.iopen("corvaneib,5");
  ASSERT_GT(id, 0);
  EXPECT_EQ(l.itimeout(id, 1000), 0);
  EXPECT_EQ(l.iclear(id), rl::I_ERR_NOLISTEN);
  EXPECT_EQ(l.write(id, "*IDN?", 1), rl::I_ERR_NOLISTEN);
  EXPECT_EQ(l.last_actual, 0);
  int16_t r = 0;
  const double t = seconds_of([&] {
    std::string buf(240, ' ');
    int16_t reason = -1;
    int32_t actual = -1;
    r = l.iread(rl::MODE_TEXT, id, buf.data(), 240, &reason, &actual);
    EXPECT_EQ(actual, 0);
    EXPECT_EQ(buf, std::string(240, ' '));
  });
  EXPECT_EQ(r, rl::I_ERR_TIMEOUT);
  EXPECT_EQ(l.igeterrno(), rl::I_ERR_TIMEOUT);
  EXPECT_GE(t, 0.0099);
  EXPECT_LT(t, 0.5);
  EXPECT_EQ(l.ilocal(id), rl::I_ERR_NOLISTEN);
  EXPECT_EQ(l.iclose(id), 0);
  EXPECT_EQ(l.igeterrno(), 0);
  EXPECT_EQ(l.itimeout(id, 100), rl::I_ERR_BADID);
}

TEST(ravlink_library, stores_a_block_closed_by_a_line_feed_with_end) {
  auto &l = rav_lib();
  l.fresh();
  const int16_t id = l.iopen("corvaneib,19");
  const std::string data = pattern(20000);
  l.write(id, store_prefix(channel::i, "W1"), 0);
  l.write(id, block_header(data.size()), 0);
  EXPECT_EQ(l.iflush(id, rl::FLUSH_WRITE), 0);
  int32_t actual = 0;
  EXPECT_EQ(l.iwrite(rl::MODE_INT16, id, data.data(), 16384, 0, &actual), 0);
  EXPECT_EQ(actual, 16384);
  EXPECT_EQ(l.iwrite(rl::MODE_INT16, id, data.data() + 16384, 20000 - 16384, 0, &actual), 0);
  l.write(id, "\n", 1);
  l.write(id, "*OPC?", 1);
  EXPECT_EQ(l.read(id, 1), "1");
  l.write(id, "rad:arb:stat?", 1);
  EXPECT_EQ(l.read(id), "0\n");
  EXPECT_EQ(l.query("data:arbi:W1"), data);
  // The completion reply's line feed was left unread and went with the next query.
  EXPECT_EQ(l.query("errors"), "-410,Query INTERRUPTED\n");
  EXPECT_EQ(l.query("stores"), "arbi:W1 20000 20000 stored\n");
}

TEST(ravlink_library, a_block_without_its_line_feed_is_refused) {
  auto &l = rav_lib();
  l.fresh();
  const int16_t id = l.iopen("corvaneib,19");
  l.write(id, store_prefix(channel::i, "W1") + block_header(32), 0);
  l.write(id, pattern(32), 1);
  EXPECT_EQ(l.query("errors"), "-160,Block data error; missing terminator\n");
  EXPECT_EQ(l.query("catalog:arbi"), "0," + std::to_string(32u << 20));
}

TEST(ravlink_library, swaps_items_in_place) {
  auto &l = rav_lib();
  const std::string original = pattern(16384);
  std::string buf = original;
  EXPECT_EQ(l.iswap(buf.data(), 16384, 2), 0);
  for (std::size_t k = 0; k < 16384; k += 2) {
    ASSERT_EQ(buf[k], original[k + 1]);
    ASSERT_EQ(buf[k + 1], original[k]);
  }
  EXPECT_EQ(l.iswap(buf.data(), 16384, 3), rl::I_ERR_PARAM);
  EXPECT_EQ(l.igeterrno(), rl::I_ERR_PARAM);
}

TEST(ravlink_library, a_dropped_link_times_out_from_then_on) {
  auto &l = rav_lib();
  l.fresh({{"fault", "drop-after=10"}});
  const int16_t id = l.iopen("corvaneib,19");
  l.itimeout(id, 3000);
  l.write(id, store_prefix(channel::i, "W1") + block_header(32), 0);
  EXPECT_EQ(l.write(id, pattern(32), 0), rl::I_ERR_TIMEOUT);
  EXPECT_EQ(l.last_actual, 10);
  EXPECT_EQ(l.write(id, "\n", 1), rl::I_ERR_TIMEOUT);
  EXPECT_EQ(l.iclear(id), rl::I_ERR_TIMEOUT);
  l.read(id);
  EXPECT_EQ(l.igeterrno(), rl::I_ERR_TIMEOUT);
}

TEST(both_libraries, keep_separate_instruments_in_one_process) {
  auto &n = ni_lib();
  auto &r = rav_lib();
  n.fresh();
  r.fresh({{"identity", "Talmer-D,K902,RAV,1"}});
  const int ud = n.ibdev(0, 19, 0, 9, 1, 0);
  n.write(ud, store_prefix(channel::i, "ViaNI") + block_header(16) + pattern(16));
  EXPECT_NE(n.query("catalog:arbi").find("ViaNI"), std::string::npos);
  EXPECT_EQ(r.query("catalog:arbi").find("ViaNI"), std::string::npos);
  const int16_t id = r.iopen("corvaneib,19");
  r.write(id, "*IDN?", 1);
  EXPECT_EQ(r.read(id), "Talmer-D,K902,RAV,1\n");
  n.write(ud, "*IDN?");
  EXPECT_EQ(n.read(ud), "Talmer-D,K902,SIM000001,2.40\n");
}

}  // namespace
}  // namespace talmer::sim
