#include "model/instrument.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace talmer::sim {

namespace {

constexpr std::size_t max_command = 4096;  // longest command text before a block
constexpr std::size_t max_errors = 20;     // error queue depth

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string lower(std::string_view s) {
  std::string out(s);
  for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool icontains(std::string_view hay, std::string_view needle) {
  return lower(hay).find(lower(needle)) != std::string::npos;
}

// The options text without the ARB option.
std::string without_qvx(std::string_view options) {
  std::string out;
  std::size_t start = 0;
  while (start <= options.size()) {
    auto comma = options.find(',', start);
    if (comma == std::string_view::npos) comma = options.size();
    const auto item = options.substr(start, comma - start);
    if (!icontains(item, "QVX")) {
      if (!out.empty()) out += ',';
      out += item;
    }
    start = comma + 1;
  }
  return out;
}

std::string decode_file_name(std::string_view s) {
  std::string out;
  for (std::size_t k = 0; k < s.size(); ++k) {
    if (s[k] == '%' && k + 2 < s.size()) {
      const std::string hex(s.substr(k + 1, 2));
      char *end = nullptr;
      const long v = std::strtol(hex.c_str(), &end, 16);
      if (end == hex.c_str() + 2) {
        out.push_back(static_cast<char>(v));
        k += 2;
        continue;
      }
    }
    out.push_back(s[k]);
  }
  return out;
}

// What precedes the '#' of a store command.
struct store_prefix {
  channel ch = channel::i;
  std::string name;
  std::optional<scpi_error> error;  // the block is consumed, then refused with this
};

// Recognises `mmem:data <string>, ` in front of a block. nullopt when the
// header is not the store command: the '#' is then ordinary text.
std::optional<store_prefix> parse_store_prefix(std::string_view text) {
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  std::size_t k = 0;
  while (k < text.size() && !blank(text[k])) ++k;
  const auto h = resolve_header(text.substr(0, k));
  if (!h || h->id != command_id::data || h->query) return std::nullopt;
  std::string_view rest = text.substr(k);
  store_prefix p;
  if (rest.empty()) {
    p.error = scpi_error{-109, "Missing parameter; waveform name expected before the block"};
    return p;
  }
  const auto str = parse_string(rest);
  if (!str) {
    p.error = scpi_error{-151, "Invalid string data; waveform name expected before the block"};
    return p;
  }
  while (!rest.empty() && blank(rest.front())) rest.remove_prefix(1);
  if (rest.empty() || rest.front() != ',') {
    p.error = scpi_error{-103, "Invalid separator; comma expected before the block"};
    return p;
  }
  rest.remove_prefix(1);
  while (!rest.empty() && blank(rest.front())) rest.remove_prefix(1);
  if (!rest.empty()) {
    p.error = scpi_error{-103, "Invalid separator; unexpected text before the block"};
    return p;
  }
  const auto colon = str->find(':');
  const std::string mem = colon == std::string::npos ? std::string{} : str->substr(0, colon);
  if (iequals(mem, "arbi")) {
    p.ch = channel::i;
  } else if (iequals(mem, "arbq")) {
    p.ch = channel::q;
  } else {
    p.error = scpi_error{-224, "Illegal parameter value; memory must be ARBI: or ARBQ:"};
    return p;
  }
  p.name = str->substr(colon + 1);
  if (!valid_waveform_name(p.name)) p.error = scpi_error{-151, "Invalid string data; waveform name"};
  return p;
}

// "ARBI:NAME" in a string parameter.
std::optional<std::pair<channel, std::string>> memory_name(std::string_view param, bool name_needed) {
  const auto str = parse_string(param);
  if (!str || !trim(param).empty()) return std::nullopt;
  const auto colon = str->find(':');
  if (colon == std::string::npos) return std::nullopt;
  const auto mem = std::string_view(*str).substr(0, colon);
  channel ch;
  if (iequals(mem, "arbi"))
    ch = channel::i;
  else if (iequals(mem, "arbq"))
    ch = channel::q;
  else
    return std::nullopt;
  std::string name = str->substr(colon + 1);
  if (name_needed ? !valid_waveform_name(name) : !name.empty()) return std::nullopt;
  return std::make_pair(ch, name);
}

}  // namespace

std::string_view link_name(link_kind link) {
  switch (link) {
    case link_kind::ni488: return "ni488";
    case link_kind::ravlink: return "ravlink";
    case link_kind::rs232: return "rs232";
  }
  return "?";
}

std::uint64_t occupied_bytes(std::uint64_t size) { return (size + memory_block - 1) / memory_block * memory_block; }

std::uint64_t fnv1a(std::string_view bytes, std::uint64_t h) {
  for (char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ull;
  }
  return h;
}

std::string file_name_for(channel ch, std::string_view name) {
  std::string out(channel_prefix(ch));
  out += '_';
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '_' || c == '-' || c == '.' || c == '+') {
      out.push_back(c);
    } else {
      static const char hex[] = "0123456789ABCDEF";
      out += '%';
      out.push_back(hex[u >> 4]);
      out.push_back(hex[u & 15]);
    }
  }
  out += ".bin";
  return out;
}

