#!/usr/bin/env bash
# The README's first command as a new user meets it: scripts/example in a fresh
# clone of this checkout (the compiler cache shared), then once more, which must
# start the example at once, then with an unknown option and with an address no
# reader answers on.
#   fresh_clone_test.sh CHECKOUT
set -euo pipefail

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A checkout owned by another user (CI runs as root) is still cloned.
git -c safe.directory='*' clone --quiet "$1" "$work/kit"
# The clone's own paths are the ones the cache keys leave out.
unset CCACHE_BASEDIR
example="$work/kit/scripts/example"
expect() { # expect <what> <output> <pattern>
  if ! grep -qzP "$3" <<<"$2"; then
    printf 'fresh clone: %s\n--- output\n%s\n---\n' "$1" "$2"
    exit 1
  fi
}

first=$(bash "$example" 2>&1) || { printf '%s\n' "$first"; echo "fresh clone: the first run failed"; exit 1; }
expect "no inventory on the first run" "$first" \
  '0xB0 inventory\n(  line: .*\n)*  status 0x00: OK\n(.*\n)*    2 transponders\n    1: type 0x03  UID E0 04 01 00 12 34 56 78\n    2: type 0x03  UID E0 04 01 00 9A BC DE F0\n'

again=$(bash "$example" 2>&1)
expect "the second run did more than run the example" "$again" '^Library versions\n'

status=0
usage=$(bash "$example" --baud 2>&1) || status=$?
[ "$status" -ne 0 ] || { echo "fresh clone: an unknown option exits 0"; exit 1; }
expect "no usage for an unknown option" "$usage" '^vkkrn_example: .*\n(.*\n)*[Uu]sage'

status=0
refused=$(bash "$example" 127.0.0.1:1 2>&1) || status=$?
[ "$status" -ne 0 ] || { echo "fresh clone: an address without a reader exits 0"; exit 1; }
expect "no error for an address without a reader" "$refused" 'Cannot connect to 127\.0\.0\.1:1: VKTCP: '
echo "fresh clone: example runs, second run at once, bad input refused"
