#!/bin/sh
# Installs the Debian packages the build and the tests need, plus any named on the command line (the fuzz and
# benchmark targets name theirs); does nothing when all are present.
set -eu

PACKAGES="cmake ninja-build g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev"
PACKAGES="$PACKAGES libsdbus-c++-dev libsystemd-dev dbus python3-dbusmock"
PACKAGES="$PACKAGES libicu-dev"
PACKAGES="$PACKAGES zlib1g-dev libfreetype-dev fonts-dejavu-core libstb-dev libcli11-dev libzxing-dev"
PACKAGES="$PACKAGES libqrencode-dev libzint-dev zbar-tools libisal-dev"
PACKAGES="$PACKAGES fonts-wqy-microhei"
PACKAGES="$PACKAGES cups cups-filters libcups2-dev libcupsimage2-dev"
PACKAGES="$PACKAGES $*"

missing=""
for pkg in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $pkg"
  fi
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "deps: missing packages:$missing (run as root, or install them yourself)" >&2
  exit 1
fi
echo "deps: installing$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q -o DPkg::Lock::Timeout=300
# shellcheck disable=SC2086
apt-get install -y -q -o DPkg::Lock::Timeout=300 --no-install-recommends $missing