instrument::instrument(const settings &s, const clock &c, link_kind link, bool other_device)
    : s_(s),
      clock_(c),
      link_(link),
      other_device_(other_device),
      identity_(other_device || s.faults.other_device ? s.other_identity : s.identity),
      options_(s.faults.no_qvx ? without_qvx(s.options) : s.options),
      capacity_(s.capacity / memory_block * memory_block),
      arb_on_(s.arb_on),
      selected_(s.selected),
      log_(s.log_cap) {
  if (other_device_) return;
  load_store_dir();
  for (const auto &w : s_.waveforms) put_waveform(w.ch, waveform{w.name, w.size, std::nullopt, {}, w.size == 0});
  if (s_.faults.arb_playing) {
    arb_on_ = true;
    selected_ = *s_.faults.arb_playing;
  }
  if (s_.faults.memory_full)
    for (channel ch : {channel::i, channel::q}) {
      const auto u = used(ch);
      filler_[index(ch)] = u < capacity_ ? capacity_ - u : 0;
    }
}

instrument::~instrument() {
  close_store_file(false);
  log_.close_record();
}

void instrument::load_store_dir() {
  if (s_.store_dir.empty()) return;
  DIR *d = opendir(s_.store_dir.c_str());
  if (d == nullptr) return;
  std::vector<std::string> names;
  while (const dirent *e = readdir(d)) names.emplace_back(e->d_name);
  closedir(d);
  std::sort(names.begin(), names.end());
  for (const auto &file : names) {
    if (file.size() < 9 || file.compare(file.size() - 4, 4, ".bin") != 0) continue;
    channel ch;
    if (file.compare(0, 5, "arbi_") == 0)
      ch = channel::i;
    else if (file.compare(0, 5, "arbq_") == 0)
      ch = channel::q;
    else
      continue;
    const std::string name = decode_file_name(std::string_view(file).substr(5, file.size() - 9));
    if (!valid_waveform_name(name) || file_name_for(ch, name) != file) continue;
    const std::string path = s_.store_dir + "/" + file;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    waveform w{name, static_cast<std::uint64_t>(st.st_size), std::nullopt, {}, false};
    if (w.size <= s_.keep_bytes) {
      if (std::FILE *f = std::fopen(path.c_str(), "rb")) {
        w.data.resize(w.size);
        if (std::fread(w.data.data(), 1, w.data.size(), f) == w.data.size()) {
          w.hash = fnv1a(w.data);
          w.data_complete = true;
        } else {
          w.data.clear();
        }
        std::fclose(f);
      }
    }
    put_waveform(ch, std::move(w));
  }
}

void instrument::put_waveform(channel ch, waveform w) {
  auto &mem = memory_[index(ch)];
  for (auto it = mem.begin(); it != mem.end(); ++it)
    if (iequals(it->name, w.name)) {
      mem.erase(it);
      break;
    }
  const auto pos = std::lower_bound(mem.begin(), mem.end(), w, [](const waveform &a, const waveform &b) {
    return lower(a.name) < lower(b.name);
  });
  mem.insert(pos, std::move(w));
}

const waveform *instrument::find(channel ch, std::string_view name) const {
  for (const auto &w : memory_[index(ch)])
    if (iequals(w.name, name)) return &w;
  return nullptr;
}

std::uint64_t instrument::used(channel ch) const {
  std::uint64_t u = filler_[index(ch)];
  for (const auto &w : memory_[index(ch)]) u += occupied_bytes(w.size);
  return u;
}

std::uint64_t instrument::free(channel ch) const {
  const auto u = used(ch);
  return u < capacity_ ? capacity_ - u : 0;
}

