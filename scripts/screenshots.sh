#!/usr/bin/env bash
# Makes the README's pictures from the built programs, so that they show what
# the programs show today:
#   docs/window.png                the window after checking samples/sample.html
#   docs/gallery.png               every look of the button in every state
#   docs/torvelbutton-example.png  examples/minimal, built against the library
#                                  as `cmake --install` puts it
# Usage: bash scripts/screenshots.sh [OUT_DIR]  (default docs/; BUILD_DIR
# names the build folder, default build/). On the offscreen platform unless
# QT_QPA_PLATFORM names another.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${BUILD_DIR:-$root/build}" && pwd)
out=$(mkdir -p "${1:-$root/docs}" && cd "${1:-$root/docs}" && pwd)
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
for program in vettrix-window torvelbutton; do
  [[ -x "$build/bin/$program" ]] || { echo "screenshots: $build/bin/$program is not built" >&2; exit 1; }
done

# From the project folder, so the address box shows the sample's short name.
(cd "$root" && "$build/bin/vettrix-window" --address samples/sample.html --screenshot "$out/window.png")
"$build/bin/torvelbutton" gallery -o "$out/gallery.png"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for component in libtorvelbutton libtorvelbutton-dev; do
  cmake --install "$build" --prefix "$work/usr" --component "$component" >/dev/null
done
env -u CMAKE_PREFIX_PATH cmake -S "$root/examples/minimal" -B "$work/minimal" -G Ninja \
  -DCMAKE_PREFIX_PATH="$work/usr" >/dev/null
cmake --build "$work/minimal" >/dev/null
"$work/minimal/minimal" --screenshot "$out/torvelbutton-example.png"
echo "screenshots: window.png, gallery.png, torvelbutton-example.png in $out"
