#!/usr/bin/env bash
# signing-test.sh SOURCE TREE WINE_RUN WIZARD_DRIVER VERIFY_TRUST TOOLCHAIN SCRATCH
# A throw-away certificate authority signs a build of setup.exe in SCRATCH/tree (only the installer, with the
# toolchain of TREE); the signatures of setup.exe and of the programs it installs must verify against that
# authority, a changed byte must not, bad keys must stop the build, and the signed installer installs under Wine.
set -euo pipefail
src=$1 tree=$2 wine_run=$3 driver=$4 verify_trust=$5 toolchain=$6 scratch=$7
sign_file=$src/scripts/sign-file
keys=$scratch/keys sub=$scratch/tree
fail=0
check() {  # check DESCRIPTION COMMAND...: reports and counts a failure, goes on
  local what=$1
  shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what" >&2; fail=1; fi
}

# The authority and its certificates, made afresh on every run (no key lives in the repository).
rm -rf "$keys"
mkdir -p "$keys"
cd "$keys"
cat >x509.cnf <<'EOF'
[req]
distinguished_name = dn
[dn]
[root]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[code]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
[server]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
[tsa]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = critical,timeStamping
EOF
publisher="Quillon & Partners Test Signer"
openssl req -x509 -config x509.cnf -extensions root -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
  -subj "/CN=Sarventa Test Authority" 2>/dev/null
openssl req -config x509.cnf -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/O=Quillon & Partners/CN=$publisher" 2>/dev/null
issue() {  # issue NAME EXTENSIONS DAYS
  openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days "$3" -extfile x509.cnf \
    -extensions "$2" -out "$1.pem" 2>/dev/null
}
issue signer code 2
issue expired code 0
issue server server 2
cat signer.pem ca.pem >chain.pem
printf 'test password' >password
printf 'not the password' >wrong-password
openssl pkcs12 -export -in signer.pem -inkey signer.key -certfile ca.pem -passout file:password -out signer.p12
export SOURCE_DATE_EPOCH=1767225600  # 2026-01-01 00:00:00 UTC
sleep 1                              # "expired" (valid for 0 days) is now in the past

program=$tree/demo/Plankora.exe
# Bad input: the signing stops, names the file, and leaves nothing under the output's name (not even an
# earlier output).
while IFS='|' read -r what named args; do
  printf 'stale' >out.exe
  rc=0
  # shellcheck disable=SC2086
  message=$("$sign_file" $args --time "$SOURCE_DATE_EPOCH" "$program" out.exe 2>&1) || rc=$?
  check "$what: refused ($message)" test "$rc" -ne 0
  check "$what: the message names $named" grep -qF "$named" <<<"$message"
  check "$what: no out.exe left" test ! -e out.exe
  check "$what: no temporary file left" test -z "$(ls out.exe.* 2>/dev/null)"
done <<'EOF'
wrong password|wrong-password|--pkcs12 signer.p12 --password-file wrong-password
missing password file|none.txt|--pkcs12 signer.p12 --password-file none.txt
expired certificate|expired.pem|--cert expired.pem --key signer.key
no codeSigning purpose|server.pem|--cert server.pem --key signer.key
missing key file|missing.key|--cert chain.pem --key missing.key
key of another certificate|ca.key|--cert chain.pem --key ca.key
EOF

# The same program signed twice, from PKCS#12 and from PEM, gives the same bytes.
"$sign_file" --pkcs12 signer.p12 --password-file password --time "$SOURCE_DATE_EPOCH" "$program" p12.exe
"$sign_file" --cert chain.pem --key signer.key --time "$SOURCE_DATE_EPOCH" "$program" pem.exe
check "PKCS#12 and PEM signatures identical" cmp -s p12.exe pem.exe

# A time stamp from an RFC 3161 authority of the test's own on the loopback (the same test authority
# issues its certificate); an address where nothing answers stops the signing with no output left.
openssl req -config x509.cnf -newkey rsa:2048 -nodes -keyout tsa.key -out tsa.csr -subj "/CN=Sarventa Test Time Stamps" 2>/dev/null
openssl x509 -req -in tsa.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile x509.cnf -extensions tsa \
  -out tsa.pem 2>/dev/null
echo 01 >tsa.serial
cat >tsa.cnf <<EOF
[tsa]
default_tsa = local
[local]
serial = $keys/tsa.serial
signer_cert = $keys/tsa.pem
certs = $keys/ca.pem
signer_key = $keys/tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512, sha1
ess_cert_id_alg = sha256
accuracy = secs:1
EOF
coproc TSA { exec python3 "$src/tests/windows/tsa-server.py" "$keys/tsa.cnf"; }
read -r -t 10 port <&"${TSA[0]}"
"$sign_file" --cert chain.pem --key signer.key --time "$SOURCE_DATE_EPOCH" --timestamp "http://127.0.0.1:$port/" \
  "$program" stamped.exe
kill "$TSA_PID"
wait "$TSA_PID" 2>/dev/null || true
stamped=$(osslsigncode verify -CAfile ca.pem -TSA-CAfile ca.pem -in stamped.exe 2>&1 || true)
check "time-stamped signature verifies with the authority's time stamp" eval \
  'grep -q "Timestamp Server Signature verification: ok" <<<"$stamped" && grep -q "^Succeeded" <<<"$stamped"'
