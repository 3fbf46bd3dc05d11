# Sourced by scripts/run and scripts/screenshots.
# build_targets <build> <target>... builds them, showing the build's output
# only when it fails.
build_targets() {
  local build=$1 output
  shift
  if ! output=$(cmake --build "$build" --target "$@" 2>&1); then
    echo "$output" >&2
    exit 1
  fi
}

# start_demo_server <build> starts the demo server of that build on a free
# loopback port, sets demo_url to its base URL, and stops the server when the
# script exits.
start_demo_server() {
  local address
  address=$(mktemp)
  "$1/tests/qtx_demo_server" >"$address" &
  demo_server=$!
  trap 'kill "$demo_server" 2>/dev/null; wait "$demo_server" 2>/dev/null' EXIT
  for _ in $(seq 100); do
    [ -s "$address" ] && break
    kill -0 "$demo_server" 2>/dev/null || break
    sleep 0.1
  done
  demo_url=$(head -n 1 "$address")
  rm -f "$address"
  if [ -z "$demo_url" ]; then
    echo "${0##*/}: the demo server did not start" >&2
    exit 1
  fi
}
