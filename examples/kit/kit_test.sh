#!/usr/bin/env bash
# The installed kit, as a user outside the tree gets it.
#   kit_test.sh install  BUILD PREFIX   cmake --install into a fresh PREFIX
#   kit_test.sh consumer LIBDIR SOURCE  builds SOURCE with pkg-config from the kit's LIBDIR and
#                                       runs it with LIBDIR alone on the library path
#   kit_test.sh contents PREFIX         only deliverables, their headers and the two programs
#   kit_test.sh modules  PREFIX         every module with a library of its own links alone
#                                       (cc t.c $(pkg-config --cflags --libs X)) and the program
#                                       runs with the library path or with -Wl,-rpath alone
#   kit_test.sh jni      PREFIX SOURCE  builds SOURCE, a library of Java event handlers, with
#                                       pkg-config's vkkrn-jni alone
#   kit_test.sh c        PREFIX SOURCE  builds the C example SOURCE with pkg-config and runs it
#                                       (run path only) against the kit's krnsim and zrbsim
#   kit_test.sh java     PREFIX SOURCE JAVA
#                                       runs the Java example SOURCE with JAVA against the kit's
#                                       krnsim, with java.library.path and the kit's jar alone
#   kit_test.sh libraries SOURCE_DIR BUILD_TYPE BUILD PREFIX FULL_PREFIX
#                                       a build of the libraries alone (no GoogleTest, no Google
#                                       Benchmark) in BUILD, installed into PREFIX: it must hold
#                                       what FULL_PREFIX (the full build's kit) holds
set -euo pipefail

# Nothing of the build tree or a sanitizer may reach the programs run below.
unset LD_LIBRARY_PATH LD_PRELOAD

fail() {
  echo "kit: $*"
  exit 1
}

# Runs "$@" in the background with its stdout on a descriptor of its own; sets
# `ready` to the first line it prints (the simulators print where they serve).
# Fails when the program ends or stays silent instead.
serve() {
  local served
  exec {served}< <(exec "$@")
  servers+=("$!")
  ready=
  IFS= read -r -t 20 -u "$served" ready
}
servers=()
stop_servers() {
  for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; done
}

# zrbsim on a loopback address of its own (its port is always 5000).
serve_instrument() {
  local prefix=$1
  for _ in 1 2 3 4 5; do
    instrument=127.$((RANDOM % 200 + 20)).$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1))
    if serve "$prefix/bin/zrbsim" --address "$instrument" 2>/dev/null; then
      [ "$ready" = "ZRBSIM tcp $instrument 5000" ] && return 0
    fi
  done
  fail "zrbsim found no free loopback address"
}

