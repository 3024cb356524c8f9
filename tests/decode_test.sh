#!/usr/bin/env bash
# The files people have, through wavchorus: real files made by ffmpeg and sox,
# each chorused by wavchorus (from the file and through a pipe) and compared with
# ffmpeg's own decoding of it to 16 bits (the same rule: integers keep their top
# 16 bits, floats are rounded and clipped) run through the test model of the
# chorus: the same bytes for 16-bit audio in any container, within a few units
# for converted audio, a signal-to-noise ratio for lossy formats. Then the output
# containers, read back by ffmpeg, and the failures.
#   decode_test.sh WAVCHORUS MODEL_CHORUS SAMPLE
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/check.sh"
cli=$1
model=$2
sample=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# likeness KIND A.wav B.wav: exact | close UNITS | snr DB, for two canonical WAVs
# (44-byte headers); close and snr over the frames both hold.
cat >"$work/likeness.py" <<'EOF'
import array, math, sys
kind, a, b = sys.argv[1], open(sys.argv[-2], "rb").read(), open(sys.argv[-1], "rb").read()
if kind == "exact":
    print("identical bytes" if a == b else "different bytes")
    sys.exit(0 if a == b else 1)
x, y = array.array("h", a[44:44 + (len(a) - 44) // 2 * 2]), array.array("h", b[44:44 + (len(b) - 44) // 2 * 2])
n = min(len(x), len(y))
if n == 0 or a[22:28] != b[22:28]:
    sys.exit(1)
limit = float(sys.argv[2])
if kind == "close":
    worst = max(abs(x[k] - y[k]) for k in range(n))
    print("largest difference %d" % worst)
    sys.exit(0 if worst <= limit else 1)
signal = sum(float(v) * v for v in x[:n])
noise = sum(float(x[k] - y[k]) ** 2 for k in range(n)) or 1e-9
snr = 10 * math.log10(signal / noise)
print("SNR %.1f dB" % snr)
sys.exit(0 if snr >= limit else 1)
EOF
likeness() { python3 "$work/likeness.py" "$@"; }

# canonical RAW CHANNELS RATE OUT: s16le samples behind the canonical header.
canonical() {
  python3 - "$@" <<'EOF'
import struct, sys
raw, ch, rate, out = open(sys.argv[1], "rb").read(), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
head = b"RIFF" + struct.pack("<I", 36 + len(raw)) + b"WAVEfmt " + struct.pack(
    "<IHHIIHH", 16, 1, ch, rate, rate * ch * 2, ch * 2, 16) + b"data" + struct.pack("<I", len(raw))
open(out, "wb").write(head + raw)
EOF
}

# expected IN OUT.wav: ffmpeg's 16-bit decoding of IN through the model.
expected() {
  local ch rate
  ch=$(ffprobe -v error -select_streams a:0 -show_entries stream=channels -of csv=p=0 "$1")
  rate=$(ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate -of csv=p=0 "$1")
  ff -i "$1" -f s16le -c:a pcm_s16le "$work/decoded.raw" &&
    canonical "$work/decoded.raw" "$ch" "$rate" "$work/decoded.wav" &&
    "$model" "$work/decoded.wav" "$2"
}

# The sources: the bundled sample (16 bits, stereo) and a plucked string of
# sox's with detail below 16 bits, in stereo at 48 kHz.
sox "$sample" "$work/s16.wav" trim 0 1
sox -n -r 48000 -c 2 -b 32 -e floating-point "$work/deep.wav" synth 1 pluck C3 pluck E3 vol 0.9
loud="aevalsrc=1.6*sin(2*PI*440*t)|0.5*sin(2*PI*660*t):s=44100:d=0.5"

# name ; how it is made (from $s16, $deep or $loud into $f) ; comparison
cases="
ffmpeg LIST chunk;ff -i \$s16 -c:a pcm_s16le \$f.wav;exact
bext chunk;ff -i \$s16 -write_bext 1 -c:a pcm_s16le \$f.wav;exact
RF64;ff -i \$s16 -rf64 always -c:a pcm_s16le \$f.wav;exact
W64;ff -i \$s16 -c:a pcm_s16le \$f.w64;exact
6-channel extensible;ff -i \$s16 -af 'pan=5.1|c0=c0|c1=c1|c2=c0|c3=c1|c4=c0|c5=c1' -c:a pcm_s16le \$f.wav;exact
AIFF;sox \$s16 \$f.aiff;exact
FLAC 16-bit;sox \$s16 \$f.flac;exact
FLAC 24-bit;sox \$deep -b 24 \$f.flac;close 2
24-bit PCM;sox \$deep -b 24 \$f.wav;close 2
24-bit AIFF;sox \$deep -b 24 \$f.aiff;close 2
32-bit PCM;sox \$deep -b 32 -e signed-integer \$f.wav;close 2
32-bit float;sox \$deep -b 32 -e floating-point \$f.wav;close 2
64-bit float;sox \$deep -b 64 -e floating-point \$f.wav;close 2
float beyond 1.0, clipped;ff -f lavfi -i \$loud -c:a pcm_f32le \$f.wav;close 2
8-bit unsigned;sox \$s16 -b 8 -e unsigned-integer \$f.wav;close 2
µ-law;sox \$s16 -e u-law \$f.wav;close 2
A-law;sox \$s16 -e a-law \$f.wav;close 2
MP3;ff -i \$s16 -c:a libmp3lame -b:a 192k \$f.mp3;snr 20
Ogg Vorbis;ff -i \$s16 -c:a libvorbis -q:a 6 \$f.ogg;snr 20
Opus;ff -i \$deep -c:a libopus -b:a 128k \$f.opus;snr 15
"
s16=$work/s16.wav deep=$work/deep.wav
k=0
while IFS=';' read -r name make kind; do
  [ -n "$name" ] || continue
  k=$((k + 1))
  f=$work/case$k
  eval "$make" || { check "$name: made by ffmpeg or sox" false; continue; }
  in=$(ls "$f".*)
  expected "$in" "$f-expected.wav" || { check "$name: decoded by ffmpeg" false; continue; }
  "$cli" -q "$in" "$f-out.wav" 2>"$f.err"
  check "$name: exits 0" [ $? -eq 0 ]
  result=$(likeness $kind "$f-expected.wav" "$f-out.wav")
  check "$name: $kind" [ $? -eq 0 ]
  echo "$name: $kind: $result"
  "$cli" - "$f-piped.wav" <"$in" >/dev/null 2>"$f.err"
  check "$name: the same through a pipe" cmp -s "$f-piped.wav" "$f-out.wav"
  check "$name: the conversion said" grep -q "^wavchorus: standard input: " "$f.err"
done <<<"$cases"

# The canonical file goes to the library as it is: the same bytes as --raw.
"$cli" -q "$sample" "$work/plain.wav" && "$cli" -q --raw "$sample" "$work/raw.wav"
check "the canonical layout is the library's own reading" cmp -s "$work/plain.wav" "$work/raw.wav"
"$cli" "$work/case9.wav" "$work/t24.wav" >/dev/null 2>"$work/err"
check "the conversion is one line" [ "$(cat "$work/err")" = "wavchorus: $work/case9.wav: 24-bit PCM, converted to 16-bit" ]
"$cli" -q "$work/case9.wav" "$work/t24.wav" 2>"$work/err"
check "-q drops the conversion line" [ ! -s "$work/err" ]
"$cli" --raw "$work/case9.wav" "$work/raw24.wav" >/dev/null 2>"$work/err"
check "--raw reads at fixed offsets, with its warning" grep -q "the result will be wrong" "$work/err"

# Output containers: the WAV's 16-bit samples, read back by ffmpeg; a sine,
# whose waveform the lossy codecs keep, from the canonical layout and from a
# decoded file.
sox -n -r 48000 -c 2 -b 16 "$work/sine.wav" synth 1 sine 440 vol 0.5
sox "$work/sine.wav" -b 24 "$work/sine24.flac"
"$cli" -q "$work/sine.wav" "$work/sine-out.wav"
for src in sine.wav sine24.flac; do
  for ext in flac aiff aif ogg opus mp3 FLAC; do
    out=$work/out.$ext
    rm -f "$out"
    "$cli" -q "$work/$src" "$out" 2>"$work/err"
    check "$src to .$ext: exits 0" [ $? -eq 0 ]
    ff -i "$out" -f s16le -c:a pcm_s16le "$work/back.raw"
    canonical "$work/back.raw" 2 48000 "$work/back.wav"
    case $ext in flac | FLAC | aiff | aif) kind="exact" ;; *) kind="snr 25" ;; esac
    result=$(likeness $kind "$work/sine-out.wav" "$work/back.wav")
    check "$src to .$ext: the WAV's samples ($kind)" [ $? -eq 0 ]
    echo "$src to .$ext: $result"
  done
