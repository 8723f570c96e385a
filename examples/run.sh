#!/usr/bin/env bash
# Runs the suite's main job on the sample collection in this folder.
set -eu
bin=$(cd "${1:-build/release}" && pwd)
cd "$(dirname "$0")"
for p in vexabld tavrel pellion; do
  "$bin/$p" -ver
done
