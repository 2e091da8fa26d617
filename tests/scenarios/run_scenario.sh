#!/usr/bin/env bash
# Runs one scenario file through dimmark-cli script in a fresh folder and
# compares its output with the expected one.
#   run_scenario.sh CLI SCENARIO.dms EXPECTED.out [--update]
# In the scenario, $WORK is a fresh folder holding copies of the fixture
# drawings and the sample drawings; in the output it is written back as
# $WORK. A line "# data: own" gives the program its own data folder,
# $WORK/program/dimdata. A first line "# exit: N" gives the expected exit code (default 0).
set -euo pipefail
cli=$1 scenario=$2 expected=$3 update=${4:-}
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/dimmark-scenario-XXXXXX)
trap 'rm -rf "$work"' EXIT
cp "$here"/tests/fixtures/dxf/*.dxf "$work"/
cp "$here"/samples/*.dxf "$work"/ 2>/dev/null || true
mkdir -p "$work/broken" "$work/foreign"
cp "$here"/tests/fixtures/dxf/broken/*.dxf "$work/broken/"
# A drawing with a file beside it that is not our database.
cp "$here"/tests/fixtures/dxf/dims_r2018.dxf "$work/foreign/part.dxf"
printf 'Standard Jet DB\0not ours' > "$work/foreign/part.mdb"
# A scenario that writes the program's data files ("# data: own") runs a
# copy of the program with its own dimdata/, so the build's stays as it is.
if grep -q '^# data: own' "$scenario"; then
  bindir=$(dirname "$cli")
  mkdir -p "$work/program"
  cp "$cli" "$work/program/"
  cp -r "$bindir/dimdata" "$work/program/"
  [ -e "$bindir/dwg" ] && ln -s "$bindir/dwg" "$work/program/dwg"
  cli="$work/program/$(basename "$cli")"
fi
sed "s#\$WORK#$work#g" "$scenario" > "$work/scenario.dms"
want_exit=$(sed -n '1s/^# exit: *\([0-9]*\).*/\1/p' "$scenario")
want_exit=${want_exit:-0}
set +e
(cd "$work" && "$cli" script scenario.dms) > "$work/out.raw" 2> "$work/err.raw"
got_exit=$?
set -e
{
  sed "s#$work#\$WORK#g" "$work/out.raw"
  echo "# exit: $got_exit"
  sed "s#$work#\$WORK#g; s/^/# stderr: /" "$work/err.raw"
} > "$work/out"
if [ "$update" = "--update" ]; then
  cp "$work/out" "$expected"
  exit 0
fi
if ! diff -u "$expected" "$work/out"; then
  echo "scenario $(basename "$scenario") differs from $(basename "$expected")"
  exit 1
fi
if [ "$got_exit" != "$want_exit" ]; then
  echo "exit $got_exit, expected $want_exit"
  exit 1
fi
