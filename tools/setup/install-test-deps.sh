#!/usr/bin/env bash
# Installs what the tests need beyond install-deps.sh: the npm package
# mdb-reader, the second .mdb reader the Access layer tests compare against.
set -euo pipefail
cd "$(dirname "$0")/../.."

reader_dir=tests/db/access/node
if [ -d "$reader_dir/node_modules/mdb-reader" ]; then
  exit 0
fi
if ! command -v npm >/dev/null 2>&1; then
  echo "npm is missing: the Access tests will skip the mdb-reader comparisons" >&2
  exit 0
fi
(cd "$reader_dir" && npm ci --no-audit --no-fund --loglevel=error)
