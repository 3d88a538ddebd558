#!/usr/bin/env bash
# The main job: sets everything up, then lifts the shadows of the bundled sample
# photo twice, with the native tool and with the real plug-in driven by our
# host under Wine, and writes a before/after picture of each into out/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# The plug-in makes its dialog window even when the dialog is suppressed (it
# closes again at once), so the job runs inside one virtual X display.
if [[ -z "${GW_DEMO_IN_X:-}" ]]; then
  GW_DEMO_IN_X=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$PWD/scripts/demo.sh" "$@"
fi

photo=${1:-/usr/lib/python3/dist-packages/skimage/data/coffee.png}
jobs=$(nproc)
mkdir -p out

for preset in native win64 win32; do
  echo "=== building ($preset)" >&2
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" >/dev/null
done

# 1. The native tool.
echo "=== native: gladewick $photo" >&2
build/native/cli/gladewick "$photo" -o out/native-after.png
convert "$photo" out/native-after.png +append out/before-after-native.png
echo "wrote out/before-after-native.png"
# A JPEG, as a camera writes it, into a JPEG.
convert "$photo" -quality 92 out/photo.jpg
echo "=== native: gladewick out/photo.jpg" >&2
build/native/cli/gladewick out/photo.jpg -o out/native-after.jpg
convert out/photo.jpg out/native-after.jpg +append out/before-after-native-jpeg.png
echo "wrote out/before-after-native-jpeg.png"

# 2. The real plug-in in our host. Only the x64 pair runs where the kernel
#    cannot execute 32-bit programs; the x86 pair is built and inspected.
#    Each prefix's Wine server is started afresh inside this display.
convert "$photo" -depth 8 out/photo.ppm
ran_plugin=0
for arch in win64 win32; do
  plugin=build/$arch/plugin/Gladewick.8bf
  host=build/$arch/testhost/gwhost.exe
  WINEPREFIX="$PWD/build/$arch/wineprefix" wineserver -k >/dev/null 2>&1 || true
  echo "=== $arch: gwhost info" >&2
  set +e
  cmake/wine-run.sh "$PWD/build/$arch/wineprefix" "$host" info "$plugin"
  rc=$?
  set -e
  if [[ $rc == 77 ]]; then
    echo "($arch programs cannot run on this machine; built only)" >&2
    continue
  elif [[ $rc != 0 ]]; then
    exit $rc
  fi
  echo "=== $arch: gwhost apply" >&2
  cmake/wine-run.sh "$PWD/build/$arch/wineprefix" "$host" apply "$plugin" out/photo.ppm \
    "out/plugin-$arch-after.ppm" --no-dialog
  convert "out/plugin-$arch-after.ppm" "out/plugin-$arch-after.png"
  convert "$photo" "out/plugin-$arch-after.png" +append "out/before-after-plugin-$arch.png"
  echo "wrote out/before-after-plugin-$arch.png"
  ran_plugin=1
  WINEPREFIX="$PWD/build/$arch/wineprefix" wineserver -k >/dev/null 2>&1 || true
done
((ran_plugin)) || { echo "the plug-in could not run on this machine" >&2; exit 1; }
cp out/before-after-native.png out/before-after.png
echo "done: out/before-after.png (native) and out/before-after-plugin-*.png (plug-in)"