std::string instrument::catalog_text(channel ch) const {
  if (s_.faults.unparsable_catalog) return "MEMORY CATALOG UNAVAILABLE";
  const bool garbled = s_.faults.garbled_catalog;
  std::string text = garbled ? "??,??" : std::to_string(used(ch)) + "," + std::to_string(free(ch));
  for (const auto &w : memory_[index(ch)]) {
    text += ",\"" + w.name + ",BIN," + std::to_string(w.size);
    if (!garbled) text += '"';
  }
  return text;
}

void instrument::push_error(int code, std::string text) {
  if (errors_.size() >= max_errors) {
    errors_.back() = scpi_error{-350, "Queue overflow"};
    return;
  }
  errors_.push_back(scpi_error{code, std::move(text)});
}

void instrument::queue_reply(command_header h, std::string text) {
  const std::string name = canonical_name(h);
  silenced_.resize(s_.faults.no_reply.size());
  for (std::size_t k = 0; k < s_.faults.no_reply.size(); ++k) {
    const auto &q = s_.faults.no_reply[k];
    if ((q.query == "*" || q.query == name) && (q.times == 0 || silenced_[k] < q.times)) {
      ++silenced_[k];
      return;
    }
  }
  std::int64_t delay = 0;
  int pieces = 1;
  std::int64_t gap = 0;
  for (const auto &t : s_.faults.timing)
    if (t.query == "*" || t.query == name) {
      delay += t.delay_ms;
      if (t.pieces > 1) {
        pieces = t.pieces;
        gap = t.gap_ms;
      }
    }
  text += '\n';
  std::int64_t start = clock_.now_ms() + delay;
  if (!output_.empty()) start = std::max(start, output_.back().at_ms);
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(pieces), text.size());
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t from = text.size() * k / n;
    const std::size_t to = text.size() * (k + 1) / n;
    output_.push_back(reply_piece{text.substr(from, to - from), start + static_cast<std::int64_t>(k) * gap, k + 1 == n});
  }
}

std::optional<std::int64_t> instrument::next_output_ms() const {
  if (output_.empty()) return std::nullopt;
  return output_.front().at_ms;
}

std::string instrument::take_output(std::size_t max, bool &end) {
  end = false;
  std::string out;
  if (dropped_) return out;
  const auto now = clock_.now_ms();
  while (!output_.empty() && out.size() < max && output_.front().at_ms <= now) {
    auto &p = output_.front();
    const std::size_t n = std::min(max - out.size(), p.bytes.size());
    out.append(p.bytes, 0, n);
    if (n < p.bytes.size()) {
      p.bytes.erase(0, n);
      break;
    }
    const bool last = p.end;
    output_.pop_front();
    if (last) {
      end = true;
      break;
    }
  }
  if (!out.empty() || end) log_.add(direction::from_instrument, out, end && gpib());
  return out;
}

void instrument::log_sent(std::string_view bytes) { log_.add(direction::from_instrument, bytes, false); }

bool instrument::mid_message() const { return message_open_; }

