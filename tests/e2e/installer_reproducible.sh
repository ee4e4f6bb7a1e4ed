#!/usr/bin/env bash
# The installer's bytes depend only on the source: the executables carry no link time, the
# installer built again from a copy of the application folder with other file times is the
# build's own byte for byte, and two builds signed with the same test certificate are the same.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
work="$build/e2e/installer_reproducible"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
[ -f "$build/Pellora-setup.exe" ] || fail "no Pellora-setup.exe in the build (is makensis installed?)"
rm -rf "$work"
mkdir -p "$work"

# The COFF header's TimeDateStamp: 4 bytes, 8 bytes after the "PE\0\0" whose offset is at 0x3c.
pe_time() {
    local pe
    pe=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
    od -An -t u4 -j $((pe + 8)) -N 4 "$1" | tr -d ' '
}
for exe in "$app"/*.exe; do
    [ "$(pe_time "$exe")" = 0 ] || fail "$(basename "$exe") carries a link time"
done

cp -r "$app" "$work/app"
find "$work/app" -exec touch -d '2001-02-03 04:05:06' {} +
build_installer() {
    cmake -DAPP_DIR="$work/app" -DSTAGE_DIR="$work/stage-$1" -DOUT_FILE="$work/$1.exe" -DSOURCE_DIR="$root" \
        -DMAKENSIS="$(command -v makensis)" -DOSSLSIGNCODE="$(command -v osslsigncode)" \
        -P "$root/packaging/build-installer.cmake" >"$work/$1.log" 2>&1 || fail "building $1 failed: $(cat "$work/$1.log")"
}
SOURCE_DATE_EPOCH=981173106 build_installer again
cmp -s "$build/Pellora-setup.exe" "$work/again.exe" || fail "the installer built again differs from the build's"

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Pellora test signing (not trusted)" \
    -keyout "$work/test-key.pem" -out "$work/test-cert.pem" >/dev/null 2>&1 || fail "openssl could not make a test certificate"
export PELLORA_SIGN_CERT="$work/test-cert.pem" PELLORA_SIGN_KEY="$work/test-key.pem" SOURCE_DATE_EPOCH=981173106
build_installer signed-1
touch "$work/app"/*.exe
build_installer signed-2
cmp -s "$work/signed-1.exe" "$work/signed-2.exe" || fail "two signed builds differ"
cmp -s "$work/signed-1.exe" "$work/again.exe" && fail "the signed installer is the unsigned one"
osslsigncode verify -CAfile "$work/test-cert.pem" -in "$work/signed-1.exe" >"$work/verify.log" 2>&1 ||
    fail "the signed installer does not verify: $(cat "$work/verify.log")"
for exe in "$work/stage-signed-1/files"/*.exe; do
    osslsigncode verify -CAfile "$work/test-cert.pem" -in "$exe" >/dev/null 2>&1 || fail "$(basename "$exe") is not signed"
done
echo "installer bytes: ok"
