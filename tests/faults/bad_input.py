#!/usr/bin/python3
"""Bad input through the real talmer-arb-cli over the simulated NI-488.2
library: bad waveform names, source files that cannot be used, malformed
ASCII and AWG2021 files, odd instrument replies. Each row states the final
panel colour, a piece of its text, the exit status, and whether the
waveform is stored; every run must end (no hang), without a crash, with
the inputs unlocked, and a red panel must say something.

Usage: bad_input.py CLI LIBDIR_NI [--only SUBSTRING]
"""
import concurrent.futures
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import time

DONE = "Done with download."
BAD_NAME = "Talmer Waveform Name must not contain double quotes, commas, control or non-ASCII characters."
NO_FILES = "Source I and Q files not found."


def points(n, seed=1):
    return bytes((seed * 7 + k * 13) & 0xFF for k in range(2 * n))


def row(label, colour, text, status, stored=None, name="bi1", i=None, q=None, env=None,
        skip=None, swap="Yes", convert=None):
    # i, q: (file name, bytes | callable(path)); None for no file chosen.
    return dict(label=label, colour=colour, text=text, status=status, stored=stored, name=name,
                i=i, q=q, env=env or {}, skip=skip, swap=swap, convert=convert)


def make_fifo(path):
    os.mkfifo(path)


def make_folder(path):
    os.mkdir(path)


def make_unreadable(path):
    with open(path, "wb") as f:
        f.write(points(64))
    os.chmod(path, 0)


def make_sparse(size):
    def make(path):
        with open(path, "wb") as f:
            f.truncate(size)
    return make


PAIR = (("w_i.bin", points(64, 1)), ("w_q.bin", points(64, 2)))
ROOT = os.geteuid() == 0

