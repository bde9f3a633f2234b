#!/bin/sh
# Packs the device build into one Debian package: the layout tree, the two binaries and the
# settings bundle's resources, root-owned, directories and binaries 0755, everything else 0644.
# The control file gains the maker (maker.conf) as Author and Maintainer, and Installed-Size.
# Usage: package.sh DEVICE_BUILD_DIR PACKAGE_FILE
set -eu
build=$1
package=$2
source=$(dirname "$0")/..
stage=$build/package-root
tweaks=$stage/Library/MobileSubstrate/DynamicLibraries
bundle=$stage/Library/PreferenceBundles/twinlyprefs.bundle

rm -rf "$stage"
mkdir -p "$stage" "$bundle"
cp -R "$source/device/layout/." "$stage/"
cp "$source"/prefs/Resources/* "$bundle/"
cp "$build/music.dylib" "$tweaks/"
cp "$build/twinlyprefs" "$bundle/"

# The modes of a checkout depend on the umask; the package's do not.
find "$stage" -type d -exec chmod 0755 {} +
find "$stage" -type f -exec chmod 0644 {} +
chmod 0755 "$tweaks/music.dylib" "$bundle/twinlyprefs"

author=$(python3 "$source/device/maker.py" --author)
printf 'Author: %s\nMaintainer: %s\n' "$author" "$author" >>"$stage/DEBIAN/control"

# Installed-Size, in KiB, by dpkg-gencontrol's rule (each file's size rounded up to a whole KiB, 1
# for each directory, the root included) over what is installed: DEBIAN is left out.
file_kib=$(cd "$stage" && find . -path ./DEBIAN -prune -o -type f -exec wc -c {} + |
  awk '$2 != "total" { kib += int(($1 + 1023) / 1024) } END { print kib + 0 }')
directories=$(cd "$stage" && find . -path ./DEBIAN -prune -o -type d -print | wc -l)
printf 'Installed-Size: %d\n' $((file_kib + directories)) >>"$stage/DEBIAN/control"

mkdir -p "$(dirname "$package")"
# gzip: every dpkg reads it, the old ones of iOS 10 jailbreaks included.
dpkg-deb --root-owner-group -Zgzip --build "$stage" "$package" >/dev/null
echo "Packed $package"
