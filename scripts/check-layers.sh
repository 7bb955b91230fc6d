#!/usr/bin/env bash
# Checks the layering of the sources against the layer table of CMakeLists.txt
# (written by CMake to <build>/layers.txt, one line per layer: name, "core" or
# "qt", its folders, the layers it links):
#
#   - a file includes only its own layer and the layers its layer links,
#     directly or through others;
#   - a core layer includes no Qt header;
#   - in the core, no two modules (a folder's X.h and X.cpp) include each
#     other in a circle, directly or through others, and no two folders do;
#   - the layers do not link each other in a circle;
#   - every folder that holds sources, except the programs', tests',
#     benchmarks' and fuzz targets' folders, belongs to a layer.
#
# Every problem is one line naming the file and line that breaks the rule.
#
#   scripts/check-layers.sh SOURCE_DIR LAYER_TABLE
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 SOURCE_DIR LAYER_TABLE" >&2
  exit 64
fi
root=$1
table=$2
[ -d "$root" ] || { echo "$0: no folder $root" >&2; exit 64; }
[ -r "$table" ] || { echo "$0: cannot read the layer table $table (configure the build first)" >&2; exit 64; }
cd "$root"

# Folders that hold programs and their checks rather than a layer (resources/
# has the glyph renderer, run by hand).
is_outside() {
  case "$1" in
    tools|tools/*|tests|tests/*|bench|bench/*|fuzz|fuzz/*|resources|build*|out|out/*|obj-*|debian|debian/*|.*|*/.*) return 0 ;;
    *) return 1 ;;
  esac
}

files=$(mktemp)
sources=$(mktemp)
includes=$(mktemp)
trap 'rm -f "$files" "$sources" "$includes"' EXIT

# Every file of the tree (resolution of includes and generated headers), and
# the folders that hold C++ sources.
find . \( -path ./.git -o -path './build*' -o -path ./out -o -path './obj-*' \) -prune -o -type f -print | sed 's|^\./||' | LC_ALL=C sort >"$files"
: >"$sources"
while IFS= read -r dir; do
  is_outside "$dir" && continue
  echo "$dir" >>"$sources"
done < <(grep -E '\.(h|hpp|cpp|cc)$' "$files" | sed -n 's|/[^/]*$||p' | LC_ALL=C sort -u)

