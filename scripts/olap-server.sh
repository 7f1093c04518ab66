#!/usr/bin/env bash
# Starts and stops the OLAP test server (Mondrian's XML for Analysis servlet from Debian's
# packages; its launcher is scripts/olap-server/) on 127.0.0.1.
#
#   scripts/olap-server.sh start [STATE_DIR]   compile the launcher, start, wait until ready;
#                                              prints the connection string for the wizard
#   scripts/olap-server.sh stop  [STATE_DIR]   stop it (TERM, then KILL); safe to repeat
#   scripts/olap-server.sh status [STATE_DIR]
#
# STATE_DIR defaults to $OLAP_SERVER_STATE_DIR, else /tmp/mdx-wizard-olap-server (so that a
# person can start and stop it without naming one). After a successful start it holds:
#   url       http://127.0.0.1:PORT/xmla
#   secure-url, user, password   the same catalog behind HTTP Basic authentication
#   port, pid, server.log, datasources.xml, classes/, tmp/
# Environment: OLAP_SERVER_READY_TIMEOUT (seconds, default 60), OLAP_SERVER_PORT (default 0 =
# any free port), JAVA_HOME (optional),
#   OLAP_SERVER_SCHEMA  the schema file served as the catalog OlapTest (default: the tests' one;
#                       bench/bigcube.sh writes big ones for the benchmarks)
#   OLAP_SERVER_OWNER   pid whose end stops the server (default: this script's parent, e.g. ctest,
#                       so a run that never reaches its stop step still takes the server along)
#   OLAP_SERVER_LIFETIME  seconds after which the server exits anyway (default 3600; 0: no limit)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
launcher_src="$here/olap-server/OlapTestServer.java"
sql="$root/tests/data/xmla/olaptest.sql"
schema="${OLAP_SERVER_SCHEMA:-$root/tests/data/xmla/olaptest-schema.xml}"
jar_dir=/usr/share/java
jars=(mondrian olap4j eigenbase-xom eigenbase-resgen eigenbase-properties
      commons-dbcp commons-pool commons-math commons-vfs2 commons-io commons-logging
      commons-collections3 hsqldb
      jetty9-server jetty9-servlet jetty9-security jetty9-http jetty9-io jetty9-util
      servlet-api slf4j-api log4j-over-slf4j slf4j-simple)
packages="libmondrian-java libolap4j-java libjetty9-java libservlet-api-java libhsqldb-java
libslf4j-java libcommons-collections3-java default-jre-headless openjdk-17-jdk-headless"

die() { echo "olap-server: $*" >&2; exit 1; }

state_dir() {
    echo "${1:-${OLAP_SERVER_STATE_DIR:-/tmp/mdx-wizard-olap-server}}"
}

tool() {
    if [[ -n "${JAVA_HOME:-}" && -x "$JAVA_HOME/bin/$1" ]]; then echo "$JAVA_HOME/bin/$1"
    elif command -v "$1" >/dev/null; then command -v "$1"
    else die "$1 not found; install: $packages"
    fi
}

classpath() {
    local cp="" jar
    for jar in "${jars[@]}"; do
        [[ -f "$jar_dir/$jar.jar" ]] || die "missing $jar_dir/$jar.jar; install: $packages"
        cp+="$jar_dir/$jar.jar:"
    done
    echo "${cp%:}"
}

# A process is ours only if it is still the launcher; a recycled pid is left alone.
is_ours() {
    local pid="$1"
    [[ -n "$pid" && -r "/proc/$pid/cmdline" ]] && tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q OlapTestServer
}

discover_cubes() {
    curl --silent --show-error --max-time 20 --noproxy '*' \
        -H 'Content-Type: text/xml; charset=utf-8' \
        -H 'SOAPAction: "urn:schemas-microsoft-com:xml-analysis:Discover"' \
        --data-binary @- "$1" <<'EOF'
<?xml version="1.0" encoding="utf-8"?>
<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/">
 <soap:Body>
  <Discover xmlns="urn:schemas-microsoft-com:xml-analysis">
   <RequestType>MDSCHEMA_CUBES</RequestType>
   <Restrictions><RestrictionList/></Restrictions>
   <Properties><PropertyList><Format>Tabular</Format></PropertyList></Properties>
  </Discover>
 </soap:Body>
</soap:Envelope>
EOF
}

stop() {
    local dir pid i
    dir="$(state_dir "${1:-}")"
    pid="$(cat "$dir/pid" 2>/dev/null || true)"
    if is_ours "$pid"; then
        kill -TERM "$pid" 2>/dev/null || true
        for ((i = 0; i < 100; i++)); do
            is_ours "$pid" || break
            sleep 0.1
        done
        if is_ours "$pid"; then
            echo "olap-server: pid $pid ignored TERM for 10 s; killing it" >&2
            kill -KILL "$pid" 2>/dev/null || true
            for ((i = 0; i < 50; i++)); do is_ours "$pid" || break; sleep 0.1; done
        fi
        echo "olap-server: stopped pid $pid"
    else
        echo "olap-server: not running"
    fi
    rm -f "$dir/pid" "$dir/port" "$dir/url" "$dir/secure-url"
}

