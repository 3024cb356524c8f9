#!/usr/bin/env bash
# Builds the web page, the library compiled to WebAssembly (and the decoder module
# for other files, with libsndfile built once into build-web/sndfile/), into build-web/site/
# and serves it at http://127.0.0.1:8000/ (Ctrl-C stops the server).
#   scripts/web.sh              build and serve
#   scripts/web.sh --no-serve   build only
#   MAVREL_WEB_PORT=8080 scripts/web.sh   serve on another port
set -euo pipefail
cd "$(dirname "$0")/.."

serve=1
case "${1:-}" in
  "") ;;
  --no-serve) serve=0 ;;
  *) echo "usage: $0 [--no-serve]" >&2; exit 2 ;;
esac

scripts/deps.sh web
# Debian's emcc runs its JavaScript tools with Node, which finds Debian's acorn here.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
# libsndfile for the page's decoder module, built once into the build folder.
scripts/web-sndfile.sh build-web/sndfile
emcmake cmake -S . -B build-web -G Ninja -DMAVREL_WEB_SNDFILE_PREFIX="$PWD/build-web/sndfile/prefix" >/dev/null
cmake --build build-web -j2 --target wavchorus_site
site=$PWD/build-web/site
echo "The page is in $site ($(du -sh "$site" | cut -f1))"

if [ "$serve" -eq 1 ]; then
  port=${MAVREL_WEB_PORT:-8000}
  echo "Serving it at http://127.0.0.1:$port/ (Ctrl-C stops)"
  exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$site"
fi
