#!/usr/bin/env bash
# Runs a command with a tiny file system mounted for it, for the writer's full-disk tests.
#
#   tinyfs.sh SIZE -- COMMAND...
#
# The command finds the file system's Windows path (Z:\...) in RECORDER_TINY_FS and, in it, an
# immutable read-only file named by RECORDER_READ_ONLY_FILE (immutable, because root may write a
# file that is merely chmod'ed read-only). When the mount is refused, the command still runs and
# RECORDER_TINY_FS_ERROR says why, so its tests skip with the reason instead of passing silently.
set -uo pipefail

size=${1:?size, e.g. 200k}
shift
[ "${1:-}" = "--" ] && shift
[ $# -gt 0 ] || { echo "usage: $0 SIZE -- COMMAND..." >&2; exit 2; }

dir=$(mktemp -d /tmp/recorder-tinyfs.XXXXXX)
mounted=0
cleanup() {
  if [ $mounted = 1 ]; then
    chattr -i "$dir/read-only.wav" 2>/dev/null || true
    umount "$dir" || umount -l "$dir"
  fi
  rmdir "$dir" 2>/dev/null || true
}
trap cleanup EXIT

windows_path() { printf 'Z:%s' "${1//\//\\}"; }

if error=$(mount -t tmpfs -o "size=$size" tmpfs "$dir" 2>&1); then
  mounted=1
  export RECORDER_TINY_FS; RECORDER_TINY_FS=$(windows_path "$dir")
  printf 'not to be overwritten' > "$dir/read-only.wav"
  chmod 0444 "$dir/read-only.wav"
  if chattr +i "$dir/read-only.wav" 2>/dev/null; then
    export RECORDER_READ_ONLY_FILE; RECORDER_READ_ONLY_FILE=$(windows_path "$dir/read-only.wav")
  fi
else
  export RECORDER_TINY_FS_ERROR="mount -t tmpfs -o size=$size refused: $error"
fi

"$@"
