#!/usr/bin/env bash
# small_disk.sh mount DIR SIZE | unmount DIR
# A size-limited folder for the full-disk test: a tmpfs of SIZE at DIR. Where
# the machine does not allow mounting, DIR stays an ordinary folder and the
# test that needs it skips; neither step fails the run.
set -u
action="$1" dir="$2"
if mountpoint -q "$dir" 2>/dev/null; then umount "$dir" 2>/dev/null || umount -l "$dir" 2>/dev/null || true; fi
[ "$action" = unmount ] && exit 0
mkdir -p "$dir"
if mount -t tmpfs -o "size=$3" quillmere-small-disk "$dir" 2>/dev/null; then
  echo "small disk: $3 at $dir"
else
  echo "small disk: cannot mount here; the full-disk test will skip"
fi
exit 0
