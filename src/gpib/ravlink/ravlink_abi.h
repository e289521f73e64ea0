// The entries of the Ravlink instrument I/O library (the program's binding
// of it; every integer has a fixed width). Resolved by name at run time from
// the library file that card detection found; the simulated library in sim/
// exports the same entries with these exact prototypes.
#pragma once

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define TALMER_RAVLINK_CALL __stdcall
#else
#define TALMER_RAVLINK_CALL
#endif

extern "C" {
// Opens a connection to an interface ("gpib0") or a device on it
// ("gpib0,7"); returns the connection id, 0 on failure.
int16_t TALMER_RAVLINK_CALL vb_iopen(const char *address);
int16_t TALMER_RAVLINK_CALL vb_itimeout(int16_t id, int32_t ms);
int16_t TALMER_RAVLINK_CALL vb_iclear(int16_t id);
int16_t TALMER_RAVLINK_CALL vb_iclose(int16_t id);
int16_t TALMER_RAVLINK_CALL vb_ilocal(int16_t id);
int16_t TALMER_RAVLINK_CALL vb_iwrite(int16_t mode, int16_t id, const void *buf, int32_t length,
                                      int16_t end, int32_t *actual);
int16_t TALMER_RAVLINK_CALL vb_iread(int16_t mode, int16_t id, void *buf, int32_t size,
                                     int16_t *reason, int32_t *actual);
int16_t TALMER_RAVLINK_CALL vb_iflush(int16_t id, int16_t mask);
int16_t TALMER_RAVLINK_CALL vb_iswap(void *buf, int32_t length, int16_t item_size);
int16_t TALMER_RAVLINK_CALL vb_igeterrno(void);
// Copies the text of error `err` into buf, which holds 60 characters.
int16_t TALMER_RAVLINK_CALL vb_igeterrstr(int16_t err, char *buf);
}

namespace talmer::ravlink {

using iopen_fn = decltype(&vb_iopen);
using itimeout_fn = decltype(&vb_itimeout);
using iid_fn = decltype(&vb_iclear);  // vb_iclear, vb_iclose, vb_ilocal
using iwrite_fn = decltype(&vb_iwrite);
using iread_fn = decltype(&vb_iread);
using iflush_fn = decltype(&vb_iflush);
using iswap_fn = decltype(&vb_iswap);
using igeterrno_fn = decltype(&vb_igeterrno);
using igeterrstr_fn = decltype(&vb_igeterrstr);

// Buffer modes of vb_iwrite / vb_iread: 1 = text, 2 = array of 16-bit values.
inline constexpr int16_t MODE_TEXT = 1;
inline constexpr int16_t MODE_INT16 = 2;

// vb_iflush mask the program passes after every block write: flush what
// the library holds for the write side.
inline constexpr int16_t FLUSH_WRITE = 2;

// vb_iread reasons (bits).
inline constexpr int16_t REASON_REQCNT = 1;  // the requested count was read
inline constexpr int16_t REASON_CHR = 2;     // the termination character was read
inline constexpr int16_t REASON_END = 4;     // END (EOI) was seen

// Error numbers the library reports (vb_igeterrno).
inline constexpr int16_t I_ERR_NOERROR = 0;
inline constexpr int16_t I_ERR_SYNTAX = 1;
inline constexpr int16_t I_ERR_BADADDR = 2;
inline constexpr int16_t I_ERR_BADID = 3;
inline constexpr int16_t I_ERR_PARAM = 4;
inline constexpr int16_t I_ERR_NOCONN = 5;
inline constexpr int16_t I_ERR_IO = 6;
inline constexpr int16_t I_ERR_TIMEOUT = 7;
inline constexpr int16_t I_ERR_NOLISTEN = 8;

}  // namespace talmer::ravlink
