#!/usr/bin/env bash
# Builds the device library's API documentation (Doxygen, from the public
# headers and docs/library.md) into build/docs/html/. Any Doxygen warning
# fails it: an undocumented public name, a broken reference or command.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh" docs
# Only the documentation target of the build the tests use is built.
BREVIK_TARGETS=api_docs "$root/tools/build.sh" "$root/build"
echo "docs: $root/build/docs/html/index.html"
