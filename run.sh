#!/usr/bin/env bash
# Installs what is missing, builds the plug-in, installs it for Linux hosts
# (~/.vst3 and, as LV2, ~/.lv2) and plays a demo phrase across the six gong models into
# out/demo.wav, with its spectrogram in out/demo.png.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

zorv_install_packages
zorv_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -- zorv_module zorv-render zorv_lv2_module

zorv_log "Installing Zorv.vst3 into ~/.vst3"
mkdir -p "$HOME/.vst3"
rm -rf "$HOME/.vst3/Zorv.vst3"
cp -r build/Zorv.vst3 "$HOME/.vst3/"

zorv_log "Installing Zorv.lv2 into ~/.lv2"
mkdir -p "$HOME/.lv2"
rm -rf "$HOME/.lv2/Zorv.lv2"
cp -r build/Zorv.lv2 "$HOME/.lv2/"

zorv_log "Rendering the demo phrase"
mkdir -p out
./build/tools/zorv-render --plugin "$HOME/.vst3/Zorv.vst3" --score tools/scores/demo.json --out out/demo.wav
sox out/demo.wav -n remix 1,2 rate 12k spectrogram -o out/demo.png -x 1200 -y 400 -z 100 \
  -t "Zorv: six gong models" 2>/dev/null
zorv_log "Done: out/demo.wav and out/demo.png"
