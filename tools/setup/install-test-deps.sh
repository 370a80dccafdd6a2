#!/usr/bin/env bash
# Installs what the tests need beyond install-deps.sh: the npm package
# mdb-reader, the second .mdb reader the Access layer tests compare against,
# and a French locale, under which the tests check that values do not follow
# the process locale.
set -euo pipefail
cd "$(dirname "$0")/../.."

if ! locale -a 2>/dev/null | grep -qi '^fr_FR\.utf-\?8$' && command -v localedef >/dev/null 2>&1; then
  localedef -i fr_FR -f UTF-8 fr_FR.UTF-8 || echo "fr_FR.UTF-8 could not be generated: the locale checks will skip" >&2
fi

reader_dir=tests/db/access/node
if [ -d "$reader_dir/node_modules/mdb-reader" ]; then
  exit 0
fi
if ! command -v npm >/dev/null 2>&1; then
  echo "npm is missing: the Access tests will skip the mdb-reader comparisons" >&2
  exit 0
fi
(cd "$reader_dir" && npm ci --no-audit --no-fund --loglevel=error)
