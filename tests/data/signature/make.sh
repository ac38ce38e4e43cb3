#!/usr/bin/env bash
# Re-creates the signature test vectors with the openssl command, independently of the program's code:
#   openssl-private.pem     an RSA-1024 key from `openssl genrsa`
#   openssl-public.blob     its public key as the 148-byte key blob, assembled here from the modulus
#   manifest.bin            sample manifest bytes (every byte value, then text)
#   manifest.bin.sign       `openssl dgst -sha1 -sign` of manifest.bin, bytes reversed (least significant first)
#   manifest.bin.sha256.sign    the same over SHA-256 (the payload table's kind of signature)
#   manifest.bin.development-3072.sign, manifest.bin.development-3072.sha256.sign
#                           both kinds made with tests/data/keys/development-3072-private.pem
#   openssl-public.fingerprint   `openssl dgst -sha256 -c` of the blob
#   unsuitable-1536.pem, unsuitable-exponent3.pem, encrypted.pem   keys the publisher functions refuse
# and, when a built platformProbe is given, the vector of the program's own publisher functions:
#   manifest.bin.development.sign   manifest.bin signed with tests/data/keys/development-private.pem
# and, when the zrconfig tool is given too, a small patch manifest in the binary config form, signed alike:
#   patch-manifest.bin, patch-manifest.bin.development.sign
#
#   tests/data/signature/make.sh [PATH/TO/platformProbe [PATH/TO/zrconfig]]
set -euo pipefail
cd "$(dirname "$0")"

# The bytes of a file in reverse order, on standard output.
reverse() { xxd -p -c1 "$1" | tac | xxd -r -p; }

openssl genrsa -out openssl-private.pem 1024 2>/dev/null
modulus=$(openssl rsa -in openssl-private.pem -noout -modulus | sed 's/^Modulus=//')
[ ${#modulus} -eq 256 ] || { echo "unexpected modulus length" >&2; exit 1; }
echo -n "$modulus" | xxd -r -p > modulus.tmp
# Header: type 6, version 2, reserved 0, algorithm 0x2400, "RSA1", 1024 bits, exponent 65537.
{ printf '\x06\x02\x00\x00\x00\x24\x00\x00RSA1\x00\x04\x00\x00\x01\x00\x01\x00'; reverse modulus.tmp; } \
  > openssl-public.blob
rm modulus.tmp

{ for i in $(seq 0 255); do printf "\\x$(printf %02x "$i")"; done
  printf 'class CfgPatch { configApp = "Software\\Example\\Game"; version = "1.08"; };\n'; } > manifest.bin
openssl dgst -sha1 -sign openssl-private.pem -out signature.tmp manifest.bin
reverse signature.tmp > manifest.bin.sign
openssl dgst -sha256 -sign openssl-private.pem -out signature.tmp manifest.bin
reverse signature.tmp > manifest.bin.sha256.sign
for digest in sha1 sha256; do
  openssl dgst -$digest -sign ../keys/development-3072-private.pem -out signature.tmp manifest.bin
  reverse signature.tmp > manifest.bin.development-3072$([ $digest = sha1 ] || echo .$digest).sign
done
rm signature.tmp

openssl dgst -sha256 -c openssl-public.blob | sed 's/^.*= //' > openssl-public.fingerprint

openssl genrsa -out unsuitable-1536.pem 1536 2>/dev/null
openssl genrsa -3 -out unsuitable-exponent3.pem 1024 2>/dev/null
openssl pkey -in openssl-private.pem -aes128 -passout pass:secret -out encrypted.pem
chmod 644 ./*.pem

if [ $# -ge 1 ]; then
  "$1" sign ../keys/development-private.pem manifest.bin manifest.bin.development.sign
fi
if [ $# -ge 2 ]; then
  printf '%s\n' 'configApp="Software\Corvanth\Game";' 'displayName="Corvanth";' 'version="1.08";' \
    'appName="game.exe";' 'isPatch=1;' > patch-manifest.tmp
  "$2" to-binary patch-manifest.tmp patch-manifest.bin
  rm patch-manifest.tmp
  "$1" sign ../keys/development-private.pem patch-manifest.bin patch-manifest.bin.development.sign
fi
ls -l
