#!/usr/bin/env bash
# Times whole runs of a release build of the calculator against mawk and
# bc on the same machine, and prints one line per target with the measured
# ratio. Each pair of programs runs alternately, so both see the same load;
# the medians of the runs are compared. Instruction counts come from
# valgrind's callgrind. Needs mawk, bc, GNU time, strace and valgrind
# (Debian packages mawk, bc, time, strace, valgrind).
#
#   bench/compare.sh [runs]      (default: 5 runs each, median taken)
#
# Exits 1 when a target is not met.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-5}
build=build-release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in mawk bc /usr/bin/time strace valgrind; do
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
# A second mix: longer decimals, nested parentheses, unary minus and
# powers.
make_other_lines() {
  mawk -v count="$1" 'BEGIN {
    srand(11); split("+ - * /", ops, " ");
    for (n = 0; n < count; n++) {
      line = "(" (int(rand() * 99999) / 1000) ops[1 + int(rand() * 4)] (int(rand() * 999) + 1) ")";
      terms = 1 + int(rand() * 4);
      for (t = 0; t < terms; t++) {
        term = int(rand() * 9999) / 100;
        if (rand() < 0.3) term = "(-" term ")";
        if (rand() < 0.3) term = "(" term ops[1 + int(rand() * 4)] "(" (int(rand() * 99) + 1) "-0.5))";
        if (rand() < 0.15) term = term "^3";
        line = line ops[1 + int(rand() * 4)] term;
      }
      print line;
    }
  }'
}
# `count` set lines v0..v(count-1), then a million-step sigma that reads
# the last of them.
make_variables_then_sigma() {
  mawk -v count="$1" 'BEGIN {
    for (n = 0; n < count; n++) print "set(v" n ", " n ")";
    print "sigma(i,1,1000000,i+v" (count - 1) ")";
  }'
}
make_lines 200000 >"$work/lines200k.txt"
make_other_lines 200000 >"$work/other200k.txt"
make_lines 20000 >"$work/lines20k.txt"
make_variables_then_sigma 240 >"$work/vars240.txt"
make_variables_then_sigma 1 >"$work/vars1.txt"
echo 'sigma(i,1,10000000,i)' >"$work/sigma.txt"
echo 'integral(x,0,1,10000000,x*x)' >"$work/integral.txt"
echo 'sigma(i,1,1000,sigma(j,1,1000,i*j))' >"$work/nested.txt"
echo 'sigma(i,1,100000,1/0)' >"$work/reports.txt"
echo 'sigma(i,1,1000000,i)' >"$work/sigma_small.txt"
echo 'integral(x,0,1,1000000,x*x)' >"$work/integral_small.txt"
mawk_sigma='BEGIN { for (i = 1; i <= 10000000; i++) s += i; print s }'
mawk_integral='BEGIN { a = 0; b = 1; n = 10000000; h = (b - a) / n;
  for (i = 0; i < n; i++) { x = i * h + a; s = x * x * h + s }; print s }'
mawk_nested='BEGIN { for (i = 1; i <= 1000; i++) { t = 0;
  for (j = 1; j <= 1000; j++) t += i * j; s += t }; print s }'

# Runs "$@" with standard input from $1 and output to a file; prints the
# elapsed seconds by the shell's microsecond clock. The program runs on its
# own: a wrapper's start-up would count on both sides of a ratio.
measure() {
  local input=$1
  shift
  local start=$EPOCHREALTIME
  "$@" <"$input" >"$work/out.txt" 2>/dev/null || true
  local end=$EPOCHREALTIME
  mawk -v start="$start" -v end="$end" 'BEGIN { printf("%.6f\n", end - start) }'
}

# Peak resident kilobytes of one more run, by GNU time.
peak_memory() {
  local input=$1
  shift
  /usr/bin/time -f "%M" -o "$work/time.txt" "$@" <"$input" >"$work/out.txt" 2>/dev/null || true
  cat "$work/time.txt"
}

# Median of the first column of a file of measurements.
median() {
  sort -n "$1" | mawk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}

# side_by_side NAME OUR_INPUT THEIR_INPUT -- THEIR_COMMAND...
# Runs the calculator on OUR_INPUT and THEIR_COMMAND on THEIR_INPUT
# alternately; leaves NAME.ours and NAME.theirs in $work.
side_by_side() {
  local name=$1 ours_input=$2 theirs_input=$3
  shift 4
  : >"$work/$name.ours"
  : >"$work/$name.theirs"
  for _ in $(seq "$runs"); do
    measure "$ours_input" "$calculator" >>"$work/$name.ours"
    measure "$theirs_input" "$@" >>"$work/$name.theirs"
  done
}

failures=0
report() {
  # label, ours, theirs, limit
  local verdict
  verdict=$(mawk -v ours="$2" -v theirs="$3" -v limit="$4" \
    'BEGIN { print (theirs > 0 && ours / theirs <= limit) ? "met" : "NOT MET" }')
  mawk -v name="$1" -v ours="$2" -v theirs="$3" -v limit="$4" -v verdict="$verdict" 'BEGIN {
    printf("%-44s %8.4fs vs %8.4fs  ratio %5.2f  target <= %.2f: %s\n",
           name, ours, theirs, theirs > 0 ? ours / theirs : 0, limit, verdict);
  }'
  [ "$verdict" = met ] || failures=$((failures + 1))
}

# Write calls of one calculator run with output to a file.
count_writes() {
  strace -f -c -e trace=write -o "$work/strace.txt" "$calculator" <"$1" >"$work/out.txt"
  mawk '$NF == "write" { print $4; found = 1 } END { if (!found) print 0 }' "$work/strace.txt"
}

