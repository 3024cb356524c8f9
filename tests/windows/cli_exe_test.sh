#!/usr/bin/env bash
# wavchorus.exe under Wine: the same options as on Linux, and outputs byte for
# byte those of the x86-64 Linux build. One file, standard input and output
# (spooled through temporary files), a batch with its bad files and usage
# errors, and arguments in UTF-16 (wmain) with non-ASCII names.
#   cli_exe_test.sh WINE WAVCHORUS.EXE REFERENCE_DIR WORK_DIR NAME...
# REFERENCE_DIR holds inputs/NAME.wav and expected/NAME.wav (tests/cross).
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
wine=$1
exe=$2
ref=$3
work=$4
shift 4
names=("$@")
rm -rf "$work" && mkdir -p "$work/in" "$work/out" && cd "$work" || exit 1
# Paths relative to the work directory: Wine starts the program in it.
wc_() { "$wine" "$exe" "$@"; }
run() {
  wc_ "$@" >stdout 2>stderr
  status=$?
}
contains() { tr -d '\r' <"$1" | grep -qF -- "$2"; }
for n in "${names[@]}"; do cp "$ref/inputs/$n.wav" "in/$n.wav"; done
first=${names[0]}

run --version
check "--version" contains stdout "wavchorus (MavrelWAVChorus) 1.0.0.1"
run --help
check "--help names -t" contains stdout "-t, --target-directory=DIR"

# --raw: the library's fixed-offset reading of every input, as on Linux, where
# a file with a chunk after its data would be decoded instead.
for n in "${names[@]}"; do
  run --raw "in/$n.wav" "single-$n.wav"
  check "$n: exits 0" [ "$status" -eq 0 ]
  check "$n: the Linux build's bytes" cmp -s "single-$n.wav" "$ref/expected/$n.wav"
done
check "the report on stdout" contains stdout "Output WAVE data is"

wc_ - - <"in/$first.wav" >piped.wav 2>piped.err
check "- - exits 0" [ $? -eq 0 ]
check "- -: the WAV alone on stdout" cmp -s piped.wav "$ref/expected/$first.wav"
check "- -: the report on stderr" contains piped.err "Sample number = "
wc_ -q - from-stdin.wav <"in/$first.wav" >stdout 2>stderr
check "IN -: the Linux build's bytes" cmp -s from-stdin.wav "$ref/expected/$first.wav"
check "-q: no report" [ ! -s stdout ]

