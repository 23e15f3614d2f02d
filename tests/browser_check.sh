#!/usr/bin/env bash
# The HTML pages of a plain comparison (in a directory whose name is markup), a sweep, a merge and
# a merge by groups, opened in headless Chromium: each loads with no console error, fetches
# nothing and is not blank.
# Exit status 77 (skipped) where Chromium is missing, unless under CI.
set -euo pipefail
prepare=$1
compare=$2
if [ ! -x /usr/bin/chromium ] || ! command -v python3 >/dev/null; then
  if [ "${CI:-}" = true ]; then
    echo "browser_check: CI opens the pages in a browser: apt-get install chromium python3" >&2
    exit 1
  fi
  echo "browser_check: skipping: apt-get install chromium python3"
  exit 77
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Unescaped, this name would fetch x and log an error.
data="$scratch/d<img src=x onerror=console.error(1)>"
"$prepare" --size 64KiB "$data" >/dev/null
"$compare" --runs 3 --json --html "$scratch/plain.html" "$data" >"$scratch/plain.json"
"$compare" --sizes 4KiB,64KiB --runs 3 --json --html "$scratch/sweep.html" "$scratch/sweep" \
  >"$scratch/sweep.json"
"$compare" --merge --html "$scratch/merge.html" "$scratch/plain.json" "$scratch/sweep.json" \
  >/dev/null
"$compare" --merge --group-by device,size --html "$scratch/groups.html" "$scratch/plain.json" \
  "$scratch/sweep.json" >/dev/null
python3 "$(dirname "$0")/browser_check.py" "$scratch/plain.html" "$scratch/sweep.html" \
  "$scratch/merge.html" "$scratch/groups.html"