ROWS = [
    # Waveform names.
    row("name with a double quote", "red", BAD_NAME, 1, name='a"b', i=PAIR[0], q=PAIR[1]),
    row("name with a line feed", "red", BAD_NAME, 1, name="a\nb", i=PAIR[0], q=PAIR[1]),
    row("name with a control character", "red", BAD_NAME, 1, name="a\x01b", i=PAIR[0], q=PAIR[1]),
    row("name with a tab", "red", BAD_NAME, 1, name="a\tb", i=PAIR[0], q=PAIR[1]),
    row("name beyond 8 bits", "red", BAD_NAME, 1, name="w\u20acve", i=PAIR[0], q=PAIR[1]),
    row("name beyond 7 bits", "red", BAD_NAME, 1, name="w\u00e4ve", i=PAIR[0], q=PAIR[1]),
    row("name of 23 characters", "teal", DONE, 0, stored=True, name="abcdefghijklmnopqrstuvw", i=PAIR[0], q=PAIR[1]),
    row("name of 24 characters", "red", "Talmer Waveform Name must be less than 24 characters.", 1,
        name="abcdefghijklmnopqrstuvwx", i=PAIR[0], q=PAIR[1]),
    row("empty name", "red", "Talmer Waveform Name must be entered.", 1, name="", i=PAIR[0], q=PAIR[1]),
    # Source files.
    row("I file missing, no Q", "red", NO_FILES, 1, i=("nothere_i.bin", None)),
    row("I file missing, Q there", "teal", DONE, 0, i=("nothere_i.bin", None), q=PAIR[1]),
    row("I file unreadable", "red", NO_FILES, 1, i=("locked_i.bin", make_unreadable),
        skip="running as root: permissions do not stop reading" if ROOT else None),
    row("I file a folder", "red", NO_FILES, 1, i=("folder_i.bin", make_folder)),
    row("I file a named pipe", "red", NO_FILES, 1, i=("pipe_i.bin", make_fifo)),
    row("I file of 0 bytes", "red", NO_FILES, 1, i=("empty_i.bin", b"")),
    row("I file of 1 byte", "red", "", 1, i=("one_i.bin", b"\x01")),
    row("I file of 15 bytes", "red", "", 1, i=("fifteen_i.bin", points(7) + b"\x01")),
    row("I file of 16 bytes", "red", "Waveform must have at least 16 waveform points.", 1,
        i=("sixteen_i.bin", points(8))),
    row("pair of 16 points", "teal", DONE, 0, stored=True, i=("p16_i.bin", points(16)),
        q=("p16_q.bin", points(16, 3))),
    row("odd I file, even Q", "red", "", 1, i=("odd_i.bin", points(100) + b"\x05"), q=PAIR[1]),
    row("sparse I file over 4 GiB", "red", "Waveform must have an even number of waveform points.", 1, i=("sparse_i.bin", make_sparse((4 << 30) + 2)),
        q=("sparse_q.bin", make_sparse((4 << 30) + 2))),
    row("sparse odd I file over 4 GiB", "red", "", 1, i=("sparseodd_i.bin", make_sparse((4 << 30) + 3))),
    row("sparse pair over 4 GiB, even points", "red", "Waveform must have at most 499999999 waveform points.", 1, i=("sparse4_i.bin", make_sparse((4 << 30) + 4)),
        q=("sparse4_q.bin", make_sparse((4 << 30) + 4))),
    # ASCII files (converted).
    row("ASCII with a huge token", "teal", "One or more data points invalid or out-of-range.", 0,
        i=("huge_i.txt", b"1 2 " + b"9" * 300000 + b" 3" + b" 4" * 12 + b"\n"), q=("huge_q.txt", b"1 2 3 4\n" * 4)),
    row("ASCII with NUL bytes", "teal", DONE, 0, i=("nul_i.txt", b"1\x002\x00\x003 4\n" * 4),
        q=("nul_q.txt", b"1 2 3 4\n" * 4)),
    row("ASCII of only delimiters", "red", NO_FILES, 1, i=("delims_i.txt", b" ,\t\r\n\x00, \n" * 50)),
    row("ASCII of semicolons", "teal", "One or more data points invalid or out-of-range.", 0,
        i=("semi_i.txt", b";" + b" ;" * 15)),
    row("ASCII of binary garbage", "teal", "", 0, i=("garbage_i.txt", bytes(range(256)) * 8),
        q=("garbage_q.txt", bytes(range(255, -1, -1)) * 8)),
    # AWG2021 files (converted).
    row("AWG file shorter than its header", "red", "", 1, i=("short_i.wfm", b"MAGIC 1000\r\n#" + b"\x00" * 40)),
    row("AWG file of the header only", "red", "", 1, i=("hdr_i.wfm", b"\x00" * 102)),
    # Instrument replies.
    row("blank identity reply", "red", "", 1, i=PAIR[0], q=PAIR[1], env={"TALMER_SIM_IDENTITY": " "}),
    row("identity longer than the reply buffer", "red", "", 1, i=PAIR[0], q=PAIR[1],
        env={"TALMER_SIM_IDENTITY": "Acme," + "x" * 6000}),
    row("identity starting with XON", "teal", DONE, 0, stored=True, i=PAIR[0], q=PAIR[1],
        env={"TALMER_SIM_IDENTITY": "\x11Talmer-D,K902,SIM000001,2.40"}),
    # The search reads the option list into a buffer of 240 bytes; an
    # option beyond it is not seen.
    row("option list longer than the reply buffer", "red", "ARB option is not enabled.", 1, i=PAIR[0], q=PAIR[1],
        env={"TALMER_SIM_OPTIONS": "QVB," + "QZZ," * 1500 + "QVX"}),
    row("long option list within the reply buffer", "teal", DONE, 0, stored=True, i=PAIR[0], q=PAIR[1],
        env={"TALMER_SIM_OPTIONS": "QVB," + "QZZ," * 50 + "QVX"}),
    row("catalog longer than the reply buffer", "teal", DONE, 0, stored=True, i=PAIR[0], q=PAIR[1],
        env={"TALMER_SIM_WAVEFORM": ";".join("arbi:wave%03d:8192" % k for k in range(300))}),
    row("blank option list", "red", "", 1, i=PAIR[0], q=PAIR[1], env={"TALMER_SIM_OPTIONS": " "}),
]


