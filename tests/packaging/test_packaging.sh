#!/usr/bin/env bash
# Installs the project into a temporary root and checks what lands where, validates the
# desktop entry and the AppStream file as installed, then builds the Debian package, checks
# its dependencies and contents, unpacks it and runs vornctl from the unpacked tree.
set -euo pipefail
build=${1:?build directory}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

expected_files=(
  etc/default/vorn-dashboard
  usr/bin/vorn-dashboard
  usr/bin/vorn-emulator
  usr/bin/vorn-station
  usr/bin/vorn-tool
  usr/bin/vornctl
  usr/lib/systemd/system/vorn-dashboard.service
  usr/lib/vorn-tool/libvorn-amqp.so
  usr/lib/vorn-tool/libvorn-netport.so
  usr/lib/vorn-tool/libvorn-planfile.so
  usr/share/applications/vorn-station.desktop
  usr/share/applications/vorn-tool.desktop
  usr/share/bash-completion/completions/vornctl
  usr/share/doc/vorn-tool/README.md
  usr/share/doc/vorn-tool/examples/70-vorn-serial.rules
  usr/share/doc/vorn-tool/examples/factory/pgbouncer.ini
  usr/share/doc/vorn-tool/examples/factory/standby.sh
  usr/share/doc/vorn-tool/examples/plans/Vorn4-service.yaml
  usr/share/doc/vorn-tool/examples/plans/Vorn8-retail.yaml
  usr/share/icons/hicolor/scalable/apps/vorn-station.svg
  usr/share/icons/hicolor/scalable/apps/vorn-tool.svg
  usr/share/man/man1/vorn-dashboard.1
  usr/share/man/man1/vorn-emulator.1
  usr/share/man/man1/vorn-station.1
  usr/share/man/man1/vorn-tool.1
  usr/share/man/man1/vornctl.1
  usr/share/metainfo/com.ombrin.vorn_tool.metainfo.xml
  usr/share/vorn-tool/translations/vorn-station_de.qm
)

# Every file of the list and nothing else: a stray file, or the udev example under rules.d,
# shows up as a difference.
check_file_list() {
  local root=$1 what=$2
  local actual
  actual=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
  if [[ "$actual" != "$(printf '%s\n' "${expected_files[@]}")" ]]; then
    fail "$what holds other files than expected:"
    diff <(printf '%s\n' "${expected_files[@]}") <(echo "$actual") || true
  fi
}

check_executables() {
  local root=$1 what=$2 program
  for program in vorn-tool vornctl vorn-emulator vorn-station vorn-dashboard; do
    [[ -x "$root/usr/bin/$program" ]] || fail "$what: usr/bin/$program is not executable"
  done
}

echo "== cmake --install into a temporary root"
root="$work/install"
DESTDIR="$root" cmake --install "$build" --prefix /usr >"$work/install.log" ||
  { cat "$work/install.log"; fail "cmake --install failed"; }
check_file_list "$root" "the installed tree"
check_executables "$root" "the installed tree"

echo "== validators on the installed files"
for entry in vorn-tool vorn-station; do
  desktop-file-validate "$root/usr/share/applications/$entry.desktop" ||
    fail "desktop-file-validate $entry.desktop"
  grep -qx "Exec=$entry" "$root/usr/share/applications/$entry.desktop" || fail "$entry.desktop: Exec is not $entry"
  grep -qx "Icon=$entry" "$root/usr/share/applications/$entry.desktop" || fail "$entry.desktop: Icon is not $entry"
done
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/com.ombrin.vorn_tool.metainfo.xml" ||
  fail "appstreamcli validate"
# The desktop entry and the AppStream file name the same program and icon as the install.
grep -qx 'Exec=vorn-tool' "$root/usr/share/applications/vorn-tool.desktop" || fail "Exec is not vorn-tool"
grep -qx 'Icon=vorn-tool' "$root/usr/share/applications/vorn-tool.desktop" || fail "Icon is not vorn-tool"
grep -q '<launchable type="desktop-id">vorn-tool.desktop</launchable>' \
  "$root/usr/share/metainfo/com.ombrin.vorn_tool.metainfo.xml" || fail "metainfo launches another desktop id"
for page in vorn-tool vornctl vorn-emulator vorn-station vorn-dashboard; do
  page_file="$root/usr/share/man/man1/$page.1"
  [[ -f "$page_file" ]] || continue # already reported by the file list
  warnings=$(LC_ALL=C groff -man -Tutf8 -ww -z "$page_file" 2>&1) || true
  [[ -z "$warnings" ]] || fail "$page.1 does not format cleanly: $warnings"
done

echo "== the dashboard's service"
unit="$root/usr/lib/systemd/system/vorn-dashboard.service"
# As systemd reads it. It names the program as systemd finds it on its own search path
# (/usr/bin for the package, /usr/local/bin for an install there); here, in the install tree.
if [[ -f "$unit" ]] && command -v systemd-analyze >/dev/null; then
  sed "s|^ExecStart=vorn-dashboard |ExecStart=$root/usr/bin/vorn-dashboard |" "$unit" \
    >"$work/vorn-dashboard.service"
  verify=$(systemd-analyze verify --man=no "$work/vorn-dashboard.service" 2>&1) ||
    fail "systemd-analyze verify vorn-dashboard.service: $verify"
