#!/usr/bin/env bash
# The floor of loading a cube over XML for Analysis: the requests catalog-probe sends for the
# catalog list, the cube list and one cube's schema, replayed by curl, every answer read to its
# last byte and thrown away. The schema's four requests go in parallel, as the client sends
# them. Prints each step's time (the slowest transfer of the step, as curl counts it, so that
# starting curl is not counted) and the total, the best of RUNS runs (default 5).
#
#   bench/catalogfloor.sh http://127.0.0.1:PORT/xmla [CATALOG] [CUBE] [RUNS]
set -euo pipefail
[[ $# -ge 1 ]] || { echo "usage: $0 URL [CATALOG] [CUBE] [RUNS]" >&2; exit 2; }
url="$1"
catalog="${2:-OlapTest}"
cube="${3:-Big}"
runs="${4:-5}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Restrictions and properties as XmlaClient::discoverBody writes them.
body() { # request-type restrictions properties
    printf '<?xml version="1.0" encoding="UTF-8"?><soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body><Discover xmlns="urn:schemas-microsoft-com:xml-analysis"><RequestType>%s</RequestType><Restrictions><RestrictionList>%s</RestrictionList></Restrictions><Properties><PropertyList>%s</PropertyList></Properties></Discover></soap:Body></soap:Envelope>' "$1" "$2" "$3"
}
tabular="<Catalog>$catalog</Catalog><Format>Tabular</Format>"
inCube="<CATALOG_NAME>$catalog</CATALOG_NAME><CUBE_NAME>$cube</CUBE_NAME>"
body DBSCHEMA_CATALOGS "" "" >"$work/catalogs"
body MDSCHEMA_CUBES "<CATALOG_NAME>$catalog</CATALOG_NAME>" "$tabular" >"$work/cubes"
body MDSCHEMA_DIMENSIONS "$inCube" "$tabular" >"$work/dimensions"
body MDSCHEMA_HIERARCHIES "$inCube" "$tabular" >"$work/hierarchies"
body MDSCHEMA_LEVELS "$inCube" "$tabular" >"$work/levels"
body MDSCHEMA_MEMBERS "$inCube<DIMENSION_UNIQUE_NAME>[Measures]</DIMENSION_UNIQUE_NAME>" \
    "$tabular" >"$work/members"

# One step: its requests at once; prints the slowest transfer's seconds.
step() {
    local args=() name
    for name in "$@"; do
        args+=(--next -s -o /dev/null -w '%{time_total} %{size_download}\n'
               -H 'Content-Type: text/xml; charset=utf-8'
               -H 'SOAPAction: "urn:schemas-microsoft-com:xml-analysis:Discover"'
               --data-binary "@$work/$name" "$url")
    done
    curl --parallel --parallel-immediate --no-progress-meter --noproxy '*' "${args[@]:1}" | sort -n | tail -1
}

best=""
for ((run = 1; run <= runs; ++run)); do
    read -r catalogs _ < <(step catalogs)
    read -r cubes _ < <(step cubes)
    read -r schema bytes < <(step dimensions hierarchies levels members)
    total=$(awk -v a="$catalogs" -v b="$cubes" -v c="$schema" 'BEGIN { printf "%.2f", (a + b + c) * 1000 }')
    printf 'run %d: catalogs %.2f ms, cubes %.2f ms, schema %.2f ms, total %s ms\n' "$run" \
        "$(awk -v s="$catalogs" 'BEGIN { print s * 1000 }')" \
        "$(awk -v s="$cubes" 'BEGIN { print s * 1000 }')" \
        "$(awk -v s="$schema" 'BEGIN { print s * 1000 }')" "$total"
    if [[ -z "$best" ]] || awk -v a="$total" -v b="$best" 'BEGIN { exit !(a < b) }'; then best="$total"; fi
done
echo "floor: $best ms (best of $runs)"
