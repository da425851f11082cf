#!/usr/bin/env bash
# Builds the release program and starts the console; arguments go to xeb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh release xeb >&2  # the program only, not the tests
exec build/release/xeb "$@"