# A batch on three threads, with bad files among the good ones.
mkdir in/folder.wav
head -c 40 "in/$first.wav" >in/short.wav
inputs=()
for n in "${names[@]}"; do inputs+=("in/$n.wav"); done
run --raw -j 3 -t out "${inputs[@]}" in/folder.wav in/short.wav in/missing.wav
check "a batch with bad files exits 1" [ "$status" -eq 1 ]
same=yes
for n in "${names[@]}"; do cmp -s "out/$n.wav" "$ref/expected/$n.wav" || same=no; done
check "the batch's outputs are the Linux build's" [ $same = yes ]
check "the batch's reports" [ "$(tr -d '\r' <stdout | grep -c '^Wave data is$')" -eq ${#names[@]} ]
check "a directory named" contains stderr 'in/folder.wav": neither a regular file nor a pipe'
check "a short file named" contains stderr 'in/short.wav": shorter than the 44-byte WAV header'
check "a missing file named" contains stderr 'in/missing.wav"'
check "the summary" contains stderr "wavchorus: $((${#names[@]} + 3)) files: ${#names[@]} written, 3 failed"
check "nothing else left in the target" [ "$(ls out | wc -l)" -eq ${#names[@]} ]

run -t nowhere "in/$first.wav"
check "a missing target exits 2" [ "$status" -eq 2 ]
check "a missing target is named" contains stderr "target 'nowhere' is not an existing directory"
mkdir in/again
cp "in/$first.wav" "in/again/$first.wav"
run -t out "in/$first.wav" "in/again/$first.wav"
check "two inputs with one file name exit 2" [ "$status" -eq 2 ]
run -j 0 -t out "in/$first.wav"
check "-j 0 exits 2" [ "$status" -eq 2 ]

# UTF-16 arguments: names that the ANSI code page (1252) holds reach the
# library exactly; the batch writes them under the same name.
name=$'ch\xc5\x93ur \xc3\xa9t\xc3\xa9.wav'
cp "in/$first.wav" "in/$name"
run "in/$name" "out-$name"
check "a non-ASCII name" cmp -s "out-$name" "$ref/expected/$first.wav"
mkdir "dir-$name"
run -q -t "dir-$name" "in/$name"
check "a non-ASCII batch" cmp -s "dir-$name/$name" "$ref/expected/$first.wav"

# Other layouts and formats, decoded by the build's libsndfile: the Linux
# build's bytes (tests/cross/make_reference.sh made them), from a file and from
# standard input; an AIFF output; what the build lacks, named.
for f in "$ref"/decoded/inputs/*; do
  name=$(basename "$f")
  cp "$f" "in/$name"
  run -q "in/$name" "decoded-${name%.*}.wav"
  check "$name: decoded as on Linux" cmp -s "decoded-${name%.*}.wav" "$ref/decoded/expected/${name%.*}.wav"
  wc_ -q - "piped-${name%.*}.wav" <"in/$name" >/dev/null 2>&1
  check "$name: the same from standard input" cmp -s "piped-${name%.*}.wav" "decoded-${name%.*}.wav"
done
run "in/24-bit.wav" "converted.wav"
check "the conversion is said" contains stderr "wavchorus: in/24-bit.wav: 24-bit PCM, converted to 16-bit"
run -q "in/$first.wav" "encoded.aiff"
check "an AIFF output" cmp -s encoded.aiff "$ref/decoded/expected/encoded.aiff"
run --help
check "--help names what this build lacks" contains stdout "lacks FLAC, Ogg (Vorbis, Opus), MP3"
run -q "in/$first.wav" "never.flac"
check "a FLAC output fails" [ "$status" -eq 1 ]
check "a FLAC output leaves nothing" [ ! -e never.flac ]

# A name beyond the ANSI code page reaches the library exactly.
folder=$'\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e \xe3\x81\xae \xf0\x9f\x8e\xb8'
mkdir "$folder"
cp "in/$first.wav" "$folder/in.wav"
run "$folder/in.wav" "$folder/out.wav"
check "a folder beyond the code page" cmp -s "$folder/out.wav" "$ref/expected/$first.wav"

# Wine's names are case-insensitive: two spellings of one output in a batch.
second=${names[1]}
mkdir -p twin-a twin-b twin-out
cp "in/$first.wav" twin-a/take.wav
cp "in/$second.wav" twin-b/TAKE.wav
run -q -j 2 -t twin-out twin-a/take.wav twin-b/TAKE.wav
check "one output spelt twice fails" [ "$status" -eq 1 ]
check "one output spelt twice keeps the first result" \
  cmp -s "$(ls -d twin-out/* | head -n 1)" "$ref/expected/$first.wav"

# Wine's console in a real terminal (tmux): the progress line of a long batch,
# then Ctrl-C, which ends it with its line and status 130, leaving the earlier
# output as it was and no temporary file. The input is a sparse 1 GiB file.
if command -v tmux >/dev/null; then
  mkdir console && cd console || exit 1
  { printf 'RIFF\044\000\000\100WAVEfmt \020\000\000\000\001\000\002\000'
    printf '\104\254\000\000\020\261\002\000\004\000\020\000data\000\000\000\100'; } >big.wav
  truncate -s $((44 + (1 << 30))) big.wav
  mkdir out && printf earlier >out/big.wav
  socket=wavchorus-wine-$$
  tmux_() { tmux -L "$socket" -f /dev/null "$@"; }
  tmux_ new-session -d -x 120 -y 20 "env -i PATH=$PATH TERM=xterm HOME=$HOME LANG=C.UTF-8 WINEPREFIX=${WINEPREFIX:-} WINEDEBUG=-all WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-} bash --norc --noprofile"
  tmux_ send-keys -l "'$wine' '$exe' -t out big.wav >/dev/null; echo \"status \$?\" >status"
  tmux_ send-keys Enter
  shows() { # PATTERN: the terminal shows it within 60 seconds
    local k
    for k in $(seq 600); do
      tmux_ capture-pane -p | grep -qE -- "$1" && return 0
      sleep 0.1
    done
    tmux_ capture-pane -p
    return 1
  }
  check "Wine's console shows the progress line" \
    shows '^wavchorus: 0/1 files, .* of 1\.1 GB, [0-9]+:[0-9]{2} elapsed, .* left$'
  tmux_ send-keys C-c
  check "Ctrl-C in Wine's console prints its line" shows '^(\^C)?wavchorus: stopped by Ctrl-C'
  for k in $(seq 300); do [ -s status ] && break; sleep 0.1; done
  check "Ctrl-C in Wine's console ends with status 130" [ "$(cat status 2>/dev/null)" = "status 130" ]
  check "Ctrl-C in Wine's console keeps the earlier output" [ "$(cat out/big.wav)" = earlier ]
  check "Ctrl-C in Wine's console leaves no temporary file" [ "$(ls -A . out | tr '\n' ' ')" = ".: big.wav out status  out: big.wav " ]
  tmux_ kill-server 2>/dev/null
  cd .. || exit 1
else
  check "tmux is installed, for Wine's console (Debian: tmux)" false
fi

checks_done