std::size_t instrument::receive(std::string_view in, bool end) {
  if (dropped_) return 0;
  // EOI travels with a byte: an empty write puts nothing on the bus.
  if (in.empty()) return 0;
  if (gpib() && !message_open_ && !output_.empty()) {
    // A new message while a reply waits unread: the reply is discarded.
    output_.clear();
    push_error(-410, "Query INTERRUPTED");
  }
  std::size_t i = 0;
  while (i < in.size() && !dropped_) {
    message_open_ = true;
    switch (state_) {
      case parse_state::command:
      case parse_state::discard: {
        const char b = in[i++];
        command_byte(b, end && i == in.size());
        break;
      }
      case parse_state::block_digit: {
        const char b = in[i++];
        const bool e = end && i == in.size();
        if (b < '1' || b > '9') {
          fail_block("invalid digit count", e);
          break;
        }
        digits_left_ = b - '0';
        declared_ = 0;
        state_ = parse_state::block_count;
        if (e) fail_block("short block", true);
        break;
      }
      case parse_state::block_count: {
        const char b = in[i++];
        const bool e = end && i == in.size();
        if (!is_digit(b)) {
          fail_block("invalid byte count", e);
          break;
        }
        declared_ = declared_ * 10 + static_cast<std::uint64_t>(b - '0');
        if (--digits_left_ > 0) {
          if (e) fail_block("short block", true);
          break;
        }
        remaining_ = declared_;
        begin_store();
        state_ = declared_ == 0 ? parse_state::block_term : parse_state::block_data;
        if (e) {
          if (declared_ == 0 && link_ == link_kind::ni488)
            finish_block();
          else
            fail_block(declared_ == 0 ? "missing terminator" : "short block", true);
        }
        break;
      }
      case parse_state::block_data: {
        std::uint64_t n = std::min<std::uint64_t>(remaining_, in.size() - i);
        if (s_.faults.drop_after) {
          const auto budget = *s_.faults.drop_after > data_total_ ? *s_.faults.drop_after - data_total_ : 0;
          if (budget == 0) {
            dropped_ = true;
            break;
          }
          n = std::min(n, budget);
        }
        consume_data(in.substr(i, static_cast<std::size_t>(n)));
        i += static_cast<std::size_t>(n);
        remaining_ -= n;
        const bool e = end && i == in.size();
        if (remaining_ > 0) {
          if (e) fail_block("short block", true);
          break;
        }
        state_ = parse_state::block_term;
        if (e) {
          if (link_ == link_kind::ni488)
            finish_block();
          else
            fail_block("missing terminator", true);
        }
        break;
      }
      case parse_state::block_term: {
        const char b = in[i++];
        const bool e = end && i == in.size();
        if (link_ == link_kind::ni488) {
          // The block had to end with EOI on its last data byte.
          fail_block("extra bytes after block", e);
        } else if (b != '\n') {
          fail_block("missing terminator", e);
        } else if (link_ == link_kind::rs232 || e) {
          finish_block();
        } else {
          state_ = parse_state::block_term_lf;  // a line feed without END: more must not follow
        }
        break;
      }
      case parse_state::block_term_lf: {
        ++i;
        fail_block("extra bytes after block", end && i == in.size());
        break;
      }
    }
  }
  if (dropped_) {
    // The cable is gone: whatever was under way is lost.
    abandon_block(store_outcome::aborted);
    output_.clear();
  }
  log_.add(direction::to_instrument, in.substr(0, i), end && i == in.size() && gpib());
  return i;
}

void instrument::command_byte(char b, bool end) {
  if (state_ == parse_state::discard) {
    if (gpib() ? end : b == '\n') end_of_message();
    return;
  }
  const bool terminator = b == '\n';
  if (!terminator) {
    if (b == '"' || b == '\'') {
      if (quote_ == 0)
        quote_ = b;
      else if (quote_ == b)
        quote_ = 0;
    }
    if (b == '#' && quote_ == 0 && start_block()) {
      if (end) fail_block("short block", true);
      return;
    }
    cmd_.push_back(b);
    if (cmd_.size() > max_command) {
      push_error(-100, "Command error; message too long");
      cmd_.clear();
      quote_ = 0;
      state_ = parse_state::discard;
      if (gpib() && end) end_of_message();
      return;
    }
  }
  if (terminator || (gpib() && end)) {
    std::string text;
    text.swap(cmd_);
    quote_ = 0;
    if (overrun_in_message_)
      push_error(-363, "Input buffer overrun");
    else
      execute(text);
    end_of_message();
  }
}

void instrument::end_of_message() {
  state_ = parse_state::command;
  message_open_ = false;
  cmd_.clear();
  quote_ = 0;
  overrun_in_message_ = false;
}

bool instrument::start_block() {
  auto p = parse_store_prefix(cmd_);
  if (!p) return false;
  block_ch_ = p->ch;
  block_name_ = p->name;
  block_reject_ = p->error;
  received_ = 0;
  declared_ = 0;
  block_hash_ = fnv_basis;
  block_data_.clear();
  cmd_.clear();
  quote_ = 0;
  state_ = parse_state::block_digit;
  return true;
}

void instrument::begin_store() {
  if (!block_reject_) {
    const waveform *old = find(block_ch_, block_name_);
    const std::uint64_t available = free(block_ch_) + (old ? occupied_bytes(old->size) : 0);
    if (declared_ == 0)
      block_reject_ = scpi_error{-222, "Data out of range; empty waveform"};
    else if (declared_ % 2 != 0)
      block_reject_ = scpi_error{-224, "Illegal parameter value; odd byte count"};
    else if (arb_on_ && iequals(block_name_, selected_))
      block_reject_ = scpi_error{-221, "Settings conflict; waveform plays in the ARB"};
    else if (occupied_bytes(declared_) > available)
      block_reject_ = scpi_error{-225, "Out of memory"};
  }
  store_write_failed_ = false;
  if (!block_reject_ && !s_.store_dir.empty()) {
    store_temp_ = s_.store_dir + "/." + file_name_for(block_ch_, block_name_) + ".partial";
    store_file_ = std::fopen(store_temp_.c_str(), "wb");
    if (store_file_ == nullptr) block_reject_ = scpi_error{-250, "Mass storage error; cannot write " + store_temp_};
  }
}

