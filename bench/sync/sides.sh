# The two (or three) sides of bench/sync, sourced by run: each function does
# one scan or one upload of $WORK/data to the server started for PROTOCOL.
# Set before use: CLI, WORK, PROTOCOL, SERVER_PORT, SITE (the folder on the
# server that holds each side's copy: "" for FTP, whose root is the served
# folder, $WORK/root for SFTP, which sees the real file system) and, for
# SFTP, HOST_FINGERPRINT.

ours() {
  local verb=$1 trust=()
  case $PROTOCOL in
    ftps | ftps-implicit) trust=(--ca-file "$WORK/tls/ca.pem") ;;
    sftp) trust=(--key "$WORK/ssh/client_key" --accept-fingerprint "$HOST_FINGERPRINT") ;;
  esac
  local user=bench
  [[ $PROTOCOL == sftp ]] && user=root
  # HOME: our trust files (known hosts, accepted certificates) stay in WORK.
  HOME=$WORK/home KESTROVA_FTP_PASSWORD=bench "$CLI" "$verb" --protocol "$PROTOCOL" --host 127.0.0.1 \
    --port "$SERVER_PORT" --user "$user" "${trust[@]}" --root "$SITE/ours" --data "$WORK/data"
}
ours_scan() { ours scan; }
ours_upload() { ours upload; }

# lftp's reverse mirror: only newer files, no permission changes; active
# mode on FTP like ours; TLS on control and data for FTPS with our CA.
lftp_mirror() {
  local settings="set net:max-retries 1; set cmd:fail-exit true;" url login=(-u bench,bench)
  case $PROTOCOL in
    ftp)
      settings+=" set ftp:passive-mode off; set ftp:ssl-allow false;"
      url=ftp://127.0.0.1:$SERVER_PORT ;;
    ftps)
      settings+=" set ftp:passive-mode off; set ftp:ssl-force true; set ftp:ssl-protect-data true;"
      settings+=" set ssl:ca-file $WORK/tls/ca.pem;"
      url=ftp://127.0.0.1:$SERVER_PORT ;;
    ftps-implicit)
      settings+=" set ftp:passive-mode off; set ftp:ssl-protect-data true; set ssl:ca-file $WORK/tls/ca.pem;"
      url=ftps://127.0.0.1:$SERVER_PORT ;;
    sftp)
      settings+=" set sftp:connect-program 'ssh -a -x -i $WORK/ssh/client_key -o UserKnownHostsFile=$WORK/ssh/known_hosts -o StrictHostKeyChecking=yes -o BatchMode=yes';"
      url=sftp://127.0.0.1:$SERVER_PORT
      login=(-u root,) ;;
  esac
  lftp "${login[@]}" -e "$settings mirror -R --only-newer --no-perms $* $WORK/data $SITE/lftp; quit" "$url"
}
lftp_scan() { lftp_mirror --dry-run; }
lftp_upload() { lftp_mirror; }

# OpenSSH's sftp in batch mode, SFTP only: a scan lists each folder (a
# missing one is no error: "-"), an upload puts each folder whole.
sftpb() {
  local batch=$WORK/sftp.batch folder
  : >"$batch"
  if [[ $1 == scan ]]; then
    echo "-ls -l $SITE/sftpb" >>"$batch"
    for folder in "$WORK"/data/*/; do echo "-ls -l $SITE/sftpb/$(basename "$folder")" >>"$batch"; done
  else
    echo "-mkdir $SITE/sftpb" >>"$batch"
    for folder in "$WORK"/data/*/; do echo "put -r $folder $SITE/sftpb/$(basename "$folder")" >>"$batch"; done
  fi
  sftp -b "$batch" -i "$WORK/ssh/client_key" -P "$SERVER_PORT" -o UserKnownHostsFile="$WORK/ssh/known_hosts" \
    -o StrictHostKeyChecking=yes -o BatchMode=yes root@127.0.0.1
}
sftpb_scan() { sftpb scan; }
sftpb_upload() { sftpb upload; }
