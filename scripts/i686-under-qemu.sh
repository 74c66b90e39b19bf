#!/bin/bash
# Runs chosen i686 test binaries where the machine cannot execute i386 Linux programs: Wine's
# 32-bit loader goes through qemu-user, registered in a private binfmt_misc inside a user and
# mount namespace, so the host is left untouched. Very slow (a prefix takes 15 to 60 min);
# for spot checks, not for CI.
#   scripts/i686-under-qemu.sh 'e2e_startup --gtest_filter=*Plant*' unit_offers
# Needs qemu-user-static and the i686 tree (BRINDLE_TEST_ARCH=i686 ./brindle build).
# Logs go to build/test-i686/qemu-<test>.log.
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" != --inside ]; then
  command -v qemu-i386-static >/dev/null || { echo "qemu-i386-static is missing (apt-get install qemu-user-static)"; exit 2; }
  exec unshare --user --map-root-user --mount --net "$0" --inside "$@"
fi
shift
mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:FP' \
  > /proc/sys/fs/binfmt_misc/register
ip link set lo up
cd "$ROOT"
B=build/test-i686
export BRINDLE_TIMEOUT_SCALE=${BRINDLE_TIMEOUT_SCALE:-30}
python3 tests/harness/harness.py start --build $B || exit 1
trap 'python3 tests/harness/harness.py stop --build $B' EXIT
export BRINDLE_WIZARD_DLM=$PWD/$B/Brindle.exe BRINDLE_WIZARD_ISV=$PWD/$B/tests/BrindleIsv.exe \
  BRINDLE_WIZARD_BT=$PWD/$B/tests/BrindleBt.exe BRINDLE_PLANTED_DLL=$PWD/$B/tests/planted/planted.dll \
  BRINDLE_STATIC_IMPORTER=$PWD/$B/tests/static_importer.exe BRINDLE_ARCH=i686
for spec in "$@"; do
  test=${spec%% *}
  args=()
  [ "$test" != "$spec" ] && read -ra args <<<"${spec#* }"
  echo "== $test $(date +%T)"
  timeout 3600 $B/harness/wine-run "$B/tests/$test.exe" "${args[@]}" >"$B/qemu-$test.log" 2>&1
  echo "exit $?"
  grep -E "^\[  (PASSED|FAILED) |Failure$" "$B/qemu-$test.log"
done
