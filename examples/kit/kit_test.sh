#!/usr/bin/env bash
# The installed kit, as a user outside the tree gets it.
#   kit_test.sh install  BUILD PREFIX   cmake --install into a fresh PREFIX
#   kit_test.sh consumer LIBDIR SOURCE  builds SOURCE with pkg-config from the kit's LIBDIR and
#                                       runs it with LIBDIR alone on the library path
#   kit_test.sh contents PREFIX         only deliverables, their headers and the two programs
set -euo pipefail

case "$1" in
install)
  rm -rf "$3"
  cmake --install "$2" --prefix "$3" >/dev/null
  ;;
consumer)
  libdir=$2
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  export PKG_CONFIG_PATH=$libdir/pkgconfig
  # shellcheck disable=SC2046
  cc -std=c99 -Wall -Werror -o "$work/consumer" "$3" $(pkg-config --cflags --libs vkkrn vktcp)
  env -u LD_PRELOAD LD_LIBRARY_PATH="$libdir" "$work/consumer"
  ;;
contents)
  prefix=$2
  cd "$prefix"
  status=0
  fail() { echo "kit: $*"; status=1; }
  # Programs: exactly the two simulators users test their applications against.
  programs=$(ls bin | sort | tr '\n' ' ')
  [ "$programs" = "krnsim zrbsim " ] || fail "bin/ holds '$programs', not 'krnsim zrbsim'"
  for dir in *; do
    case "$dir" in bin | include | lib* | share) ;; *) fail "unexpected $dir/" ;; esac
  done
  # share/ holds the jar of the Java classes and nothing else.
  if [ -d share ]; then
    others=$(find share -type f ! -path 'share/java/*.jar')
    [ -z "$others" ] || fail "share/ holds $others"
  fi
  # Every library is a deliverable with its pkg-config file; nothing of the tests.
  for file in lib*/*; do
    [ -d "$file" ] && continue
    name=$(basename "$file")
    base=${name#lib}
    base=${base%%.so*}
    [ -f "$(dirname "$file")/pkgconfig/$base.pc" ] || fail "$file is no deliverable (no $base.pc)"
    case "$base" in *sim* | *fake* | *test* | *probe*) fail "$file is a test library" ;; esac
    # No build-tree path survives the install; "$ORIGIN" (the NFC bridge finds the board
    # libraries beside itself) is the one run path a library may keep.
    paths=$(readelf -d "$file" | sed -nE 's/.*R(UN)?PATH.*\[(.*)\].*/\2/p')
    if [ -n "$paths" ] && [ "$paths" != '$ORIGIN' ]; then fail "$file keeps a run path: $paths"; fi
  done
  for file in lib*/pkgconfig/*.pc; do
    [ -e "$(dirname "$file")/../lib$(basename "$file" .pc).so" ] || fail "$file without its library"
  done
  # Headers of the simulators and test helpers stay in the tree.
  for dir in krnsim zrbsim usbsim vksim vktesting vkkrn_codec vkcommon; do
    [ ! -e "include/$dir" ] || fail "include/$dir is not part of the kit"
  done
  [ ! -e include/vkplatform/zlog_capture.h ] || fail "the test sink is not part of the kit"
  find . -type f -o -type l | sort
  exit $status
  ;;
*)
  echo "usage: kit_test.sh install|consumer|contents ..." >&2
  exit 2
  ;;
esac
