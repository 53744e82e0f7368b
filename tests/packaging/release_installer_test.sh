#!/bin/sh
# scripts/release as a release is made, in a copy of the source tree, with a
# throw-away release key and a throw-away self-signed code-signing
# certificate: the exe and the installer verify with osslsigncode against
# that certificate, the manifest's digest is the signed exe's, the output
# names the installer, and the installer, run under Wine, installs exactly
# that exe.
#   release_installer_test.sh SOURCE_DIR
# It takes the port lock itself, only while the installed service runs; the
# long build before it needs none.
set -eu
source_dir=$1
wine=/usr/lib/wine/wine64
tmp=$(mktemp -d)
cleanup() {
  [ ! -d "$tmp/prefix" ] || WINEPREFIX=$tmp/prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# The tree without any build or checkout state.
mkdir "$tmp/src"
(cd "$source_dir" && tar --exclude=./build --exclude=./.git --exclude=node_modules -cf - .) |
  (cd "$tmp/src" && tar -xf -)

openssl ecparam -name prime256v1 -genkey -noout -out "$tmp/release-key.pem"
openssl ec -in "$tmp/release-key.pem" -pubout -out "$tmp/release-public.pem" 2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tessavin Test Signing" \
  -addext extendedKeyUsage=codeSigning -keyout "$tmp/sign-key.pem" -out "$tmp/sign-cert.pem" 2>/dev/null
openssl pkcs12 -export -in "$tmp/sign-cert.pem" -inkey "$tmp/sign-key.pem" \
  -out "$tmp/sign.pfx" -passout pass:test-only

url=https://github.com/zelvo/tessavin-server/releases/download/build-latest/TessavinServer.exe
TESSAVIN_RELEASE_PUBLIC_KEY=$tmp/release-public.pem TESSAVIN_CODESIGN_PASSWORD=test-only \
  "$tmp/src/scripts/release" --codesign="$tmp/sign.pfx" "$tmp/release-key.pem" "$url" \
  > "$tmp/release.out" 2>&1 || { cat "$tmp/release.out"; fail "scripts/release failed"; }
build=$tmp/src/build/release
exe=$build/TessavinServer.exe
setup=$build/TessavinServer-setup.exe

grep -qF "$setup" "$tmp/release.out" || { cat "$tmp/release.out"; fail "the installer is not among the files to upload"; }
for f in "$exe" "$setup"; do
  osslsigncode verify -in "$f" -CAfile "$tmp/sign-cert.pem" > "$tmp/verify.out" 2>&1 ||
    { cat "$tmp/verify.out"; fail "$f does not verify"; }
  grep -q "Signature verification: ok" "$tmp/verify.out" || fail "$f: no verified signature"
  # Against the machine's trust alone a self-signed certificate is not enough.
  if osslsigncode verify -in "$f" >/dev/null 2>&1; then fail "$f verifies without the test certificate"; fi
done
digest=$(sha256sum "$exe" | cut -d' ' -f1)
grep -q "\"sha256\": \"$digest\"" "$build/manifest.json" || { cat "$build/manifest.json"; fail "the manifest names another exe"; }

# The installer holds the signed exe.
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" ZELVO_NO_SELF_UPDATE=1
export PULSE_SERVER=unix:/nonexistent
"$wine" wineboot --init >/dev/null 2>&1
# The installer starts the service: under the machine's port lock, as every
# black-box test.
flock -o /tmp/tessavin-service-ports.lock sh -c '"$1" "$2" /S && "$3" -k' sh "$wine" "$setup" \
  /usr/lib/wine/wineserver || fail "the installer failed"
installed=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Local/Programs/"Tessavin Server")
cmp "$installed/TessavinServer.exe" "$exe" || fail "the installer installed another exe"
echo "PASS: signed exe and installer verify; the installer installs the signed exe ($digest)"
