#!/usr/bin/env bash
# Fails when a source file includes a header of a layer that its own layer may
# not use. The rules are the layer table of docs/ARCHITECTURE.md.
set -euo pipefail
cd "$(dirname "$0")/.."

host_folders=$(cd host && ls -d */ | tr -d / | tr '\n' ' ')
files=$(find model monitor io service interface module app host -name '*.cpp' -o -name '*.h' | sort)

# shellcheck disable=SC2086
awk -v host_folders="$host_folders" '
BEGIN {
  # What each layer may include besides itself (and the standard and third-party headers).
  may["model"] = "host"
  may["monitor"] = "host model"
  may["io"] = "host model"
  may["service"] = "host model monitor io"
  may["interface"] = "host model io service"
  may["module"] = "host model monitor io service interface"
  may["app"] = "host"
  may["host"] = "host"
  may["scenegraph"] = ""
  # The one allowed exception: the pool keeps each core'"'"'s smart file and makes it on first use.
  allowed["model/ksReferencePoolSmartFiles.cpp:io/ksSmartFile.h"] = 1
  n = split(host_folders, hf, " ")
  for (i = 1; i <= n; i++) isHost[hf[i]] = 1
  split("model monitor io service interface module app", ml, " ")
  for (i in ml) isModule[ml[i]] = 1
}
function layerOfFile(path,   parts) {
  split(path, parts, "/")
  if (parts[1] == "host") return parts[2] == "scenegraph" ? "scenegraph" : "host"
  return parts[1]
}
function layerOfInclude(inc,   first) {
  if (index(inc, "/") == 0) return "self"
  first = substr(inc, 1, index(inc, "/") - 1)
  if (first in isHost) return first == "scenegraph" ? "scenegraph" : "host"
  if (first in isModule) return first
  return "other"
}
/^[ \t]*#[ \t]*include[ \t]*"/ {
  inc = $0
  sub(/^[^"]*"/, "", inc); sub(/".*$/, "", inc)
  layer = layerOfFile(FILENAME); target = layerOfInclude(inc)
  if (target == "self" || target == "other" || target == layer) next
  rules = " " may[layer] " "
  if (target == "scenegraph" && index(rules, " host ")) next
  if (index(rules, " " target " ")) next
  if ((FILENAME ":" inc) in allowed) next
  printf "%s includes \"%s\": %s may not include %s\n", FILENAME, inc, layer, target > "/dev/stderr"
  failures++
}
END {
  if (failures) { printf "check_layers: %d include(s) against the layer table\n", failures > "/dev/stderr"; exit 1 }
  print "check_layers: every include follows the layer table"
}' $files