void instrument::consume_data(std::string_view bytes) {
  received_ += bytes.size();
  data_total_ += bytes.size();
  block_hash_ = fnv1a(bytes, block_hash_);
  if (block_reject_) return;
  if (block_data_.size() < s_.keep_bytes) {
    const auto room = s_.keep_bytes - block_data_.size();
    block_data_.append(bytes.substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(room, bytes.size()))));
  }
  if (store_file_ != nullptr && !store_write_failed_ &&
      std::fwrite(bytes.data(), 1, bytes.size(), store_file_) != bytes.size())
    store_write_failed_ = true;
}

void instrument::close_store_file(bool keep) {
  if (store_file_ == nullptr) return;
  const bool ok = std::fclose(store_file_) == 0 && !store_write_failed_;
  store_file_ = nullptr;
  if (keep && ok) {
    if (const waveform *old = find(block_ch_, block_name_); old != nullptr && old->name != block_name_)
      ::unlink((s_.store_dir + "/" + file_name_for(block_ch_, old->name)).c_str());
    const std::string final_path = s_.store_dir + "/" + file_name_for(block_ch_, block_name_);
    if (std::rename(store_temp_.c_str(), final_path.c_str()) == 0) return;
    store_write_failed_ = true;
  } else if (keep) {
    store_write_failed_ = true;
  }
  ::unlink(store_temp_.c_str());
}

void instrument::finish_block() {
  store_attempt a{block_ch_, block_name_, declared_, received_, store_outcome::stored, block_hash_};
  if (overrun_in_message_) block_reject_ = scpi_error{-363, "Input buffer overrun"};
  if (!block_reject_) {
    close_store_file(true);
    if (store_write_failed_) block_reject_ = scpi_error{-250, "Mass storage error; cannot write the waveform file"};
  }
  if (block_reject_) {
    close_store_file(false);
    switch (block_reject_->code) {
      case -225: a.outcome = store_outcome::out_of_memory; break;
      case -221: a.outcome = store_outcome::playing; break;
      case -363: a.outcome = store_outcome::protocol_error; break;
      default: a.outcome = store_outcome::bad_target; break;
    }
    push_error(block_reject_->code, block_reject_->text);
  } else {
    waveform w{block_name_, declared_, block_hash_, std::move(block_data_), declared_ <= s_.keep_bytes};
    put_waveform(block_ch_, std::move(w));
  }
  block_data_.clear();
  record(std::move(a));
  end_of_message();
}

void instrument::record(store_attempt a) {
  // The history is for inspection; a run of countless stores keeps the latest.
  constexpr std::size_t max_attempts = 100000;
  if (stores_.size() >= max_attempts) stores_.erase(stores_.begin(), stores_.begin() + max_attempts / 2);
  stores_.push_back(std::move(a));
}

void instrument::abandon_block(store_outcome why) {
  switch (state_) {
    case parse_state::block_digit:
    case parse_state::block_count:
    case parse_state::block_data:
    case parse_state::block_term:
    case parse_state::block_term_lf:
      close_store_file(false);
      record(store_attempt{block_ch_, block_name_, declared_, received_, why, block_hash_});
      block_data_.clear();
      break;
    default: break;
  }
}

void instrument::fail_block(std::string_view why, bool end) {
  abandon_block(store_outcome::protocol_error);
  push_error(-160, "Block data error; " + std::string(why));
  cmd_.clear();
  quote_ = 0;
  state_ = parse_state::discard;
  if (gpib() && end) end_of_message();
}

void instrument::device_clear() {
  abandon_block(store_outcome::aborted);
  end_of_message();
  output_.clear();
}

void instrument::abort_message() {
  if (!message_open_) return;
  switch (state_) {
    case parse_state::command:
      push_error(-102, "Syntax error; message not terminated");
      break;
    case parse_state::discard: break;
    default:
      abandon_block(store_outcome::protocol_error);
      push_error(-160, "Block data error; block stalled before its end");
      break;
  }
  end_of_message();
}

