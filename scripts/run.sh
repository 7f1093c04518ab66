#!/usr/bin/env bash
# Installs what is missing, builds the wizard and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh --target mdx-wizard
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: start the wizard on a virtual one with: xvfb-run -a bash scripts/run.sh" >&2
    exit 1
fi
exec build/app/mdx-wizard "$@"
