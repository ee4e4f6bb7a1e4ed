#!/usr/bin/env bash
# pellora-cli.exe inventory under Wine: Run values planted for this run name a program signed
# with a test certificate (whose root the test adds to the prefix's trusted store), an altered
# copy of it, an unsigned copy in a folder every user may write, a missing program and one the
# database names; a RunOnce value, an image debugger, a Startup folder file, a disabled service,
# a disabled scheduled task, a hosts line, a proxy and an adapter's DNS servers are planted as
# well. The report and the JSON are compared with golden files (the planted entries,
# with this run's names and the date put back to placeholders); a second run takes every
# verdict from the cache.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
name=cli-inventory
source "$(dirname "$0")/cli_support.bash"
golden="$root/tests/e2e/golden"
runKey="HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"

rootKey=""
ifeoKey="HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\$tag.exe"
dnsKey="HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\{$tag}"
internetKey="HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"
hosts="$drive_c/windows/system32/drivers/etc/hosts"
serviceKey="HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\$tag"
taskFile="$drive_c/windows/system32/tasks/$tag"
startupFile=""
cleanup_run_values() {
    "$run" reg delete "$serviceKey" /f </dev/null >/dev/null 2>&1 || true
    rm -f "$taskFile"
    local value
    [ -n "$rootKey" ] && { "$run" reg delete "$rootKey" /f </dev/null >/dev/null 2>&1 || true; }
    "$run" reg delete "$ifeoKey" /f </dev/null >/dev/null 2>&1 || true
    "$run" reg delete "$dnsKey" /f </dev/null >/dev/null 2>&1 || true
    "$run" reg delete "${runKey}Once" /v "${tag}Once" /f </dev/null >/dev/null 2>&1 || true
    "$run" reg delete "$internetKey" /v ProxyServer /f </dev/null >/dev/null 2>&1 || true
    [ -f "$work/hosts.saved" ] && cp "$work/hosts.saved" "$hosts"
    [ -n "$startupFile" ] && rm -f "$startupFile"
    for value in Signed Altered Plain Gone Listed; do
        "$run" reg delete "$runKey" /v "$tag$value" /f </dev/null >/dev/null 2>&1 || true
    done
    cleanup
}
trap cleanup_run_values EXIT

# A test certificate authority and a code-signing certificate it issued.
certs="$work/certs"
mkdir -p "$certs"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$certs/root.key" -out "$certs/root.pem" -days 30 \
    -subj "/CN=Pellora Test Root" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout "$certs/signer.key" -out "$certs/signer.csr" \
    -subj "/CN=Pellora Test Signer" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
    >"$certs/signer.ext"
openssl x509 -req -in "$certs/signer.csr" -CA "$certs/root.pem" -CAkey "$certs/root.key" -CAcreateserial \
    -out "$certs/signer.pem" -days 30 -extfile "$certs/signer.ext" 2>/dev/null
cat "$certs/signer.pem" "$certs/root.pem" >"$certs/chain.pem"

