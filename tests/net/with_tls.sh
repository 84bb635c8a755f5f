#!/usr/bin/env bash
# Runs one test command with two loopback TLS servers (Python's HTTP server
# over its ssl module, answering every GET with "kovun-tls-ok") whose
# certificates come from a test authority made here: one for the name
# "localhost", one for another name. The command sees KOVUN_TLS_CA (the
# authority's PEM file), KOVUN_TLS_PORT and KOVUN_TLS_WRONG_PORT. Nothing is
# added to the machine's trust store.
#
#   with_tls.sh COMMAND [ARGS...]
set -uo pipefail
work=$(mktemp -d "${TMPDIR:-/tmp}/kovun-tls.XXXXXX")
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

cd "$work" || exit 1
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=KovunTestCA \
  -keyout ca.key -out ca.pem >/dev/null 2>&1 || { echo "with_tls.sh: openssl failed" >&2; exit 1; }
for leaf in good:DNS:localhost wrong:DNS:wrong.example; do
  name=${leaf%%:*}
  printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' \
    "${leaf#*:}" > "$name.ext"
  openssl req -newkey rsa:2048 -nodes -subj "/CN=$name" -keyout "$name.key" -out "$name.csr" \
    >/dev/null 2>&1 &&
    openssl x509 -req -in "$name.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
      -extfile "$name.ext" -out "$name.pem" >/dev/null 2>&1 ||
    { echo "with_tls.sh: openssl failed" >&2; exit 1; }
done
cd - >/dev/null || exit 1

listening() { (exec 3<> "/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
start_server() {  # name -> port on stdout
  local port
  for _ in $(seq 20); do
    port=$((20000 + RANDOM % 40000))
    listening "$port" && continue
    python3 - "$port" "$work/$1.pem" "$work/$1.key" < /dev/null > "$work/$1.log" 2>&1 <<'PY' &
import http.server, ssl, sys
class Ok(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = b"kovun-tls-ok"
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
server = http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Ok)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[2], sys.argv[3])
server.socket = context.wrap_socket(server.socket, server_side=True)
server.serve_forever()
PY
    echo "$! $port"
    return 0
  done
  return 1
}
read -r good_pid good_port < <(start_server good) || exit 1
pids+=("$good_pid")
read -r wrong_pid wrong_port < <(start_server wrong) || exit 1
pids+=("$wrong_pid")
for _ in $(seq 50); do
  listening "$good_port" && listening "$wrong_port" && break
  sleep 0.1
done

export KOVUN_TLS_CA=$work/ca.pem KOVUN_TLS_PORT=$good_port KOVUN_TLS_WRONG_PORT=$wrong_port
"$@"