# The include lines of every layer folder (not its subfolders).
: >"$includes"
checked=0
while IFS=$'\t' read -r _name _kind dirs _uses; do
  for d in $dirs; do
    [ -d "$d" ] || continue
    for f in "$d"/*.h "$d"/*.hpp "$d"/*.cpp "$d"/*.cc; do
      [ -f "$f" ] || continue
      checked=$((checked + 1))
      grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' "$f" | sed "s|^|$f:|" >>"$includes" || true
    done
  done
done <"$table"

LC_ALL=C awk -F'\t' -v checked="$checked" -v TABLE="$table" -v FILES="$files" -v SOURCES="$sources" -v INCLUDES="$includes" '
function normalise(path,    n, parts, out, i, k, res) {
  n = split(path, parts, "/")
  k = 0
  for (i = 1; i <= n; i++) {
    if (parts[i] == "" || parts[i] == ".") continue
    if (parts[i] == ".." && k > 0 && out[k] != "..") { k--; continue }
    out[++k] = parts[i]
  }
  res = ""
  for (i = 1; i <= k; i++) res = res (i > 1 ? "/" : "") out[i]
  return res
}
function dirname(path,    i) {
  i = match(path, /\/[^\/]*$/)
  return i ? substr(path, 1, i - 1) : ""
}
function module(path) {
  sub(/\.(h|hpp|cpp|cc)$/, "", path)
  return path
}
function problem(text) {
  print text
  problems++
}
# Graph g: nodes in insertion order, edges in insertion order, each edge
# with the place that makes it.
function add_node(g, n) {
  if (!((g, n) in known)) { known[g, n] = 1; nodes[g, ++nnodes[g]] = n }
}
function add_edge(g, a, b, where) {
  add_node(g, a); add_node(g, b)
  if ((g, a, b) in edge) return
  edge[g, a, b] = where
  adj[g, a, ++nadj[g, a]] = b
}
# Depth-first search that reports every circle it closes, as the path from
# the first node of the circle back to it.
# Depth-first search that reports every circle it closes, starting from its
# first module by name, so that the report does not depend on the file order.
function dfs(g, n,    i, m, j, k, c, first, path, places, nxt) {
  colour[g, n] = 1
  stack[++depth] = n
  for (i = 1; i <= nadj[g, n]; i++) {
    m = adj[g, n, i]
    if (colour[g, m] == 1) {
      for (j = depth; j >= 1 && stack[j] != m; j--) ;
      c = 0
      for (k = j; k <= depth; k++) cyc[++c] = stack[k]
      first = 1
      for (k = 2; k <= c; k++) if (cyc[k] < cyc[first]) first = k
      path = ""; places = ""
      for (k = 0; k < c; k++) {
        n1 = cyc[(first - 1 + k) % c + 1]
        nxt = cyc[(first + k) % c + 1]
        path = path n1 " -> "
        if (edge[g, n1, nxt] != "") places = places "\n  " edge[g, n1, nxt]
      }
      problem(label[g] " circle: " path cyc[first] places)
    } else if (colour[g, m] == 0) {
      dfs(g, m)
    }
  }
  depth--
  colour[g, n] = 2
}
function circles(g,    i) {
  depth = 0
  for (i = 1; i <= nnodes[g]; i++)
    if (colour[g, nodes[g, i]] == 0) dfs(g, nodes[g, i])
}
# Every layer a layer may use: itself and all it links, through any path.
function reach(from, l,    i, u) {
  if ((from, l) in uses) return
  uses[from, l] = 1
  for (i = 1; i <= nlinks[l]; i++) {
    u = links[l, i]
    if (u in kind) reach(from, u)
  }
}
function folders_of(l,    s) {
  s = layerdirs[l]
  gsub(/ /, "/ ", s)
  return s "/"
}
BEGIN {
  problems = 0
  label["layer"] = "layer"
  label["module"] = "include"
  label["folder"] = "folder"
  while ((getline line < TABLE) > 0) {
    split(line, f, "\t")
    l = f[1]
    order[++nlayers] = l
    kind[l] = f[2]
    layerdirs[l] = f[3]
    nd = split(f[3], ds, " ")
    for (i = 1; i <= nd; i++) layerof[ds[i]] = l
    nu = split(f[4], us, " ")
    nlinks[l] = 0
    for (i = 1; i <= nu; i++) links[l, ++nlinks[l]] = us[i]
  }
  for (i = 1; i <= nlayers; i++) {
    l = order[i]
    add_node("layer", l)
    for (j = 1; j <= nlinks[l]; j++) {
      if (!(links[l, j] in kind)) {
        problem("CMakeLists.txt: layer " l " links " links[l, j] ", which is not a layer")
        continue
      }
      add_edge("layer", l, links[l, j], "")
    }
  }
  circles("layer")
  for (i = 1; i <= nlayers; i++) reach(order[i], order[i])

  while ((getline p < FILES) > 0) {
    exists[p] = 1
    # A header made from a template at configure time (Version.h from
    # model/Version.h.in) belongs to the template folder.
    if (p ~ /\.h\.in$/) { base = p; sub(/^.*\//, "", base); sub(/\.in$/, "", base); generated[base] = p; sub(/\.in$/, "", generated[base]) }
  }
  while ((getline d < SOURCES) > 0)
    if (!(d in layerof)) problem(d "/: holds sources but belongs to no layer of CMakeLists.txt")

  while ((getline line < INCLUDES) > 0) {
    # file:line:text
    c1 = index(line, ":"); file = substr(line, 1, c1 - 1); rest = substr(line, c1 + 1)
    c2 = index(rest, ":"); lineno = substr(rest, 1, c2 - 1); text = substr(rest, c2 + 1)
    dir = dirname(file)
    l = layerof[dir]
    where = file ":" lineno
    if (match(text, /<[^>]+>/)) {
      h = substr(text, RSTART + 1, RLENGTH - 2)
      if (kind[l] != "qt" && (h ~ /^Qt/ || h ~ /^Q[A-Za-z]+$/ || h ~ /^Q[A-Za-z]+\// || h ~ /^q[a-z0-9_]+\.h$/))
        problem(where ": includes <" h ">: " l " (" folders_of(l) ") is core and uses no Qt")
      continue
    }
    if (!match(text, /"[^"]+"/)) continue
    h = substr(text, RSTART + 1, RLENGTH - 2)
    target = ""
    if (dir != "" && (normalise(dir "/" h) in exists)) target = normalise(dir "/" h)
    else if (normalise(h) in exists) target = normalise(h)
    else if (h in generated) target = generated[h]
    if (target == "") continue  # a header from outside the tree
    tdir = dirname(target)
    if (!(tdir in layerof)) {
      problem(where ": includes \"" h "\": " tdir "/ belongs to no layer, and a layer uses only layers")
      continue
    }
    t = layerof[tdir]
    if (!((l, t) in uses)) {
      problem(where ": includes \"" h "\": " l " (" folders_of(l) ") may not use " t " (" folders_of(t) "); add it to the layer'"'"'s links in CMakeLists.txt only if that keeps the layers in order")
      continue
    }
    # Circles are looked for in the core; the windows own one another.
    if (kind[l] == "qt") continue
    if (module(file) != module(target)) add_edge("module", module(file), module(target), where ": includes \"" h "\"")
    if (dir != tdir && l == t) add_edge("folder", dir, tdir, where ": includes \"" h "\"")
  }
  circles("module")
  circles("folder")
  if (problems > 0) {
    print "layers: " problems " problem(s) in " checked " files"
    exit 1
  }
  print "layers: " checked " files of " nlayers " layers keep to the layering"
}
'
