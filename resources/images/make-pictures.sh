#!/bin/sh
# Renders the program's pictures and the launcher icons from the drawings in
# src/. The PNGs are kept in the repository, so a build needs no drawing tool;
# run this (it needs rsvg-convert, Debian package librsvg2-bin) after changing a
# drawing. Each picture gets a twice-as-large @2x copy for high-density screens.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
src="$here/src"
icons="$here/../../packaging/icons"

render() { # drawing size output
    rsvg-convert -w "$2" -h "$2" -o "$3" "$src/$1.svg"
}

for name in new contacts sendreceive; do
    render "$name" 32 "$here/$name.png"
    render "$name" 64 "$here/$name@2x.png"
    render "$name" 16 "$here/${name}16.png"
    render "$name" 32 "$here/${name}16@2x.png"
done
render logo 120 "$here/logo.png"
render logo 240 "$here/logo@2x.png"
for name in toolbarback toolbarback-dark; do
    rsvg-convert -w 16 -h 64 -o "$here/$name.png" "$src/$name.svg"
done

for size in 16 22 24 32 48 64 128 256 512; do
    mkdir -p "$icons/hicolor/${size}x${size}/apps"
    render logo "$size" "$icons/hicolor/${size}x${size}/apps/tellwave.png"
done
mkdir -p "$icons/hicolor/scalable/apps"
cp "$src/logo.svg" "$icons/hicolor/scalable/apps/tellwave.svg"
