#!/bin/bash
# Builds every preset and runs every test: native unit tests, the same under
# AddressSanitizer and UndefinedBehaviorSanitizer, the renderer's tests under
# ThreadSanitizer (its bands on several threads), the Windows build's tests
# under wine on a virtual display, and a bounded fuzz run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
jobs="${JOBS:-$(nproc)}"
fuzz_seconds="${FUZZ_SECONDS:-30}"

presets=(native native-asan native-tsan win64 win32)
if grep -q '"native-fuzz"' CMakePresets.json; then presets+=(native-fuzz); fi
for preset in "${presets[@]}"; do
    echo "=== build $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
done
# The Windows release packages (ZIP and installer); the release tests install them.
for preset in win64 win32; do
    echo "=== package $preset"
    cmake --build --preset "$preset" -j "$jobs" --target package
done

# The .deb is installed with apt, run by the daemon and purged (CI runs as root).
export GYROFOLD_DEB_INSTALL=1
for preset in native native-asan native-tsan; do
    echo "=== test $preset"
    ctest --preset "$preset"
done
# The two Windows builds have their own wine prefixes and each run gets its
# own virtual display, so their suites run side by side; inside one suite
# the runs share the settings key and the screen and go one at a time.
declare -A suite_pid
for preset in win64 win32; do
    ctest --preset "$preset" >"build/$preset-tests.log" 2>&1 &
    suite_pid[$preset]=$!
done
failed=""
for preset in win64 win32; do
    wait "${suite_pid[$preset]}" || failed="$failed $preset"
    echo "=== test $preset"
    cat "build/$preset-tests.log"
done
if [ -n "$failed" ]; then
    echo "failed:$failed"
    exit 1
fi
if [ -x tests/fuzz/run-fuzz.sh ] || [ -f tests/fuzz/run-fuzz.sh ]; then
    if [ -d build/native-fuzz ]; then
        echo "=== fuzz ${fuzz_seconds}s per target"
        bash tests/fuzz/run-fuzz.sh build/native-fuzz "$fuzz_seconds"
    fi
fi
echo "=== all tests passed"
