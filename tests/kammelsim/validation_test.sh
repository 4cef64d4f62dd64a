#!/usr/bin/env bash
# The reduced validation study (scripts/sweep-validation --reduced): the map bed's wavelength
# grows linearly with the wind and with b, as Nishimori and Ouchi found. The seeds are fixed, so
# the fits are the same on every correct build; the R² threshold has the margin that
# docs/validation.md derives from the full study.
set -u
kammelsim=$1 root=$2
export KAMMELSIM=$kammelsim
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

timeout 900 "$root/scripts/sweep-validation" "$work/v" --reduced >"$work/table.md" 2>"$work/err" ||
  fail "the reduced study failed: $(tail -n 20 "$work/err")"
cat "$work/table.md"
for axis in wind b; do
  /usr/bin/python3 - "$work/v/$axis/fits.csv" "$axis" <<'PY' || fail "$axis: $(cat "$work/v/$axis/fits.csv")"
import csv, sys
fits = csv.DictReader(l for l in open(sys.argv[1]) if not l.startswith("#"))
fit = next(f for f in fits if (f["fit"], f["y"], f["x"]) == ("linear", "wavelength_centroid", sys.argv[2]))
slope, r2 = float(fit["slope"]), float(fit["r2"])
print(f"wavelength_centroid against {sys.argv[2]}: slope {slope:.3f}, R² {r2:.3f}")
sys.exit(0 if slope > 0 and r2 > 0.9 else 1)
PY
done
echo ok
