#!/usr/bin/env bash
# Runs the libFuzzer targets of a DIMMARK_FUZZ build one after the other,
# each for SECONDS, on a scratch copy of the repository's corpus. A crash, a
# sanitizer report, an input slower than 5 s or above 2 GB fails the run;
# the input is left in BUILD/fuzz-artifacts, to be minimized
# (-minimize_crash=1) and added to tests/fixtures/fuzz or tests/fixtures/xlsx
# once fixed. New inputs that only add coverage stay out of the repository.
#
#   scripts/fuzz.sh BUILD SECONDS [TARGET...]   (targets: dxf_host dxf_scene
#                                                xlsx_read; all by default)
set -euo pipefail
build=$(realpath "$1")
seconds=$2
shift 2
wanted=" $* "
artifacts=$build/fuzz-artifacts
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$artifacts"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$(dirname "$(realpath "$0")")/lsan.supp

status=0
while read -r name dirs; do
  [[ "$wanted" == "  " || "$wanted" == *" $name "* ]] || continue
  IFS=';' read -ra seeds <<<"$dirs"
  mkdir -p "$work/$name"
  log=$build/fuzz_$name.log
  # The first folder receives what the run finds; the others are read.
  if ! "$build/bin/fuzz_$name" -max_total_time="$seconds" -timeout=5 \
    -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/$name-" "$work/$name" "${seeds[@]}" \
    >"$log" 2>&1; then
    echo "fuzz_$name: FAILED (log: $log)"
    grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$log" | head -20
    status=1
    continue
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  last=$(grep -E '^#[0-9]+' "$log" | tail -1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corp=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$last")
  echo "fuzz_$name: ${seconds} s, $runs executions, coverage $cov edges" \
    "($ft features), corpus $corp inputs"
done <"$build/fuzz_corpora.txt"
exit $status