void instrument::note_overrun() {
  if (message_open_) {
    overrun_in_message_ = true;
  } else {
    push_error(-363, "Input buffer overrun");
  }
}

void instrument::execute(std::string_view text) {
  text = trim(text);
  if (text.empty()) return;
  std::size_t k = 0;
  while (k < text.size() && !blank(text[k])) ++k;
  const auto h = resolve_header(text.substr(0, k));
  const std::string_view params = trim(text.substr(k));
  if (!h) {
    push_error(-113, "Undefined header");
    return;
  }
  const bool common = h->id == command_id::idn || h->id == command_id::opc || h->id == command_id::rst ||
                      h->id == command_id::cls || h->id == command_id::error;
  if (other_device_ && !common) {
    push_error(-113, "Undefined header");
    return;
  }
  const auto no_params = [&]() {
    if (params.empty()) return true;
    push_error(-108, "Parameter not allowed");
    return false;
  };
  switch (h->id) {
    case command_id::idn:
      if (!h->query) break;
      if (no_params()) queue_reply(*h, identity_);
      return;
    case command_id::opc:
      if (no_params() && h->query) queue_reply(*h, "1");
      return;
    case command_id::rst:
      if (h->query) break;
      if (no_params()) {
        arb_on_ = false;
        selected_.clear();
      }
      return;
    case command_id::cls:
      if (h->query) break;
      if (no_params()) errors_.clear();
      return;
    case command_id::options:
      if (!h->query) break;
      if (no_params()) queue_reply(*h, options_);
      return;
    case command_id::arb_state:
      if (h->query) {
        if (no_params()) queue_reply(*h, arb_on_ ? "1" : "0");
      } else if (params.empty()) {
        push_error(-109, "Missing parameter");
      } else if (params == "1" || iequals(params, "ON")) {
        arb_on_ = true;
      } else if (params == "0" || iequals(params, "OFF")) {
        arb_on_ = false;
      } else {
        push_error(-224, "Illegal parameter value");
      }
      return;
    case command_id::arb_waveform:
      if (h->query) {
        if (no_params()) queue_reply(*h, selected_.empty() ? "\"\"" : "\"ARBI:" + selected_ + "\"");
      } else if (params.empty()) {
        push_error(-109, "Missing parameter");
      } else if (const auto m = memory_name(params, true); !m || m->first != channel::i) {
        push_error(-224, "Illegal parameter value; \"ARBI:NAME\" expected");
      } else if (const waveform *w = find(channel::i, m->second); w == nullptr) {
        push_error(-256, "File name not found");
      } else {
        selected_ = w->name;
      }
      return;
    case command_id::catalog:
      if (!h->query) break;
      if (params.empty()) {
        push_error(-109, "Missing parameter");
      } else if (const auto m = memory_name(params, false); !m) {
        push_error(-224, "Illegal parameter value; \"ARBI:\" or \"ARBQ:\" expected");
      } else {
        queue_reply(*h, catalog_text(m->first));
      }
      return;
    case command_id::data:
      if (h->query) break;
      push_error(-109, "Missing parameter; definite-length block expected");
      return;
    case command_id::remove:
      if (h->query) break;
      if (params.empty()) {
        push_error(-109, "Missing parameter");
      } else if (const auto m = memory_name(params, true); !m) {
        push_error(-224, "Illegal parameter value; \"ARBI:NAME\" or \"ARBQ:NAME\" expected");
      } else if (find(m->first, m->second) == nullptr) {
        push_error(-256, "File name not found");
      } else if (arb_on_ && iequals(m->second, selected_)) {
        push_error(-221, "Settings conflict; waveform plays in the ARB");
      } else {
        auto &mem = memory_[index(m->first)];
        for (auto it = mem.begin(); it != mem.end(); ++it)
          if (iequals(it->name, m->second)) {
            if (!s_.store_dir.empty()) ::unlink((s_.store_dir + "/" + file_name_for(m->first, it->name)).c_str());
            mem.erase(it);
            break;
          }
      }
      return;
    case command_id::error:
      if (!h->query) break;
      if (no_params()) {
        if (errors_.empty()) {
          queue_reply(*h, "0,\"No error\"");
        } else {
          const auto e = errors_.front();
          errors_.pop_front();
          queue_reply(*h, std::to_string(e.code) + ",\"" + e.text + "\"");
        }
      }
      return;
  }
  push_error(-113, "Undefined header");
}

}  // namespace talmer::sim
