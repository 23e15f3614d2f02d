#!/usr/bin/env bash
# The whole test suite: every preset's build and tests. Stops at the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --workflow --preset default
