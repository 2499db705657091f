#!/usr/bin/env bash
# Builds the Windows Installer package of the utilities with wixl, signing what it ships when a
# code-signing certificate is given.
#
#   make-package.sh --version X.Y.Z --programs DIR --helper zqsetup.dll --icon FILE.ico
#                   --out FILE.msi [--work DIR]
#
#   --programs DIR  holds sensorctl.exe, appwatch.exe and iconreg.exe (any case); they are
#                   copied to the work folder under the names the package installs
#   --work DIR      staging folder (default: next to the output, <name>.stage)
#
# Signing: with ZQ_SIGN_PFX naming a PKCS#12 file (certificate and private key) and
# ZQ_SIGN_PASSWORD holding its password (may be empty), the three programs, the set-up DLL and
# the package itself are Authenticode-signed with osslsigncode (SHA-256). The password goes to
# osslsigncode through a private temporary file, never on a command line. Without ZQ_SIGN_PFX
# the package is built unsigned. With ZQ_SIGN_TIMESTAMP_URL naming an RFC 3161 time-stamping
# server as well, every signature is countersigned with its time, so that it stays valid after
# the certificate expires; a server that does not answer fails the build.
set -eu
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

die() { echo "make-package: $*" >&2; exit 1; }

version=""; programs=""; helper=""; icon=""; out=""; work=""
while [ $# -gt 0 ]; do
  # Every option takes a value, kept in the variable of its name.
  case "$1" in
    --version | --programs | --helper | --icon | --out | --work)
      [ $# -ge 2 ] || die "$1 needs a value"
      printf -v "${1#--}" '%s' "$2" ;;
    *) die "unknown argument $1" ;;
  esac
  shift 2
done
[ -n "$version" ] && [ -n "$programs" ] && [ -n "$helper" ] && [ -n "$icon" ] && [ -n "$out" ] ||
  die "usage: make-package.sh --version V --programs DIR --helper DLL --icon ICO --out MSI"
command -v wixl >/dev/null || die "wixl is missing (Debian package wixl; tools/install-deps.sh)"
[ -n "$work" ] || work="${out%.msi}.stage"

# Finds a file in a folder whatever the case of its name.
find_program() {
  local found
  found=$(find "$programs" -maxdepth 1 -type f -iname "$1" | head -1)
  [ -n "$found" ] || die "no $1 in $programs"
  echo "$found"
}

rm -rf "$work"
mkdir -p "$work/programs" "$(dirname "$out")"
for name in SENSORCTL.exe APPWATCH.exe ICONREG.exe; do
  cp "$(find_program "$name")" "$work/programs/$name"
done
cp "$helper" "$work/zqsetup.dll"
cp "$icon" "$work/ProductIcon.ico"
out="$(cd "$(dirname "$out")" && pwd)/$(basename "$out")"

timestamp=()
[ -z "${ZQ_SIGN_TIMESTAMP_URL:-}" ] || timestamp=(-ts "$ZQ_SIGN_TIMESTAMP_URL")
sign() {
  local file=$1 signed="$1.signed"
  rm -f "$signed"
  osslsigncode sign -pkcs12 "$ZQ_SIGN_PFX" -readpass "$passfile" -h sha256 \
    -n "ZQ Proximity Sensor" "${timestamp[@]}" -in "$file" -out "$signed" >"$work/sign.log" 2>&1 ||
    { cat "$work/sign.log" >&2; die "signing $file failed"; }
  mv "$signed" "$file"
}

