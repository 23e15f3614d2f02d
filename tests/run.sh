#!/usr/bin/env bash
# The whole test suite: the Windows cross-builds and their packages, then the Linux build and
# every test, the Windows programs' runs under Wine among them, the Linux packages, and the
# same suite built by clang and under the sanitizers. Stops at the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each stage's time, said at the end, so that whoever works here sees where the time goes.
stage_times=()
stage_start=$SECONDS
Stage() {
  stage_times+=("$(printf '%5d s  %s' $((SECONDS - stage_start)) "$1")")
  stage_start=$SECONDS
}

# Every source in the committed style.
if command -v clang-format >/dev/null; then
  git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
elif [ "${CI:-}" = true ]; then
  echo "tests/run.sh: CI checks the formatting, but clang-format is not installed" >&2
  exit 1
else
  echo "tests/run.sh: skipping the format check: apt-get install clang-format" >&2
fi
Stage "format check"

if command -v x86_64-w64-mingw32-g++ >/dev/null && command -v i686-w64-mingw32-g++ >/dev/null; then
  for arch in x86_64 i686; do
    cmake --workflow --preset "mingw-$arch"
    (cd "build/mingw-$arch" && cpack -G ZIP)
  done
elif [ "${CI:-}" = true ]; then
  echo "tests/run.sh: CI builds the Windows programs, but mingw-w64 is not installed" >&2
  exit 1
else
  echo "tests/run.sh: skipping the Windows programs: apt-get install g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64" >&2
fi
Stage "Windows builds and zips"

cmake --workflow --preset default
# CTest names skipped tests but not why; say why, e.g. a kernel that refuses 32-bit programs.
grep -h -A1 ': Skipped$' build/default/Testing/Temporary/LastTest.log | grep -v -e '^--$' \
  -e ': Skipped$' | sort -u | sed 's/^/tests\/run.sh: skipped: /' >&2 || true
Stage "Linux build and tests"

# The .deb, unpacked into a scratch root: its companions must run there and find the
# deliverables beside themselves.
(cd build/default && rm -f readrace_*.deb readrace-*.tar.gz && cpack -G DEB && cpack -G TGZ)
deb=$(ls build/default/readrace_*_amd64.deb)
dpkg-deb --field "$deb" Depends
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
# Debian's own checks: the package must pass lintian with no error and no warning. It leaves
# a temporary file behind in TMPDIR, which is the scratch root here.
if command -v lintian >/dev/null; then
  TMPDIR="$root" lintian --fail-on error,warning "$deb"
elif [ "${CI:-}" = true ]; then
  echo "tests/run.sh: CI checks the .deb with lintian, but it is not installed" >&2
  exit 1
else
  echo "tests/run.sh: skipping the .deb's lintian check: apt-get install lintian" >&2
