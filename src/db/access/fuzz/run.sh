#!/usr/bin/env bash
# Builds the reading-process fuzzer with clang and runs it for a bounded time,
# its seeds written by tabulor-mkmdb (and the small Jet 3 sample, when the
# samples are there). Usage: run.sh SOURCE_DIR BUILD_DIR MKMDB [SECONDS]
set -euo pipefail
src=$1
build=$2
mkmdb=$3
seconds=${4:-60}
cmake -S "$src/src/db/access/fuzz" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
# The build is quiet unless it fails; then its output says why.
cmake --build "$build" --target access_fuzz -j2 >"$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }
seeds="$build/access-fuzz-seeds"
corpus="$build/access-fuzz-corpus"
rm -rf "$seeds"
mkdir -p "$seeds/balantis" "$corpus"
# Small files of both kinds, one protected by a password.
"$mkmdb" --balantis "$seeds/balantis" --patients 2
mv "$seeds/balantis/Balantis2000.mdb" "$seeds/balantis.mdb"
rm -rf "$seeds/balantis"
"$mkmdb" --pedora "$seeds/pedora.mdb" --patients 3
"$mkmdb" --pedora "$seeds/pedora-password.mdb" --patients 1 --password secret
jet3="${TABULOR_SHARED_DIR:-$src/../shared}/samples/access/testV1997.mdb"
if [ -f "$jet3" ]; then cp "$jet3" "$seeds/"; fi
LSAN_OPTIONS="suppressions=$src/src/db/access/fuzz/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}" \
  "$build/access_fuzz" -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=512 -timeout=10 \
  -max_len=$(( $(stat -c %s "$seeds"/*.mdb | sort -n | tail -n1) + 4096 )) "$corpus" "$seeds"
