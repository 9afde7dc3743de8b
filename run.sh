#!/usr/bin/env bash
# Installs what is missing, builds the plug-in and shows the module as a
# host sees it.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

zorv_install_packages
zorv_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo

zorv_log "Zorv.vst3 as a VST 3 host sees it"
./build/tools/vst3-inspect build/Zorv.vst3
