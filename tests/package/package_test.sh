#!/usr/bin/env bash
# package_test.sh BUILD_DIR VERSION [CPACK [WINDOW]]: makes the Debian packages from the build
# tree's CPackConfig.cmake in a temporary folder and checks them with dpkg-deb. The server's
# package taurelin: the files it installs, its conffiles and maintainer scripts, its control
# fields and declared dependencies (no GUI library among them), and that every path the
# systemd unit names is one the package installs (or postinst creates). With WINDOW 1 (the
# default; 0 for a build without the window) also the window's package taurelin-window: its
# one program, its dependencies, and no file of the server's package.
# Each failure is printed; the exit status is 1 when there is any.
set -euo pipefail

build=$1
version=$2
cpack=${3:-cpack}
window=${4:-1}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

if ! "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log"
  echo "FAIL: cpack could not make the packages"
  exit 1
fi
debs=("$tmp"/out/taurelin_*.deb)
if [[ ${#debs[@]} -ne 1 || ! -f ${debs[0]} ]]; then
  ls -l "$tmp/out"
  echo "FAIL: cpack made no single taurelin_*.deb"
  exit 1
fi
deb=${debs[0]}
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
[[ $(basename "$deb") == taurelin_"$version"_*.deb ]] ||
  fail "the file name $(basename "$deb") is not taurelin_${version}_ARCH.deb"

# The paths a package installs, as /usr/bin/x (directories without their final /).
paths_of() {
  dpkg-deb --contents "$1" | awk '{print $6}' | sed -e 's|^\.||' -e 's|/$||' | grep -v '^$'
}
paths_of "$deb" >"$tmp/paths"
installs() { grep -qxF "$1" "$tmp/paths"; }

# A unit installed in either of systemd's package folders.
unit=""
for dir in /lib/systemd/system /usr/lib/systemd/system; do
  installs "$dir/taurelin-api.service" && unit=$dir/taurelin-api.service
done
[[ -n $unit ]] || fail "no taurelin-api.service under /lib/systemd/system or /usr/lib/systemd/system"

for path in /usr/bin/taurelin-api /usr/bin/taurelin-db /usr/bin/taurelin-client \
            /usr/share/taurelin/sqlite/schema.sql /usr/share/taurelin/sqlite/upgrade.sql \
            /usr/share/taurelin/sqlite/demo.sql /usr/share/taurelin/postgresql/schema.sql \
            /usr/share/taurelin/postgresql/upgrade.sql \
            /usr/share/taurelin/mail-templates/nb/booking-confirmed.txt \
            /usr/share/taurelin/mail-templates/en/booking-confirmed.html \
            /etc/taurelin/taurelin.conf /etc/taurelin/aliases.ini \
            "${unit%/*}/taurelin-backup@.service" "${unit%/*}/taurelin-backup@.timer"; do
  installs "$path" || fail "the package does not install $path"
done
# The three programs and nothing else (no test, no benchmark).
while read -r program; do
  case $program in
    /usr/bin/taurelin-api|/usr/bin/taurelin-db|/usr/bin/taurelin-client) ;;
    *) fail "the package installs $program, which is none of the three programs" ;;
  esac
done < <(grep '^/usr/bin/.' "$tmp/paths")
# The alias file may hold a password: not readable by others.
aliases_mode=$(dpkg-deb --contents "$deb" | awk '$6 == "./etc/taurelin/aliases.ini" {print $1}')
[[ $aliases_mode == -rw-r----- ]] ||
  fail "/etc/taurelin/aliases.ini has mode $aliases_mode in the package, not -rw-r-----"

# Control files: the two configuration files are conffiles; the maintainer scripts are there,
# executable, POSIX sh that stops at the first failure.
dpkg-deb -e "$deb" "$tmp/control"
for conffile in /etc/taurelin/taurelin.conf /etc/taurelin/aliases.ini; do
  grep -qxF "$conffile" "$tmp/control/conffiles" 2>/dev/null ||
    fail "$conffile is not listed in the package's conffiles"
done
for script in postinst prerm postrm; do
  file=$tmp/control/$script
  if [[ ! -x $file ]]; then
    fail "the package has no executable $script"
    continue
  fi
  [[ $(head -n1 "$file") == '#!/bin/sh' ]] || fail "$script does not start with #!/bin/sh"
  grep -qx 'set -e' "$file" || fail "$script has no 'set -e'"
  sh -n "$file" || fail "$script is no valid sh"
done

# Control fields.
field() { dpkg-deb --field "${2:-$deb}" "$1"; }
[[ $(field Package) == taurelin ]] || fail "Package is '$(field Package)', not taurelin"
[[ $(field Version) == "$version" ]] || fail "Version is '$(field Version)', not $version"
for name in Architecture Maintainer Description; do
  [[ -n $(field "$name") ]] || fail "the package has no $name"
done

# Depends: the SQL drivers (plugins that nothing links) and Qt, nothing to build with and
# nothing outside the libraries the programs use.
depends=$(field Depends)
echo "Depends: $depends"
# One package name a line: alternatives split, version constraints and architectures dropped.
package_names() {
  tr ',|' '\n' <<<"$1" | sed -e 's/(.*)//' -e 's/:.*//' -e 's/[[:space:]]//g' | grep -v '^$'
}
package_names "$depends" >"$tmp/depends"
for needed in libqt6sql6-sqlite libqt6sql6-psql 'libqt6core6(t64)?' adduser gpg; do
  grep -qxE "$needed" "$tmp/depends" || fail "Depends does not name $needed"
done
# A server needs no desktop: none of Qt's GUI modules nor what they stand on (X, Wayland, GL,
# fonts, images).
gui='libqt6(gui|widgets|opengl|openglwidgets|printsupport|svg|xcbqpa|waylandclient|qml|quick)'
gui+='[a-z0-9-]*|libx11.*|libxcb.*|libxkb.*|libwayland.*|libgl([^i].*)?|libegl.*|libopengl.*'
gui+='|libgbm.*|libdrm.*|libvulkan.*|mesa.*|libfontconfig.*|fontconfig.*|libfreetype.*'
gui+='|libharfbuzz.*|libpng.*|libjpeg.*|libmd4c.*|libinput.*|libts.*'
while read -r package; do
  if grep -qxE "$gui" <<<"$package"; then fail "Depends names the GUI library $package"; fi
done <"$tmp/depends"
# clang (the test build) links without --as-needed, so its programs also name Qt WebSockets,
# whose ABI package qt6-websockets-abi (provided by libqt6websockets6) then stands in Depends.
allowed='libc6|libstdc\+\+6|libgcc-s1|qt6-[a-z0-9]+-abi|libsqlite3-0|libpq5'
allowed+='|libqt6(core|network|sql|httpserver|websockets|dbus)6(t64)?|libqt6sql6-(sqlite|psql)'
allowed+='|libssl3(t64)?|zlib1g|adduser'
# libical writes the calendar feeds and reads the channels' calendars; clang's build also
# names the ICU that libical links.
allowed+='|libical3(t64)?|libicu[0-9]+'
# GMime writes the booking mails (with GLib, which it is built on) and libcurl sends them.
allowed+='|libgmime-3.0-0|libglib2.0-0(t64)?|libcurl4(t64)?'
# gpg stands in for the GnuPG suite that GMime's GPGME would otherwise pull in.
allowed+='|gpg'
while read -r package; do
  case $package in
    *-dev) fail "Depends names the development package $package" ;;
    *) grep -qxE "$allowed" <<<"$package" ||
         fail "Depends names $package, which is outside the allowed set ($allowed)" ;;
  esac