start() {
    local dir java javac cp pid port url deadline started
    dir="$(state_dir "${1:-}")"
    mkdir -p "$dir"
    dir="$(cd "$dir" && pwd)"
    if is_ours "$(cat "$dir/pid" 2>/dev/null || true)"; then
        echo "olap-server: already running, stopping it first"
        stop "$dir"
    fi
    rm -f "$dir/pid" "$dir/port" "$dir/url" "$dir/secure-url"
    command -v curl >/dev/null || die "curl not found"
    java="$(tool java)"
    javac="$(tool javac)"
    cp="$(classpath)"

    mkdir -p "$dir/classes" "$dir/tmp"
    if [[ ! -f "$dir/classes/OlapTestServer.class" || "$launcher_src" -nt "$dir/classes/OlapTestServer.class" ]]; then
        "$javac" -nowarn -d "$dir/classes" -cp "$cp" "$launcher_src" || die "could not compile the launcher"
    fi

    echo olaptest >"$dir/user"
    (umask 077; head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n' >"$dir/password")

    started=$(date +%s%N)
    # Its own session, stdio detached: ctest waits for every holder of its output pipe, and
    # a server that outlived the test must not keep ctest waiting.
    setsid "$java" -Xmx512m -Djava.io.tmpdir="$dir/tmp" \
        -Dorg.slf4j.simpleLogger.defaultLogLevel=warn \
        -cp "$dir/classes:$cp" OlapTestServer \
        --port "${OLAP_SERVER_PORT:-0}" --schema "$schema" --sql "$sql" --workdir "$dir" \
        --user "$(cat "$dir/user")" --password "$(cat "$dir/password")" \
        --owner "${OLAP_SERVER_OWNER:-$PPID}" --lifetime "${OLAP_SERVER_LIFETIME:-3600}" \
        </dev/null >"$dir/server.log" 2>&1 &
    pid=$!
    echo "$pid" >"$dir/pid"

    deadline=$(($(date +%s) + ${OLAP_SERVER_READY_TIMEOUT:-60}))
    while [[ ! -s "$dir/port" ]]; do
        if ! kill -0 "$pid" 2>/dev/null; then
            tail -n 30 "$dir/server.log" >&2
            rm -f "$dir/pid"
            die "the server exited during start (log: $dir/server.log)"
        fi
        (($(date +%s) < deadline)) || { stop "$dir"; die "the server did not listen in time"; }
        sleep 0.2
    done
    port="$(cat "$dir/port")"
    url="http://127.0.0.1:$port/xmla"

    # Listening is not ready: the catalog loads on the first request, and a missing jar
    # shows only as a fault. Ready means a cube list came back.
    until discover_cubes "$url" 2>/dev/null | grep -q '<CUBE_NAME>'; do
        if ! kill -0 "$pid" 2>/dev/null; then
            tail -n 30 "$dir/server.log" >&2
            rm -f "$dir/pid"
            die "the server exited during start (log: $dir/server.log)"
        fi
        if (($(date +%s) >= deadline)); then
            echo "olap-server: last answer:" >&2
            discover_cubes "$url" 2>&1 | head -c 2000 >&2 || true
            stop "$dir"
            die "no cube list within ${OLAP_SERVER_READY_TIMEOUT:-60} s"
        fi
        sleep 0.5
    done
    echo "$url" >"$dir/url"
    echo "http://127.0.0.1:$port/xmla-secure" >"$dir/secure-url"
    echo "olap-server: ready at $url (pid $pid, $((($(date +%s%N) - started) / 1000000)) ms)"
    # What a person needs next; the tests read the state directory instead.
    local stop_command="bash $root/scripts/olap-server.sh stop"
    [[ -n "${1:-}" || -n "${OLAP_SERVER_STATE_DIR:-}" ]] && stop_command+=" $dir"
    cat <<EOF
Connection string to paste into the wizard (then press Connect, lay out a query, press F9):
  provider=msolap;data source=$url;initial catalog=OlapTest
Stop it with: $stop_command
It also stops when the process that started it ends (pid ${OLAP_SERVER_OWNER:-$PPID}) and after ${OLAP_SERVER_LIFETIME:-3600} s.
EOF
}

status() {
    local dir
    dir="$(state_dir "${1:-}")"
    if is_ours "$(cat "$dir/pid" 2>/dev/null || true)"; then
        echo "running: $(cat "$dir/url" 2>/dev/null || echo starting)"
    else
        echo "not running"
        return 1
    fi
}

case "${1:-}" in
start) start "${2:-}" ;;
stop) stop "${2:-}" ;;
status) status "${2:-}" ;;
*) echo "usage: $0 start|stop|status [STATE_DIR]" >&2; exit 2 ;;
esac
