#!/usr/bin/env bash
# Builds the npm package and times its evaluate against expr-eval and
# mathjs (the benchmark's dev dependencies, installed here from
# package-lock.json) in one Node process: see compare.mjs.
#
#   js/bench/compare.sh [rounds] [BUILD_DIR]      (default: 15 rounds, build-web)
#
# Exits 1 when evaluate takes more than half of expr-eval's time.
set -euo pipefail
cd "$(dirname "$0")/../.."
rounds=${1:-15}
build_dir=${2:-build-web}
web/build "$build_dir" >/dev/null
(cd js/bench && npm ci --no-audit --no-fund --silent)
node js/bench/compare.mjs "$build_dir/package" "$rounds"
