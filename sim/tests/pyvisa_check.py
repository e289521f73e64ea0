#!/usr/bin/python3
"""Cross-check of the serial instrument with a client of another make:
pyvisa with its pure-Python backend talks to `talmer-sim serial` over the
pseudo-terminal, asks "*IDN?", stores big-endian int16 points with
write_binary_values (a standard definite-length block) and checks that the
instrument stored exactly those bytes.

Usage: pyvisa_check.py PATH_OF_TALMER_SIM
Exit status 0 on success, 1 on a failure, 77 when pyvisa is not installed.
"""
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

SKIP = 77


def main():
    try:
        import pyvisa
        import pyvisa_py  # noqa: F401  the backend must be there too
        import serial  # noqa: F401  pyvisa-py needs pyserial for ASRL resources
    except ImportError as e:
        print(f"SKIP: pyvisa cross-check needs python3-pyvisa, python3-pyvisa-py and python3-serial ({e})")
        return SKIP

    sim = sys.argv[1]
    work = tempfile.mkdtemp(prefix="talmer-pyvisa-")
    link = os.path.join(work, "tty")
    store = os.path.join(work, "store")
    os.mkdir(store)
    proc = subprocess.Popen([sim, "serial", "--link", link, "--store", store, "--drain-rate", "200000",
                             "--line-rate", "0"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    try:
        for _ in range(200):
            if os.path.islink(link):
                break
            time.sleep(0.02)
        else:
            print("FAIL: talmer-sim did not create its link")
            return 1

        rm = pyvisa.ResourceManager("@py")
        inst = rm.open_resource("ASRL" + os.path.realpath(link) + "::INSTR", baud_rate=19200,
                                write_termination="\n", read_termination="\n", timeout=5000)
        idn = inst.query("*IDN?")
        print("*IDN? ->", idn)
        if "k902" not in idn.lower():
            print("FAIL: the identification lacks K902")
            return 1

        points = [(k * 37) % 65536 - 32768 for k in range(1000)]
        inst.write_binary_values('mmem:data "arbi:PYVISA", ', points, datatype="h", is_big_endian=True)
        catalog = inst.query('mmem:cat? "arbi:"')
        print("catalog ->", catalog)
        if '"PYVISA,BIN,2000"' not in catalog:
            print("FAIL: the catalog does not list the stored waveform")
            return 1
        errors = inst.query("SYST:ERR?")
        if not errors.startswith("0,"):
            print("FAIL: the instrument reported", errors)
            return 1
        inst.close()
        rm.close()

        expected = struct.pack(">1000h", *points)
        with open(os.path.join(store, "arbi_PYVISA.bin"), "rb") as f:
            stored = f.read()
        if stored != expected:
            print(f"FAIL: stored {len(stored)} bytes that differ from the {len(expected)} sent")
            return 1
        print("OK: pyvisa's definite-length block stored byte for byte")
        return 0
    finally:
        proc.send_signal(signal.SIGTERM)
        try:
            out, _ = proc.communicate(timeout=10)
            sys.stdout.write(out.decode(errors="replace"))
        except subprocess.TimeoutExpired:
            proc.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
