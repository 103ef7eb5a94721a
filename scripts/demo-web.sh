#!/usr/bin/env bash
# Builds the demonstration page into out/web/: the page's files and, in
# out/web/orvessa/, the runtime files of the npm package. Any static server will do to open it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
package="$root/build/web/package"
out="$root/out/web"

# Up to date first (the build does only what changed).
"$root/scripts/build-web.sh" >/dev/null
rm -rf "$out"
mkdir -p "$out/orvessa"
cp "$root"/web/demo/* "$out/"
cp "$package"/*.js "$package"/*.wasm "$package/LICENSE" "$out/orvessa/"
echo "demonstration page in $out: serve it with  python3 -m http.server -b 127.0.0.1 -d $out  and open http://127.0.0.1:8000/"
