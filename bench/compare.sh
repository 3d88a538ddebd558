#!/usr/bin/env bash
# Whole-process times of gladewick against its peers on the same photo, in
# one run: the sample photo scaled to 6000 x 4000 as an 8-bit PNG, a JPEG
# (quality 92) and a 16-bit deflate TIFF; each tool's median of 3 runs; then a
# batch of 20 photos of 6 MP, one run against 20 separate runs; last the engine alone against
# darktable's module alone on the 24 MP photo.
# Usage: bench/compare.sh [BUILD_DIR]   (default build/native; peers from bench/peers-setup.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
tool=${1:-build/native}/cli/gladewick
bench=${1:-build/native}/bench/gw_bench
photo=/usr/lib/python3/dist-packages/skimage/data/astronaut.png
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash bench/peers-setup.sh

convert "$photo" -resize '6000x4000!' "$work/p24.png"
convert "$work/p24.png" -quality 92 "$work/p24.jpg"
convert "$work/p24.png" -depth 16 -compress zip "$work/p24-16.tif"
python3 bench/shadhi-sidecar.py "$work/shadhi.xmp"

median() {   # median of 3 whole-process wall times of a command, in seconds
  python3 - "$@" <<'PY'
import subprocess, sys, time
times = []
for _ in range(3):
    t = time.perf_counter()
    subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    times.append(time.perf_counter() - t)
print("%.2f" % sorted(times)[1])
PY
}

dt() {   # darktable-cli with a configuration of its own for every run
  local conf
  conf=$(mktemp -d "$work/dt.XXXX")
  darktable-cli "$1" "$work/shadhi.xmp" "$2" --core --configdir "$conf" --library :memory:
}
export -f dt
export work

echo "| tool | input -> output | wall s (median of 3) |"
echo "|---|---|---|"
echo "| gladewick | PNG 8-bit -> PNG 8-bit | $(median "$tool" -q "$work/p24.png" -o "$work/g.png") |"
echo "| gladewick | JPEG -> JPEG | $(median "$tool" -q "$work/p24.jpg" -o "$work/g.jpg") |"
echo "| gladewick | TIFF 16-bit -> TIFF 16-bit | $(median "$tool" -q "$work/p24-16.tif" -o "$work/g.tif") |"
echo "| gladewick | PNG 8-bit -> PFM | $(median "$tool" -q "$work/p24.png" -o "$work/g.pfm") |"
echo "| darktable-cli, shadows and highlights | PNG 8-bit -> PNG 8-bit | $(median bash -c 'dt "$work/p24.png" "$work/d.png"') |"
echo "| darktable-cli, shadows and highlights | JPEG -> JPEG | $(median bash -c 'dt "$work/p24.jpg" "$work/d.jpg"') |"
echo "| gegl shadows-highlights | PNG 8-bit -> PNG 8-bit | $(median gegl "$work/p24.png" -o "$work/e.png" -- gegl:shadows-highlights) |"
echo "| gegl shadows-highlights | JPEG -> JPEG | $(median gegl "$work/p24.jpg" -o "$work/e.jpg" -- gegl:shadows-highlights) |"

mkdir -p "$work/batch" "$work/batch-out" "$work/single-out"
convert "$photo" -resize '3000x2000!' -quality 92 "$work/p6.jpg"
for i in $(seq -w 1 20); do cp "$work/p6.jpg" "$work/batch/IMG_00$i.jpg"; done
t0=$(date +%s.%N)
for f in "$work"/batch/*.jpg; do "$tool" -q "$f" -o "$work/single-out/$(basename "$f")"; done
t1=$(date +%s.%N)
"$tool" -q "$work"/batch/*.jpg -o "$work/batch-out"
t2=$(date +%s.%N)
python3 -c "import sys; a=float(sys.argv[2])-float(sys.argv[1]); b=float(sys.argv[3])-float(sys.argv[2]); print('batch of 20 JPEGs of 6 MP: 20 separate runs %.2f s, one run %.2f s, %.2fx faster' % (a, b, a/b))" "$t0" "$t1" "$t2"

# The engine alone: gladewick's first Quality run on a fresh engine (gw_bench, the same photo)
# and darktable's shadows and highlights module as its own performance log times it; the two
# alternate, 3 rounds, and each side's median is shown.
python3 - "$bench" "$work" <<'PY'
import os, re, subprocess, sys, tempfile
bench, work = sys.argv[1], sys.argv[2]
ours, pages, theirs = [], [], []
for _ in range(3):
    out = subprocess.run([bench, "--photo", work + "/p24.png", "--cases", "24", "--no-stages"],
                         check=True, capture_output=True, text=True).stdout
    row = next(l for l in out.splitlines() if "quality" in l).split()
    pages.append(float(row[5]))
    ours.append(float(row[6]))
    conf = tempfile.mkdtemp(dir=work)
    target = work + "/module.png"
    if os.path.exists(target):
        os.remove(target)
    log = subprocess.run(["darktable-cli", work + "/p24.png", work + "/shadhi.xmp", target,
                          "--core", "--configdir", conf, "--library", ":memory:", "-d", "perf"],
                         check=True, capture_output=True, text=True).stdout
    theirs.append(float(re.search(r"took (\d+\.\d+) secs .*processed `shadows and highlights'",
                                  log).group(1)))
median = lambda v: sorted(v)[1]
print("engine alone, 24 MP: gladewick Quality first run %.2f s (its pages, made while the photo "
      "is decoded, %.2f s), darktable's shadows and highlights module %.2f s"
      % (median(ours), median(pages), median(theirs)))
PY
