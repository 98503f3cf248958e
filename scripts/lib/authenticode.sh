# Authenticode signatures with osslsigncode; sourced by scripts/release and
# scripts/sign-windows, which set the two options below.
. "$(dirname "${BASH_SOURCE[0]}")/debian-packages.sh"
authenticode_password_file="" authenticode_timestamp=""

# authenticode_sign <certificate.pfx> <file> <description>: signs the file in
# place (through a temporary file beside it) and verifies the signature.
authenticode_sign() {
  local certificate=$1 file=$2 description=$3 options=()
  debian_install_missing osslsigncode openssl
  [ -f "$certificate" ] || { echo "no certificate $certificate" >&2; return 1; }
  [ -z "$authenticode_password_file" ] || options+=(-readpass "$authenticode_password_file")
  [ -z "$authenticode_timestamp" ] || options+=(-ts "$authenticode_timestamp")
  osslsigncode sign -pkcs12 "$certificate" "${options[@]}" -h sha256 -n "$description" \
    -in "$file" -out "$file.signed" >/dev/null || { rm -f "$file.signed"; echo "cannot sign $file" >&2; return 1; }
  mv -f "$file.signed" "$file"
  # The certificate's own chain, so that a self-made test certificate verifies too.
  local chain
  chain=$(mktemp)
  if [ -n "$authenticode_password_file" ]; then
    openssl pkcs12 -in "$certificate" -nokeys -passin "file:$authenticode_password_file" -out "$chain" 2>/dev/null
  else
    openssl pkcs12 -in "$certificate" -nokeys -passin pass: -out "$chain" 2>/dev/null
  fi
  osslsigncode verify -CAfile "$chain" -in "$file" >/dev/null 2>&1 ||
    { rm -f "$chain"; echo "the Authenticode signature of $file does not verify" >&2; return 1; }
  rm -f "$chain"
}
