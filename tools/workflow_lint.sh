#!/usr/bin/env bash
# The Windows workflow cannot run here, so it is checked against GitHub's workflow schema by
# action-validator, from the npm registry, installed once into the build folder.
# Usage: workflow_lint.sh BUILD_DIR
set -euo pipefail
workflows=$(cd "$(dirname "$0")/../.github/workflows" && pwd)
validator=$1/npm/node_modules/.bin/action-validator
[ -x "$validator" ] ||
    npm install --prefix "$1/npm" --no-audit --no-fund --loglevel=error @action-validator/cli@0.6.0 >/dev/null
# Its schema predates the attestations permission, so that one line is left out of what it reads.
mkdir -p "$1/workflows"
for workflow in "$workflows"/*.yml; do
    grep -v '^ *attestations: write$' "$workflow" >"$1/workflows/$(basename "$workflow")"
    "$validator" "$1/workflows/$(basename "$workflow")"
    echo "ok   $(basename "$workflow")"
done
