#!/usr/bin/env bash
# Measures what the build costs a developer: the CPU time (user + system) of a clean build of the
# application, its tests and benchmarks with the compiler cache off, the number of objects it
# compiles, and how many objects an edit of each of the most-included project headers recompiles
# (read from the compilers' dependency lists, which is exactly what ninja rebuilds).
# Usage: bench/build_cost.sh [build folder (default: a temporary one, removed)] [jobs (default 4)]
#        bench/build_cost.sh --headers <configured and built folder> [how many (default 10)]
#        bench/build_cost.sh --libraries <configured and built folder>
set -euo pipefail

source_dir="$(cd "$(dirname "$0")/.." && pwd)"

# Prints "<objects> <header>" for the project's headers, most included first.
header_reach() {
    local build count="$2"
    build="$(cd "$1" && pwd)"
    # Paths inside the build folder's parent come relative to it; made absolute to compare.
    ninja -C "$build" -t deps | awk -v src="$source_dir/src/" -v build="$build/" '
        /^[^ ].*\.o: #deps/ { next }
        /^    / {
            path = $1
            if (substr(path, 1, 1) != "/") {
                path = build path
                while (sub(/\/[^\/]+\/\.\.\//, "/", path)) {}
            }
            if (index(path, src) == 1 && path ~ /\.h$/) reach[substr(path, length(src) + 1)]++
        }
        END { for (h in reach) print reach[h], h }' | sort -k1,1nr -k2 | head -n "$count"
}

# Prints "<objects> <header>" for the heavy headers of the libraries the project uses: how many
# objects parse each, which only the files using that library should.
library_reach() {
    ninja -C "$1" -t deps | awk '
        BEGIN {
            n = split("nlohmann/json.hpp unicode/locid.h qcoro/qcorotask.h QtWidgets/qwidget.h " \
                "QtDBus/qdbusconnection.h fmt/format.h /sqlite3.h X11/Xlib.h xcb/xcb.h wayland-client-core.h", heavy, " ")
        }
        /\.o: #deps/ { object = $1; next }
        /^    / {
            for (i = 1; i <= n; i++) {
                h = heavy[i]
                if (substr($1, length($1) - length(h) + 1) == h && !seen[object, h]++) reach[h]++
            }
        }
        END { for (i = 1; i <= n; i++) print reach[heavy[i]] + 0, heavy[i] }' | sed 's| /sqlite3.h| sqlite3.h|'
}

if [[ "${1:-}" == "--libraries" ]]; then
    library_reach "${2:?usage: build_cost.sh --libraries <build folder>}"
    exit 0
fi

if [[ "${1:-}" == "--headers" ]]; then
    header_reach "${2:?usage: build_cost.sh --headers <build folder> [how many]}" "${3:-10}"
    exit 0
fi

build="${1:-}"
jobs="${2:-4}"
if [[ -z "$build" ]]; then
    build="$(mktemp -d /tmp/kiruvo-build-cost.XXXXXX)"
    trap 'rm -rf "$build"' EXIT
fi

export CCACHE_DISABLE=1
cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1" -DBUILD_TESTING=ON -DKIRUVO_BENCHMARKS=ON >/dev/null
cmake --build "$build" --target clean >/dev/null
# GNU time counts the CPU time of every process the build waited for: compilers, moc, the linker.
/usr/bin/time -f "%U %S %e" -o "$build/build-time" cmake --build "$build" -j"$jobs" >/dev/null
read -r user system elapsed <"$build/build-time"
objects=$(ninja -C "$build" -t deps | grep -c '\.o: #deps')

echo "clean build, -j$jobs, no compiler cache: CPU $(echo "$user + $system" | bc) s" \
    "(user $user s, system $system s), wall $elapsed s, $objects objects"
echo "objects an edit of the ten most-included project headers recompiles:"
header_reach "$build" 10 | awk '{ printf "  %4d  %s\n", $1, $2 }'
echo "objects that parse the heaviest header of each library:"
library_reach "$build" | awk '{ printf "  %4d  %s\n", $1, $2 }'
