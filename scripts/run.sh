#!/usr/bin/env bash
# Installs what is missing, builds the wizard and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh --target mdx-wizard
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    hint="xvfb-run -a bash scripts/run.sh"
    command -v xvfb-run >/dev/null || hint="apt-get install xvfb xauth && $hint"
    echo "No display found: start the wizard on a virtual one with: $hint" >&2
    exit 1
fi
exec build/app/mdx-wizard "$@"
