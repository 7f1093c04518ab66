#!/usr/bin/env bash
# Writes a schema of one cube "Big" with DIMENSIONS dimensions of LEVELS levels and MEASURES
# measures to stdout, for the catalog benchmarks over XML for Analysis:
#
#   bench/bigcube.sh 2000 10 2000 >/tmp/big.xml
#   OLAP_SERVER_SCHEMA=/tmp/big.xml scripts/olap-server.sh start
#
# Every level states its cardinality, so that the server answers metadata requests without
# asking its database; the tables it names need not exist.
set -euo pipefail
[[ $# -eq 3 ]] || { echo "usage: $0 DIMENSIONS LEVELS MEASURES" >&2; exit 2; }
awk -v dimensions="$1" -v levels="$2" -v measures="$3" 'BEGIN {
    print "<?xml version=\"1.0\"?>"
    print "<Schema name=\"Big\">"
    print "<Cube name=\"Big\" description=\"Generated\">"
    print "<Table name=\"big_fact\"/>"
    for (d = 0; d < dimensions; ++d) {
        printf "<Dimension name=\"Dimension %d\" foreignKey=\"d%d_id\">\n", d, d
        print "<Hierarchy hasAll=\"true\" primaryKey=\"id\">"
        printf "<Table name=\"dim_%d\"/>\n", d
        for (l = 0; l < levels; ++l)
            printf "<Level name=\"Level %d\" column=\"c%d\" uniqueMembers=\"false\" approxRowCount=\"%d\"/>\n", l, l, 10 * (l + 1)
        print "</Hierarchy>"
        print "</Dimension>"
    }
    for (m = 0; m < measures; ++m)
        printf "<Measure name=\"Measure %d\" column=\"m%d\" aggregator=\"sum\"/>\n", m, m
    print "</Cube>"
    print "</Schema>"
}'