fi
dpkg-deb -x "$deb" "$root"
"$root/usr/bin/readrace_prepare" --size 64KiB "$root/data"
"$root/usr/bin/readrace_compare" --runs 2 "$root/data" >"$root/report.txt"
grep -q "^readrace_nobuf$" "$root/report.txt"
grep -q "^readrace_seq$" "$root/report.txt"
# The README's links into docs/, and the charts those pages show, lead somewhere once installed.
doc=$root/usr/share/doc/readrace
for page in $(grep -o '](docs/[a-z-]*\.md' "$doc/README.md" | cut -c3-) \
  $(cd "$doc/docs" && grep -oh '](samples/[a-z]*\.svg' ./*.md | sed 's|^](|docs/|'); do
  [ -f "$doc/$page" ] || { echo "tests/run.sh: the .deb's README or docs link $page, not shipped" >&2; exit 1; }
done

Stage "packages"

# The fleet playbook in the style ansible-lint asks for.
if command -v ansible-lint >/dev/null; then
  # Its caches go to the scratch root, so that a test run leaves the home directory alone.
  XDG_CACHE_HOME="$root/cache" ANSIBLE_HOME="$root/ansible" ansible-lint tools/fleet/readrace.yml
elif [ "${CI:-}" = true ]; then
  echo "tests/run.sh: CI checks the fleet playbook, but ansible-lint is not installed" >&2
  exit 1
else
  echo "tests/run.sh: skipping the playbook's lint: apt-get install ansible-lint" >&2
fi

# The fleet playbook against this machine alone, over the local connection: it installs the
# .deb, prepares the files, compares, fetches the report and ends with the merged table. The
# package goes again afterwards, unless it was installed before.
if command -v ansible-playbook >/dev/null && [ "$(id -u)" = 0 ]; then
  if ! dpkg-query -W -f='${Status}' readrace 2>/dev/null | grep -q 'ok installed'; then
    trap 'dpkg --purge readrace >/dev/null; rm -rf "$root"' EXIT
  else
    echo "tests/run.sh: readrace was installed before this run, so this build's package stays" >&2
  fi
  ANSIBLE_HOME="$root/ansible" ANSIBLE_REMOTE_TMP="$root/ansible/remote" \
    ansible-playbook -i localhost, -c local -e ansible_python_interpreter=/usr/bin/python3 \
    -e readrace_deb="$PWD/$deb" -e readrace_dir="$root/fleet" -e readrace_size=64KiB \
    -e readrace_runs=2 -e readrace_reports="$root/reports" tools/fleet/readrace.yml |
    tee "$root/fleet.log"
  grep -q '"host  *started (UTC)  *file system  *device' "$root/fleet.log"
  grep -q '"[^"]*  readrace_nobuf  ' "$root/fleet.log"
elif [ "${CI:-}" = true ]; then
  echo "tests/run.sh: CI runs the fleet playbook, as root with ansible-core installed" >&2
  exit 1
else
  echo "tests/run.sh: skipping the fleet playbook: it installs the .deb, so run as root with" \
    "apt-get install ansible-core python3-apt" >&2
fi

Stage "fleet playbook"

# Release with clang, warnings as errors, the plain suite.
cmake --workflow --preset clang
Stage "clang build and tests"
# The same unit and end-to-end suites under the sanitizers; any report fails the run.
cmake --workflow --preset asan
Stage "AddressSanitizer build and tests"
cmake --workflow --preset tsan
Stage "ThreadSanitizer build and tests"

# The fuzzers, each for a bounded time from the committed seeds (new finds go to the build
# tree, never into tests/fuzz/corpus); a crash, a leak, a sanitizer report or an input slower
# than 10 s fails the run and leaves the input in build/fuzz/<target>/.
if probe=$(mktemp -d) &&
  echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' |
  clang++ -x c++ -fsanitize=fuzzer - -o "$probe/probe" 2>/dev/null; then
  rm -rf "$probe"
  cmake --preset fuzz && cmake --build --preset fuzz
  for target in report run_output; do
    work="build/fuzz/$target" && rm -rf "$work" && mkdir -p "$work/corpus"
    if ! "build/fuzz/tests/fuzz/${target}_fuzz" -max_total_time="${READRACE_FUZZ_SECONDS:-45}" \
      -timeout=10 -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" \
      "tests/fuzz/corpus/$target" 2>"$work/log"; then
      tail -40 "$work/log" >&2
      echo "tests/run.sh: the $target fuzzer failed; its input is in $work/" >&2
      exit 1
    fi
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$work/log" |
      sed "s/^/tests\/run.sh: fuzz $target: /" >&2
  done
elif [ "${CI:-}" = true ]; then
  rm -rf "$probe"
  echo "tests/run.sh: CI runs the fuzzers, but clang's libFuzzer runtime is missing" >&2
  exit 1
else
  rm -rf "$probe"
  echo "tests/run.sh: skipping the fuzzers: apt-get install clang libclang-rt-14-dev" >&2
fi
Stage "fuzzers"

echo "tests/run.sh: every stage passed; their times:" >&2
printf 'tests/run.sh: %s\n' "${stage_times[@]}" >&2
