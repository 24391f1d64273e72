#!/bin/sh
# Validates the launcher, the AppStream metainfo and the MIME type of .stdata
# files with the desktop's own tools. A missing tool fails the test: the tools
# are in scripts/setup.sh's package list, so CI always has them.
# usage: check_desktop_files.sh desktop|metainfo|mime RESOURCES_DIR
set -eu
what="$1"
res="$2"
need() {
    command -v "$1" >/dev/null 2>&1 || { echo "missing $1 (Debian package $2; scripts/setup.sh installs it)"; exit 1; }
}
case "$what" in
desktop)
    need desktop-file-validate desktop-file-utils
    out=$(desktop-file-validate "$res/orvex-datalogger.desktop" 2>&1) || { echo "$out"; exit 1; }
    # Hints are not failures for the validator; they are for us.
    [ -z "$out" ] || { echo "$out"; exit 1; }
    grep -qx 'Exec=orvex-datalogger %F' "$res/orvex-datalogger.desktop"
    ;;
metainfo)
    need appstreamcli appstream
    appstreamcli validate --no-net --pedantic "$res/org.orvex.datalogger.metainfo.xml"
    ;;
mime)
    need update-mime-database shared-mime-info
    need xdg-mime xdg-utils
    need mimetype libfile-mimeinfo-perl
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' EXIT
    mkdir -p "$tmp/share/mime/packages" "$tmp/home"
    cp "$res/orvex-datalogger-mime.xml" "$tmp/share/mime/packages/"
    update-mime-database "$tmp/share/mime" 2>/dev/null
    # By name, and by content alone (the length byte and the tag).
    printf 'x' >"$tmp/named.stdata"
    printf '\011RMSTRDATA\000\000' >"$tmp/stored.bin"
    printf '\007EPADATA\000\000' >"$tmp/realtime.bin"
    printf '\011RMSTRDATx\000\000' >"$tmp/other.bin"
    fail=0
    ours=application/x-orvex-stdata
    for f in named.stdata stored.bin realtime.bin other.bin; do
        type=$(env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION XDG_DATA_DIRS="$tmp/share" \
            XDG_DATA_HOME="$tmp/home" xdg-mime query filetype "$tmp/$f")
        echo "$f: $type"
        if [ "$f" = other.bin ]; then
            [ "$type" != "$ours" ] || fail=1
        else
            [ "$type" = "$ours" ] || fail=1
        fi
    done
    exit $fail
    ;;
*)
    echo "unknown check $what"; exit 2 ;;
esac
