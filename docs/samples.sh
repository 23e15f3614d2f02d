#!/usr/bin/env bash
# Makes the samples that README.md and docs/*.md quote, from real runs of a build's tools on this
# machine, so that no quoted output is older than the tools:
#
#   docs/samples.sh [--quick] [BUILD_DIR [OUT_DIR]]
#
# BUILD_DIR (default build/default) must hold a build of the default preset: nothing is built
# here. Each sample goes to OUT_DIR (default docs/samples) under one line naming the command and
# the machine it ran on. With the default OUT_DIR, every block of README.md and docs/*.md between
# "<!-- sample: NAME -->" and "<!-- /sample -->" is then replaced with sample NAME. --quick runs
# the simulations with the fewest sessions and leaves out the slowest (the --settle one, over a
# minute even at its fewest): tests/samples_check.py runs it so, since it looks only at the kinds
# of line. The whole run takes about two and a half minutes, most of it in the simulations.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

quick=0
if [ "${1:-}" = --quick ]; then
  quick=1
  shift
fi
build=$(realpath "${1:-build/default}")
out=$(realpath -m "${2:-docs/samples}")
for tool in tools/readrace_prepare tools/readrace_compare src/readrace_seq \
  bench/readrace_verdict_sim; do
  if [ ! -x "$build/$tool" ]; then
    echo "docs/samples.sh: $build/$tool is missing: build first" \
      "(cmake --preset default && cmake --build build/default)" >&2
    exit 2
  fi
done
mkdir -p "$out"

# The files live in the build folder, on the disk the build uses: a tmpfs could not evict them.
scratch=$(mktemp -d "$build/samples.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
export PATH="$build/tools:$build/src:$build/bench:$PATH"
readrace_prepare --size 1MiB data

cpu=$(sed -n '/^model name/{s/^[^:]*: *//p;q}' /proc/cpuinfo)
file_system=$(findmnt -n -o FSTYPE -T . 2>/dev/null || stat -f -c %T .)
machine="$(uname -sr), ${cpu:-a CPU that names no model}, $file_system"

# Sample NAME COMMAND [NOTE]: runs COMMAND (a line of shell) here and writes what it prints on
# standard output to OUT_DIR/NAME under a line naming it, the machine and NOTE. Its standard
# error (a busy machine's warnings) goes to the terminal.
Sample() {
  local name=$1 command=$2 note=${3:+; $3}
  echo "docs/samples.sh: $name: $command" >&2
  if [[ $name == *.md ]]; then
    printf '`%s`, on %s%s:\n\n' "$command" "$machine" "$note" >"$out/$name"
  else
    printf '$ %s  # on %s%s\n' "$command" "$machine" "$note" >"$out/$name"
  fi
  eval "$command" >>"$out/$name"
}

# One run of a program: its 23 lines.
(cd data && Sample run.txt readrace_seq)

# A comparison as the README shows it, then auto mode, which stops at a verdict.
Sample compare.txt 'readrace_compare --runs 10 data'
Sample auto.txt 'readrace_compare --deliverable nobuf data'

# Three hosts' reports (this machine's, told apart by --label). The first is also the JSON sample,
# cut to one program and one run so that every field shows without the page running on.
Sample report.json 'readrace_compare --runs 6 --label host-a --json data' \
  "cut to its first program and that program's first run"
tail -n +2 "$out/report.json" >host-a.json
for host in host-b host-c; do
  readrace_compare --runs 6 --label "$host" --json data >"$host.json"
done
python3 - "$out/report.json" <<'EOF'
import json, sys
with open(sys.argv[1]) as f:
    heading, report = f.readline(), json.load(f)
del report["deliverables"][1:], report["deliverables"][0]["runs"][1:]
with open(sys.argv[1], "w") as f:
    f.write(heading + json.dumps(report, indent=2, ensure_ascii=False) + "\n")
EOF
Sample merge.txt 'readrace_compare --merge host-*.json'
Sample group.txt 'readrace_compare --merge --group-by fs,program host-*.json'
Sample check.txt 'readrace_compare --check host-*.json'

# The Markdown table and the charts.
Sample markdown.txt \
  'readrace_compare --runs 10 --markdown summary.md --svg chart.svg data >/dev/null && cat summary.md'
Sample sweep.txt 'readrace_compare --runs 6 --deliverable nobuf --sizes 64KiB,1MiB --svg sweep.svg sweep'
mv chart.svg sweep.svg "$out/"

# How sure the verdict is, by simulation: rates over many sessions, and whether a suggested count
# of runs settles what a first session left open.
if [ "$quick" = 1 ]; then
  Sample verdict-sim.md 'readrace_verdict_sim --sessions 100'
  Sample verdict-sim-cap100.md 'readrace_verdict_sim --sessions 100 --max-runs 100'
else
  Sample verdict-sim.md 'readrace_verdict_sim --sessions 20000'
  Sample verdict-sim-cap100.md 'readrace_verdict_sim --sessions 4000 --max-runs 100'
  Sample verdict-sim-settle.md 'readrace_verdict_sim --settle --sessions 200'
fi

# The docs' quoted blocks, refreshed in place; a text sample goes inside a code fence.
if [ "$out" = "$source_dir/docs/samples" ]; then
  python3 - "$source_dir" "$out" <<'EOF'
import pathlib, re, sys
source, out = map(pathlib.Path, sys.argv[1:])
def fill(block):
    fence = "" if block[1].endswith(".md") else "```\n"
    sample = (out / block[1]).read_text()
    return f"<!-- sample: {block[1]} -->\n{fence}{sample}{fence}<!-- /sample -->"
for doc in [source / "README.md", *sorted((source / "docs").glob("*.md"))]:
    text = doc.read_text()
    filled = re.sub(r"<!-- sample: (\S+) -->\n.*?<!-- /sample -->", fill, text, flags=re.S)
    if filled != text:
        doc.write_text(filled)
        print(f"docs/samples.sh: refreshed {doc.relative_to(source)}", file=sys.stderr)
EOF
fi
