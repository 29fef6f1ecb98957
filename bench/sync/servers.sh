# Loopback servers for bench/sync, sourced by run. Each start_* function
# starts one server in the background on a free port and sets SERVER_PID and
# SERVER_PORT; stop_server ends it. Needs WORK (a scratch folder) set.
#
#   start_ftp_server MODE LOG   MODE: ftp, ftps or ftps-implicit; LOG: quiet
#                               (warnings only, the timed runs) or commands
#                               (every command logged, for counting them)
#   start_ssh_server LOG        sshd with its own host key and config letting
#                               root in with $WORK/ssh/client_key only; LOG
#                               as above (commands: every SFTP request logged)

free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

wait_for_port() {
  local port=$1
  for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/"$port") 2>/dev/null && return 0; sleep 0.1; done
  echo "bench: no server came up on port $port" >&2
  cat "$WORK"/server*.log >&2 2>/dev/null || true
  return 1
}

# A CA and a certificate it signed for 127.0.0.1, made once per bench run.
make_test_certificate() {
  local d=$WORK/tls
  [[ -f $d/server.pem ]] && return 0
  mkdir -p "$d"
  (
    cd "$d"
    openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj /CN=BenchCA
    openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj /CN=127.0.0.1
    echo "subjectAltName=IP:127.0.0.1" >ext.cnf
    openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile ext.cnf -out server.crt
    cat server.crt server.key >server.pem
  ) >"$WORK/openssl.log" 2>&1 || { cat "$WORK/openssl.log" >&2; return 1; }
}

# pyftpdlib over $WORK/root, user bench / bench. The module's command line
# cannot turn TLS on or logging down, so a few lines of Python do it.
start_ftp_server() {
  local mode=$1 log=$2 level=WARNING handler=FTPHandler implicit=False
  [[ $log == commands ]] && level=DEBUG
  [[ $mode != ftp ]] && handler=TLS_FTPHandler
  [[ $mode == ftps-implicit ]] && implicit=True
  [[ $mode != ftp ]] && make_test_certificate
  SERVER_PORT=$(free_port)
  cat >"$WORK/ftp_server.py" <<EOF
import logging
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer
logging.basicConfig(level=logging.$level)
auth = DummyAuthorizer()
auth.add_user('bench', 'bench', '$WORK/root', perm='elradfmwMT')
class Handler($handler):
    authorizer = auth
EOF
  if [[ $mode != ftp ]]; then
    cat >>"$WORK/ftp_server.py" <<EOF
    certfile = '$WORK/tls/server.pem'
    tls_control_required = True
    tls_data_required = True
    implicit = $implicit
    greeted = False
    # Implicit TLS: the handshake comes first, the greeting after it.
    def handle(self):
        if self.implicit: self.secure_connection(self.ssl_context)
        else: super().handle()
    def handle_ssl_established(self):
        if self.implicit and not self.greeted:
            self.greeted = True
            TLS_FTPHandler.handle(self)
EOF
  fi
  echo "FTPServer(('127.0.0.1', $SERVER_PORT), Handler).serve_forever()" >>"$WORK/ftp_server.py"
  /usr/bin/python3 "$WORK/ftp_server.py" >"$WORK/server.log" 2>&1 &
  SERVER_PID=$!
  wait_for_port "$SERVER_PORT"
}

start_ssh_server() {
  local log=$1 subsystem=internal-sftp
  # OpenSSH's sftp-server logs each request at DEBUG3 on its stderr when
  # asked to; a wrapper sends that to the log file.
  if [[ $log == commands ]]; then
    printf '#!/bin/sh\nexec /usr/lib/openssh/sftp-server -e -l DEBUG3 2>>%s\n' "$WORK/server.log" >"$WORK/sftp-logged"
    chmod +x "$WORK/sftp-logged"
    subsystem=$WORK/sftp-logged
  fi
  local d=$WORK/ssh
  if [[ ! -f $d/host_key ]]; then
    mkdir -p "$d"
    ssh-keygen -q -t ed25519 -N '' -f "$d/host_key"
    ssh-keygen -q -t ed25519 -N '' -f "$d/client_key"
    cp "$d/client_key.pub" "$d/authorized_keys"
    echo "[127.0.0.1]:PORT $(cut -d' ' -f1,2 "$d/host_key.pub")" >"$d/known_hosts.template"
    HOST_FINGERPRINT=$(ssh-keygen -lf "$d/host_key.pub" | awk '{print $2}')
  fi
  SERVER_PORT=$(free_port)
  sed "s/PORT/$SERVER_PORT/" "$d/known_hosts.template" >"$d/known_hosts"
  cat >"$d/sshd_config" <<EOF
Port $SERVER_PORT
ListenAddress 127.0.0.1
HostKey $d/host_key
PidFile none
UsePAM no
PasswordAuthentication no
PermitRootLogin prohibit-password
StrictModes no
AuthorizedKeysFile $d/authorized_keys
Subsystem sftp $subsystem
LogLevel ERROR
EOF
  mkdir -p /run/sshd
  /usr/sbin/sshd -D -E "$WORK/server.log" -f "$d/sshd_config" &
  SERVER_PID=$!
  wait_for_port "$SERVER_PORT"
}

stop_server() {
  if [[ -n ${SERVER_PID:-} ]]; then
    kill "$SERVER_PID" 2>/dev/null || true
    wait "$SERVER_PID" 2>/dev/null || true
  fi
  SERVER_PID=
}