passfile=""
if [ -n "${ZQ_SIGN_PFX:-}" ]; then
  command -v osslsigncode >/dev/null || die "osslsigncode is missing (tools/install-deps.sh)"
  [ -f "$ZQ_SIGN_PFX" ] || die "ZQ_SIGN_PFX names no file: $ZQ_SIGN_PFX"
  passfile=$(mktemp)
  trap 'rm -f "$passfile"' EXIT
  chmod 600 "$passfile"
  printf '%s' "${ZQ_SIGN_PASSWORD:-}" >"$passfile"
  for file in "$work"/programs/*.exe "$work/zqsetup.dll"; do
    sign "$file"
  done
fi

rm -f "$out"
# wixl looks files up relative to the folder it runs in (absolute source paths fail).
(cd "$work" && wixl --arch x86 -o "$out" \
  -D "Version=$version" -D "ProgramDir=programs" -D "HelperDll=zqsetup.dll" \
  -D "ProductIcon=ProductIcon.ico" "$here/ZQProximitySensor.wxs") >"$work/wixl.log" 2>&1 ||
  { cat "$work/wixl.log" >&2; die "wixl failed"; }

# wixl writes Execute="rollback" custom actions as immediate ones (it drops the in-script and
# rollback bits, 0x400 and 0x100, from the type). Those steps would then run at once while the
# script is being built. Set the bits in the CustomAction table, as Windows Installer defines
# a rollback custom action; and check that every action the source calls rollback is one.
rollback_actions=$(sed -n 's/.*CustomAction Id="\([A-Za-z]*\)".*/\1/p' "$here/ZQProximitySensor.wxs" |
                   grep 'Rollback$' || true)
msiinfo export "$out" CustomAction >"$work/CustomAction.wixl.idt"
action_type() { awk -F'\t' -v a="$1" '$1 == a { print $2 }' "$2"; }
for action in $rollback_actions; do
  type=$(action_type "$action" "$work/CustomAction.wixl.idt")
  [ -n "$type" ] || die "no custom action $action in the package"
  msibuild "$out" -q "UPDATE \`CustomAction\` SET \`Type\` = $((type | 1280)) WHERE \`Action\` = '$action'" ||
    die "could not mark $action as a rollback action"
done
msiinfo export "$out" CustomAction >"$work/CustomAction.idt"
for action in $rollback_actions; do
  type=$(action_type "$action" "$work/CustomAction.idt")
  [ -n "$type" ] && [ $((type & 1280)) = 1280 ] || die "$action is no rollback action (type $type)"
done

# wixl also drops IncludeMaximum="yes" from UpgradeVersion: the row that finds the products this
# one replaces must include its own version (msidbUpgradeAttributesVersionMaxInclusive, 0x200),
# or a rebuilt package of the same version would install beside the old one.
msiinfo export "$out" Upgrade >"$work/Upgrade.wixl.idt"
upgrade_attributes() { awk -F'\t' '{ sub(/\r$/, "") } $7 == "ZQ_OLDER_PRODUCT_FOUND" { print $5 }' "$1"; }
attributes=$(upgrade_attributes "$work/Upgrade.wixl.idt")
[ -n "$attributes" ] || die "no ZQ_OLDER_PRODUCT_FOUND row in the Upgrade table"
# (Attributes is part of the table's key, so the table is imported again with the bit set.)
mkdir -p "$work/upgrade"
awk -F'\t' -v OFS='\t' -v with_max=$((attributes | 512)) '{ sub(/\r$/, "") }
     NR > 3 && $7 == "ZQ_OLDER_PRODUCT_FOUND" { $5 = with_max } { printf "%s\r\n", $0 }' \
  "$work/Upgrade.wixl.idt" >"$work/upgrade/Upgrade.idt"
msibuild "$out" -i "$work/upgrade/Upgrade.idt" ||
  die "could not make the upgrade include its own version"
msiinfo export "$out" Upgrade >"$work/Upgrade.idt"
attributes=$(upgrade_attributes "$work/Upgrade.idt")
[ $((attributes & 512)) = 512 ] || die "the upgrade does not include its own version ($attributes)"

if [ -n "$passfile" ]; then
  sign "$out"
  echo "make-package: $out (signed)"
else
  echo "make-package: $out (unsigned)"
fi
