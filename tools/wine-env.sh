# Source this (as root where i386 code needs qemu) before running 32-bit
# Windows programs under Wine, headless:  . tools/wine-env.sh
# On a kernel that cannot run 32-bit x86 code, Wine's i386 loader runs under
# qemu-i386 user-mode emulation, registered here with binfmt_misc (again in
# every run: registrations are lost at reboot, and the F flag keeps the qemu
# binary that was open at registration).
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  [ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && echo -1 > /proc/sys/fs/binfmt_misc/qemu-i386
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
    > /proc/sys/fs/binfmt_misc/register
  /usr/lib/wine/wine --version >/dev/null
fi
# A 32-bit prefix of our own, no Mono/Gecko prompts, no display.
export WINEPREFIX="${WINEPREFIX:-$(mktemp -d /tmp/wineprefix.XXXXXX)}" WINEARCH=win32 WINEDEBUG=-all \
       WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
