#!/usr/bin/env bash
# Starts and stops the real peers of the HTTP client tests, all on 127.0.0.1:
#   servers.sh start WORK [BIG_MB]   servers.sh stop WORK
#   servers.sh newwork REGISTRY NAME   servers.sh registered REGISTRY
# WORK is a fresh folder for configs, logs, pids and the document root; the
# ports chosen are written to WORK/ports.env (NAME=port lines) and WORK/ready
# appears once every server answers. BIG_MB makes www/big.bin that many MB
# long (default 3). Every server runs with WORK as its working folder.
#
# squid drops to its own user and nginx's workers may too, so WORK must be
# reachable by every user: "newwork" makes it under /tmp (never inside the
# build, which may sit in a private home folder) and leaves a link to it in
# REGISTRY, so that script/test and script/bench find any server left behind
# there; "registered" prints the folders a registry names.
set -u
# Also when started from inside Wine ("start /unix"), whose PATH is no Unix one.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
cmd=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
py=/usr/bin/python3

# Each server leads its own process group (setsid): the whole group is
# signalled, so nginx's workers and squid's helpers go too.
stop() {
  [ -f "$work/pids" ] || return 0
  while read -r pid; do kill -TERM -- "-$pid" 2>/dev/null || kill -TERM "$pid" 2>/dev/null; done <"$work/pids"
  for _ in $(seq 50); do
    alive=0
    while read -r pid; do { kill -0 -- "-$pid" || kill -0 "$pid"; } 2>/dev/null && alive=1; done <"$work/pids"
    [ $alive = 0 ] && break
    sleep 0.1
  done
  while read -r pid; do kill -KILL -- "-$pid" 2>/dev/null; kill -KILL "$pid" 2>/dev/null; done <"$work/pids"
  rm -f "$work/pids" "$work/names" "$work/ready"
}

# Starts a server in the background from inside WORK, its output to a log,
# and notes its pid and name.
launch() {
  local name=$1; shift
  (cd "$work" && exec setsid "$@") </dev/null >"$work/$name.out" 2>&1 &
  echo $! >>"$work/pids"
  echo "$! $name" >>"$work/names"
}

# What a server said about itself: its output and the log it keeps.
own_log() {
  local name=$1 f
  for f in "$work/$name.out" "$work/$name-cache.log" "$work/$name-error.log"; do
    [ -s "$f" ] || continue
    echo "--- $f (last lines):"
    tail -n 15 "$f"
  done
}

fill() {  # template -> config with @WORK@ and @PORT@ replaced
  sed -e "s#@WORK@#$work#g" -e "s#@PORT@#$2#g" "$here/$1" >"$work/${1%.in}"
}

case "$cmd" in
stop) stop; exit 0 ;;
newwork)
  registry=$work name=${3:-peers}
  made=$(mktemp -d "/tmp/brenix-$name.XXXXXX") || exit 1
  chmod 755 "$made"
  mkdir -p "$registry" && ln -sfn "$made" "$registry/${made##*/}"
  echo "$made"
  exit 0 ;;
registered)
  for link in "$work"/brenix-*; do
    [ -L "$link" ] && readlink "$link"
  done
  exit 0 ;;
start)
  big=${3:-3}
  mkdir -p "$work" && chmod 777 "$work"
  : >"$work/pids"
  : >"$work/names"
  read -r p_nginx p_scripted p_ntlmproxy p_sqbasic p_sqntlm p_socks < <($py - <<'PY'
import socket
socks = []
for _ in range(6):
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    socks.append(s)
print(" ".join(str(s.getsockname()[1]) for s in socks))
PY
)
  # The document root: known small files and a large one of a known pattern.
  mkdir -p "$work/www/private" "$work/www/dir"
  printf 'hello from nginx\n' >"$work/www/small.txt"
  printf '<html><body>index</body></html>\n' >"$work/www/dir/index.html"
  printf '<html><body>root</body></html>\n' >"$work/www/index.html"
  printf 'the secret\n' >"$work/www/private/secret.txt"
  # A program folder whose temporary downloads lie on a full disk: Linux's
  # /dev/full refuses every write.
  mkdir -p "$work/fulldisk/Data"
  ln -sfn /dev/full "$work/fulldisk/Data/psummary.tmp"
  ln -sfn /dev/full "$work/fulldisk/Data/upload.tmp"
  $py - "$work/www/big.bin" "$big" <<'PY'
import sys
size = int(float(sys.argv[2]) * 1024 * 1024)
block = bytes((i * 7 + (i >> 8)) % 251 for i in range(65536))
with open(sys.argv[1], "wb") as f:
    while size > 0:
        f.write(block[:min(size, len(block))])
        size -= len(block)
PY
  printf 'user:{PLAIN}pass\n' >"$work/nginx.htpasswd"
  htpasswd -bc "$work/squid.htpasswd" puser ppass >/dev/null 2>&1
  chmod -R a+rwX "$work"

  fill nginx.conf.in "$p_nginx"
  fill squid-basic.conf.in "$p_sqbasic"
  fill squid-ntlm.conf.in "$p_sqntlm"
  launch nginx nginx -c "$work/nginx.conf" -e "$work/nginx-error.log"
  launch scripted $py "$here/scripted_http.py" "$p_scripted"
  launch ntlmproxy $py "$here/scripted_http.py" "$p_ntlmproxy" --ntlm-proxy
  launch squid-basic squid -N -f "$work/squid-basic.conf"
  launch squid-ntlm squid -N -f "$work/squid-ntlm.conf"
  launch socks microsocks -i 127.0.0.1 -p "$p_socks"

  cat >"$work/ports.env" <<EOT
NGINX=$p_nginx
SCRIPTED=$p_scripted
NTLMPROXY=$p_ntlmproxy
SQUID_BASIC=$p_sqbasic
SQUID_NTLM=$p_sqntlm
SOCKS=$p_socks
EOT
  # Ready when every port answers. A server that ends before its port opens,
  # or a port that stays shut, is reported with what that server wrote.
  pid_of() { awk -v n="$1" '$2 == n { print $1 }' "$work/names"; }
  if ! failed=$($py - "$work" \
        "nginx:$p_nginx:$(pid_of nginx)" "scripted:$p_scripted:$(pid_of scripted)" \
        "ntlmproxy:$p_ntlmproxy:$(pid_of ntlmproxy)" "squid-basic:$p_sqbasic:$(pid_of squid-basic)" \
        "squid-ntlm:$p_sqntlm:$(pid_of squid-ntlm)" "socks:$p_socks:$(pid_of socks)" <<'PY'
import socket, sys, time

def running(pid):
    try:
        with open("/proc/%s/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False

deadline = time.time() + 20
for peer in sys.argv[2:]:
    name, port, pid = peer.split(":")
    while True:
        try:
            socket.create_connection(("127.0.0.1", int(port)), timeout=1).close()
            break
        except OSError:
            if not running(pid):
                print(name)
                print("servers.sh: %s ended before its port %s opened" % (name, port), file=sys.stderr)
                sys.exit(1)
            if time.time() > deadline:
                print(name)
                print("servers.sh: %s: port %s did not open within 20 s" % (name, port), file=sys.stderr)
                sys.exit(1)
            time.sleep(0.1)
PY
  ); then
    own_log "${failed:-nginx}" >&2
    stop
    exit 1
  fi
  : >"$work/ready"
  exit 0 ;;
*) echo "usage: servers.sh start|stop WORK [BIG_MB] | newwork REGISTRY NAME | registered REGISTRY"; exit 2 ;;
esac
