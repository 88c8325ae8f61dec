#!/usr/bin/env bash
# Prepares the build folder's Wine prefix once: creates it, maps the font face
# 微软雅黑 to an installed CJK font, makes the loopback test certificates and
# trusts the test CA in the prefix's local-machine root store.
# Usage: prefix-init.sh (with scripts/env.sh's variables in the environment)
set -euo pipefail
: "${QUILLMERE_BUILD:?}" "${WINEPREFIX:?}" "${WINELOADER:?}"
stamp="$WINEPREFIX/.quillmere-ready"
tls="$QUILLMERE_BUILD/tls"

if [ ! -f "$tls/server.pem" ]; then
  mkdir -p "$tls"
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Quillmere Test CA" \
    -keyout "$tls/ca.key" -out "$tls/ca.pem" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
  openssl x509 -in "$tls/ca.pem" -outform DER -out "$tls/ca.der"
  openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" \
    -keyout "$tls/server.key" -out "$tls/server.csr" 2>/dev/null
  # Wine matches DNS names only, so the loopback address is also a DNS name.
  printf 'subjectAltName=DNS:127.0.0.1,DNS:localhost,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n' > "$tls/server.ext"
  openssl x509 -req -in "$tls/server.csr" -CA "$tls/ca.pem" -CAkey "$tls/ca.key" -CAcreateserial \
    -days 3650 -extfile "$tls/server.ext" -out "$tls/server.pem" 2>/dev/null
  rm -f "$WINEPREFIX/.quillmere-ready"
fi

[ -f "$stamp" ] && exit 0
mkdir -p "$WINEPREFIX"
"$WINELOADER" wineboot -i >/dev/null 2>&1
# A version-5 registry file is UTF-16, so the Chinese face name survives any code page.
iconv -f UTF-8 -t UTF-16 > "$QUILLMERE_BUILD/fonts.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"微软雅黑"="WenQuanYi Micro Hei"
"Microsoft YaHei"="WenQuanYi Micro Hei"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"微软雅黑"="WenQuanYi Micro Hei"
"Microsoft YaHei"="WenQuanYi Micro Hei"
REG
"$WINELOADER" regedit /S "Z:${QUILLMERE_BUILD//\//\\}\\fonts.reg" >/dev/null 2>&1
"$WINELOADER" "$QUILLMERE_BUILD/bin/trust_ca.exe" "Z:${tls//\//\\}\\ca.der"
/usr/lib/wine/wineserver -w 2>/dev/null || true
touch "$stamp"
