# Turns CHANGELOG.md (Keep a Changelog) into the <release> elements of the AppStream metadata,
# newest first: each "## [VERSION] - DATE" heading is a release, each "### Kind" a paragraph and
# each "- " item (with its indented continuation lines) a list entry. A heading without a date
# (Unreleased) is left out.
function esc(s) {
  gsub(/&/, "\\&amp;", s); gsub(/</, "\\&lt;", s); gsub(/>/, "\\&gt;", s); gsub(/`/, "", s)
  gsub(/\[|\]\([^)]*\)/, "", s)
  return s
}
function end_item() { if (item != "") { print "          <li>" esc(item) "</li>"; item = "" } }
function end_list() { end_item(); if (list) { print "        </ul>"; list = 0 } }
function end_release() {
  end_list()
  if (open) { print "      </description>"; print "    </release>"; open = 0 }
}
/^## / {
  end_release()
  if (match($0, /^## \[[^]]+\] - [0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$/)) {
    version = $0; sub(/^## \[/, "", version); sub(/\].*/, "", version)
    date = substr($0, length($0) - 9)
    print "    <release version=\"" version "\" date=\"" date "\">"
    print "      <description>"
    open = 1
  }
  next
}
!open { next }
/^### / { end_list(); print "        <p>" esc(substr($0, 5)) "</p>"; next }
/^- / { end_item(); if (!list) { print "        <ul>"; list = 1 }; item = substr($0, 3); next }
/^  +[^ ]/ && item != "" { line = $0; sub(/^ +/, "", line); item = item " " line; next }
/^$/ { end_item() }
END { end_release() }
