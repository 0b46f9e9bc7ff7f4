#!/usr/bin/env bash
# Compares "tarnvik --olc" with igc-xc-score (an independent branch-and-bound solver, used here
# only as an oracle, never as a dependency) on IGC flights: for each flight and each XContest rule
# alone ("Free Flight": start, three turnpoints, end; "Free Triangle"; "FAI Triangle") the ratio
# of our distance to its distance, both run times, and whether it proved its result optimal.
# The ratio shows how close the reduction to 2000 fixes with the +-2 refinement comes to the
# exact optimum. igc-xc-score runs with hp (Vincenty legs to about 60 cm) and invalid (V fixes
# kept, as ours keeps them); it rounds each leg to 10 m, so a ratio above 1 by up to 20 m of
# distance is its rounding.
#
# usage: bench/olc_oracle.sh BUILD_DIR [SECONDS_PER_RULE] [FLIGHT.igc...]
#   npm installs igc-xc-score into a scratch folder (OLC_ORACLE_DIR, default /tmp/olc-oracle).
set -euo pipefail
build=$(realpath "${1:?build directory, e.g. build/release}")
limit=${2:-60}
shift $(( $# >= 2 ? 2 : 1 ))
here=$(cd "$(dirname "$0")/.." && pwd)
flights=("$@")
if [ ${#flights[@]} -eq 0 ]; then flights=("$here"/tests/data/igc/*.igc "$here"/tests/data/igc/*.IGC); fi
scratch=${OLC_ORACLE_DIR:-/tmp/olc-oracle}
mkdir -p "$scratch"
if [ ! -d "$scratch/node_modules/igc-xc-score" ]; then
  (cd "$scratch" && npm install --silent igc-xc-score igc-parser >/dev/null)
fi
cat > "$scratch/score.mjs" <<'JS'
import fs from 'fs';
import IGCParser from 'igc-parser';
import { solver, scoringRules } from 'igc-xc-score';
const [file, ruleName, seconds] = process.argv.slice(2);
const flight = IGCParser.parse(fs.readFileSync(file, 'utf8'), { lenient: true });
const rule = scoringRules.XContest.filter((r) => r.name === ruleName);
const start = Date.now();
const run = solver(flight, rule, { hp: true, invalid: true, maxcycle: 1000, noflight: true });
let best = run.next();
while (!best.done && !best.value.optimal && Date.now() - start < seconds * 1000) best = run.next();
const result = best.value;
const info = result.scoreInfo;
// Scored distance in km: the free distance, or a triangle's perimeter less its closing penalty.
const km = info ? info.distance - (info.penalty || 0) : 0;
console.log(`${km} ${(Date.now() - start) / 1000} ${result.optimal ? 'optimal' : 'not-proved'}`);
JS
printf '%-34s %-14s %10s %10s %8s %9s %9s %s\n' flight rule ours_km its_km ratio ours_s its_s its_result
for f in "${flights[@]}"; do
  [ -f "$f" ] || continue
  f=$(realpath "$f")
  t0=$(date +%s.%N)
  out=$("$build/app/tarnvik" --olc "$f")
  t1=$(date +%s.%N)
  ours_s=$(echo "$t1 - $t0" | bc)
  free=$(sed -n 's/^Free distance: \([0-9.]*\) km.*/\1/p' <<<"$out")
  tri=$(sed -n 's/^Free triangle: \([0-9.]*\) km.*/\1/p' <<<"$out")
  fai=$(sed -n 's/^FAI triangle: \([0-9.]*\) km.*/\1/p' <<<"$out")
  for rule in "Free Flight" "Free Triangle" "FAI Triangle"; do
    case $rule in
      "Free Flight") ours=$free ;;
      "Free Triangle") ours=${tri:-0} ;;
      *) ours=${fai:-0} ;;
    esac
    read -r its its_s verdict < <(cd "$scratch" && node score.mjs "$f" "$rule" "$limit")
    ratio=$(awk -v a="$ours" -v b="$its" 'BEGIN { if (b > 0) printf "%.4f", a / b; else print "-" }')
    printf '%-34s %-14s %10s %10.2f %8s %9.2f %9.2f %s\n' "$(basename "$f")" "$rule" "$ours" "$its" "$ratio" \
      "$ours_s" "$its_s" "$verdict"
  done
done
