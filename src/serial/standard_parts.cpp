// The serial download's rules, taken from the subsystems that own them: the
// command set and block header, the reply tests of the GPIB discovery and
// of the download, the memory check and the completion message.
#include "download/commands.h"
#include "download/download_rules.h"
#include "download/memory_check.h"
#include "gpib/discovery_rules.h"
#include "ui/talmer_arb.h"

namespace talmer::ui {

namespace {

download::channel channel_of(char letter) { return letter == 'Q' ? download::channel::Q : download::channel::I; }

}  // namespace

talmer::serial::serial_download_parts TALMER_ARB::standard_serial_parts() {
  using talmer::serial::instrument_query;
  talmer::serial::serial_download_parts p;
  p.query_text = [](instrument_query q) -> std::string {
    switch (q) {
      case instrument_query::identification: return std::string(download::identification_query);
      case instrument_query::options: return std::string(download::options_query);
      case instrument_query::arb_state: return std::string(download::arb_state_query);
      case instrument_query::selected_waveform: return std::string(download::selected_waveform_query);
      case instrument_query::memory_catalog: return std::string(download::catalog_query);
    }
    return std::string();
  };
  p.store_prefix = [](char ch, const std::string &name) { return download::store_prefix(channel_of(ch), name); };
  p.block_header = [](std::int64_t n) { return download::block_header(n); };
  p.is_talmer = [](const std::string &r) { return gpib::identifies_talmer(r); };
  p.has_arb_option = [](const std::string &r) { return gpib::has_arb_option(r); };
  p.arb_running = [](const std::string &r) { return download::arb_running(r); };
  p.names_selected_waveform = [](const std::string &r, const std::string &name) {
    return download::selected_waveform_is(r, name);
  };
  p.check_avail_memory = [this](std::string &strbuf, bool &error_active, std::string &error_text) {
    return download::check_avail_memory(strbuf, destination.text(), points.caption(), error_active, error_text);
  };
  p.done_message = [](bool convert_flg, std::int32_t clock, bool dataerror) {
    return download::success_text(convert_flg, clock, dataerror);
  };
  return p;
}

}  // namespace talmer::ui