# The root goes into the machine's trusted roots as the system keeps them: a property list whose
# certificate property (32) holds the DER bytes, under the certificate's SHA-1 thumbprint.
openssl x509 -in "$certs/root.pem" -outform DER -out "$certs/root.der"
thumb=$(openssl x509 -in "$certs/root.pem" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
der_hex=$(od -An -v -tx1 "$certs/root.der" | tr -d ' \n')
len=$(stat -c %s "$certs/root.der")
len_hex=$(printf '%02x%02x%02x%02x' $((len & 255)) $(((len >> 8) & 255)) $(((len >> 16) & 255)) $(((len >> 24) & 255)))
rootKey="HKEY_LOCAL_MACHINE\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$thumb"
reg_add "$rootKey" /v Blob /t REG_BINARY /d "2000000001000000$len_hex$der_hex"

# The programs: a signed copy of a small Windows program, an altered copy (one byte of its code
# changed), an unsigned copy in a folder everyone may write (Wine reads the Unix mode bits as the
# access list), and a program the database names.
plant="$work/plant"
mkdir -p "$plant/Signed" "$plant/Altered" "$plant/Open" "$plant/Listed"
chmod 755 "$plant" "$plant/Signed" "$plant/Altered" "$plant/Listed"
osslsigncode sign -certs "$certs/chain.pem" -key "$certs/signer.key" -n "Pellora test" \
    -in "$build/e2e-testkit.exe" -out "$plant/Signed/tool.exe" >/dev/null
cp "$plant/Signed/tool.exe" "$plant/Altered/tool.exe"
printf '\x90' | dd of="$plant/Altered/tool.exe" bs=1 seek=1100 conv=notrunc status=none
cp "$build/e2e-testkit.exe" "$plant/Open/tool.exe"
chmod 777 "$plant/Open"
cp "$build/e2e-testkit.exe" "$plant/Listed/listed.exe"
chmod 644 "$plant"/Signed/tool.exe "$plant"/Altered/tool.exe "$plant"/Listed/listed.exe

W=$(winpath "$plant")
reg_add "$runKey" /v "${tag}Signed" /d "\"$W\\Signed\\tool.exe\" /quiet"
reg_add "$runKey" /v "${tag}Altered" /d "$W\\Altered\\tool.exe"
reg_add "$runKey" /v "${tag}Plain" /d "$W\\Open\\tool.exe"
reg_add "$runKey" /v "${tag}Gone" /d "$W\\Gone\\gone.exe -x"
reg_add "$runKey" /v "${tag}Listed" /d "$W\\Listed\\listed.exe"
reg_add "${runKey}Once" /v "${tag}Once" /d "$W\\Signed\\tool.exe"
reg_add "$ifeoKey" /v Debugger /d "\"$W\\Open\\tool.exe\" -d"
reg_add "$serviceKey" /v ImagePath /t REG_EXPAND_SZ /d "$W\\Listed\\listed.exe -service"
reg_add "$serviceKey" /v Type /t REG_DWORD /d 16
reg_add "$serviceKey" /v Start /t REG_DWORD /d 4
# A task definition as the Task Scheduler keeps it (UTF-16 with a byte-order mark), disabled.
mkdir -p "$(dirname "$taskFile")"
printf '<?xml version="1.0" encoding="UTF-16"?>\r\n<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task"><Settings><Enabled>false</Enabled></Settings><Actions Context="Author"><Exec><Command>%s</Command><Arguments>/task</Arguments></Exec></Actions></Task>\r\n' \
    "$W\\Altered\\tool.exe" | iconv -f UTF-8 -t UTF-16 >"$taskFile"
reg_add "$dnsKey" /v NameServer /d "10.9.8.7,10.9.8.6"
"$run" reg query "$internetKey" /v ProxyServer </dev/null >/dev/null 2>&1 && fail "the prefix already has a proxy"
reg_add "$internetKey" /v ProxyServer /d "$tag.proxy.example:8080"
startup=$("$run" reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' /v Startup \
    </dev/null | tr -d '\r' | sed -n 's/^ *Startup *REG_SZ *//p')
[ -n "$startup" ] || fail "no Startup shell folder in this Wine prefix"
startup=$("$run" winepath -u "$startup" </dev/null | tr -d '\r')
mkdir -p "$startup"
startupFile="${startup%/}/$tag.exe"
cp "$build/e2e-testkit.exe" "$startupFile"
chmod 644 "$startupFile"
[ -f "$hosts" ] && cp "$hosts" "$work/hosts.saved" || : >"$work/hosts.saved"
printf '10.9.8.7 %s.example\r\n' "$tag" >>"$hosts"
write_database "path|$W\\Listed\\listed.exe|Adware.Listed|"

# The planted entries of a report or JSON, with this run's names and the date as placeholders.
normalise() {
    sed -e "s/$tag/@TAG@/g" -e "s/^Date: .*/Date: @DATE@/" -e 's/^Machine: .*/Machine: @MACHINE@/' \
        -e "s/^Windows: .*/Windows: @WINDOWS@/" -e "s/^Pellora: .*/Pellora: @VERSION@/" \
        -e 's/^Entries: .*/Entries: @COUNTS@/' -e "s/\\\\users\\\\[^\\\\]*\\\\/\\\\users\\\\@USER@\\\\/Ig" |
        PLANT="$W" awk '{ dir = ENVIRON["PLANT"]; while ((i = index($0, dir)) > 0) $0 = substr($0, 1, i - 1) "@DIR@" substr($0, i + length(dir)); print }'
}

cli inventory --report "$(winpath "$work/report.txt")" --json "$(winpath "$work/inventory.json")"
expect_status 1 "inventory (entries are flagged)"
grep -q "signatures checked, 0 taken from the cache" "$work/err.txt" || fail "first run: $(cat "$work/err.txt")"
tr -d '\r' <"$work/report.txt" >"$work/report.unix"
cmp -s "$work/out" "$work/report.txt" || fail "standard output is not the report"
# The program's own version, not the "0.0.0" of a program without a version resource.
grep -Eq '^Pellora: [0-9]+\.[0-9]+\.[0-9]+$' "$work/report.unix" && ! grep -qx 'Pellora: 0.0.0' "$work/report.unix" ||
    fail "the report names no version of Pellora: $(grep '^Pellora:' "$work/report.unix")"
{
    # The header and the legend: everything before the first entry.
    sed -n '/^\[/q;p' "$work/report.unix"
    grep -F "$tag" "$work/report.unix" | grep '^\[' | sort
} | normalise >"$work/report.planted"
diff -u "$golden/inventory-report.txt" "$work/report.planted" || fail "report differs from its golden file"

python3 - "$work/inventory.json" "$tag" "$W" >"$work/inventory.normalised" <<'PY'
import json, re, sys
document = json.load(open(sys.argv[1], encoding="utf-8"))
tag, plant = sys.argv[2], sys.argv[3]
assert document["schema"] == 1, document["schema"]
for key in ("machine", "windows", "pellora", "database", "date"):
    assert isinstance(document[key], str), key
document["machine"] = document["windows"] = document["pellora"] = document["date"] = "@"
document["hidden"] = 0
entries = sorted((e for e in document["entries"] if any(tag in e[k] for k in ("name", "command", "location"))),
                 key=lambda e: (e["place"], e["name"], e["location"]))
document["entries"] = [{k: v.replace(plant, "@DIR@") if isinstance(v, str) else v for k, v in e.items()}
                       for e in entries]
text = json.dumps(document, indent=2, ensure_ascii=False).replace(tag, "@TAG@")
print(re.sub(r"\\\\users\\\\[^\\\\]*\\\\", r"\\\\users\\\\@USER@\\\\", text, flags=re.I))
PY
diff -u "$golden/inventory.json" "$work/inventory.normalised" || fail "JSON differs from its golden file"

# An unchanged machine: every verdict but the one of the program others may write comes from the cache.
cli inventory
expect_status 1 "inventory, second run"
grep -q "^pellora-cli: 1 signatures checked" "$work/err.txt" || fail "second run: $(cat "$work/err.txt")"

# --all lists as much as the default or more; refused command lines are exit code 2.
cli inventory --all
expect_status 1 "inventory --all"
cli inventory --json
expect_status 2 "inventory --json without a file"
echo "PASS: $name"
