#!/usr/bin/env bash
# Installs what is missing, then builds the Debian packages mdx-wizard and mdx-wizard-dev
# into build-package/packages/ and checks them: lintian finds no error, the desktop entry
# and AppStream metadata they carry are valid, and the program they carry runs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --package
dir=build-package
# Built as Debian builds its packages: hardened, in Debian's directories (/usr and the
# multiarch library directory, chosen when configuring).
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
export CXXFLAGS="$CPPFLAGS $CXXFLAGS"
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DMDX_BUILD_TESTS=OFF -DMDX_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)"
rm -rf "$dir/packages"
(cd "$dir" && cpack >/dev/null)
debs=("$dir"/packages/*.deb)
printf 'built %s\n' "${debs[@]}"

# Errors and warnings fail. Informational tags (lintian -I) are not checked: the one left is
# the .comment section that CPack's strip keeps in the binaries.
lintian --fail-on error,warning --tag-display-limit 0 "${debs[@]}"

contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
dpkg-deb -x "$dir"/packages/mdx-wizard_*.deb "$contents"
desktop-file-validate "$contents"/usr/share/applications/*.desktop
# No network here: the screenshot and home page addresses are not fetched.
appstreamcli validate --no-net "$contents"/usr/share/metainfo/*.metainfo.xml
"$contents"/usr/bin/mdx-wizard --version
