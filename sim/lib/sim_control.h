// Control entries of the simulated driver libraries, for tests that load a
// library in their own process: both libgpib.so.0 and libvbravlink32.so
// export them (each library controls its own bus and instrument).
#pragma once

extern "C" {
// Starts the library afresh from the environment (TALMER_SIM_CONFIG and
// TALMER_SIM_*): new instrument, no open descriptors or sessions, thread
// registrations forgotten. Returns 0, or -1 when a setting was bad (it is
// then left at its default; "settings_errors" tells which).
int talmer_sim_reset(void);
// Changes one setting (the keys of the settings table, e.g. "address",
// "fault") on top of the current ones and starts afresh like
// talmer_sim_reset. Returns 0, or -1 when the value is bad (nothing changes).
int talmer_sim_set(const char *key, const char *value);
// Answers a question about the library's state as text: copies at most
// `size` bytes into `buf` and returns the full length, or -1 when `what` is
// unknown. Questions:
//   "wire_log"          the instrument's wire log, one line per record
//   "errors"            the error queue, one "code,text" per line (not consumed)
//   "catalog:arbi"      the catalog reply of the I memory (also arbq)
//   "data:arbi:NAME"    the kept data bytes of a stored waveform (raw)
//   "hash:arbi:NAME"    "SIZE HASH" (hash as 16 hex digits, "-" when unknown)
//   "stores"            one line per store attempt: "MEM:NAME DECLARED RECEIVED OUTCOME"
//   "open"              the number of open descriptors / sessions
//   "settings_errors"   what was wrong with the settings, "" when nothing
long talmer_sim_query(const char *what, char *buf, long size);
}
