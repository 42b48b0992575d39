#!/usr/bin/env bash
# Builds Kerbolt and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
exec build/bin/kerbolt
