# Turns README.md into the main page of the API reference:
#  - each heading gets the anchor that GitHub gives it ("## The orn tool" becomes
#    "## The orn tool {#the-orn-tool}"), so the README's own "#..." links resolve;
#  - links to files of the source tree, which the reference does not hold, become
#    their plain text.
# Code blocks are copied as they are.
/^```/ { fenced = !fenced; print; next }
fenced { print; next }
/^#+ / {
  title = $0
  sub(/^#+ /, "", title)
  slug = tolower(title)
  gsub(/[^a-z0-9 _-]/, "", slug)
  gsub(/ /, "-", slug)
  print $0 " {#" slug "}"
  next
}
{
  line = $0
  out = ""
  # [text](target) with a target that is neither a web address nor an anchor.
  while (match(line, /\[[^]]*\]\([^)]*\)/)) {
    link = substr(line, RSTART, RLENGTH)
    text = link
    sub(/\]\(.*$/, "", text)
    text = substr(text, 2)
    target = link
    sub(/^\[[^]]*\]\(/, "", target)
    sub(/\)$/, "", target)
    out = out substr(line, 1, RSTART - 1)
    out = out ((target ~ /^(#|[a-z]+:)/) ? link : text)
    line = substr(line, RSTART + RLENGTH)
  }
  print out line
}
