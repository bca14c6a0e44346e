#!/usr/bin/env bash
# Installs the build tree into a temporary prefix with `cmake --install` and checks the installed
# programs from there.
#
#   check_install.sh cli     --build DIR --sample FILE.vqa --version X.Y.Z --gui 0|1 --icon-sizes N,N,...
#       the installed files, reelwright-cli --version, its manual page against its --help, a
#       conversion of the sample from another working directory, the menu entry
#   check_install.sh desktop --build DIR ... (same options)
#       starts the Exec line of the installed menu entry under Xvfb and checks that the desktop
#       program comes up and shows a window
#
# With --installed PREFIX, nothing is installed: the checks run on what PREFIX already holds (an
# installed package, for example), and other files under PREFIX are allowed.
#
# Exit status: 0 passed, 1 failed, 77 skipped (the desktop program was not built, or no Xvfb).
set -uo pipefail

mode="${1:-}"
shift || true
build="" sample="" version="" gui=0 icon_sizes="" installed=""
while (($#)); do
  case "$1" in
    --build) build="$2"; shift 2 ;;
    --sample) sample="$2"; shift 2 ;;
    --version) version="$2"; shift 2 ;;
    --gui) gui="$2"; shift 2 ;;
    --icon-sizes) icon_sizes="$2"; shift 2 ;;
    --installed) installed="$2"; shift 2 ;;
    *) echo "check_install.sh: unknown argument \"$1\"" >&2; exit 2 ;;
  esac
done
if [[ "$mode" != cli && "$mode" != desktop ]] || [[ -z "$build" ]]; then
  echo "usage: check_install.sh cli|desktop --build DIR [--sample FILE] [--version V] [--gui 0|1] [--icon-sizes LIST]" >&2
  exit 2
fi

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }
skip() {
  echo "SKIP: $*"
  exit 77
}

if [[ "$mode" == desktop && "$gui" != 1 ]]; then
  skip "the desktop program reelwright was not built (RW_BUILD_GUI=OFF), so there is nothing to start"
fi
if [[ "$mode" == desktop ]] && ! command -v Xvfb >/dev/null; then
  skip "Xvfb is not installed (scripts/bootstrap installs it), so the desktop program cannot be started"
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/rw-install-test.XXXXXX")"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null && { sleep 0.2; kill -KILL "$pid" 2>/dev/null; }
    wait "$pid" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT

if [[ -n "$installed" ]]; then
  prefix="$installed"
  echo "checking the installation in $prefix"
else
  prefix="$work/prefix with space"
  if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    echo "FAIL: cmake --install $build --prefix \"$prefix\" failed" >&2
    exit 1
  fi
  pass "cmake --install into a temporary prefix"
fi

# ---------------------------------------------------------------------------------------------
# The width and height stored in a PNG file's header, as "WxH".
png_size() {
  local bytes
  bytes="$(od -An -tu1 -j16 -N8 "$1" | tr -s ' \n' ' ')"
  read -r w1 w2 w3 w4 h1 h2 h3 h4 <<<"$bytes"
  echo "$(((w1 << 24) | (w2 << 16) | (w3 << 8) | w4))x$(((h1 << 24) | (h2 << 16) | (h3 << 8) | h4))"
}

# A 32-bit little-endian number at a byte offset of a file.
le32() {
  local b0 b1 b2 b3
  read -r b0 b1 b2 b3 <<<"$(od -An -tu1 -j"$2" -N4 "$1")"
  echo $((b0 | (b1 << 8) | (b2 << 16) | (b3 << 24)))
}

