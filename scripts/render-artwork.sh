#!/usr/bin/env bash
# Renders the utility's PNG images from their SVG sources in app/artwork/ into
# app/resources/ (menu and status-bar images) and app/resources/icons/ (the desktop
# front end's application icon in the hicolor theme layout). Needs rsvg-convert
# (librsvg2-bin); optipng, when present, shrinks the files losslessly while keeping
# them RGBA. Run it after editing any SVG and commit the sources and PNGs together.
set -euo pipefail
cd "$(dirname "$0")/.."

# optipng is optional; rsvg-convert is not.
scripts/install-deps.sh --only librsvg2-bin optipng || scripts/install-deps.sh --only librsvg2-bin

src=app/artwork
out=app/resources
icons=$out/icons/hicolor
rendered=()

# render SVG PNG [rsvg-convert size options...]
render() {
  local svg=$1 png=$2
  shift 2
  mkdir -p "$(dirname "$png")"
  rsvg-convert --format=png "$@" "$src/$svg" -o "$png"
  rendered+=("$png")
}

# Status-bar logo: the app scales logo-n.png by 0.1875 and logo-n-alt.png by 0.3,
# so both land on 18 points.
render logo-n.svg "$out/logo-n.png" -w 96 -h 96
render logo-n-alt.svg "$out/logo-n-alt.png" -w 60 -h 60

# Dock-number badges: scaled by 0.35 in the app, 60 pixels give 21 points.
for n in 1 2 3 4 5 6; do
  render "unit_$n.svg" "$out/unit_$n.png" -w 60 -h 60
done

# Eject icons: used at natural size; the @2x files serve high-density screens.
for name in eject eject_USB eject_eSATA; do
  for look in "" "-w"; do
    render "$name$look.svg" "$out/$name$look.png" --zoom=1
    render "$name$look.svg" "$out/$name$look@2x.png" --zoom=2
  done
done

# Application icon: the 16-pixel size has its own pixel-fitted drawing.
render berthline-utility-16.svg "$icons/16x16/apps/berthline-utility.png" -w 16 -h 16
for s in 32 48 64 128 256; do
  render berthline-utility.svg "$icons/${s}x$s/apps/berthline-utility.png" -w "$s" -h "$s"
done
mkdir -p "$icons/scalable/apps"
cp "$src/berthline-utility.svg" "$icons/scalable/apps/berthline-utility.svg"

if command -v optipng >/dev/null; then
  # -nc/-nb/-np keep 8-bit RGBA, which every image loader takes as is.
  optipng -quiet -o7 -strip all -nc -nb -np "${rendered[@]}"
fi
printf 'rendered %d images\n' "${#rendered[@]}"
