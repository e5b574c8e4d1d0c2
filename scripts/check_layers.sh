#!/usr/bin/env bash
# Fails when a source file includes a header of a layer that its own layer may
# not use. The rules are the layer tables of docs/ARCHITECTURE.md: every host/
# folder is a layer of its own, and each module folder is one.
set -euo pipefail
cd "$(dirname "$0")/.."

host_folders=$(cd host && ls -d */ | tr -d / | tr '\n' ' ')
files=$(find model monitor io service interface module app host -name '*.cpp' -o -name '*.h' | sort)

# shellcheck disable=SC2086
awk -v host_folders="$host_folders" '
BEGIN {
  # The host layers, each with the host layers it uses directly; a layer may
  # also include whatever those may include. Every host layer but the scene
  # graph may include the scene graph.
  uses["host/scenegraph"] = ""
  uses["host/utils"] = ""
  uses["host/notification"] = ""
  uses["host/kernel"] = "host/utils"
  uses["host/tree"] = "host/kernel"
  uses["host/undo"] = "host/tree"
  uses["host/nodeutils"] = "host/undo"
  uses["host/handles"] = "host/nodeutils"
  uses["host/references"] = "host/handles"
  uses["host/fileio"] = "host/handles"
  uses["host/scene"] = "host/references host/fileio"
  uses["host/import"] = "host/scene"
  uses["host/startup"] = "host/import host/notification"
  # The module layers, with what each may include besides itself (and the
  # standard and third-party headers); "host" is every host layer.
  may["model"] = "host"
  may["monitor"] = "host model"
  may["io"] = "host model"
  may["service"] = "host model monitor io"
  may["interface"] = "host model io service"
  may["module"] = "host model monitor io service interface"
  may["app"] = "host"
  for (l in uses) may[l] = (l == "host/scenegraph" ? "" : "host/scenegraph ") closure(l)
  # The one allowed exception: the pool keeps each core'"'"'s smart file and makes it on first use.
  allowed["model/ksReferencePoolSmartFiles.cpp:io/ksSmartFile.h"] = 1
  n = split(host_folders, hf, " ")
  for (i = 1; i <= n; i++) isHost[hf[i]] = 1
  split("model monitor io service interface module app", ml, " ")
  for (i in ml) isModule[ml[i]] = 1
}
function closure(layer,   seen, todo, out, parts, n, i, l) {
  todo = uses[layer]; out = ""
  while (todo != "") {
    n = split(todo, parts, " "); todo = ""
    for (i = 1; i <= n; i++) {
      l = parts[i]
      if (l in seen) continue
      seen[l] = 1; out = out " " l; todo = todo " " uses[l]
    }
    sub(/^ +/, "", todo)
  }
  return substr(out, 2)
}
function layerOfFile(path,   parts) {
  split(path, parts, "/")
  return parts[1] == "host" ? "host/" parts[2] : parts[1]
}
function layerOfInclude(inc,   first) {
  if (index(inc, "/") == 0) return "self"
  first = substr(inc, 1, index(inc, "/") - 1)
  if (first in isHost) return "host/" first
  if (first in isModule) return first
  return "other"
}
FNR == 1 {
  layer = layerOfFile(FILENAME)
  if (!(layer in may) && !(layer in reported)) {
    printf "%s: the layer table has no row for %s\n", FILENAME, layer > "/dev/stderr"
    reported[layer] = 1; failures++
  }
}
/^[ \t]*#[ \t]*include[ \t]*"/ {
  inc = $0
  sub(/^[^"]*"/, "", inc); sub(/".*$/, "", inc)
  target = layerOfInclude(inc)
  if (target == "self" || target == "other" || target == layer) next
  rules = " " may[layer] " "
  if (index(rules, " " target " ")) next
  if (target ~ /^host\// && index(rules, " host ")) next
  if ((FILENAME ":" inc) in allowed) next
  printf "%s includes \"%s\": %s may not include %s\n", FILENAME, inc, layer, target > "/dev/stderr"
  failures++
}
END {
  if (failures) { printf "check_layers: %d include(s) against the layer table\n", failures > "/dev/stderr"; exit 1 }
  print "check_layers: every include follows the layer table"
}' $files
