#!/usr/bin/python3
"""Nothing lost, nothing corrupted: random sources of every type (binary
with Swap Yes and No, ASCII numbers, AWG2021 words with marker bits) and
lengths (16 points, 8192*k and 8192*k+r points, odd byte counts), sent by
the real talmer-arb-cli over each GPIB link of the simulator; the bytes the
instrument stored must equal the expected points byte for byte, and a run
that fails (or is refused) must neither exit 0 nor leave a stored pair.

Usage: stored_bytes.py CLI LIBDIR_NI LIBDIR_RAVLINK [--seed N] [--cases N]
"""
import concurrent.futures
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time


def be16(values):
    return b"".join(struct.pack(">h", v) for v in values)


def awg_expect(word, is_i):
    # Data bits 0-11 move up two places, markers (bits 13, 14) one more;
    # Q keeps no markers.
    e = ((word & 0x6000) << 1) | ((word & 0x0FFF) << 2)
    if not is_i:
        e &= 0x3FFF
    return e - 0x10000 if e & 0x8000 else e


def make_case(rnd, index):
    kind = rnd.choice(["binary-yes", "binary-no", "ascii", "awg", "odd"])
    shape = rnd.choice(["16", "8192k", "8192k+r"])
    if shape == "16":
        n = 16
    elif shape == "8192k":
        n = 8192 * rnd.randint(1, 3)
    else:
        n = 8192 * rnd.randint(0, 2) + rnd.randint(16, 8191)
    n += n % 2  # the instrument takes an even number of points
    files, want, args = {}, {}, []
    name = "p%d" % index
    if kind in ("binary-yes", "binary-no", "odd"):
        swap = kind != "binary-no"
        for ch in ("i", "q"):
            raw = bytes(rnd.getrandbits(8) for _ in range(2 * n))
            if kind == "odd" and ch == "i":
                raw += bytes([rnd.getrandbits(8)])
            files[name + "_" + ch + ".bin"] = raw
            w = bytearray(raw[:2 * n])
            if swap:
                w[0::2], w[1::2] = raw[1:2 * n:2], raw[0:2 * n:2]
            want[ch] = bytes(w)
        args += ["--swap", "Yes" if swap else "No"]
        ok = kind != "odd"
    elif kind == "ascii":
        for ch in ("i", "q"):
            values = [rnd.randint(-32768, 32767) for _ in range(n)]
            seps = [rnd.choice([" ", "\t", ",", "\r\n", "\n", ", "]) for _ in range(n)]
            text = "".join(str(v) + s for v, s in zip(values, seps))
            files[name + "_" + ch + ".txt"] = text.encode()
            want[ch] = be16(values)
        args += ["--convert", "Yes"]
        ok = True
    else:  # awg
        header = bytearray(102)
        header[0:6] = b"MAGIC "
        struct.pack_into(">d", header, 56, 100e6)
        for ch in ("i", "q"):
            words = [rnd.getrandbits(16) for _ in range(n)]
            files[name + "_" + ch + ".wfm"] = bytes(header) + b"".join(struct.pack(">H", w) for w in words)
            want[ch] = be16([awg_expect(w, ch == "i") for w in words])
        args += ["--convert", "Yes"]
        ok = True
    return dict(label="%s %s n=%d" % (kind, shape, n), name=name, files=files, want=want, args=args, ok=ok)


def run_case(cli, libdir, c):
    folder = tempfile.mkdtemp(prefix="talmer-sb-")
    try:
        store = os.path.join(folder, "store")
        os.mkdir(store)
        paths = {}
        for fname, raw in c["files"].items():
            path = os.path.join(folder, fname)
            with open(path, "wb") as f:
                f.write(raw)
            paths[fname.rsplit(".", 1)[0][-1]] = path
        env = {k: v for k, v in os.environ.items() if not k.startswith("TALMER_SIM_")}
        env.update({"TALMER_ARB_LIBDIR": libdir, "TALMER_SIM_STORE": store, "TALMER_SIM_TIMEOUT_SCALE": "0.01"})
        args = [cli, "--link", "gpib", "--auto-q", "off", "--auto-name", "off", "--i", paths["i"], "--q", paths["q"],
                "--name", c["name"], "--download", "--show"] + c["args"]
        t0 = time.monotonic()
        try:
            p = subprocess.run(args, env=env, cwd=folder, capture_output=True, timeout=90)
        except subprocess.TimeoutExpired:
            return 90.0, ["no end within 90 s"]
        seconds = time.monotonic() - t0
        state = dict(l.split("=", 1) for l in p.stdout.decode("utf-8", "replace").splitlines() if "=" in l)
        problems = []
        stored = {}
        for ch in ("i", "q"):
            path = os.path.join(store, "arb%s_%s.bin" % (ch, c["name"]))
            if os.path.exists(path):
                with open(path, "rb") as f:
                    stored[ch] = f.read()
        if c["ok"]:
            if p.returncode != 0 or state.get("msgsbkgd") != "teal":
                problems.append("failed: %s" % state.get("Messages", p.stderr.decode("utf-8", "replace")[-300:]))
            for ch in ("i", "q"):
                if stored.get(ch) != c["want"][ch]:
                    got = stored.get(ch)
                    where = "missing" if got is None else "%d bytes, first difference at %s" % (
                        len(got), next((k for k in range(min(len(got), len(c["want"][ch])))
                                        if got[k] != c["want"][ch][k]), min(len(got), len(c["want"][ch]))))
                    problems.append("%s channel: %s" % (ch, where))
        else:
            if p.returncode == 0 or state.get("msgsbkgd") != "red":
                problems.append("a refused source was reported as done")
            if stored:
                problems.append("a refused run stored %s" % sorted(stored))
        return seconds, problems
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def main(argv):
    if len(argv) < 4:
        print(__doc__)
        return 2
    cli, lib_ni, lib_rav = (os.path.abspath(a) for a in argv[1:4])
    seed = int(argv[argv.index("--seed") + 1]) if "--seed" in argv else int(os.environ.get("TALMER_SB_SEED", "9"))
    count = int(argv[argv.index("--cases") + 1]) if "--cases" in argv else 10
    rnd = random.Random(seed)
    jobs = []
    for k in range(count):
        c = make_case(rnd, k)
        for link, libdir in (("NI-488.2", lib_ni), ("Ravlink", lib_rav)):
            jobs.append((c, link, libdir))
    results = {}
    with concurrent.futures.ThreadPoolExecutor(max_workers=int(os.environ.get("TALMER_FM_JOBS", "8"))) as pool:
        futures = {pool.submit(run_case, cli, libdir, c): (c["label"], link) for c, link, libdir in jobs}
        for f in concurrent.futures.as_completed(futures):
            try:
                results[futures[f]] = f.result()
            except Exception as e:
                results[futures[f]] = (0.0, ["script error " + repr(e)])
    failed = 0
    print("seed %d" % seed)
    for c, link, _ in jobs:
        seconds, problems = results[(c["label"], link)]
        failed += 1 if problems else 0
        print("%-28s %-9s %6.2f  %s" % (c["label"], link, seconds, "; ".join(problems) or "ok"))
    print("%d run(s), %d failed" % (len(jobs), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
