#!/bin/sh
# Builds the image-reader fuzz target with clang's libFuzzer, seeds it with
# small images made by the test tools and runs it for a bounded time.
#
# usage: sdk/fuzz/run_fuzz.sh [seconds] [work-dir]
# Each input must scan within 1 s with no allocation over 256 MB (the whole
# process may take more: the sanitizer's shadow memory and the corpus). Set
# FUZZ_EXTRA="-fork=1 -ignore_timeouts=1 -ignore_ooms=1" to go on after a finding.
# Crashing inputs land in WORK/crashes; gzip each into tests/sdk/fuzz_crashes/
# under a name saying what it proves, so that sdk_unit_tests keeps replaying it.
set -eu
SECONDS_TO_RUN=${1:-300}
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
WORK=${2:-$(mktemp -d /tmp/vbe-fuzz-XXXXXX)}
TESTS="$ROOT/tests/sdk"
# The corpus and crashes of earlier runs stay; the seeds are made afresh.
rm -rf "$WORK/seeds"
mkdir -p "$WORK/corpus" "$WORK/crashes" "$WORK/seeds"

# Every source of the module; the exports (Component, FactsExport) come along.
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$ROOT/sdk/include" -I"$ROOT/sdk/src" \
    "$HERE/FuzzImage.cpp" "$HERE/ExerciseImage.cpp" "$ROOT"/sdk/src/*.cpp \
    -o "$WORK/vbe_fuzz"

# Seeds: small trees made into images by each writer, a raw-sector copy and
# the hostile fixtures.
T="$WORK/tree"
rm -rf "$T" && mkdir -p "$T/Sub/Deeper"
printf 'alpha\n' > "$T/a.txt"
printf 'beta\n' > "$T/Sub/B with a rather long name that needs more room than usual.txt"
head -c 5000 /dev/zero | tr '\0' 'z' > "$T/Sub/Deeper/zz.txt"
ln -sf ../a.txt "$T/Sub/link"
mkdir -p "$T/r/r/r/r/r/r/r/r/r" && printf 'deep\n' > "$T/r/r/r/r/r/r/r/r/r/f"
S="$WORK/seeds"
genisoimage -quiet -o "$S/plain.iso" "$T"
genisoimage -quiet -R -o "$S/rr.iso" "$T"
genisoimage -quiet -R -J -joliet-long -o "$S/rrj.iso" "$T"
xorriso -report_about SORRY -outdev "$S/zisofs.iso" -padding 0 -map "$T" / \
    -set_filter_r --zisofs / -- -commit
/usr/bin/python3 "$TESTS/wrap_raw.py" mode1 "$S/plain.iso" "$S/mode1.bin"
/usr/bin/python3 "$TESTS/wrap_raw.py" 2336 "$S/plain.iso" "$S/s2336.bin"
genisoimage -quiet -R -udf -o "$S/udf-bridge.iso" "$T"
/usr/bin/python3 "$TESTS/pycdlib_udf.py" "$T" "$S/udf-pycdlib.iso"
/usr/bin/python3 "$TESTS/make_udf.py" "$T" "$S/udf201.img" --efe --ad long --chain --bs 512
/usr/bin/python3 "$TESTS/make_udf.py" "$T" "$S/udf260-meta.img" --rev 2.60 --metadata --efe \
    --strategy 4096 --bs 512
/usr/bin/python3 "$TESTS/make_udf.py" "$T" "$S/udf-vat.img" --vat --embed --bs 512
/usr/bin/python3 "$TESTS/make_udf.py" "$T" "$S/udf-sparable.img" --sparable --bs 512
# Described discs: a data track and an audio track in each container. A
# description's companion files read as the input itself.
printf '{"tracks": [{"kind": "mode1", "source": "%s"}, {"kind": "audio", "sectors": 4, "pregap": 2}]}' \
    "$S/plain.iso" > "$WORK/disc.json"
for format in cue nrg mds ccd; do
    /usr/bin/python3 "$TESTS/make_$format.py" "$WORK/disc.json" "$WORK/disc.$format"
    cp "$WORK/disc.$format" "$S/disc.$format"
done
printf '{"tracks": [{"kind": "2048", "source": "%s"}]}' "$S/plain.iso" > "$WORK/iso.json"
/usr/bin/python3 "$TESTS/make_cso.py" "$WORK/iso.json" "$S/disc.cso"
/usr/bin/python3 "$TESTS/make_cso.py" --zso "$WORK/iso.json" "$S/disc.zso"
for kind in $(/usr/bin/python3 "$TESTS/make_hostile.py" --list); do
    /usr/bin/python3 "$TESTS/make_hostile.py" "$kind" "$S/rr.iso" "$S/h-$kind.iso" 2>/dev/null || true
done
# Images that are cheap to store and expensive to read, one per class.
for kind in $(/usr/bin/python3 "$TESTS/make_bombs.py" --list); do
    /usr/bin/python3 "$TESTS/make_bombs.py" "$kind" "$S/b-$kind.img" --small
done
for found in "$TESTS"/fuzz_crashes/*.gz; do
    [ -e "$found" ] && gzip -dc "$found" > "$S/$(basename "$found" .gz)"
done

echo "fuzzing for $SECONDS_TO_RUN s in $WORK"
"$WORK/vbe_fuzz" "$WORK/corpus" "$S" -dict="$HERE/iso.dict" -max_len=1048576 \
    -max_total_time="$SECONDS_TO_RUN" -timeout=1 -malloc_limit_mb=256 -rss_limit_mb=1024 \
    ${FUZZ_EXTRA:-} \
    -artifact_prefix="$WORK/crashes/" -print_final_stats=1 2>&1 | tail -25
echo "crashes: $(ls "$WORK/crashes" | wc -l) in $WORK/crashes"