def run_row(cli, libdir, r):
    folder = tempfile.mkdtemp(prefix="talmer-bi-")
    try:
        store = os.path.join(folder, "store")
        os.mkdir(store)
        args = [cli, "--link", "gpib", "--swap", r["swap"], "--auto-name", "off", "--auto-q", "off"]
        if r["convert"]:
            args += ["--convert", r["convert"]]
        data = {}
        for ch in ("i", "q"):
            source = r[ch]
            if source is None:
                continue
            fname, content = source
            path = os.path.join(folder, fname)
            if isinstance(content, bytes):
                with open(path, "wb") as f:
                    f.write(content)
                data[ch] = content
            elif content is not None:
                content(path)
            args += ["--" + ch, path]
        args += ["--name", r["name"], "--download", "--show"]
        env = {k: v for k, v in os.environ.items() if not k.startswith("TALMER_SIM_")}
        env.update({"TALMER_ARB_LIBDIR": libdir, "TALMER_SIM_STORE": store, "TALMER_SIM_TIMEOUT_SCALE": "0.01"})
        env.update(r["env"])
        t0 = time.monotonic()
        try:
            p = subprocess.run(args, env=env, cwd=folder, capture_output=True, timeout=60)
        except subprocess.TimeoutExpired:
            return "hang", 60.0, ["no end within 60 s"]
        seconds = time.monotonic() - t0
        state = dict(line.split("=", 1) for line in p.stdout.decode("utf-8", "replace").splitlines() if "=" in line)
        colour, text = state.get("msgsbkgd", "?"), state.get("Messages", "")
        problems = []
        if p.returncode != r["status"]:
            problems.append("exit status %d, expected %d %s" % (p.returncode, r["status"],
                                                                p.stderr.decode("utf-8", "replace")[-300:]))
        if colour != r["colour"]:
            problems.append("panel %s, expected %s" % (colour, r["colour"]))
        if r["text"] not in text:
            problems.append("panel text lacks %r" % r["text"])
        if colour == "red" and not text.strip():
            problems.append("red panel without a message")
        if state.get("inputs", "enabled") != "enabled":
            problems.append("inputs left locked")
        stored = os.listdir(store)
        if p.returncode != 0 and r["status"] == 1 and len(stored) == 2 and r["colour"] == "red" and r["stored"] is None:
            # A refused download must not have stored the pair.
            problems.append("failure reported, yet stored %s" % stored)
        if r["stored"]:
            for ch, raw in data.items():
                want = bytearray(raw)
                if r["swap"] == "Yes":
                    want[0::2], want[1::2] = raw[1::2], raw[0::2]
                got_path = os.path.join(store, "arb%s_%s.bin" % (ch, r["name"]))
                if not os.path.exists(got_path) or open(got_path, "rb").read() != bytes(want):
                    problems.append("stored %s channel differs" % ch)
        return colour + ": " + text.replace("\\n\\r", " "), seconds, problems
    finally:
        for dirpath, dirnames, filenames in os.walk(folder):
            for n in filenames:
                try:
                    os.chmod(os.path.join(dirpath, n), stat.S_IRUSR | stat.S_IWUSR)
                except OSError:
                    pass
        shutil.rmtree(folder, ignore_errors=True)


def main(argv):
    if len(argv) < 3:
        print(__doc__)
        return 2
    cli, libdir = (os.path.abspath(a) for a in argv[1:3])
    only = argv[argv.index("--only") + 1] if "--only" in argv else ""
    rows = [r for r in ROWS if not only or only in r["label"]]
    results = {}
    with concurrent.futures.ThreadPoolExecutor(max_workers=int(os.environ.get("TALMER_FM_JOBS", "8"))) as pool:
        futures = {pool.submit(run_row, cli, libdir, r): r["label"] for r in rows if not r["skip"]}
        for f in concurrent.futures.as_completed(futures):
            try:
                results[futures[f]] = f.result()
            except Exception as e:
                results[futures[f]] = ("script error", 0.0, [repr(e)])
    failed = 0
    table = [("case", "outcome", "seconds", "check")]
    for r in rows:
        if r["skip"]:
            table.append((r["label"], "skipped", "-", r["skip"]))
            continue
        outcome, seconds, problems = results[r["label"]]
        failed += 1 if problems else 0
        table.append((r["label"], outcome[:100], "%.2f" % seconds, "; ".join(problems) or "ok"))
    widths = [max(len(t[i]) for t in table) for i in range(3)]
    for t in table:
        print("  ".join(t[i].ljust(widths[i]) for i in range(3)) + "  " + t[3])
    print("%d row(s), %d failed" % (len(rows), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
