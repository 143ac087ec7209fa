#!/usr/bin/env bash
# Renders the demo from its sources: demo/render.sh BUILD_DIR OUTPUT_DIR
# (BUILD_DIR holds vox, the engine libraries and vox-demo-background).
set -eu
src=$(cd "$(dirname "$0")" && pwd)
build=$1
out=$2
mkdir -p "$out"
vox="$build/vox"
"$build/vox-demo-background" "$out/background-source.wav"
"$vox" background import "$out/background-source.wav" --rate 22050 -o "$out/background.wav"
"$vox" bank build "$src/bank.vxb" -o "$out/bank.bin"
"$vox" score compile "$src/demo.vxs" -o "$out/demo.score"
"$vox" render "$out/demo.score" --bank "$out/bank.bin" --layout 2 --background "$out/background.wav" \
  --rate 22050 --envelope 0 --weight 2 --echo 2205:0.35,4410:0.2 \
  --captions "$out/demo.vtt" -o "$out/demo.wav"
echo "demo: $out/demo.wav, captions in $out/demo.vtt"
