#!/usr/bin/env bash
# Runs a command with a tiny file system mounted for it, for the full-disk and read-only tests, and
# those that freeze it to make a write hang.
#
#   tinyfs.sh SIZE -- COMMAND...
#
# The file system is a small ext4 image on a loop device (root only); ext4, because tmpfs may not
# honour the immutable flag. The command finds its Windows path (Z:\...) in RECORDER_TINY_FS and,
# in it, an immutable read-only file named by RECORDER_READ_ONLY_FILE (immutable, because root may
# write a file that is merely chmod'ed read-only). When any of it cannot be made, the command does
# not run and this fails, saying why: the tests need the disk, they never skip without it.
set -euo pipefail

size=${1:?size, e.g. 200k}
shift
[ "${1:-}" = "--" ] && shift
[ $# -gt 0 ] || { echo "usage: $0 SIZE -- COMMAND..." >&2; exit 2; }

dir=$(mktemp -d /tmp/recorder-tinyfs.XXXXXX)
cleanup() {
  if mountpoint -q "$dir"; then
    fsfreeze -u "$dir" 2>/dev/null || true # a test that froze it to hang a write, and failed
    chattr -i "$dir/read-only.wav" 2>/dev/null || true
    umount "$dir" || umount -l "$dir"
  fi
  rmdir "$dir" 2>/dev/null || true
  rm -f "$dir.img"
}
trap cleanup EXIT
fail() { echo "FAIL tinyfs.sh: $*" >&2; exit 1; }
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

truncate -s "$size" "$dir.img"
# 1 KiB blocks, no journal, no reserve: as much of the size as can be is free for files.
out=$(mkfs.ext4 -q -F -b 1024 -m 0 -N 16 -O ^has_journal,^resize_inode "$dir.img" 2>&1) ||
  fail "mkfs.ext4 cannot make a $size image (e2fsprogs): $out"
out=$(mount -o loop "$dir.img" "$dir" 2>&1) ||
  fail "cannot mount a $size ext4 image through a loop device (needs root): $out"
printf 'not to be overwritten' > "$dir/read-only.wav"
chmod 0444 "$dir/read-only.wav"
out=$(chattr +i "$dir/read-only.wav" 2>&1) || fail "the file system refuses the immutable flag: $out"

export RECORDER_TINY_FS RECORDER_READ_ONLY_FILE
RECORDER_TINY_FS=$(windows_path "$dir")
RECORDER_READ_ONLY_FILE=$(windows_path "$dir/read-only.wav")
"$@"
