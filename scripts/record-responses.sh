#!/usr/bin/env bash
# Records real answers of the test server into tests/data/xmla/recorded/, for the response
# reader's tests that run without a server. The requests are shaped like the wizard's own.
#
#   scripts/record-responses.sh [STATE_DIR]
#
# Starts the server when STATE_DIR holds no running one, and stops it again in that case.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$root/tests/data/xmla/recorded"
state="${1:-${OLAP_SERVER_STATE_DIR:-$(mktemp -d)}}"
started_here=0
if ! "$root/scripts/olap-server.sh" status "$state" >/dev/null 2>&1; then
    "$root/scripts/olap-server.sh" start "$state"
    started_here=1
fi
cleanup() { ((started_here)) && "$root/scripts/olap-server.sh" stop "$state" >/dev/null; }
trap cleanup EXIT
url="$(cat "$state/url")"
mkdir -p "$out"

post() { # action body-file -> stdout
    curl --silent --show-error --fail --max-time 30 --noproxy '*' \
        -H 'Content-Type: text/xml; charset=utf-8' \
        -H "SOAPAction: \"urn:schemas-microsoft-com:xml-analysis:$1\"" \
        --data-binary @- "$url"
}

discover() { # file request-type restrictions properties
    post Discover >"$out/$1" <<EOF
<?xml version="1.0" encoding="utf-8"?>
<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body><Discover xmlns="urn:schemas-microsoft-com:xml-analysis"><RequestType>$2</RequestType><Restrictions><RestrictionList>$3</RestrictionList></Restrictions><Properties><PropertyList>$4<Format>Tabular</Format></PropertyList></Properties></Discover></soap:Body></soap:Envelope>
EOF
}

execute() { # file statement (already escaped for XML)
    post Execute >"$out/$1" <<EOF
<?xml version="1.0" encoding="utf-8"?>
<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body><Execute xmlns="urn:schemas-microsoft-com:xml-analysis"><Command><Statement>$2</Statement></Command><Properties><PropertyList><Catalog>OlapTest</Catalog><Format>Multidimensional</Format><AxisFormat>TupleFormat</AxisFormat></PropertyList></Properties></Execute></soap:Body></soap:Envelope>
EOF
}

catalog='<Catalog>OlapTest</Catalog>'
sales='<CATALOG_NAME>OlapTest</CATALOG_NAME><CUBE_NAME>Sales</CUBE_NAME>'
discover catalogs.xml DBSCHEMA_CATALOGS '' ''
discover cubes.xml MDSCHEMA_CUBES '<CATALOG_NAME>OlapTest</CATALOG_NAME>' "$catalog"
discover sales-dimensions.xml MDSCHEMA_DIMENSIONS "$sales" "$catalog"
discover sales-hierarchies.xml MDSCHEMA_HIERARCHIES "$sales" "$catalog"
discover sales-levels.xml MDSCHEMA_LEVELS "$sales" "$catalog"
discover sales-members.xml MDSCHEMA_MEMBERS "$sales<DIMENSION_UNIQUE_NAME>[Measures]</DIMENSION_UNIQUE_NAME>" "$catalog"
discover fault-unknown-catalog.xml MDSCHEMA_CUBES '<CATALOG_NAME>Nope</CATALOG_NAME>' '<Catalog>Nope</Catalog>'
execute execute-sales.xml 'select crossjoin({[Store].[Store Country].members},{[Time].[Year].members}) on rows, {[Measures].[Unit Sales],[Measures].[Profit]} on columns from Sales'
# A fault naming a member with an accented letter: faults come in ISO-8859-1.
execute fault-iso-8859-1.xml 'select {[Store].[Montréal]} on columns from Sales'
ls -l "$out"
