#!/usr/bin/env bash
# On a host without systemctl the sandbox still places its stand-in and
# creates nothing on the host: the start-up test, run on such a host (this
# one, with systemctl hidden from its programs folder).
. "$(dirname "$0")/lib.sh"

bin=$(cd /usr/bin && pwd -P)
host=(--ro-bind / / --dev /dev --bind "$KVO_BUILD_DIR" "$KVO_BUILD_DIR" --cap-add ALL
      --tmpfs "$bin" --ro-bind "$bin" "$bin/.host")
for program in "$bin"/*; do
  [ "${program##*/}" = systemctl ] || host+=(--symlink ".host/${program##*/}" "$program")
done
TMPDIR=$T bwrap "${host[@]}" \
  bash -c '[ ! -e /bin/systemctl ] && bash "$0" && [ ! -e /bin/systemctl ]' \
  "$(dirname "$0")/startup_test.sh" || fail "the start-up test failed without systemctl"
echo "no systemctl host: ok"
