#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR with `cmake --install` and checks
# the file list and that the installed executables answer --help from there.
# It also builds the Debian package with cpack (a few seconds; skipped with
# TALMER_TEST_DEB=0 or when cpack or dpkg-deb is missing), checks its control
# fields, unpacks it into a scratch root and does the same checks there.
#   install_check.sh BUILD_DIR
set -euo pipefail
build=$1
scratch=$(mktemp -d "${TMPDIR:-/tmp}/talmer-install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

expected=(
  usr/bin/talmer-arb-cli
  usr/bin/talmer-sim
  usr/lib/talmer-arb/simlib/libgpib.so.0
  usr/lib/talmer-arb/simlib/libvbravlink32.so
  usr/lib/talmer-arb/simlib/libravlink32.so
  usr/lib/talmer-arb/simlib-ni/libgpib.so.0
  usr/lib/talmer-arb/simlib-ravlink/libvbravlink32.so
  usr/lib/talmer-arb/simlib-ravlink/libravlink32.so
  usr/share/doc/talmer-arb/README.md
  usr/share/doc/talmer-arb/HACKING.md
  usr/share/doc/talmer-arb/simulator.md
  usr/share/doc/talmer-arb/examples/sine_i.bin
  usr/share/doc/talmer-arb/examples/ramp_q.txt
  usr/share/doc/talmer-arb/examples/tone_i.wfm
  usr/share/man/man1/talmer-arb.1
  usr/share/man/man1/talmer-arb-cli.1
  usr/share/man/man1/talmer-sim.1
)
gui=0
if [ -x "$build/talmer-arb" ]; then
  gui=1
  expected+=(usr/bin/talmer-arb usr/share/applications/talmer-arb.desktop
             usr/share/icons/hicolor/scalable/apps/talmer-arb.svg usr/share/icons/hicolor/64x64/apps/talmer-arb.png)
fi

# root: the scratch root holding usr/...
check_tree() {
  local root=$1 what=$2
  for f in "${expected[@]}"; do
    [ -f "$root/$f" ] || fail "$what: $f missing"
  done
  # The simulated libraries never land where the real drivers are looked for.
  for dir in usr/local/lib usr/lib usr/lib/x86_64-linux-gnu usr/lib64; do
    for name in libgpib.so.0 libgpibapi.so.0 libravlink32.so libvbravlink32.so; do
      [ ! -e "$root/$dir/$name" ] || fail "$what: a simulated library in $dir/$name"
    done
  done
  local progs=(talmer-arb-cli talmer-sim)
  ((gui)) && progs+=(talmer-arb)
  for p in "${progs[@]}"; do
    local out
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/$p" --help 2>&1) || fail "$what: $p --help failed: $out"
    grep -q -i "usage" <<<"$out" || fail "$what: $p --help printed no usage: $out"
  done
  # talmer-sim finds the installed libraries beside it.
  local envout
  envout=$("$root/usr/bin/talmer-sim" env 2>&1) || fail "$what: talmer-sim env failed: $envout"
  grep -q "TALMER_ARB_LIBDIR=.*$root/usr/lib/talmer-arb/simlib" <<<"$envout" ||
    fail "$what: talmer-sim env does not name the installed libraries: $envout"
  if ((gui)); then
    grep -q '^Exec=talmer-arb$' "$root/usr/share/applications/talmer-arb.desktop" || fail "$what: desktop entry"
    if command -v desktop-file-validate >/dev/null; then
      desktop-file-validate "$root/usr/share/applications/talmer-arb.desktop" || fail "$what: desktop entry invalid"
    fi
  fi
  for page in "$root"/usr/share/man/man1/*.1; do
    if command -v groff >/dev/null; then
      local warnings
      warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1) || true
      [ -z "$warnings" ] || fail "$what: $(basename "$page"): $warnings"
    fi
    grep -q '^\.TH ' "$page" || fail "$what: $(basename "$page") has no .TH"
  done
  # A download from the installed examples into the installed simulated
  # NI-488.2 library, checked against the source.
  local store
  store=$(mktemp -d "$scratch/store.XXXXXX")
  local out
  out=$(cd "$root/usr/share/doc/talmer-arb/examples" &&
        TALMER_ARB_LIBDIR=$root/usr/lib/talmer-arb/simlib-ni TALMER_SIM_STORE=$store TALMER_SIM_TIMEOUT_SCALE=0.01 \
        "$root/usr/bin/talmer-arb-cli" --i tone_i.wfm --download 2>&1) || fail "$what: download failed: $out"
  grep -q "Done with download." <<<"$out" || fail "$what: download did not finish: $out"
  [ "$(stat -c %s "$store/arbi_tone.bin")" = 8192 ] && [ "$(stat -c %s "$store/arbq_tone.bin")" = 8192 ] ||
    fail "$what: the instrument did not store tone: $(ls -l "$store")"
  echo "$what: ${#expected[@]} files in place, --help of ${progs[*]} runs, a download through the installed library works"
}

DESTDIR=$scratch/destdir cmake --install "$build" --prefix /usr >/dev/null
check_tree "$scratch/destdir" "cmake --install"

if [ "${TALMER_TEST_DEB:-1}" = 1 ] && command -v cpack >/dev/null && command -v dpkg-deb >/dev/null; then
  (cd "$build" && cpack -G DEB -B "$scratch/deb" >/dev/null) || fail "cpack failed"
  deb=$(ls "$scratch"/deb/talmer-arb_*.deb)
  depends=$(dpkg-deb -f "$deb" Depends)
  grep -q libqt6widgets6 <<<"$depends" || fail "package does not depend on the Qt 6 widgets runtime: $depends"
  [ "$(dpkg-deb -f "$deb" Package)" = talmer-arb ] || fail "package name"
  dpkg-deb -x "$deb" "$scratch/root"
  check_tree "$scratch/root" "$(basename "$deb")"
fi