side_by_side vars "$work/vars240.txt" "$work/vars1.txt" -- "$calculator"
side_by_side sigma "$work/sigma.txt" /dev/null -- mawk "$mawk_sigma"
side_by_side nested "$work/nested.txt" /dev/null -- mawk "$mawk_nested"
side_by_side integral "$work/integral.txt" /dev/null -- mawk "$mawk_integral"
side_by_side lines "$work/lines200k.txt" "$work/lines200k.txt" -- bc -l
side_by_side other "$work/other200k.txt" "$work/other200k.txt" -- bc -l
report "1. sigma 1e6 with 240 variables vs with 1" "$(median "$work/vars.ours")" "$(median "$work/vars.theirs")" 1.3
report "2. sigma(i,1,10000000,i) vs mawk" "$(median "$work/sigma.ours")" "$(median "$work/sigma.theirs")" 0.7
report "3. nested sigma 1000x1000 vs mawk" "$(median "$work/nested.ours")" "$(median "$work/nested.theirs")" 0.8
report "4. integral(x,0,1,10000000,x*x) vs mawk" "$(median "$work/integral.ours")" "$(median "$work/integral.theirs")" 0.5
report "5. 200000 arithmetic lines vs bc -l" "$(median "$work/lines.ours")" "$(median "$work/lines.theirs")" 0.15
report "5b. 200000 lines of another mix vs bc -l" "$(median "$work/other.ours")" "$(median "$work/other.theirs")" 0.15

answer_writes=$(count_writes "$work/lines200k.txt")
report_writes=$(count_writes "$work/reports.txt")
writes_verdict=met
if [ "$answer_writes" -gt 2000 ] || [ "$report_writes" -gt 2000 ]; then
  writes_verdict="NOT MET"
  failures=$((failures + 1))
fi
printf '%-44s %d / %d  target <= 2000 each: %s\n' "6. write calls: 200000 answers / reports" \
  "$answer_writes" "$report_writes" "$writes_verdict"

# Instructions (callgrind) of one run on `input`.
instructions() {
  local input=$1
  shift
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" <"$input" 2>&1 >/dev/null |
    mawk '/Collected :/ { print $NF }'
}

# 8. Instructions per answered plain line: the difference between 11,000
# and 1,000 lines, so that start-up and the end cancel out.
plain_lines() {
  mawk -v count="$1" 'BEGIN { for (n = 0; n < count; n++) print "123+456*(78.901-23)" }'
}
plain_lines 1000 >"$work/plain1k.txt"
plain_lines 11000 >"$work/plain11k.txt"
per_line=$(( ($(instructions "$work/plain11k.txt" "$calculator") -
  $(instructions "$work/plain1k.txt" "$calculator")) / 10000 ))
line_verdict=met
if [ "$per_line" -gt 1500 ]; then
  line_verdict="NOT MET"
  failures=$((failures + 1))
fi
printf '%-44s %d  target <= 1500: %s\n' "8. instructions per line 123+456*(78.901-23)" "$per_line" "$line_verdict"

# 9. Start-up on an empty input: instructions, and the median of many
# paired runs, against bc -l.
: >"$work/empty.txt"
ours_start=$(instructions "$work/empty.txt" "$calculator")
theirs_start=$(instructions "$work/empty.txt" bc -l)
start_verdict=met
if [ "$ours_start" -gt "$theirs_start" ]; then
  start_verdict="NOT MET"
  failures=$((failures + 1))
fi
printf '%-44s %d vs %d  target <= bc: %s\n' "9. start-up instructions vs bc -l" "$ours_start" \
  "$theirs_start" "$start_verdict"
start_runs=$((runs * 40))
: >"$work/start.ours"
: >"$work/start.theirs"
for _ in $(seq "$start_runs"); do
  measure "$work/empty.txt" "$calculator" >>"$work/start.ours"
  measure "$work/empty.txt" bc -l >>"$work/start.theirs"
done
report "10. start-up time, median of $start_runs pairs" "$(median "$work/start.ours")" \
  "$(median "$work/start.theirs")" 1.0

# Peak memory: every run above stays under 8 MiB, and the long loop and
# line runs need no more than their ten-times-shorter counterparts beyond
# what touching more of the libraries' code can add (the soak script's
# tolerance).
for input in vars240 sigma nested integral lines200k reports sigma_small integral_small lines20k; do
  printf '%s %s\n' "$input" "$(peak_memory "$work/$input.txt" "$calculator")"
done >"$work/memory.txt"
memory_line=$(mawk -v limit=8192 -v tolerance=512 '{ kib[$1] = $2; if ($2 > worst) worst = $2 }
  END {
    flat = (kib["sigma"] - kib["sigma_small"] <= tolerance) &&
           (kib["integral"] - kib["integral_small"] <= tolerance) &&
           (kib["lines200k"] - kib["lines20k"] <= tolerance);
    printf("7. peak RSS KiB: 240 variables %d, sigma %d/%d, nested %d, integral %d/%d, lines %d/%d, reports %d; target < %d and flat: %s\n",
           kib["vars240"], kib["sigma_small"], kib["sigma"], kib["nested"], kib["integral_small"],
           kib["integral"], kib["lines20k"], kib["lines200k"], kib["reports"], limit,
           (worst < limit && flat) ? "met" : "NOT MET");
  }' "$work/memory.txt")
echo "$memory_line"
case "$memory_line" in *"NOT MET"*) failures=$((failures + 1)) ;; esac

exit $((failures > 0))