fi
for line in 'DynamicUser=yes' 'EnvironmentFile=/etc/default/vorn-dashboard' \
  'ExecStart=vorn-dashboard --listen ${VORN_DASHBOARD_LISTEN}'; do
  grep -qxF "$line" "$unit" || fail "vorn-dashboard.service lacks $line"
done
grep -q '^VORN_RECORDS=' "$root/etc/default/vorn-dashboard" || fail "/etc/default/vorn-dashboard sets no VORN_RECORDS"
grep -q '^VORN_DASHBOARD_LISTEN=' "$root/etc/default/vorn-dashboard" ||
  fail "/etc/default/vorn-dashboard sets no VORN_DASHBOARD_LISTEN"

echo "== the opt-in udev example"
rules="$root/usr/share/doc/vorn-tool/examples/70-vorn-serial.rules"
# Every rule line grants dialout, owner and group read-write, and keeps ModemManager away.
while IFS= read -r line; do
  [[ "$line" =~ ^[[:space:]]*(#|$) ]] && continue
  for key in 'SUBSYSTEM=="tty"' 'GROUP="dialout"' 'MODE="0660"' 'ENV{ID_MM_DEVICE_IGNORE}="1"'; do
    [[ "$line" == *"$key"* ]] || fail "udev rule without $key: $line"
  done
done <"$rules"
grep -qv '^#' "$rules" || fail "the udev example holds no rule"

echo "== cpack -G DEB"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
debs=("$work"/package/*.deb)
if [[ ! -f "${debs[0]}" ]]; then
  fail "cpack made no .deb"
  echo "$failures failed"
  exit 1
fi
deb=${debs[0]}
echo "package: ${deb##*/}"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for package in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6svg6 qt6-qpa-plugins \
  libqt6sql6-sqlite libssl3 libqpid-proton-cpp12 libqt6httpserver6 libjs-chart.js; do
  # Whole package names only: libqt6core6 must not be satisfied by libqt6core6t64 and the like.
  named="(^|, *)${package}( |,|$)"
  [[ "$depends" =~ $named ]] || fail "Depends does not name $package"
done
[[ "$(dpkg-deb -f "$deb" Package)" == vorn-tool ]] || fail "the package is not called vorn-tool"
# The service's settings are the administrator's: an upgrade keeps them.
[[ "$(dpkg-deb --ctrl-tarfile "$deb" | tar -xOf - ./conffiles)" == /etc/default/vorn-dashboard ]] ||
  fail "/etc/default/vorn-dashboard is not a conffile of the package"

echo "== dpkg -x and run the unpacked vornctl"
unpacked="$work/unpacked"
dpkg -x "$deb" "$unpacked"
check_file_list "$unpacked" "the package"
check_executables "$unpacked" "the package"
help=$("$unpacked/usr/bin/vornctl" --help) || fail "the unpacked vornctl --help failed"
[[ "$help" == *"Usage: vornctl"* ]] || fail "the unpacked vornctl --help printed no usage: $help"
"$unpacked/usr/bin/vorn-emulator" --help >/dev/null || fail "the unpacked vorn-emulator --help failed"
"$unpacked/usr/bin/vorn-tool" --version | grep -q '^vorn-tool ' || fail "the unpacked vorn-tool --version failed"
"$unpacked/usr/bin/vorn-station" --version | grep -q '^vorn-station ' ||
  fail "the unpacked vorn-station --version failed"
"$unpacked/usr/bin/vorn-dashboard" --version | grep -q '^vorn-dashboard ' ||
  fail "the unpacked vorn-dashboard --version failed"
# Publishing loads its AMQP client from ../lib/vorn-tool beside the program: a broker that is not
# there is reported as such, not a client that is missing.
published=$("$unpacked/usr/bin/vornctl" --port emu-vorn4 checkout --publish amqp://127.0.0.1:1/queue/x 2>&1) ||
  fail "the unpacked vornctl checkout failed: $published"
[[ "$published" == *"refused the connection"* ]] ||
  fail "the unpacked vornctl did not reach its AMQP client: $published"
# A network serial port's client is a module beside it too: the port's absent server is reported.
opened=$("$unpacked/usr/bin/vornctl" --port socket://127.0.0.1:1 info 2>&1) &&
  fail "the unpacked vornctl opened a port where nothing listens: $opened"
[[ "$opened" == *"refused the connection"* ]] ||
  fail "the unpacked vornctl did not reach its client of network ports: $opened"
# So is the plan file reader: the example plans it ships are read and accepted.
checked=$("$unpacked/usr/bin/vornctl" plan check "$unpacked"/usr/share/doc/vorn-tool/examples/plans/*.yaml 2>&1) ||
  fail "the unpacked vornctl did not read the example plans: $checked"

if ((failures)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "packaging checks passed"
