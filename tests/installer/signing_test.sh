#!/usr/bin/env bash
# Signing: a package built with a throwaway self-signed certificate (made here with openssl)
# carries Authenticode signatures on itself and on every program inside it that osslsigncode
# accepts; the unsigned package of the build has none; a wrong password fails the build. With
# ZQ_SIGN_TIMESTAMP_URL the signatures carry an RFC 3161 time stamp from a time-stamping
# server that this test runs on 127.0.0.1 (openssl ts answering behind a small HTTP server).
#   signing_test.sh SOURCE_DIR BUILD_DIR VERSION
set -u
source_dir=$1 build=$2 version=$3
work=$(mktemp -d)
tsa_pid=""
trap '[ -z "$tsa_pid" ] || kill "$tsa_pid" 2>/dev/null; rm -rf "$work"' EXIT
failures=0 passes=0
check() {  # check DESCRIPTION COMMAND...: the command must succeed
  local what=$1; shift
  if "$@" >"$work/out.txt" 2>&1; then
    passes=$((passes + 1)); echo "ok: $what"
  else
    failures=$((failures + 1)); echo "FAILED: $what"; cat "$work/out.txt"
  fi
}
refuse() {  # refuse DESCRIPTION COMMAND...: the command must fail
  local what=$1; shift
  if "$@" >"$work/out.txt" 2>&1; then
    failures=$((failures + 1)); echo "FAILED: $what"; cat "$work/out.txt"
  else
    passes=$((passes + 1)); echo "ok: $what"
  fi
}

password="test-$RANDOM-$RANDOM"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" \
  -days 2 -subj "/CN=ZQ Proximity Sensor test signing" \
  -addext "extendedKeyUsage=codeSigning" >/dev/null 2>&1 || { echo "openssl req failed"; exit 1; }
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/sign.pfx" \
  -passout "pass:$password" || { echo "openssl pkcs12 failed"; exit 1; }

# The time-stamping authority: its own certificate, and openssl ts answering each request that
# a small HTTP server on a free loopback port receives.
mkdir -p "$work/tsa"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/tsa/key.pem" -out "$work/tsa/cert.pem" \
  -days 2 -subj "/CN=ZQ test time stamps" -addext "extendedKeyUsage=critical,timeStamping" \
  >/dev/null 2>&1 || { echo "openssl req (TSA) failed"; exit 1; }
echo 01 >"$work/tsa/serial"
printf '%s\n' '[ tsa ]' 'default_tsa = zq_tsa' '[ zq_tsa ]' "serial = $work/tsa/serial" \
  "signer_cert = $work/tsa/cert.pem" "signer_key = $work/tsa/key.pem" 'signer_digest = sha256' \
  'default_policy = 1.2.3.4.1' 'digests = sha256, sha384, sha512' 'ess_cert_id_alg = sha256' \
  >"$work/tsa/tsa.cnf"
python3 - "$work/tsa" <<'PYTHON' &
import http.server, os, subprocess, sys
tsa = sys.argv[1]
class Reply(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        with open(tsa + "/query.tsq", "wb") as f:
            f.write(self.rfile.read(int(self.headers.get("Content-Length", 0))))
        made = subprocess.run(["openssl", "ts", "-reply", "-config", tsa + "/tsa.cnf",
                               "-queryfile", tsa + "/query.tsq", "-out", tsa + "/reply.tsr"],
                              capture_output=True)
        if made.returncode != 0:
            self.send_error(500)
            return
        body = open(tsa + "/reply.tsr", "rb").read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", 0), Reply)
with open(tsa + "/port.tmp", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(tsa + "/port.tmp", tsa + "/port")
server.serve_forever()
PYTHON
tsa_pid=$!
# Ready once it names its port (or gone).
while [ ! -f "$work/tsa/port" ] && kill -0 "$tsa_pid" 2>/dev/null; do sleep 0.05; done
[ -f "$work/tsa/port" ] || { echo "the time-stamping server did not start"; exit 1; }
tsa_url="http://127.0.0.1:$(cat "$work/tsa/port")/"
# Loopback only: no proxy may stand between the signer and the server.
export no_proxy=127.0.0.1 NO_PROXY=127.0.0.1

build_package() {  # build_package OUT.msi PASSWORD [TIMESTAMP_URL]
  ZQ_SIGN_PFX="$work/sign.pfx" ZQ_SIGN_PASSWORD=$2 ZQ_SIGN_TIMESTAMP_URL=${3:-} \
    bash "$source_dir/installer/make-package.sh" --version "$version" \
    --programs "$build/bin" --helper "$build/installer/zqsetup.dll" \
    --icon "$source_dir/sensorctl/resources/icons/sensorctl.ico" --out "$1"
}
verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1"; }
# The signature verifies and carries a time stamp of the test's own authority, which verifies.
verify_timestamp() {
  osslsigncode verify -CAfile "$work/cert.pem" -TSA-CAfile "$work/tsa/cert.pem" -in "$1" \
    >"$work/stamp.txt" 2>&1 &&
    grep -q "Issuer: /CN=ZQ test time stamps" "$work/stamp.txt" &&
    grep -q "^Timestamp Server Signature verification: ok" "$work/stamp.txt"
}

check "signed package builds" build_package "$work/signed.msi" "$password"
check "package signature verifies" verify "$work/signed.msi"
mkdir -p "$work/extracted"
(cd "$work/extracted" && msiextract "$work/signed.msi" >/dev/null)
for name in SENSORCTL.exe APPWATCH.exe ICONREG.exe; do
  file=$(find "$work/extracted" -name "$name" | head -1)
  check "$name inside the package is signed" verify "$file"
done
check "custom-action DLL is signed" verify "$work/signed.stage/zqsetup.dll"
refuse "the build's unsigned package has no signature" verify "$build/installer/ZQProximitySensor-$version.msi"
refuse "a wrong password fails the build" build_package "$work/wrong.msi" "not-$password"

check "time-stamped package builds" build_package "$work/stamped.msi" "$password" "$tsa_url"
check "package time stamp verifies" verify_timestamp "$work/stamped.msi"
check "custom-action DLL time stamp verifies" verify_timestamp "$work/stamped.stage/zqsetup.dll"
refuse "a signature made without the server has no time stamp" verify_timestamp "$work/signed.msi"
kill "$tsa_pid"; wait "$tsa_pid" 2>/dev/null; tsa_pid=""
refuse "a time-stamping server that does not answer fails the build" \
  build_package "$work/unstamped.msi" "$password" "$tsa_url"
refuse "no password is left in the staging folder" grep -rqF "$password" "$work/signed.stage"

echo "$passes passed, $failures failed"
[ "$failures" = 0 ]
