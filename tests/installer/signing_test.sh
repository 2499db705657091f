#!/usr/bin/env bash
# Signing: a package built with a throwaway self-signed certificate (made here with openssl)
# carries Authenticode signatures on itself and on every program inside it that osslsigncode
# accepts; the unsigned package of the build has none; a wrong password fails the build.
#   signing_test.sh SOURCE_DIR BUILD_DIR VERSION
set -u
source_dir=$1 build=$2 version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
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

build_package() {  # build_package OUT.msi PASSWORD
  ZQ_SIGN_PFX="$work/sign.pfx" ZQ_SIGN_PASSWORD=$2 \
    bash "$source_dir/installer/make-package.sh" --version "$version" \
    --programs "$build/bin" --helper "$build/installer/zqsetup.dll" \
    --icon "$source_dir/sensorctl/resources/icons/sensorctl.ico" --out "$1"
}
verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1"; }

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
refuse "no password is left in the staging folder" grep -rqF "$password" "$work/signed.stage"

echo "$passes passed, $failures failed"
[ "$failures" = 0 ]
