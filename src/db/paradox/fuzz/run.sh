#!/usr/bin/env bash
# Builds the reader fuzzer with clang and runs it for a bounded time on the
# sample tables as seeds. Usage: run.sh SOURCE_DIR BUILD_DIR [SECONDS]
set -euo pipefail
src=$1
build=$2
seconds=${3:-60}
samples="${TABULOR_SHARED_DIR:-$src/../shared}/samples/paradox"
cmake -S "$src/src/db/paradox/fuzz" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
# The build is quiet unless it fails; then its output says why.
cmake --build "$build" --target paradox_fuzz -j2 >"$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }
seeds="$build/paradox-fuzz-seeds"
corpus="$build/paradox-fuzz-corpus"
mkdir -p "$seeds" "$corpus"
# One seed a sample file, its first byte naming the reader (0 .DB, 1 .MB, 2 .PX).
while IFS= read -r -d '' f; do
  case "${f,,}" in
    *.db) kind='\x00' ;;
    *.mb) kind='\x01' ;;
    *.px) kind='\x02' ;;
    *) continue ;;
  esac
  out="$seeds/$(basename "$(dirname "$f")")-$(basename "$f")"
  { printf "$kind"; head -c 65536 "$f"; } >"$out"
done < <(find "$samples" -type f -print0)
fuzzer=$(find "$build" -name paradox_fuzz -type f -perm -u+x | head -n1)
"$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=512 -timeout=10 \
  -max_len=70000 "$corpus" "$seeds"
