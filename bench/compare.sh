#!/usr/bin/env bash
# Times whole runs of a release build of the calculator against mawk and
# bc on the same machine, and prints one line per target with the measured
# ratio. Needs mawk, bc and GNU time (Debian packages mawk, bc, time).
#
#   bench/compare.sh [runs]      (default: 5 runs each, median taken)
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-5}
build=build-release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in mawk bc /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCALCULATOR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target calculator >/dev/null
calculator="$build/console/calculator"

# Lines of mixed arithmetic that both programs read: numbers, + - * /,
# squares and parentheses.
make_lines() {
  mawk -v count="$1" 'BEGIN {
    srand(7); split("+ - * /", ops, " ");
    for (n = 0; n < count; n++) {
      line = int(rand() * 999) + 1;
      terms = 2 + int(rand() * 5);
      for (t = 0; t < terms; t++) {
        term = int(rand() * 999) + 1;
        if (rand() < 0.3) term = term "." int(rand() * 99);
        if (rand() < 0.2) term = "(" term ops[1 + int(rand() * 4)] (int(rand() * 98) + 1) ")";
        if (rand() < 0.1) term = term "^2";
        line = line ops[1 + int(rand() * 4)] term;
      }
      print line;
    }
  }'
}
make_lines 200000 >"$work/lines200k.txt"
make_lines 20000 >"$work/lines20k.txt"
echo 'sigma(i,1,10000000,i)' >"$work/sigma.txt"
echo 'integral(x,0,1,10000000,x*x)' >"$work/integral.txt"
echo 'sigma(i,1,1000000,i)' >"$work/sigma_small.txt"
echo 'integral(x,0,1,1000000,x*x)' >"$work/integral_small.txt"
mawk_sigma='BEGIN { for (i = 1; i <= 10000000; i++) s += i; print s }'
mawk_integral='BEGIN { a = 0; b = 1; n = 10000000; h = (b - a) / n;
  for (i = 0; i < n; i++) { x = i * h + a; s = x * x * h + s }; print s }'

# Runs "$@" with standard input from $input and output to a file; records
# elapsed seconds and peak resident kilobytes.
measure() {
  local input=$1
  shift
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" <"$input" >"$work/out.txt" 2>/dev/null || true
  cat "$work/time.txt"
}

# Prints "median_seconds max_kilobytes" over $runs runs.
median_of_runs() {
  local input=$1
  shift
  for _ in $(seq "$runs"); do measure "$input" "$@"; done |
    sort -n | mawk '{ t[NR] = $1; if ($2 > m) m = $2 } END { print t[int((NR + 1) / 2)], m }'
}

report() {
  # name, ours, theirs, limit, stretch ("" for none)
  mawk -v name="$1" -v ours="$2" -v theirs="$3" -v limit="$4" -v stretch="$5" 'BEGIN {
    ratio = ours / theirs;
    verdict = ratio <= limit ? "met" : "NOT MET";
    line = sprintf("%-40s %7.3fs vs %7.3fs  ratio %5.2f  target <= %.2f: %s", name, ours, theirs, ratio, limit, verdict);
    if (stretch != "") line = line sprintf(" (stretch <= %.2f: %s)", stretch, ratio <= stretch ? "met" : "not met");
    print line;
  }'
}

read -r sigma_t sigma_m < <(median_of_runs "$work/sigma.txt" "$calculator")
read -r mawk_sigma_t _ < <(median_of_runs /dev/null mawk "$mawk_sigma")
read -r integral_t integral_m < <(median_of_runs "$work/integral.txt" "$calculator")
read -r mawk_integral_t _ < <(median_of_runs /dev/null mawk "$mawk_integral")
read -r lines_t lines_m < <(median_of_runs "$work/lines200k.txt" "$calculator")
read -r bc_t _ < <(median_of_runs "$work/lines200k.txt" bc -l)
read -r _ sigma_small_m < <(median_of_runs "$work/sigma_small.txt" "$calculator")
read -r _ integral_small_m < <(median_of_runs "$work/integral_small.txt" "$calculator")
read -r _ lines_small_m < <(median_of_runs "$work/lines20k.txt" "$calculator")

report "1. sigma(i,1,10000000,i) vs mawk" "$sigma_t" "$mawk_sigma_t" 3 1.5
report "1. integral(x,0,1,10000000,x*x) vs mawk" "$integral_t" "$mawk_integral_t" 3 1.5
report "2. 200000 arithmetic lines vs bc -l" "$lines_t" "$bc_t" 1 ""
mawk -v a="$sigma_small_m" -v b="$sigma_m" -v c="$integral_small_m" -v d="$integral_m" \
  -v e="$lines_small_m" -v f="$lines_m" 'BEGIN {
  limit = 8192; worst = a; if (b > worst) worst = b; if (c > worst) worst = c;
  if (d > worst) worst = d; if (e > worst) worst = e; if (f > worst) worst = f;
  # "Independent of the count": the larger run may not need more than a
  # page table or two beyond the smaller one.
  flat = (b - a <= 256) && (d - c <= 256) && (f - e <= 256);
  printf("3. peak RSS KiB: sigma %d/%d, integral %d/%d, lines %d/%d (1e6/1e7 steps, 20k/200k lines); target < %d and flat: %s\n",
         a, b, c, d, e, f, limit, (worst < limit && flat) ? "met" : "NOT MET");
}'
