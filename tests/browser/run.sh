#!/usr/bin/env bash
# Runs a browser test of the default skin: installs the tests' npm packages
# when they are missing, then hands its arguments to skin_test.mjs (or to the
# script named by a first "--script NAME").
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
chromium=${VELVOX_CHROMIUM:-/usr/bin/chromium}
script=skin_test.mjs
if [ "${1:-}" = --script ]; then
  script=$2
  shift 2
fi

for tool in node npm; do
  command -v "$tool" >/dev/null || { echo "browser test: $tool is not installed (apt-get install -y nodejs npm)" >&2; exit 1; }
done
[ -x "$chromium" ] || { echo "browser test: $chromium is missing (apt-get install -y chromium)" >&2; exit 1; }
command -v zbarimg >/dev/null || { echo "browser test: zbarimg is not installed (apt-get install -y zbar-tools)" >&2; exit 1; }

if [ ! -f "$here/node_modules/playwright-core/package.json" ] ||
   [ ! -f "$here/node_modules/lighthouse/package.json" ]; then
  (cd "$here" && npm ci --no-audit --no-fund --loglevel=error)
fi
exec node "$here/$script" --chromium "$chromium" "$@"
