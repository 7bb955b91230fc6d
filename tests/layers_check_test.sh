#!/usr/bin/env bash
# Checks of scripts/check-layers.sh on small trees made here: each case builds
# a tree with one fault (or none) and compares the checker's exit code and its
# exact report.
#
#   tests/layers_check_test.sh path/to/check-layers.sh
set -uo pipefail

checker=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/tgx-layers.XXXXXX")
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

# A tree with three core layers (base <- forms <- project), a Qt layer over
# them and a tools folder, every file including only what it may.
make_tree() {
  rm -rf "$work/src"
  mkdir -p "$work/src"/{model,forms,project,app,tools/ctl}
  cd "$work/src" || exit 1
  printf 'tgx_base\tcore\tmodel\t\n' >layers.txt
  printf 'tgx_forms\tcore\tforms\ttgx_base\n' >>layers.txt
  printf 'tgx_project\tcore\tproject\ttgx_forms\n' >>layers.txt
  printf 'tgx_gui\tqt\tapp\ttgx_project\n' >>layers.txt
  printf '#pragma once\n#include <string>\n' >model/Xstream.h
  printf '#include "model/Xstream.h"\n' >model/Xstream.cpp
  printf 'namespace tgx {}\n' >model/Version.h.in
  printf '#pragma once\n#include "model/Xstream.h"\n' >forms/Forma.h
  printf '#include "Forma.h"\n#include "Version.h"\n' >forms/Forma.cpp
  printf '#pragma once\n#include "forms/Forma.h"\n' >project/Eprj.h
  # A layer uses the layers below the one it links, too.
  printf '#include "project/Eprj.h"\n#include "model/Xstream.h"\n#include <sqlite3.h>\n#include "sqlite3ext.h"\n' >project/Eprj.cpp
  printf '#include <QWidget>\n#include "project/Eprj.h"\n' >app/Fproj.cpp
  printf '#include "app/Fproj.h"\n' >tools/ctl/main.cpp
}