# Checks that the text holds every pattern (grep -E, one line each).
expect_lines() {
  local text=$1 pattern
  shift
  for pattern in "$@"; do
    grep -qE -- "$pattern" <<<"$text" || { printf '%s\n' "$text"; fail "no line matches '$pattern'"; }
  done
}

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
  # A module without Libs of its own (headers on top of another module) has no library.
  for file in lib*/pkgconfig/*.pc; do
    grep -q '^Libs:' "$file" || continue
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
modules)
  libdir=$2/lib
  export PKG_CONFIG_PATH=$libdir/pkgconfig
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  cd "$work"
  count=0
  for pc in "$libdir"/pkgconfig/*.pc; do
    module=$(basename "$pc" .pc)
    grep -q '^Libs:' "$pc" || continue
    # One function the library exports, called through a pointer the compiler keeps. (sed reads all of
    # sort's output: head would leave it writing into a closed pipe, and pipefail would end the script.)
    symbol=$(nm -D --defined-only --format=posix "$libdir/lib$module.so" |
      awk '$2 == "T" && $1 ~ /^[A-Za-z][A-Za-z0-9_]*$/ { print $1 }' | sort | sed -n 1p)
    [ -n "$symbol" ] || fail "lib$module.so exports no function"
    printf 'extern void %s(void);\nint main(void) {\n    void (*volatile f)(void) = %s;\n    return f == 0;\n}\n' \
      "$symbol" "$symbol" >t.c
    # shellcheck disable=SC2046
    cc -o t t.c $(pkg-config --cflags --libs "$module") || fail "$module does not link alone"
    LD_LIBRARY_PATH=$libdir ./t || fail "$module: the program does not run with the library path"
    # shellcheck disable=SC2046
    cc -o t t.c $(pkg-config --cflags --libs "$module") -Wl,-rpath,"$libdir" ||
      fail "$module does not link with a run path"
    ./t || fail "$module: the program does not run with -Wl,-rpath alone"
    count=$((count + 1))
  done
  echo "kit: $count modules link alone and run with the library path or a run path"
  ;;
jni)
  export PKG_CONFIG_PATH=$2/lib/pkgconfig
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # shellcheck disable=SC2046
  cc -std=c99 -Wall -Werror -shared -fPIC -Wl,--no-undefined -o "$work/libkithandler.so" "$3" \
    $(pkg-config --cflags --libs vkkrn-jni) || fail "the JNI handler does not build with vkkrn-jni alone"
  echo "kit: the JNI handler library builds with pkg-config's vkkrn-jni"
  ;;
c)
  prefix=$2
  export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
  work=$(mktemp -d)
  trap 'stop_servers; rm -rf "$work"' EXIT
  # shellcheck disable=SC2046
  cc -std=c99 -Wall -Wextra -Werror -o "$work/kit_tour" "$3" -Wl,-rpath,"$prefix/lib" \
    $(pkg-config --cflags --libs vkkrn vktcp vktcl Zorbel_dll)
  serve "$prefix/bin/krnsim" --tcp || fail "krnsim printed no ready line"
  read -r _ _ host port <<<"$ready"
  serve_instrument "$prefix"
  output=$("$work/kit_tour" "$host" "$port" "$instrument" 2>&1) || { printf '%s\n' "$output"; fail "kit_tour failed"; }
  printf '%s\n' "$output"
  expect_lines "$output" \
    '^libvkkrn 07\.04\.01$' \
    '^  line: .*  >>  05 FF 65 ' \
    '^  line: .*  <<  0F 01 65 00 .*  OK$' \
    '^  status 0x00, 2 transponders$' \
    '^  UID E0 04 01 00 12 34 56 78$' \
    '^  response 00 A4 00 00 02 3F 00 90 00$' \
    '^  GPIO pin 1 level [01]$'
  ;;
java)
  prefix=$2
  work=$(mktemp -d)
  trap 'stop_servers; rm -rf "$work"' EXIT
  serve "$prefix/bin/krnsim" --tcp || fail "krnsim printed no ready line"
  read -r _ _ host port <<<"$ready"
  cd "$work"
  output=$("$4" -Djava.library.path="$prefix/lib" -cp "$prefix/share/java/vkjava.jar" "$3" "$host" "$port" 2>&1) ||
    { printf '%s\n' "$output"; fail "the Java example failed"; }
  printf '%s\n' "$output"
  expect_lines "$output" \
    '^0x65 software version: status 0$' \
    '^reader name: KRN reader V' \
    '^0xB0 inventory: 2 transponders$' \
    '^  UID E004010012345678$'
  ;;
libraries)
  source_dir=$2 build_type=$3 build=$4 prefix=$5 full=$6
  # The compiler cache as every build of this checkout shares it; the build lies
  # as deep as the full one, so that its compile lines are the same.
  cd "$source_dir"
  # shellcheck disable=SC1091
  source scripts/ccache-env
  rm -rf "$prefix"
  cmake --no-warn-unused-cli -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" -DBUILD_TESTING=OFF \
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >/dev/null
  cmake --build "$build" >/dev/null
  cmake --install "$build" --prefix "$prefix" >/dev/null
  # Same files, and nothing of the tests: the full kit's contents check holds for both.
  diff <(cd "$full" && find . | sort) <(cd "$prefix" && find . | sort) ||
    fail "the libraries-only build installs other files than the full build"
  echo "kit: a build of the libraries alone configures, builds and installs the whole kit"
  ;;
*)
  echo "usage: kit_test.sh install|consumer|contents|modules|jni|c|java|libraries ..." >&2
  exit 2
  ;;
esac
