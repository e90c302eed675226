#!/usr/bin/env bash
# usage: check-package.sh BUILD_FOLDER PHOTO
# Builds the .deb with cpack, checks what it holds and declares, unpacks it into a
# temporary root and runs the installed programs there with a fresh HOME: they must
# find their data in the root's share/brisel, never in the build folder, make the
# service's certificates on first start and cut a photo out through the installed
# service. BRISEL_MODEL_DIR names an existing model folder, so nothing is downloaded.
set -euo pipefail
build=$(cd "$1" && pwd)
photo=$2
work=$(mktemp -d)
# The service started below ends by itself after 5 s; this only hurries it.
trap 'kill $(cat "$work"/run/brisel-matting-*.pid 2>/dev/null) 2>/dev/null; rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

(cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/brisel_*.deb)

dpkg-deb -c "$deb" | awk '{print $NF}' >"$work/contents"
for f in bin/brisel bin/brisel-cutout bin/brisel-matting-service \
  share/applications/brisel.desktop share/metainfo/io.github.brisel.Brisel.metainfo.xml \
  share/icons/hicolor/48x48/apps/brisel.png share/icons/hicolor/128x128/apps/brisel.png \
  share/icons/hicolor/256x256/apps/brisel.png share/icons/hicolor/scalable/apps/brisel.svg \
  share/brisel/language/brisel_zh.qm share/brisel/language/brisel_en.qm share/brisel/h_face.xml \
  share/brisel/tools/make-certs.sh share/brisel/tools/fetch-model.sh share/brisel/tools/convert_model.py; do
  grep -qx "./usr/$f" "$work/contents" || fail "the package lacks /usr/$f"
done
# Keys and the model are made per user; none may ship.
if grep -E '\.pem$|\.pt$|\.onnx$' "$work/contents"; then fail "the package carries a key or the model"; fi
dpkg-deb -f "$deb" Depends | grep -q libqt5widgets5 || fail "library dependencies missing: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -f "$deb" Recommends | grep -q python3-torch || fail "python3-torch is not recommended"
dpkg-deb -e "$deb" "$work/control"
for script in preinst postinst prerm postrm config; do
  if [ -f "$work/control/$script" ] && grep -lE 'curl|wget|fetch|http' "$work/control/$script"; then
    fail "the maintainer script $script downloads"
  fi
done

dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/brisel.desktop" || fail "desktop file"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/io.github.brisel.Brisel.metainfo.xml" >"$work/as.log" ||
  { cat "$work/as.log"; fail "metainfo"; }

export HOME="$work/home" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME/.config/brisel" -m 700 "$XDG_RUNTIME_DIR"
bin="$work/root/usr/bin"
version=$("$bin/brisel" --version)
echo "$version"
grep -qx "data: $work/root/usr/share/brisel/" <<<"$version" || fail "brisel did not find its installed data"
grep -qx "translation: $work/root/usr/share/brisel/language/brisel_zh.qm" <<<"$version" ||
  fail "brisel did not load its installed translation"
if grep -q "$build" <<<"$version"; then fail "brisel used the build folder"; fi

# A port of its own and a short life for the service started below.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf '[service]\nport=%s\nidleExit=5\noptions=--engine key\n' "$port" >"$HOME/.config/brisel/brisel.ini"
BRISEL_AUTO_CLOSE_MS=15000 "$bin/brisel" 2>"$work/start.log" || { cat "$work/start.log"; fail "first start"; }
tls="$HOME/.local/share/brisel/tls"
for f in server-cert.pem server-key.pem cacert.pem; do
  [ -s "$tls/$f" ] || { cat "$work/start.log"; fail "first start made no $f"; }
done
grep -q "data in $work/root/usr/share/brisel/" "$HOME/.local/share/brisel/logs/brisel.log" ||
  fail "the log names another data folder"

"$bin/brisel-cutout" "$photo" -o "$work/cut.png" || fail "brisel-cutout through the installed service"
python3 -c 'import sys; sys.exit(open(sys.argv[1], "rb").read(8) != b"\x89PNG\r\n\x1a\n")' "$work/cut.png" ||
  fail "no PNG cut-out"
echo "package ok: $(basename "$deb")"
