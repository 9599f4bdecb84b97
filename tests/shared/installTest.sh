#!/usr/bin/env bash
# Installs the build tree into a scratch prefix and builds two hosts against the installed
# files only: the C host through pkg-config and a C++ host through find_package(tulim). Both
# recognise the example utterance, which says text 1.
# Arguments: buildDir sourceDir libDir(relative to the prefix) [host compile and link flags]
set -euo pipefail
build=$1
source=$2
libdir=$3
flags=${4:-}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
fail() {
  echo "installTest: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null

# What is installed, and nothing else.
expected="bin/tulim-batch
bin/tulim-run
include/tulim.h
$libdir/cmake/tulim/tulimConfig.cmake
$libdir/cmake/tulim/tulimConfigVersion.cmake
$libdir/cmake/tulim/tulimTargets.cmake
$libdir/libtulim.so
$libdir/libtulim.so.1
$libdir/libtulim.so.1.0.0
$libdir/pkgconfig/tulim.pc"
installed=$(cd "$prefix" && find . \( -type f -o -type l \) ! -name 'tulimTargets-*.cmake' | sed 's|^\./||' | LC_ALL=C sort)
[ "$installed" = "$(echo "$expected" | LC_ALL=C sort)" ] || fail "installed files differ:
$installed"
[ "$(readlink "$prefix/$libdir/libtulim.so")" = libtulim.so.1 ] || fail "libtulim.so does not point to libtulim.so.1"
[ "$(readlink "$prefix/$libdir/libtulim.so.1")" = libtulim.so.1.0.0 ] || fail "libtulim.so.1 does not point to libtulim.so.1.0.0"
readelf -d "$prefix/$libdir/libtulim.so.1.0.0" | grep -q 'Library soname: \[libtulim.so.1\]' || fail "no SONAME libtulim.so.1"
exports=$(nm -D --defined-only "$prefix/$libdir/libtulim.so.1.0.0" | awk '{print $3}' | LC_ALL=C sort | tr '\n' ' ')
[ "$exports" = "getFileLineCount openFile recordAutoStop recordParamPrint recordParamRead sa01 sa02 vc01 vc02 wavFileWrite " ] ||
  fail "exports: $exports"

# The example task, in a directory of its own.
task=$scratch/task
mkdir "$task"
cp "$source"/examples/*.prm "$source"/examples/*.mac "$source"/examples/*.cfg "$source"/examples/*.txt \
  "$source"/examples/*.dic "$source"/examples/*.syl "$source"/examples/*.tnm "$source"/examples/*.wav "$task"/
export LD_LIBRARY_PATH=$prefix/$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}

# The C host through pkg-config.
pc() { PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig pkg-config "$@" tulim; }
# shellcheck disable=SC2046,SC2086
cc $flags "$source/tests/shared/tulimHost.c" -o "$scratch/cHost" $(pc --cflags --libs) -ldl
out=$(cd "$task" && "$scratch/cHost" example.prm utterance.wav texts.txt "$scratch/host.wav") || fail "C host failed: $out"
grep -q '^vc01=1 score=' <<<"$out" || fail "C host: $out"
grep -q '^written=1$' <<<"$out" || fail "C host: $out"

# The C++ host through find_package.
cmake -S "$source/tests/shared/cppHost" -B "$scratch/cppHost" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$scratch/cppHost" >/dev/null
out=$(cd "$task" && "$scratch/cppHost/cppHost" example.prm utterance.wav texts.txt) || fail "C++ host failed: $out"
grep -q '^vc01=1 score=' <<<"$out" || fail "C++ host: $out"
grep -q '^caught: Cannot open file missing.prm' <<<"$out" || fail "C++ host: $out"
# The example in the installed header's comment compiles as it is written there.
example=$(sed -n '/^ \*     #include <tulim.h>$/,/^ \*     }$/p' "$prefix/include/tulim.h" | sed 's/^ \*     //')
[ -n "$example" ] || fail "no example in tulim.h"
{
  echo '#include <cstdio>'
  head -n 1 <<<"$example"
  echo 'int main() {'
  tail -n +2 <<<"$example"
  echo '}'
} >"$scratch/headerExample.cpp"
c++ -fsyntax-only -Wall -I"$prefix/include" "$scratch/headerExample.cpp" || fail "the example of tulim.h does not compile"
echo "installTest: installed tree and both hosts work"