done
cp "$work/case7.flac" "$work/self.flac"
"$cli" -q "$work/self.flac" "$work/self.flac"
ff -i "$work/self.flac" -f s16le -c:a pcm_s16le "$work/back.raw"
canonical "$work/back.raw" 2 44100 "$work/back.wav"
check "a FLAC file processed in place" cmp -s "$work/back.wav" "$work/case7-out.wav"

# Failures: one line naming the file, exit 1, nothing written; a batch goes on.
mkdir "$work/batch"
head -c 3000 "$0" >"$work/text.wav"
cp "$sample" "$work/old.wav"
head -c 60000 "$work/case7.flac" >"$work/cut.flac"
"$cli" -q "$work/text.wav" "$work/text-out.wav" 2>"$work/err"
check "no sound file: exit 1" [ $? -eq 1 ]
check "no sound file: one line naming it" [ "$(grep -c "cannot read $work/text.wav: " "$work/err")" -eq 1 ]
check "no sound file: nothing written" [ ! -e "$work/text-out.wav" ]
# libsndfile closes what it cannot read: a second close could hit a descriptor
# that another worker of a batch has opened since.
strace -f -qq -e trace=close -o "$work/closes" "$cli" -q "$work/text.wav" "$work/text-out.wav" 2>/dev/null
check "no sound file: its descriptor closed once" [ "$(grep -c EBADF "$work/closes")" -eq 0 ]
"$cli" -q "$work/cut.flac" "$work/old.wav" 2>"$work/err"
check "a decoder error midway: exit 1" [ $? -eq 1 ]
check "a decoder error midway: the old output untouched" cmp -s "$work/old.wav" "$sample"
before=$(ls -l --time-style=full-iso "$work/batch")
"$cli" "$sample" "$work/batch/out.xyz" 2>"$work/err"
check "an unknown output type is a usage error" [ $? -eq 2 ]
check "an unknown output type touches nothing" [ "$before" = "$(ls -l --time-style=full-iso "$work/batch")" ]
"$cli" -q -t "$work/batch" "$work/text.wav" "$work/case8.flac" "$work/case9.wav" 2>"$work/err"
check "a batch with a bad file exits 1" [ $? -eq 1 ]
check "a batch's other files are done, in their own containers" \
  [ "$(cd "$work/batch" && ls | tr '\n' ' ')" = "case8.flac case9.wav " ]
check "a batch's decoded file is the single form's" cmp -s "$work/batch/case9.wav" "$work/case9-out.wav"
checks_done
