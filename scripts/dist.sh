#!/usr/bin/env bash
# make dist: the download for Windows users, DIST_DIR/Recorder-VERSION-COMMIT.zip (DIST_DIR defaults
# to BUILD_DIR/dist), holding Recorder.exe without its debug sections, README.txt (Russian and
# English, for Notepad) and SHA256SUMS. The program is signed when SIGN_PFX and SIGN_PASSWORD are set
# (SIGN_TIMESTAMP_URL adds a timestamp), and read back before it is packed: its PE flags, sections,
# imports and manifest (scripts/check_exe.py), its resources, and a start on the test bench. The zip
# is the same, byte for byte, from every clone of a commit.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${BUILD_DIR:-$root/build}")
out=$(realpath -m "${DIST_DIR:-$build/dist}")

fail() { echo "make dist: $*" >&2; exit 1; }

# Inside this tree's bench (a test of make test), the tree is built and the bench is up already.
in_bench=$([ "${RECORDER_BENCH:-}" = "$build/bench" ] && echo yes || echo no)
if [ "$in_bench" = no ]; then
  "$root/scripts/deps.sh"
  "$root/scripts/build.sh" "$build"
fi

version=$(sed -n 's/^project(Recorder VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || fail "no version in CMakeLists.txt"
name="Recorder-$version"
# Times written into the download are the commit's: the same commit gives the same bytes.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-315532800} # 1980-01-01, the earliest a zip can say
if commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null); then
  git -C "$root" diff --quiet HEAD -- 2>/dev/null || commit="$commit-modified"
  name="$name-$commit"
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct HEAD)
fi
export SOURCE_DATE_EPOCH
stage="$out/$name"
rm -rf "$stage" "$out/$name.zip"
mkdir -p "$stage"

exe="$stage/Recorder.exe"
# Stripping writes SOURCE_DATE_EPOCH into the program's header.
x86_64-w64-mingw32-strip --strip-all -o "$exe" "$build/Recorder.exe"
sections=$(x86_64-w64-mingw32-objdump -h "$exe")
if grep -q '\.debug' <<<"$sections"; then
  fail "the stripped Recorder.exe still has debug sections: $(grep -o '\.debug[a-z_]*' <<<"$sections" | tr '\n' ' ')"
fi
echo "Recorder.exe: $(stat -c %s "$build/Recorder.exe") bytes as built, $(stat -c %s "$exe") bytes stripped"

"$root/scripts/sign.sh" "$exe"
"$root/scripts/check_exe.py" "$exe" "$build/Recorder.exe"

# The program as packed on the bench: its resources (manifest, icon, version), then a start, the
# window shown, and an end with code 0.
bench_check='
  set -euo pipefail
  exe=$(winepath -w "$1")
  if ! wine "$BUILD/tests/resource_tests.exe" "$exe" >"$2/resource_tests.log" 2>&1; then
    cat "$2/resource_tests.log"; echo "make dist: the packed program lost resources" >&2; exit 1
  fi
  printf "go\n" | wine "$BUILD/tests/e2e/e2e_driver.exe" show "$exe" "$(winepath -w "$2/start.labels")" \
    >"$2/start.log" 2>&1 || true
  if ! grep -q "^RESULT {\"exit_code\": 0}" "$2/start.log"; then
    cat "$2/start.log"; echo "make dist: the packed program did not start, show its window and end" >&2; exit 1
  fi
  echo "The packed Recorder.exe keeps its resources, starts, shows its window and ends with code 0."
'
if [ "$in_bench" = yes ]; then
  BUILD="$build" bash -c "$bench_check" check "$exe" "$out"
else
  BUILD_DIR="$build" "$root/scripts/with_bench.sh" bash -c "$bench_check" check "$exe" "$out"
fi

(cd "$stage" && sha256sum --binary Recorder.exe > SHA256SUMS && sha256sum --check --quiet SHA256SUMS) ||
  fail "SHA256SUMS does not match Recorder.exe"

python3 - "$root/app/user-readme.txt" "$stage" "$out/$name.zip" <<'PY'
import hashlib, os, sys, time, zipfile

readme, stage, archive = sys.argv[1:]
# Notepad of every Windows shows UTF-8 with a byte-order mark and CRLF line ends.
text = open(readme, encoding="utf-8").read().replace("\r\n", "\n").replace("\n", "\r\n")
with open(os.path.join(stage, "README.txt"), "w", encoding="utf-8-sig", newline="") as f:
    f.write(text)

# Only what the commit decides goes into the archive: its time for every entry, a fixed order, and
# attributes of a plain file rather than this machine's (its system, owner and permission bits).
when = time.gmtime(int(os.environ["SOURCE_DATE_EPOCH"]))[:6]
folder = os.path.basename(stage)
names = ["Recorder.exe", "README.txt", "SHA256SUMS"]
with zipfile.ZipFile(archive, "w") as z:
    for name in names:
        entry = zipfile.ZipInfo(f"{folder}/{name}", date_time=when)
        entry.create_system = 0
        entry.external_attr = 0
        entry.compress_type = zipfile.ZIP_DEFLATED
        with open(os.path.join(stage, name), "rb") as f:
            z.writestr(entry, f.read(), compresslevel=9)

# Read back: the names, every member whole, and the program the sum names.
with zipfile.ZipFile(archive) as z:
    listed = sorted(z.namelist())
    expected = sorted(f"{folder}/{name}" for name in names)
    if listed != expected or z.testzip() is not None:
        sys.exit(f"make dist: the archive holds {listed}, expected {expected} whole")
    digest = hashlib.sha256(z.read(f"{folder}/Recorder.exe")).hexdigest()
    summed = z.read(f"{folder}/SHA256SUMS").decode("ascii").split()[0]
    if digest != summed:
        sys.exit(f"make dist: the archived Recorder.exe hashes to {digest}, SHA256SUMS says {summed}")
    packed = z.read(f"{folder}/README.txt")
    if not packed.startswith(b"\xef\xbb\xbf") or packed.count(b"\n") != packed.count(b"\r\n"):
        sys.exit("make dist: README.txt lacks its byte-order mark or CRLF line ends")
with open(archive, "rb") as f:
    print(f"SHA-256 of Recorder.exe: {digest}\nSHA-256 of {os.path.basename(archive)}: "
          f"{hashlib.sha256(f.read()).hexdigest()}")
PY
echo "Download: $out/$name.zip ($(stat -c %s "$out/$name.zip") bytes)"