check_cli() {
  # Exactly the expected files, nothing else (tests, tools and libraries stay out).
  local expected=(bin/reelwright-cli share/man/man1/reelwright-cli.1.gz)
  if [[ "$gui" == 1 ]]; then
    expected+=(bin/reelwright share/reelwright/intro.wav share/applications/reelwright.desktop
      share/man/man1/reelwright.1.gz)
    local size
    for size in ${icon_sizes//,/ }; do
      expected+=("share/icons/hicolor/${size}x${size}/apps/reelwright.png")
    done
  fi
  local want have=""
  want="$(printf '%s\n' "${expected[@]}" | sort)"
  [[ -n "$installed" ]] || have="$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)"
  if [[ -n "$installed" ]]; then
    local file missing=()
    for file in "${expected[@]}"; do
      [[ -f "$prefix/$file" ]] || missing+=("$file")
    done
    if ((${#missing[@]})); then
      fail "missing from $prefix: ${missing[*]}"
    else
      pass "installed files: all ${#expected[@]} present"
    fi
  elif [[ "$want" == "$have" ]]; then
    pass "installed files: ${#expected[@]}, as expected"
  else
    fail "installed files differ from the expected list (< expected, > installed):"
    diff <(echo "$want") <(echo "$have") | grep '^[<>]' >&2
  fi

  local cli="$prefix/bin/reelwright-cli"
  [[ -x "$cli" ]] || { fail "$cli is missing or not executable"; return; }
  for program in "$prefix"/bin/*; do
    [[ -x "$program" ]] || fail "$program is not executable"
  done

  # --version, from an unrelated working directory with a bare environment.
  mkdir -p "$work/elsewhere"
  local out
  out="$(cd "$work/elsewhere" && env -i PATH=/usr/bin:/bin HOME="$work" "$cli" --version 2>&1)"
  local rc=$?
  if [[ $rc -eq 0 && "$out" == "reelwright-cli $version" ]]; then
    pass "installed reelwright-cli --version: $out"
  else
    fail "installed reelwright-cli --version gave \"$out\" (status $rc), expected \"reelwright-cli $version\""
  fi

  # The manual page names every option that --help lists.
  local man="$prefix/share/man/man1/reelwright-cli.1.gz" page
  if [[ -s "$man" ]] && page="$(gzip -dc "$man")"; then
    local help options option missing=()
    help="$("$cli" --help)"
    options="$(grep -oE -- '(^|[ ,])--?[a-z][a-z-]*' <<<"$help" | tr -d ' ,' | sort -u)"
    [[ -n "$options" ]] || fail "reelwright-cli --help lists no options"
    for option in $options; do
      grep -qF -- "${option//-/\\-}" <<<"$page" || missing+=("$option")
    done
    if ((${#missing[@]})); then
      fail "the manual page lacks options that --help lists: ${missing[*]} (is it stale?)"
    else
      pass "the manual page has every option of --help ($(echo $options))"
    fi
    grep -q '^\.TH REELWRIGHT-CLI "1"' <<<"$page" || fail "$man is not a section 1 page for reelwright-cli"
    grep -qF "$version" <<<"$page" || fail "$man does not carry version $version"
    if command -v man >/dev/null; then
      local text
      text="$(MANWIDTH=100 man -l "$man" 2>&1)"
      grep -q 'EXAMPLES' <<<"$text" || fail "man -l $man shows no EXAMPLES section"
    fi
  else
    fail "$man is missing, empty or not gzip-compressed"
  fi

  # A conversion of the bundled sample, copied into a folder with a space in its name and named
  # relative to another working directory.
  if [[ ! -s "$sample" ]]; then
    fail "the bundled sample \"$sample\" is missing, so no conversion could be checked"
  else
    mkdir -p "$work/in folder"
    cp "$sample" "$work/in folder/sample.vqa"
    out="$(cd "$work/elsewhere" && env -i PATH=/usr/bin:/bin HOME="$work" "$cli" "../in folder/sample.vqa" 2>&1)"
    rc=$?
    local avi="$work/in folder/sample.avi"
    if [[ $rc -ne 0 ]]; then
      fail "installed reelwright-cli failed on the sample (status $rc): $out"
    elif [[ ! -s "$avi" ]]; then
      fail "installed reelwright-cli reported success but wrote no $avi: $out"
    else
      local magic riff_size file_size
      magic="$(head -c4 "$avi")$(tail -c+9 "$avi" | head -c4)"
      riff_size="$(le32 "$avi" 4)"
      file_size="$(stat -c %s "$avi")"
      if [[ "$magic" != RIFFAVI* ]]; then
        fail "$avi does not start with a RIFF AVI header"
      elif ((riff_size + 8 != file_size)); then
        fail "$avi is $file_size bytes but its RIFF header declares $((riff_size + 8))"
      else
        pass "installed reelwright-cli converted the sample: $file_size bytes"
      fi
      # The installed program writes what the build tree's program writes.
      local built="$build/bin/reelwright-cli"
      if [[ -x "$built" ]]; then
        mkdir -p "$work/built"
        cp "$sample" "$work/built/sample.vqa"
        if "$built" "$work/built/sample.vqa" >/dev/null 2>&1 &&
          cmp -s "$work/built/sample.avi" "$avi"; then
          pass "the installed and the built reelwright-cli write the same AVI file"
        else
          fail "the installed reelwright-cli wrote a different AVI file than $built"
        fi
      fi
    fi
    if [[ -n "$(ls -A "$work/elsewhere")" ]]; then
      fail "the conversion left files in the working directory: $(ls -A "$work/elsewhere")"
    fi
  fi

  [[ "$gui" == 1 ]] || return

  # The menu entry, its icon and its run-time files.
  local desktop="$prefix/share/applications/reelwright.desktop"
  if ! command -v desktop-file-validate >/dev/null; then
    fail "desktop-file-validate is not installed (scripts/bootstrap installs desktop-file-utils)"
  elif out="$(desktop-file-validate "$desktop" 2>&1)" && [[ -z "$out" ]]; then
    pass "desktop-file-validate accepts the installed menu entry"
  else
    fail "desktop-file-validate on $desktop: $out"
  fi
  local icon_name
  icon_name="$(sed -n 's/^Icon=//p' "$desktop")"
  for size in ${icon_sizes//,/ }; do
    local png="$prefix/share/icons/hicolor/${size}x${size}/apps/$icon_name.png"
    if [[ ! -s "$png" ]]; then
      fail "no ${size}x${size} icon \"$icon_name\" at $png"
    elif [[ "$(head -c8 "$png" | od -An -tx1 | tr -d ' \n')" != 89504e470d0a1a0a ]]; then
      fail "$png is not a PNG file"
    elif [[ "$(png_size "$png")" != "${size}x${size}" ]]; then
      fail "$png is $(png_size "$png") pixels, not ${size}x${size}"
    fi
  done
  pass "icons ${icon_sizes} are PNG files of their sizes"
  local gui_man
  if gui_man="$(gzip -dc "$prefix/share/man/man1/reelwright.1.gz" 2>/dev/null)" &&
    grep -q '^\.TH REELWRIGHT 1 .*Reelwright '"$version" <<<"$gui_man"; then
    pass "the manual page of reelwright is there, for version $version"
  else
    fail "$prefix/share/man/man1/reelwright.1.gz is missing or not the page of version $version"
  fi
  cmp -s "$prefix/share/reelwright/intro.wav" "$(dirname "$0")/../../app/assets/intro.wav" ||
    fail "the installed intro.wav differs from app/assets/intro.wav"
}

check_desktop() {
  local desktop="$prefix/share/applications/reelwright.desktop"
  [[ -f "$desktop" ]] || { fail "no menu entry at $desktop"; return; }
  local exec_line
  exec_line="$(sed -n 's/^Exec=//p' "$desktop" | head -n1)"
  # Field codes (%f, %U...) stand for files handed over by the desktop; none are handed here.
  exec_line="$(sed -E 's/(^| )%[fFuUick]( |$)/ /g; s/ +$//' <<<"$exec_line")"
  [[ -n "$exec_line" ]] || { fail "the menu entry has no Exec line"; return; }

  # The Exec line names a program looked up in PATH, as a desktop does; it must be the installed one.
  local path="$prefix/bin:/usr/bin:/bin"
  local resolved
  resolved="$(PATH="$path" command -v "${exec_line%% *}")"
  if [[ "$resolved" != "$prefix/bin/"* ]]; then
    fail "Exec=$exec_line resolves to \"$resolved\", not to the installed program in $prefix/bin"
    return
  fi

  # A private X server on a free display.
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  exec 3>&-
  local display="" i
  for ((i = 0; i < 100; i++)); do
    display="$(cat "$work/display" 2>/dev/null)"
    [[ -n "$display" ]] && break
    sleep 0.1
  done
  if [[ -z "$display" ]]; then
    cat "$work/xvfb.log" >&2
    fail "Xvfb did not start"
    return
  fi

  mkdir -p "$work/home" "$work/runtime" "$work/elsewhere"
  chmod 700 "$work/runtime"
  (cd "$work/elsewhere" && exec env -i PATH="$path" HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" \
    DISPLAY=":$display" QT_QPA_PLATFORM=xcb ${ASAN_OPTIONS+ASAN_OPTIONS="$ASAN_OPTIONS"} \
    sh -c "exec $exec_line") >"$work/program.log" 2>&1 &
  local pid=$!
  pids+=("$pid")

  # Started means: still running, and a window of the program is mapped on the display.
  local shown=0 windows=""
  for ((i = 0; i < 150; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    if command -v xwininfo >/dev/null; then
      windows="$(DISPLAY=":$display" xwininfo -root -tree 2>/dev/null | grep -i '("reelwright"' || true)"
      [[ -n "$windows" ]] && { shown=1; break; }
    elif ((i >= 30)); then
      shown=1
      break
    fi
    sleep 0.1
  done
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid"
    fail "Exec=$exec_line ended at once (status $?); its output:"
    cat "$work/program.log" >&2
  elif [[ $shown != 1 ]]; then
    fail "Exec=$exec_line is running but showed no window within 15 seconds; its output:"
    cat "$work/program.log" >&2
  else
    sleep 1
    if kill -0 "$pid" 2>/dev/null; then
      pass "Exec=$exec_line from the installed menu entry started $resolved and showed a window"
      [[ -n "$windows" ]] && echo "$windows" | head -n3
    else
      fail "Exec=$exec_line ended a second after showing its window; its output:"
      cat "$work/program.log" >&2
    fi
  fi
}

"check_$mode"
if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
