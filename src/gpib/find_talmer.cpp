// Address search: the GPIB address at which a Talmer signal generator of
// the digital model answers, and whether its ARB option is installed.
#include <vector>

#include "gpib/scope_exit.h"
#include "ui/talmer_arb.h"

namespace talmer::ui {

namespace {
constexpr std::size_t reply_length = 240;
constexpr std::size_t scratch_points = 8192;
}  // namespace

void TALMER_ARB::finish_address_search(const char *prefix, const std::string &intfc, bool automatic,
                                       int Talmeraddr, bool arb_option_found, bool &error_active,
                                       std::string &error_text) {
  if (Talmeraddr < 0) {
    error_text = gpib::no_talmer_text(prefix, intfc, automatic, Talmerid.text());
    error_active = true;
    return;
  }
  if (!arb_option_found) {
    error_text = gpib::no_arb_option_text;
    error_active = true;
  }
  // The list now shows the address found, so the next run probes only it.
  Talmerid.set_text(std::to_string(Talmeraddr));
  Talmerid.refresh();
}

// The interface name is a value parameter, as the window declares it.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
void TALMER_ARB::find_Talmer_NI(std::string intfc, int &Talmeraddr, bool &error_active,
                                std::string &error_text) {
  gpib_pending.clear();
  gpib_trace("find_Talmer_NI: GPIB address search");
  Talmeraddr = -1;
  bool arb_option_found = false;
  const gpib::address_choice choice = gpib::address_from_list(Talmerid.text());
  std::int16_t current = choice.first;
  bool first_pass = true;

  std::string problem;
  ni488::call_layer *ni = ni488_layer(problem);
  if (ni == nullptr) {
    error_text = problem;
    error_active = true;
    return;
  }

  const std::int16_t board = gpib::round_to_int16(gpib::numeric_value(intfc));
  std::int16_t descriptor = 0;
  std::string reply(reply_length, ' ');
  // Nothing is tested on this link: an address without an instrument gives
  // no reply, so the reply buffer stays blank and is not identified.
  auto probe = [&] {
    // The descriptor of the address is opened with the short probe time-out
    // (code 9: 100 ms) and END on writes, and released on every way out of
    // the probe, so no device is left in the probe's state.
    ni->ibdev(board, current, 0, 9, 1, 0, descriptor);
    const gpib::scope_exit release([ni, &descriptor] {
      ni->ibloc(descriptor);
      ni->ibonl(descriptor, 0);
    });
    ni->ibclr(descriptor);
    ni->ibwrt(descriptor, "*IDN?");
    reply.assign(reply_length, ' ');
    ni->ibrd(descriptor, reply);
    if (gpib::identifies_talmer(reply)) {
      Talmeraddr = current;
      ni->ibwrt(descriptor, "DIAG:INFO:OPT?");
      reply.assign(reply_length, ' ');
      ni->ibrd(descriptor, reply);
      if (gpib::has_arb_option(reply)) arb_option_found = true;
    }
  };
  while (current < gpib::address_limit && Talmeraddr == -1) {
    probe();
    current = gpib::next_address(current, choice.automatic, first_pass, false);
  }

  finish_address_search(gpib::ni_interface_prefix, intfc, choice.automatic, Talmeraddr,
                        arb_option_found, error_active, error_text);
}

void TALMER_ARB::find_Talmer_Corvane(std::string intfc, int &Talmeraddr, bool &error_active,
                                     std::string &error_text) {
  gpib_pending.clear();
  gpib_trace("find_Talmer_Corvane: GPIB address search");
  Talmeraddr = -1;
  bool arb_option_found = false;
  const gpib::address_choice choice = gpib::address_from_list(Talmerid.text());
  std::int16_t current = choice.first;
  if (current > 30) current = 0;
  bool first_pass = true;

  std::string problem;
  ravlink::call_layer *rav = ravlink_layer(problem);
  if (rav == nullptr) {
    error_text = problem;
    error_active = true;
    return;
  }

  std::int16_t id = 0;
  std::int32_t actual = 0;
  std::int16_t reason = 0;
  std::string reply(reply_length, ' ');
  std::vector<std::int16_t> scratch(scratch_points);
  // A failed open, time-out or read leaves a pending error, which rejects
  // the address; it is cleared after each address.
  auto probe = [&] {
    // The connection of the address gets the short probe time-out of
    // 100 ms and is released on every way out of the probe.
    if (auto opened = rav->vb_iopen(intfc + "," + std::to_string(current))) id = *opened;
    const gpib::scope_exit release([this, rav, &id] {
      os().sleep_ms(100);
      rav->vb_ilocal(id);
      rav->vb_iclose(id);
      gpib_pending.clear();
    });
    rav->vb_itimeout(id, 100);
    rav->vb_iclear(id);

    // The first reply is read into the scratch buffer unchecked; only when
    // something came back is the query repeated into the reply buffer.
    rav->vb_iwrite(id, "*IDN?", 5, 1, actual);
    reply.assign(reply_length, ' ');
    scratch[0] = 0;
    rav->vb_iread_mode1(id, scratch, static_cast<std::int32_t>(scratch_points), reason, actual);
    if (scratch[0] != 0) {
      gpib_pending.clear();
      rav->vb_iwrite(id, "*IDN?", 5, 1, actual);
      rav->vb_iread_mode1(id, reply, static_cast<std::int32_t>(reply_length), reason, actual);
    }

    if (gpib_pending.number() == 0 && gpib::identifies_talmer(reply)) {
      Talmeraddr = current;
      rav->vb_iwrite(id, "DIAG:INFO:OPT?", 14, 1, actual);
      reply.assign(reply_length, ' ');
      rav->vb_iread(id, reply, static_cast<std::int32_t>(reply_length), reason, actual);
      if (gpib::has_arb_option(reply)) arb_option_found = true;
    }
  };
  while (current < gpib::address_limit && Talmeraddr == -1) {
    show_message(gpib::testing_address_text(current));
    repaint_panel();
    probe();
    current = gpib::next_address(current, choice.automatic, first_pass, true);
  }
  gpib_pending.clear();

  finish_address_search(gpib::corvane_interface_prefix, intfc, choice.automatic, Talmeraddr,
                        arb_option_found, error_active, error_text);
}

void TALMER_ARB::discover_gpib_link(gpib::link_identity &link, bool &error_active,
                                    std::string &error_text) {
  link = gpib::link_identity{};
  find_gpibcard(link.gpibcard, error_active, error_text);
  if (error_active) return;
  find_gpib_interface(link.gpibcard, link.intfc, error_active, error_text);
  if (error_active) return;
  if (link.gpibcard == gpib::card_ni)
    find_Talmer_NI(link.intfc, link.Talmeraddr, error_active, error_text);
  else if (link.gpibcard == gpib::card_corvane)
    find_Talmer_Corvane(link.intfc, link.Talmeraddr, error_active, error_text);
}

}  // namespace talmer::ui
