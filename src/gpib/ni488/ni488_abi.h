// The entries of an NI-488.2 driver library, as the driver exports them.
// The program never links against a driver: it resolves these names at run
// time from the library file that card detection found. The simulated
// driver in sim/ exports the same entries with these exact prototypes.
#pragma once

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define TALMER_GPIB_CALL __stdcall
#else
#define TALMER_GPIB_CALL
#endif

extern "C" {
int TALMER_GPIB_CALL ibfindA(const char *name);
int TALMER_GPIB_CALL ibfind(const char *name);  // the Linux drivers' name of ibfindA
int TALMER_GPIB_CALL ibdev(int board, int pad, int sad, int tmo, int eot, int eos);
int TALMER_GPIB_CALL ibclr(int ud);
int TALMER_GPIB_CALL ibsic(int ud);
int TALMER_GPIB_CALL ibloc(int ud);
int TALMER_GPIB_CALL ibonl(int ud, int v);
int TALMER_GPIB_CALL ibtmo(int ud, int v);
int TALMER_GPIB_CALL ibeot(int ud, int v);
int TALMER_GPIB_CALL ibconfig(int ud, int option, int value);
int TALMER_GPIB_CALL ibwrt(int ud, const void *buf, long count);
int TALMER_GPIB_CALL ibrd(int ud, void *buf, long count);
int TALMER_GPIB_CALL RegisterGpibGlobalsForThread(int *sta, int *err, int *cnt, long *cntl);
int TALMER_GPIB_CALL UnregisterGpibGlobalsForThread(void);
int TALMER_GPIB_CALL ThreadIbsta(void);
int TALMER_GPIB_CALL ThreadIberr(void);
int TALMER_GPIB_CALL ThreadIbcnt(void);
long TALMER_GPIB_CALL ThreadIbcntl(void);
}

namespace talmer::ni488 {

// Function pointer types of the entries, for resolving them by name.
using ibfind_fn = decltype(&ibfindA);
using ibdev_fn = decltype(&ibdev);
using ibud_fn = decltype(&ibclr);         // ibclr, ibsic, ibloc
using ibud_int_fn = decltype(&ibonl);     // ibonl, ibtmo, ibeot
using ibconfig_fn = decltype(&ibconfig);
using ibwrt_fn = decltype(&ibwrt);
using ibrd_fn = decltype(&ibrd);
using register_fn = decltype(&RegisterGpibGlobalsForThread);
using unregister_fn = decltype(&UnregisterGpibGlobalsForThread);
using thread_int_fn = decltype(&ThreadIbsta);  // ThreadIbsta, ThreadIberr, ThreadIbcnt
using thread_long_fn = decltype(&ThreadIbcntl);

// Status word bits (ibsta).
inline constexpr int ERR = 0x8000;   // the call failed; iberr says why
inline constexpr int TIMO = 0x4000;  // the time-out expired
inline constexpr int END = 0x2000;   // EOI or the end character was seen
inline constexpr int SRQI = 0x1000;
inline constexpr int RQS = 0x0800;
inline constexpr int CMPL = 0x0100;  // the I/O completed
inline constexpr int LOK = 0x0080;
inline constexpr int REM = 0x0040;
inline constexpr int CIC = 0x0020;
inline constexpr int ATN = 0x0010;
inline constexpr int TACS = 0x0008;
inline constexpr int LACS = 0x0004;
inline constexpr int DTAS = 0x0002;
inline constexpr int DCAS = 0x0001;

// Error codes (iberr) when ERR is set.
inline constexpr int EDVR = 0;   // system error
inline constexpr int ECIC = 1;   // not the controller in charge
inline constexpr int ENOL = 2;   // no listener on the bus
inline constexpr int EADR = 3;   // not addressed correctly
inline constexpr int EARG = 4;   // invalid argument
inline constexpr int ESAC = 5;   // not the system controller
inline constexpr int EABO = 6;   // I/O aborted (time-out)
inline constexpr int ENEB = 7;   // no such board
inline constexpr int EOIP = 10;  // asynchronous I/O in progress
inline constexpr int ECAP = 11;  // no capability
inline constexpr int EFSO = 12;  // file system error
inline constexpr int EBUS = 14;  // bus error
inline constexpr int ESTB = 15;  // serial poll status byte lost
inline constexpr int ESRQ = 16;  // SRQ stuck on
inline constexpr int ETAB = 20;  // table problem

// ibconfig options used by the program.
inline constexpr int IbcEOSrd = 0x000C;
inline constexpr int IbcEOSwrt = 0x000D;
inline constexpr int IbcEOScmp = 0x000E;
inline constexpr int IbcEOSchar = 0x000F;
inline constexpr int IbcReadAdjust = 0x0013;
inline constexpr int IbcWriteAdjust = 0x0014;  // 20: swap the bytes of each word on write

// Time-out codes for ibtmo and ibdev: 0 = none, 1 = 10 us ... 17 = 1000 s.
inline constexpr int TNONE = 0;
inline constexpr int T10s = 13;
inline constexpr int T1000s = 17;

}  // namespace talmer::ni488