# expect NAME CODE EXPECTED-OUTPUT: runs the checker on the current tree.
expect() {
  local name=$1 code=$2 want=$3 got rc
  got=$(bash "$checker" "$work/src" "$work/src/layers.txt" 2>&1)
  rc=$?
  if [ "$rc" = "$code" ] && [ "$got" = "$want" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAIL %s: exit %s (wanted %s)\n--- got\n%s\n--- wanted\n%s\n' "$name" "$rc" "$code" "$got" "$want"
  fi
}

make_tree
expect "a tree in order passes" 0 "layers: 7 files of 4 layers keep to the layering"

make_tree
printf '#include "project/Eprj.h"\n' >>forms/Forma.cpp
expect "a layer including a layer above it" 1 \
'forms/Forma.cpp:3: includes "project/Eprj.h": tgx_forms (forms/) may not use tgx_project (project/); add it to the layer'"'"'s links in CMakeLists.txt only if that keeps the layers in order
layers: 1 problem(s) in 7 files'

make_tree
printf '#include <QString>\n' >>model/Xstream.cpp
expect "a Qt header in the core" 1 \
'model/Xstream.cpp:2: includes <QString>: tgx_base (model/) is core and uses no Qt
layers: 1 problem(s) in 7 files'

make_tree
printf '#include <QtCore/qglobal.h>\n' >>forms/Forma.h
expect "a Qt header by its module path" 1 \
'forms/Forma.h:3: includes <QtCore/qglobal.h>: tgx_forms (forms/) is core and uses no Qt
layers: 1 problem(s) in 7 files'

make_tree
printf '#include "tools/ctl/main.cpp"\n' >>project/Eprj.cpp
expect "a layer including a program's folder" 1 \
'project/Eprj.cpp:5: includes "tools/ctl/main.cpp": tools/ctl/ belongs to no layer, and a layer uses only layers
layers: 1 problem(s) in 7 files'

make_tree
printf '#pragma once\n#include "forms/Line.h"\n' >forms/Convert.h
printf '#pragma once\n#include "forms/Convert.h"\n' >forms/Line.h
expect "two modules including each other" 1 \
'include circle: forms/Convert -> forms/Line -> forms/Convert
  forms/Convert.h:2: includes "forms/Line.h"
  forms/Line.h:2: includes "forms/Convert.h"
layers: 1 problem(s) in 9 files'

make_tree
printf '#pragma once\n' | tee forms/A.h forms/C.h >/dev/null
printf '#include "forms/B.h"\n' >forms/A.cpp
printf '#pragma once\n#include "forms/C.h"\n' >forms/B.h
printf '#include "forms/A.h"\n' >forms/C.cpp
expect "a circle through three modules, header and source alike" 1 \
'include circle: forms/A -> forms/B -> forms/C -> forms/A
  forms/A.cpp:1: includes "forms/B.h"
  forms/B.h:2: includes "forms/C.h"
  forms/C.cpp:1: includes "forms/A.h"
layers: 1 problem(s) in 12 files'

make_tree
sed -i 's/^tgx_forms\tcore\tforms\t.*/tgx_forms\tcore\tforms forms\/detail\ttgx_base/' layers.txt
mkdir -p forms/detail
printf '#pragma once\n' >forms/Line.h
printf '#pragma once\n#include "forms/Line.h"\n' >forms/detail/Part.h
printf '#include "forms/detail/Part.h"\n' >>forms/Forma.cpp
expect "two folders of one layer including each other" 1 \
'folder circle: forms -> forms/detail -> forms
  forms/Forma.cpp:3: includes "forms/detail/Part.h"
  forms/detail/Part.h:2: includes "forms/Line.h"
layers: 1 problem(s) in 9 files'

make_tree
printf '#include "app/Fproj.h"\n' >app/App.cpp
printf '#pragma once\n#include "app/App.h"\n' >app/Fproj.h
expect "the windows may include one another" 0 "layers: 9 files of 4 layers keep to the layering"

make_tree
sed -i 's/^tgx_base\tcore\tmodel\t$/tgx_base\tcore\tmodel\ttgx_project/' layers.txt
expect "layers linking each other in a circle" 1 \
'layer circle: tgx_base -> tgx_project -> tgx_forms -> tgx_base
layers: 1 problem(s) in 7 files'

make_tree
sed -i 's/^tgx_forms\tcore\tforms\ttgx_base$/tgx_forms\tcore\tforms\ttgx_base tgx_nowhere/' layers.txt
expect "a link to a layer that does not exist" 1 \
'CMakeLists.txt: layer tgx_forms links tgx_nowhere, which is not a layer
layers: 1 problem(s) in 7 files'

make_tree
mkdir -p journal
printf 'int x;\n' >journal/Journal.cpp
expect "a source folder that is no layer" 1 \
'journal/: holds sources but belongs to no layer of CMakeLists.txt
layers: 1 problem(s) in 7 files'

make_tree
mkdir -p tests/forms bench fuzz
printf '#include "app/Fproj.h"\n' | tee tests/forms/x_test.cpp bench/x_bench.cpp fuzz/x_fuzz.cpp >/dev/null
expect "tests, benchmarks and fuzz targets are no layer" 0 "layers: 7 files of 4 layers keep to the layering"

make_tree
printf '#include "../model/Xstream.h"\n' >>forms/Forma.cpp
printf '#include "../project/Eprj.h"\n' >>forms/Forma.cpp
expect "a relative include is judged by the file it names" 1 \
'forms/Forma.cpp:4: includes "../project/Eprj.h": tgx_forms (forms/) may not use tgx_project (project/); add it to the layer'"'"'s links in CMakeLists.txt only if that keeps the layers in order
layers: 1 problem(s) in 7 files'

make_tree
printf '// #include "project/Eprj.h"\n' >>forms/Forma.cpp
expect "an include in a comment is no include" 0 "layers: 7 files of 4 layers keep to the layering"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