done <"$tmp/depends"

# The unit: every path it names is one the package installs; its working directory one the
# package installs or creates (postinst or the unit's StateDirectory); its user one postinst
# creates.
if [[ -n $unit ]]; then
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$tmp" ".$unit"
  unit_file=$tmp$unit
  value() { sed -n "s/^$1=//p" "$unit_file" | tail -n1; }
  read -r -a exec <<<"$(value ExecStart)"
  if [[ ${#exec[@]} -eq 0 ]]; then
    fail "the unit has no ExecStart"
  else
    installs "${exec[0]}" || fail "the unit's ExecStart program ${exec[0]} is not installed by the package"
  fi
  for option in --config --aliases; do
    path=""
    for ((i = 1; i < ${#exec[@]}; i++)); do
      [[ ${exec[i]} == "$option" ]] && path=${exec[i + 1]:-}
      [[ ${exec[i]} == "$option="* ]] && path=${exec[i]#"$option="}
    done
    if [[ -z $path ]]; then
      fail "the unit's ExecStart has no $option FILE"
    else
      installs "$path" || fail "the unit's $option file $path is not installed by the package"
    fi
  done
  workdir=$(value WorkingDirectory)
  state=$(value StateDirectory)
  if [[ -z $workdir ]]; then
    fail "the unit has no WorkingDirectory"
  elif ! installs "$workdir" && [[ $workdir != "/var/lib/$state" || -z $state ]] &&
       ! grep -qF "$workdir" "$tmp/control/postinst"; then
    fail "the unit's WorkingDirectory $workdir is neither installed by the package nor created by postinst or StateDirectory"
  fi
  user=$(value User)
  # postinst's lines with their continuations joined.
  sed -e ':a' -e '/\\$/N; s/\\\n//; ta' "$tmp/control/postinst" >"$tmp/postinst.joined"
  if [[ -n $user ]] && ! grep -qE "adduser .*[[:space:]]$user\$" "$tmp/postinst.joined"; then
    fail "the unit's User $user is not created by postinst (adduser ... $user)"
  fi
fi

# The window's package: the windowed program alone, on the server package of this version, with
# no file of the server's package (dpkg would refuse to install the two side by side).
if [[ $window == 1 ]]; then
  window_debs=("$tmp"/out/taurelin-window_*.deb)
  window_deb=${window_debs[0]}
  if [[ ${#window_debs[@]} -ne 1 || ! -f $window_deb ]]; then
    fail "cpack made no single taurelin-window_*.deb"
  else
    echo "package: $(basename "$window_deb"), $(stat -c %s "$window_deb") bytes"
    [[ $(basename "$window_deb") == taurelin-window_"$version"_*.deb ]] ||
      fail "the file name $(basename "$window_deb") is not taurelin-window_${version}_ARCH.deb"
    [[ $(field Package "$window_deb") == taurelin-window ]] ||
      fail "the window's Package is '$(field Package "$window_deb")', not taurelin-window"
    dpkg-deb --contents "$window_deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\.||' \
      >"$tmp/window-files"
    [[ $(cat "$tmp/window-files") == /usr/bin/taurelin-api-window ]] ||
      fail "the window's package installs $(tr '\n' ' ' <"$tmp/window-files")" \
           "rather than /usr/bin/taurelin-api-window alone"
    while read -r path; do
      if installs "$path"; then fail "both packages install $path"; fi
    done <"$tmp/window-files"
    window_depends=$(field Depends "$window_deb")
    echo "taurelin-window Depends: $window_depends"
    grep -qE "(^|, )taurelin \(= $version\)(,|$)" <<<"$window_depends" ||
      fail "the window's Depends does not name taurelin (= $version)"
    package_names "$window_depends" | grep -qxE 'libqt6widgets6(t64)?' ||
      fail "the window's Depends does not name libqt6widgets6"
  fi
fi

if [[ $failures -ne 0 ]]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "the package checks out"