check "  the time stamp is the authority's" grep -qF "Subject: /CN=Sarventa Test Time Stamps" <<<"$stamped"
printf 'stale' >out.exe
rc=0
message=$("$sign_file" --cert chain.pem --key signer.key --time "$SOURCE_DATE_EPOCH" \
  --timestamp "http://127.0.0.1:$port/" "$program" out.exe 2>&1) || rc=$?
check "time-stamping server gone: refused, naming its address" eval \
  'test "$rc" -ne 0 && grep -qF "http://127.0.0.1:$port/: the time-stamping server" <<<"$message"'
check "  no out.exe left" test ! -e out.exe

# A build that signs with an expired certificate stops before setup.exe and leaves no program signed.
configure() {
  cmake -S "$src" -B "$sub" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DQU_BUILD_TESTS=OFF -DQU_BUILD_BENCH=OFF -DQU_SIGN_PKCS12= -DQU_SIGN_PASSWORD_FILE= "$@" >/dev/null
}
configure -DQU_SIGN_CERT="$keys/expired.pem" -DQU_SIGN_KEY="$keys/signer.key"
rm -f "$sub/app/setup.exe"
rc=0
log=$(cmake --build "$sub" --target setup -j2 2>&1) || rc=$?
check "build with an expired certificate fails" test "$rc" -ne 0
check "its message names expired.pem" grep -qF "$keys/expired.pem: the certificate expired" <<<"$log"
check "no setup.exe and no signed program left" test ! -e "$sub/app/setup.exe" -a ! -e "$sub/res/signed/Plankora.exe"

configure -DQU_SIGN_CERT= -DQU_SIGN_KEY= -DQU_SIGN_PKCS12="$keys/signer.p12" -DQU_SIGN_PASSWORD_FILE="$keys/password"
start=$SECONDS
cmake --build "$sub" --target setup -j2 >"$scratch/build.log" 2>&1 || { tail -30 "$scratch/build.log" >&2; exit 1; }
echo "signed build: $((SECONDS - start)) s"
setup=$sub/app/setup.exe

verified() {  # verified FILE: signed by the publisher, chain to the test authority, digest matching
  local out
  out=$(osslsigncode verify -CAfile "$keys/ca.pem" -in "$1" 2>&1) || { echo "$out" >&2; return 1; }
  grep -qF "Subject: /O=Quillon & Partners/CN=$publisher" <<<"$out" &&
    grep -q "Signing time: Jan  1 00:00:00 2026 GMT" <<<"$out" && grep -q '^Succeeded' <<<"$out"
}
for f in "$setup" "$sub/res/signed/Plankora.exe" "$sub/res/signed/Uninstall.exe"; do
  check "$(basename "$f") verifies" verified "$f"
done
# The payload carries the signed programs byte for byte.
rm -rf "$scratch/extracted"
"$sub/host/tools/mkpayload" extract "$sub/res/payload.bin" "$scratch/extracted" >/dev/null
for f in Plankora.exe Uninstall.exe; do
  check "payload's $f is the signed one" cmp -s "$sub/res/signed/$f" "$scratch/extracted/<InstallPath>/$f"
done
# One byte changed after signing.
cp "$setup" "$scratch/tampered.exe"
size=$(stat -c %s "$setup")
printf '\x5A' | dd of="$scratch/tampered.exe" bs=1 seek=$((size / 3)) conv=notrunc 2>/dev/null
check "setup.exe changed after signing does not verify" test "$(cmp -l "$setup" "$scratch/tampered.exe" | wc -l)" -eq 1
check "  (osslsigncode refuses it)" eval '! osslsigncode verify -CAfile "$keys/ca.pem" -in "$scratch/tampered.exe" >/dev/null 2>&1'

# Wine's WinVerifyTrust: it checks the digest but, unlike Windows, accepts the unknown authority.
win() { printf 'Z:%s' "$1" | tr / '\\'; }
trust() { "$wine_run" "$tree" "$verify_trust" "$(win "$1")" | tr -d '\r'; }
check "WinVerifyTrust: signed setup.exe 00000000" test "$(trust "$setup")" = 00000000
check "WinVerifyTrust: changed byte TRUST_E_BAD_DIGEST" test "$(trust "$scratch/tampered.exe")" = 80096010
check "WinVerifyTrust: unsigned TRUST_E_NOSIGNATURE" test "$(trust "$tree/app/setup.exe")" = 800B0100

# The signed installer installs as before; the installed programs keep their signatures.
rc=0
"$wine_run" "$tree" "$driver" "$(win "$setup")" >"$scratch/install.log" 2>&1 || rc=$?
check "signed setup.exe installs (wizard-driver exit $rc)" test "$rc" -eq 0
eval "$("$wine_run" --env "$tree")"
installed=$(find "$WINEPREFIX/drive_c" -path '*/Quillon & Partners/Sarventa 5/Plankora.exe' | head -n1)
folder=$(dirname "${installed:-/none/x}")
for f in Plankora.exe Uninstall.exe; do
  check "installed $f is the signed one and verifies" eval 'cmp -s "$sub/res/signed/$f" "$folder/$f" && verified "$folder/$f"'
done
if [ -f "$folder/Uninstall.exe" ]; then
  "$wine_run" "$tree" "$folder/Uninstall.exe" /S >/dev/null 2>&1 || true
  check "uninstalled" test ! -e "$folder/Plankora.exe"
fi
exit $fail
