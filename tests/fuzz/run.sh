#!/usr/bin/env bash
# Runs one fuzz target for a while from its checked-in seeds.
#   run.sh FUZZER_BINARY SEED_DIR WORK_DIR SECONDS
set -euo pipefail
fuzzer="$1" seeds="$2" work="$3" seconds="$4"
mkdir -p "$work"
# New inputs go to the work folder, never into the checked-in seeds.
exec "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/" "$work" "$seeds"
