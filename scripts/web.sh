#!/bin/bash
# Builds the browser program into build-web/ and serves its static site
# (build-web/site/: index.html, tlvx.js, tlvx.wasm) on http://127.0.0.1:8000/.
#   bash scripts/web.sh [--port N]    build and serve
#   bash scripts/web.sh --build-only  only build
# Installs what it needs first (apt; sudo when not root).
set -euo pipefail
cd "$(dirname "$0")/.."

port=8000
serve=1
while [ $# -gt 0 ]; do
  case "$1" in
    --build-only) serve=0 ;;
    --port) port="${2:?--port needs a number}"; shift ;;
    --port=*) port="${1#--port=}" ;;
    -h|--help) sed -n '2,6p' "$0"; exit 0 ;;
    *) echo "web.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done
case "$port" in ''|*[!0-9]*) echo "web.sh: --port needs a number" >&2; exit 2 ;; esac

bash scripts/deps.sh --web

# The compiler's JavaScript optimizer needs Debian's node modules (acorn), which
# a node not from Debian does not look for by itself.
export NODE_PATH="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"
emcmake cmake -S . -B build-web -DTLVX_WEB=ON -DCMAKE_BUILD_TYPE=Release
cmake --build build-web -j2
echo "The site is in build-web/site/ (index.html, tlvx.js, tlvx.wasm): any static web server can serve it."

if [ "$serve" = 1 ]; then
  echo "Serving on http://127.0.0.1:$port/ (Ctrl+C stops)"
  cd build-web/site
  if command -v python3 >/dev/null; then
    exec python3 -m http.server "$port" --bind 127.0.0.1
  fi
  exec node -e '
    const http = require("http"), fs = require("fs"), path = require("path");
    const types = { ".html": "text/html", ".js": "text/javascript", ".wasm": "application/wasm",
                    ".png": "image/png", ".ico": "image/x-icon", ".webmanifest": "application/manifest+json" };
    http.createServer((req, res) => {
      const name = decodeURIComponent(req.url.split("?")[0]);
      const file = path.join(".", name === "/" ? "index.html" : path.normalize(name).replace(/^(\.\.[\/\\])+/, ""));
      fs.readFile(file, (err, data) => {
        if (err) { res.writeHead(404); res.end("not found"); return; }
        res.writeHead(200, { "Content-Type": types[path.extname(file)] || "application/octet-stream" });
        res.end(data);
      });
    }).listen(Number(process.argv[1]), "127.0.0.1");' "$port"
fi
