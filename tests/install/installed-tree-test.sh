#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR, moves the tree elsewhere, and runs the installed
# program there against a sample home: it must find its tools beside itself, not in the build.
#   installed-tree-test.sh BUILD_DIR
set -uo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

if ! DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >"$scratch/install.log" 2>&1; then
    cat "$scratch/install.log"
    echo "0 passed, 1 failed"
    exit 1
fi
mv "$scratch/root/usr" "$scratch/moved"
prefix=$scratch/moved
pierline=$prefix/bin/pierline
tools=$prefix/libexec/pierline

unset PIERLINE_TOOLS_DIR PIERLINE_VERBOSE
export PIERLINE_HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data
export XDG_RUNTIME_DIR=$scratch/run TMPDIR=$scratch/tmp
mkdir -p "$XDG_RUNTIME_DIR" "$TMPDIR"
chmod 700 "$XDG_RUNTIME_DIR"

passed=0 failed=0
check() {
    local name=$1
    shift
    if "$@" >"$scratch/out" 2>&1; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $name"
        sed 's/^/    /' "$scratch/out"
    fi
}
same() { [ "$1" = "$2" ] || { echo "expected: $2"; echo "     got: $1"; return 1; }; }
contains() { grep -qF -- "$2" "$1" || { echo "$1 lacks: $2"; cat "$1"; return 1; }; }

for file in bin/pierline libexec/pierline/pierline-app libexec/pierline/defaults libexec/pierline/dockutil \
    libexec/pierline/killall libexec/pierline/PlistBuddy; do
    check "executable $file" test -x "$prefix/$file"
done
for file in share/applications/pierline.desktop share/icons/hicolor/scalable/apps/pierline.svg \
    share/icons/hicolor/48x48/apps/pierline.png share/icons/hicolor/256x256/apps/pierline.png \
    share/metainfo/com.corvane.pierline.metainfo.xml share/man/man1/pierline.1.gz \
    share/bash-completion/completions/pierline share/zsh/vendor-completions/_pierline \
    share/fish/vendor_completions.d/pierline.fish lib/systemd/user/pierline.service share/doc/pierline/copyright; do
    check "installed $file" test -s "$prefix/$file"
done
check "the desktop entry handles pierline links" contains "$prefix/share/applications/pierline.desktop" \
    "MimeType=x-scheme-handler/pierline;"
check "the user unit runs the installed program" contains "$prefix/lib/systemd/user/pierline.service" \
    "ExecStart=/usr/bin/pierline run"
check "the PNG icons are PNG" bash -c "head -c 8 '$prefix/share/icons/hicolor/48x48/apps/pierline.png' | od -An -c | grep -q 'P   N   G'"
check "the man page renders" man -l "$prefix/share/man/man1/pierline.1.gz"
if command -v appstreamcli >/dev/null; then
    check "the AppStream data is valid" appstreamcli validate --no-net --explain \
        "$prefix/share/metainfo/com.corvane.pierline.metainfo.xml"
fi
if command -v desktop-file-validate >/dev/null; then
    check "the desktop entry is valid" desktop-file-validate "$prefix/share/applications/pierline.desktop"
fi

# The sample demo, with the installed tools.
check "sandbox init" "$pierline" sandbox init
dockutil_link=$(readlink "$PIERLINE_HOME/usr/local/bin/dockutil" 2>/dev/null || readlink "$PIERLINE_HOME/opt/homebrew/bin/dockutil")
check "the sandbox's dockutil is the installed one" same "$dockutil_link" "$tools/dockutil"
check "dock" "$pierline" dock --json
before=$("$pierline" dock --json)
check "preset create" "$pierline" preset create Work --from-dock
check "preset create" "$pierline" preset create Empty
check "apply" "$pierline" apply Empty
emptied=$("$pierline" dock --json)
check "the installed tools rewrote the Dock" test "$emptied" != "$before"
check "apply back" "$pierline" apply Work --bypass-cooldown
check "the Dock is back as it was" same "$("$pierline" dock --json)" "$before"
check "run starts the installed app" bash -c "'$pierline' run --help | grep -q 'Usage: pierline run'"

# Start at login: the autostart entry runs the installed command.
autostart=$XDG_CONFIG_HOME/autostart/pierline.desktop
check "launchAtLogin true" "$pierline" settings set launchAtLogin true
check "the autostart entry runs the installed pierline" contains "$autostart" "Exec=\"$pierline\" run"
check "launchAtLogin false" "$pierline" settings set launchAtLogin false
check "the autostart entry is gone" test ! -e "$autostart"

# The package: what the program loads at run time, which the linker's list cannot show, is declared
# too (the SVG image plugin, the spacer icons' font; the compiler of custom spacers' stubs).
owner() { dpkg -S "$1" 2>/dev/null | head -n 1 | cut -d: -f1; }
declares() {
    local field=$1 file=$2 package
    package=$(owner "$file")
    [ -n "$package" ] || { echo "no package owns $file here"; return 1; }
    dpkg-deb -f "$deb" "$field" | tr ',|' '\n\n' | sed 's/^ *//; s/ .*//' | grep -qx "$package" ||
        { echo "$field lacks $package (owner of $file): $(dpkg-deb -f "$deb" "$field")"; return 1; }
}
if command -v cpack >/dev/null && command -v dpkg-deb >/dev/null; then
    (cd "$build" && cpack -G DEB -B "$scratch/package") >"$scratch/cpack.log" 2>&1
    deb=$(ls "$scratch"/package/pierline_*.deb 2>/dev/null | head -n 1)
    check "cpack makes the package" test -n "$deb"
    if [ -n "$deb" ]; then
        svg=$(ls /usr/lib/*/qt6/plugins/imageformats/libqsvg.so 2>/dev/null | head -n 1)
        check "the package depends on the SVG image plugin" declares Depends "$svg"
        check "the package depends on the spacer icons' font" declares Depends \
            "$(fc-match -f '%{file}' 'DejaVu Sans:bold')"
        compiler=$(command -v g++ || command -v clang++)
        check "the package recommends a compiler for spacer stubs" declares Recommends "$compiler"
    fi
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
