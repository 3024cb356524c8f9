#!/usr/bin/env bash
# Installing and packaging, as a user meets the library:
#   - cmake --install into a temporary prefix, then the tree moved elsewhere;
#   - a C program built through pkg-config and a C++ project through
#     find_package, both run on the bundled sample;
#   - the C and Python examples;
#   - cpack -G DEB: its metadata and contents, then installed with dpkg -i
#     (as root; otherwise unpacked) and removed again; the LV2 plugin in it is
#     found by lv2ls where hosts look, and lv2apply gives the library's samples.
set -euo pipefail
cd "$(dirname "$0")/../.."
src=$(pwd)
sample=$src/samples/pluck.wav
work=$(mktemp -d)
deb_installed=""
cleanup() {
  if [ -n "$deb_installed" ]; then
    dpkg -P mavrelwavchorus >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

say() { echo "--- $*"; }
fail() {
  echo "70-install: FAIL: $*" >&2
  exit 1
}
# expect_same FILE: FILE holds the same bytes as the installed program's output.
expect_same() { cmp -s "$work/reference.wav" "$1" || fail "$1 differs from the reference output"; }

say "build as the README's From source does, with only a compiler, CMake and make"
# The packages of the tests and the benchmark, pkg-config and Ninja are out of
# sight of the build (scripts/without-packages.sh); without root or overlayfs,
# they are kept out of CMake's searches instead.
bare_build() {
  cmake -S . -B build-install -DCMAKE_BUILD_TYPE=Release && cmake --build build-install -j 2
}
rm -rf build-install
status=0
scripts/without-packages.sh libgtest-dev googletest libgmock-dev libbenchmark-dev libsndfile1-dev \
  lv2-dev liblilv-dev pkgconf pkgconf-bin pkg-config ninja-build -- bash -c "$(declare -f bare_build); bare_build" \
  >"$work/bare.log" 2>&1 || status=$?
if [ $status -eq 3 ]; then
  say "(no root or no overlayfs: the packages are left out of CMake's searches)"
  rm -rf build-install
  { cmake -S . -B build-install -DCMAKE_BUILD_TYPE=Release -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON &&
    cmake --build build-install -j 2; } >"$work/bare.log" 2>&1 || status=$?
fi
[ $status -eq 0 ] || fail "the build without the test packages failed: $(tail -20 "$work/bare.log")"
grep '^without-packages:' "$work/bare.log" || true
grep -q 'The tests are not built: not found: GoogleTest (Debian: googletest libgtest-dev); pkg-config (Debian: pkg-config)' \
  "$work/bare.log" || fail "the build without the test packages did not name them: $(grep -i test "$work/bare.log")"
say "install into a temporary prefix"
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' build-install/CMakeCache.txt)
cmake --install build-install --prefix "$work/staged" >/dev/null
# The installed tree finds itself from where it lies: move it before use.
mv "$work/staged" "$work/prefix"
prefix=$work/prefix

expected="bin/wavchorus
bin/wavchorus-hosts
include/MavrelWAVChorus.h
$libdir/cmake/MavrelWAVChorus/MavrelWAVChorusConfig.cmake
$libdir/cmake/MavrelWAVChorus/MavrelWAVChorusConfigVersion.cmake
$libdir/cmake/MavrelWAVChorus/MavrelWAVChorusTargets-release.cmake
$libdir/cmake/MavrelWAVChorus/MavrelWAVChorusTargets.cmake
$libdir/libMavrelFramework.so
$libdir/libMavrelFramework.so.1
$libdir/libMavrelFramework.so.1.0.0.1
$libdir/libMavrelWAVChorus.so
$libdir/libMavrelWAVChorus.so.1
$libdir/libMavrelWAVChorus.so.1.0.0.1
$libdir/pkgconfig/MavrelWAVChorus.pc
share/bash-completion/completions/wavchorus
share/bash-completion/completions/wavchorus-hosts
share/man/man1/wavchorus-hosts.1.gz
share/man/man1/wavchorus.1.gz"
actual=$(cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort)
[ "$actual" = "$(echo "$expected" | LC_ALL=C sort)" ] ||
  fail "installed files differ from the expected set:$(diff <(echo "$expected" | LC_ALL=C sort) <(echo "$actual"))"
[ "$(readlink "$prefix/$libdir/libMavrelWAVChorus.so.1")" = libMavrelWAVChorus.so.1.0.0.1 ] ||
  fail "libMavrelWAVChorus.so.1 does not link to libMavrelWAVChorus.so.1.0.0.1"
[ "$(readlink "$prefix/$libdir/libMavrelWAVChorus.so")" = libMavrelWAVChorus.so.1 ] ||
  fail "libMavrelWAVChorus.so does not link to libMavrelWAVChorus.so.1"
readelf -d "$prefix/$libdir/libMavrelWAVChorus.so.1.0.0.1" |
  grep -q 'Library soname: \[libMavrelWAVChorus.so.1\]' || fail "SONAME is not libMavrelWAVChorus.so.1"
# The build's internal targets stay out of the exported package.
if grep -nE 'MavrelWAVChorusCore|mavrel_(warnings|exact_fp)|/work|build-install' \
  "$prefix/$libdir/cmake/MavrelWAVChorus/"*.cmake "$prefix/$libdir/pkgconfig/MavrelWAVChorus.pc"; then
  fail "the CMake or pkg-config files name internal targets or build paths"
fi
for page in wavchorus wavchorus-hosts; do
  zcat "$prefix/share/man/man1/$page.1.gz" | cmp -s - "docs/$page.1" || fail "installed man page $page.1 differs"
  man_warnings=$(groff -man -t -ww -z "docs/$page.1" 2>&1)
  [ -z "$man_warnings" ] || fail "groff warns about docs/$page.1: $man_warnings"
done
cmp -s "$prefix/bin/wavchorus-hosts" cli/wavchorus-hosts && [ -x "$prefix/bin/wavchorus-hosts" ] ||
  fail "the installed wavchorus-hosts differs or cannot be run"

for c in wavchorus wavchorus-hosts; do
  cmp -s "$prefix/share/bash-completion/completions/$c" "cli/completion/$c" ||
    fail "installed bash completion of $c differs"
done
bash -c "source '$prefix/share/bash-completion/completions/wavchorus' && complete -p wavchorus" |
  grep -q -- '-F _wavchorus wavchorus$' || fail "the installed bash completion does not register"

say "installed wavchorus (finds its library relative to itself)"
[ "$(env -u LD_LIBRARY_PATH "$prefix/bin/wavchorus" --version)" = "wavchorus (MavrelWAVChorus) 1.0.0.1" ] ||
  fail "wavchorus --version"
env -u LD_LIBRARY_PATH "$prefix/bin/wavchorus" "$sample" "$work/reference.wav" >"$work/report.txt"
grep -q '^Sample number = 132300$' "$work/report.txt" || fail "unexpected report: $(cat "$work/report.txt")"
[ "$(soxi -c "$work/reference.wav")/$(soxi -r "$work/reference.wav")/$(soxi -s "$work/reference.wav")" = 2/44100/132300 ] ||
  fail "the chorused sample is not 2 channels, 44100 Hz, 132300 frames"
! cmp -s "$sample" "$work/reference.wav" || fail "the output equals the input"
# Built without libsndfile: other files are refused, not read as noise; --raw
# still gives the library's fixed-offset reading.
sox "$sample" -b 24 "$work/t24.wav"
status=0
env -u LD_LIBRARY_PATH "$prefix/bin/wavchorus" -q "$work/t24.wav" "$work/t24-out.wav" 2>"$work/t24.err" ||
  status=$?
[ $status -eq 1 ] && [ ! -e "$work/t24-out.wav" ] && grep -q 'cannot decode other files' "$work/t24.err" ||
  fail "a 24-bit file without libsndfile: status $status, $(cat "$work/t24.err")"
env -u LD_LIBRARY_PATH "$prefix/bin/wavchorus" -q --raw "$work/t24.wav" "$work/t24-out.wav" 2>/dev/null ||
  fail "--raw without libsndfile"

say "the README's spectrograms can be redrawn"
WAVCHORUS="$prefix/bin/wavchorus" scripts/sample-pictures.sh "$work/png" >/dev/null
for png in pluck-before.png pluck-after.png; do
  [ -f "docs/$png" ] || fail "docs/$png is missing"
  [ "$(file -b "$work/png/$png" | cut -d, -f1-2)" = "$(file -b "docs/$png" | cut -d, -f1-2)" ] ||
    fail "$png: drawn $(file -b "$work/png/$png"), committed $(file -b "docs/$png")"
done

say "C through pkg-config"
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
[ "$(pkg-config --modversion MavrelWAVChorus)" = 1.0.0.1 ] || fail "pkg-config --modversion"
pc_libdir=$(pkg-config --variable=libdir MavrelWAVChorus)
[ "$(cd "$pc_libdir" && pwd -P)" = "$(cd "$prefix/$libdir" && pwd -P)" ] ||
  fail "pkg-config's libdir $pc_libdir is not the moved prefix"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Wpedantic -Werror -o "$work/pkgconfig_consumer" \
  tests/install/pkgconfig_consumer.c $(pkg-config --cflags --libs MavrelWAVChorus)
# It also checks that a NULL path is refused, which the library reports on stderr.
LD_LIBRARY_PATH=$pc_libdir "$work/pkgconfig_consumer" "$sample" "$work/c.wav" >/dev/null 2>"$work/c.err" ||
  fail "pkgconfig_consumer: $(cat "$work/c.err")"
expect_same "$work/c.wav"

say "C++ through find_package"
cmake -S tests/install/find_package -B "$work/find_package" -G Ninja \
  -DCMAKE_PREFIX_PATH="$prefix" >"$work/find_package.log" ||
  fail "find_package consumer: $(cat "$work/find_package.log")"
cmake --build "$work/find_package" >/dev/null
"$work/find_package/find_package_consumer" "$sample" "$work/cpp.wav" >/dev/null
expect_same "$work/cpp.wav"

say "examples/c"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Wpedantic -Werror -o "$work/chorus_file" examples/c/chorus_file.c \
  $(pkg-config --cflags --libs MavrelWAVChorus)
export LD_LIBRARY_PATH=$pc_libdir
unicode_out="$work/chœur ♪ 😀.wav"
"$work/chorus_file" "$sample" "$unicode_out" >"$work/example-c.txt"
grep -q '^chorus_file: done$' "$work/example-c.txt" || fail "examples/c did not finish"
expect_same "$unicode_out"
if "$work/chorus_file" "$work/missing.wav" "$work/never.wav" 2>"$work/example-c.err" >/dev/null; then
  fail "examples/c succeeded on a missing input"
fi
grep -q 'returned -3: the input cannot be opened' "$work/example-c.err" ||
  fail "examples/c: $(cat "$work/example-c.err")"
[ ! -e "$work/never.wav" ] || fail "a failed call left an output"

say "examples/python"
py=examples/python/wavchorus.py
python3 "$py" --library "$pc_libdir/libMavrelWAVChorus.so.1" "$sample" "$work/py ♪ 😀.wav" >/dev/null
expect_same "$work/py ♪ 😀.wav"
MAVREL_WAV_CHORUS_LIBRARY="$pc_libdir/libMavrelWAVChorus.so.1" python3 "$py" "$sample" "$work/py2.wav" >/dev/null
expect_same "$work/py2.wav"
# The library found through the library path, as for an installed package.
python3 "$py" "$sample" "$work/py3.wav" >/dev/null
expect_same "$work/py3.wav"
# Each failure comes back as its code and name.
python_fails() { # WANT ARGS...: the example exits 1 and names WANT
  if python3 "$py" "${@:2}" >/dev/null 2>"$work/py.err"; then
    fail "examples/python succeeded on $*"
  fi
  grep -q -- "$1" "$work/py.err" || fail "examples/python, $*: $(cat "$work/py.err")"
}
python_fails "returned -3 (WAVCHORUS_ERR_OPEN_INPUT" "$work/missing.wav" "$work/never.wav"
python_fails "returned -4 (WAVCHORUS_ERR_INPUT_NOT_FILE" "$work" "$work/never.wav"
head -c 20 "$sample" >"$work/short.wav"
python_fails "returned -5 (WAVCHORUS_ERR_SHORT_HEADER" "$work/short.wav" "$work/never.wav"
python_fails "returned -8 (WAVCHORUS_ERR_CREATE_OUTPUT" "$sample" "$work/no-such-dir/out.wav"
# A file name that is not UTF-8 has no UTF-16 form: the library refuses it.
python_fails "returned -2 (WAVCHORUS_ERR_BAD_PATH" "$work/$(printf 'bad\377').wav" "$work/never.wav"
python_fails "cannot load the library" --library "$work/missing.so" "$sample" "$work/never.wav"
[ ! -e "$work/never.wav" ] || fail "a failed call left an output"
unset LD_LIBRARY_PATH

say "the failure codes agree in the header and the examples"
PYTHONDONTWRITEBYTECODE=1 python3 - <<'PY' || fail "failure codes disagree"
import re, sys
sys.path.insert(0, "examples/python")
import wavchorus

# {code: name} from each place that lists the failure codes.
header_text = open("include/MavrelWAVChorus.h").read()
header = {int(code): name
          for name, code in re.findall(r"#define (WAVCHORUS_ERR_\w+) \((-\d+)\)", header_text)}
python = {code: name for code, (name, _) in wavchorus.FAILURES.items()}
example_c = open("examples/c/chorus_file.c").read()

bad = not header
if python != header:
    print(f"examples/python lists {python}, the header {header}", file=sys.stderr)
    bad = True
for name in header.values():
    if f"case {name}:" not in example_c:
        print(f"examples/c does not describe {name}", file=sys.stderr)
        bad = True
sys.exit(1 if bad else 0)
PY

say "Debian package (the deb presets: configure, build, cpack -G DEB)"
cmake --list-presets=all >/dev/null || fail "CMakePresets.json does not load"
cmake --preset deb >/dev/null
cmake --build --preset deb -j 2 >/dev/null
rm -rf build-deb/packages
cpack --preset deb >"$work/cpack.log" 2>&1 || fail "cpack: $(cat "$work/cpack.log")"
debs=(build-deb/packages/*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one .deb, got ${debs[*]}"
deb=${debs[0]}
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
[ "$(basename "$deb")" = "mavrelwavchorus_1.0.0.1-1_$arch.deb" ] || fail "unexpected file name $deb"
dpkg-deb -I "$deb"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = mavrelwavchorus ] || fail "Package: $(field Package)"
[ "$(field Version)" = 1.0.0.1-1 ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = sound ] || fail "Section: $(field Section)"
[ "$(field Priority)" = optional ] || fail "Priority: $(field Priority)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
# Whole, not through head: with pipefail, a head that leaves early fails the pipe.
description=$(field Description)
[[ ${description%%$'\n'*} == *chorus* ]] || fail "Description: $description"
# Dependencies come from the ELF files through dpkg-shlibdeps: libsndfile1 from
# wavchorus's decoding.
[ "$(field Recommends)" = "parallel, rsync, openssh-client" ] || fail "Recommends: $(field Recommends)"
for dep in libc6 libstdc++6 libgcc-s1 libsndfile1; do
  field Depends | tr ',' '\n' | awk '{ print $1 }' | grep -qxF "$dep" ||
    fail "Depends lacks $dep: $(field Depends)"
done
dpkg-deb -e "$deb" "$work/control"
grep -qx "libMavrelWAVChorus 1 mavrelwavchorus (>= 1.0.0.1-1)" "$work/control/shlibs" ||
  fail "shlibs: $(cat "$work/control/shlibs")"

deb_expected="./usr/bin/wavchorus
./usr/bin/wavchorus-hosts
./usr/include/MavrelWAVChorus.h
./usr/lib/$multiarch/cmake/MavrelWAVChorus/MavrelWAVChorusConfig.cmake
./usr/lib/$multiarch/cmake/MavrelWAVChorus/MavrelWAVChorusConfigVersion.cmake
./usr/lib/$multiarch/cmake/MavrelWAVChorus/MavrelWAVChorusTargets-release.cmake
./usr/lib/$multiarch/cmake/MavrelWAVChorus/MavrelWAVChorusTargets.cmake
./usr/lib/$multiarch/libMavrelFramework.so -> libMavrelFramework.so.1
./usr/lib/$multiarch/libMavrelFramework.so.1 -> libMavrelFramework.so.1.0.0.1
./usr/lib/$multiarch/libMavrelFramework.so.1.0.0.1
./usr/lib/$multiarch/libMavrelWAVChorus.so -> libMavrelWAVChorus.so.1
./usr/lib/$multiarch/libMavrelWAVChorus.so.1 -> libMavrelWAVChorus.so.1.0.0.1
./usr/lib/$multiarch/libMavrelWAVChorus.so.1.0.0.1
./usr/lib/$multiarch/lv2/MavrelWAVChorus.lv2/MavrelWAVChorus.so
./usr/lib/$multiarch/lv2/MavrelWAVChorus.lv2/MavrelWAVChorus.ttl
./usr/lib/$multiarch/lv2/MavrelWAVChorus.lv2/manifest.ttl
./usr/lib/$multiarch/pkgconfig/MavrelWAVChorus.pc
./usr/share/bash-completion/completions/wavchorus
./usr/share/bash-completion/completions/wavchorus-hosts
./usr/share/man/man1/wavchorus-hosts.1.gz
./usr/share/man/man1/wavchorus.1.gz"
deb_actual=$(dpkg-deb -c "$deb" | grep -v '^d' | awk '{ $1=$2=$3=$4=$5=""; sub(/^ +/, ""); print }' | LC_ALL=C sort)
[ "$deb_actual" = "$(echo "$deb_expected" | LC_ALL=C sort)" ] ||
  fail "the package's files differ:$(diff <(echo "$deb_expected" | LC_ALL=C sort) <(echo "$deb_actual"))"
dpkg-deb -c "$deb" | grep -v '^d' | awk '{ print $2 }' | grep -qvx root/root && fail "files not owned by root"
dpkg-deb -x "$deb" "$work/unpacked"
if readelf -d "$work/unpacked/usr/bin/wavchorus" | grep -qiE 'rpath|runpath'; then
  fail "the packaged wavchorus carries a run path"
fi

# The packaged stereo plugin on the sample gives the samples of the library's output.
expect_plugin_samples() {
  lv2apply -i "$sample" -o "$work/deb-lv2.wav" urn:mavrelwavchorus:stereo >"$work/lv2apply.log" 2>&1 ||
    fail "lv2apply with the packaged plugin: $(cat "$work/lv2apply.log")"
  cmp -s <(tail -c +45 "$work/reference.wav") <(sox -D "$work/deb-lv2.wav" -t raw -e signed-integer -b 16 -L -) ||
    fail "lv2apply with the packaged plugin differs from the library's output"
}

if [ "$(id -u)" -eq 0 ]; then
  say "dpkg -i"
  if dpkg-query -W -f='${Status}' mavrelwavchorus 2>/dev/null | grep -q 'install ok'; then
    fail "mavrelwavchorus is already installed on this machine; remove it first"
  fi
  deb_installed=yes
  dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || fail "dpkg -i: $(cat "$work/dpkg.log")"
  if grep -iE 'warning|error' "$work/dpkg.log"; then
    fail "dpkg -i was not clean"
  fi
  [ "$(dpkg-query -W -f='${Status} ${Version}' mavrelwavchorus)" = "install ok installed 1.0.0.1-1" ] ||
    fail "dpkg-query: $(dpkg-query -W mavrelwavchorus)"
  dpkg --verify mavrelwavchorus || fail "dpkg --verify"
  env -u LD_LIBRARY_PATH -u PKG_CONFIG_PATH /usr/bin/wavchorus "$sample" "$work/deb.wav" >/dev/null
  expect_same "$work/deb.wav"
  # The system's own pkg-config and CMake find it without help.
  [ "$(env -u PKG_CONFIG_PATH pkg-config --modversion MavrelWAVChorus)" = 1.0.0.1 ] ||
    fail "pkg-config does not find the installed package"
  # shellcheck disable=SC2046
  cc -std=c11 -Wall -Wextra -Wpedantic -Werror -o "$work/system_consumer" tests/install/pkgconfig_consumer.c \
    $(env -u PKG_CONFIG_PATH pkg-config --cflags --libs MavrelWAVChorus)
  env -u LD_LIBRARY_PATH "$work/system_consumer" "$sample" "$work/deb-c.wav" >/dev/null 2>&1 ||
    fail "pkgconfig_consumer against the installed package"
  expect_same "$work/deb-c.wav"
  cmake -S tests/install/find_package -B "$work/find_package_system" -G Ninja >/dev/null
  cmake --build "$work/find_package_system" >/dev/null
  "$work/find_package_system/find_package_consumer" "$sample" "$work/deb-cpp.wav" >/dev/null
  expect_same "$work/deb-cpp.wav"
  # Hosts find the plugin where they look by default, and it gives the library's samples.
  env -u LV2_PATH lv2ls | grep -qx urn:mavrelwavchorus:stereo || fail "lv2ls does not find the installed plugin"
  expect_plugin_samples
  dpkg -P mavrelwavchorus >"$work/dpkg.log" 2>&1 || fail "dpkg -P: $(cat "$work/dpkg.log")"
  deb_installed=""
  if [ -e /usr/bin/wavchorus ] || [ -e "/usr/lib/$multiarch/libMavrelWAVChorus.so.1" ]; then
    fail "dpkg -P left files behind"
  fi
else
  say "not root: the package was unpacked, not installed"
  LD_LIBRARY_PATH="$work/unpacked/usr/lib/$multiarch" "$work/unpacked/usr/bin/wavchorus" "$sample" \
    "$work/deb.wav" >/dev/null
  expect_same "$work/deb.wav"
  LV2_PATH="$work/unpacked/usr/lib/$multiarch/lv2" expect_plugin_samples
fi
echo "70-install: all checks passed"
