#!/usr/bin/env bash
# Installs what is needed, builds the program and runs it on a demonstration
# practice database: build/DATA, made at schema version 2.1 by tabulor-mkdb
# when it does not exist yet (remove build/DATA to start again from 2.1).
# With a display the main window opens; without one the unattended upgrade and
# compression run and their logs are printed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

targets=$(ninja -C build -t targets all 2>/dev/null || true)
missing=()
for target in tabulor tabulor-mkdb; do
  if grep -q "^${target}:" <<<"$targets"; then
    cmake --build build -j"$(nproc)" --target "$target"
  else
    missing+=("$target")
  fi
done
if ((${#missing[@]})); then
  echo "demo: this checkout cannot build ${missing[*]} yet; nothing to run." >&2
  exit 1
fi

if [ ! -d build/DATA ]; then
  echo "demo: creating the demonstration database build/DATA (version 2.1)"
  build/tabulor-mkdb --version 2.1 --patients 40 --seed 7 build
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/tabulor
fi

echo "demo: no display: unattended upgrade and compression"
status=0
build/tabulor update_bd_ortalis zip_data no_ihm || status=$?
for log in UPGRADE.log COMPRESS.log; do
  echo "----- build/$log"
  if [ -f "build/$log" ]; then
    iconv -f CP1252 -t UTF-8 "build/$log" | sed 's/\r$//'
  else
    echo "(not written)"
  fi
done
echo "demo: tabulor exited with status $status"
exit "$status"
