#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs one of them.
#   bash scripts/fuzz.sh TARGET SECONDS   run TARGET for SECONDS, its corpus growing in
#                                         build-fuzz/corpus/TARGET (seeds from tests/fuzz/corpus)
#   bash scripts/fuzz.sh --smoke SECONDS  every target for SECONDS each (CI)
#   bash scripts/fuzz.sh --coverage TARGET  line coverage of the code under test, reached by
#                                         TARGET's corpus (seeds and what runs have grown)
# Targets: import_fuzz body_counter_fuzz response_fuzz smtp_reply_fuzz settings_fuzz
#          selector_fuzz charset_fuzz devtools_fuzz
set -euo pipefail
cd "$(dirname "$0")/.."
targets=(import_fuzz body_counter_fuzz response_fuzz smtp_reply_fuzz settings_fuzz selector_fuzz charset_fuzz
         devtools_fuzz)

bash scripts/deps.sh --fuzz  # clang, libFuzzer and the sanitizer runtimes


run() {  # target seconds
  local t="$1" secs="$2" extra=()
  mkdir -p "build-fuzz/corpus/$t" build-fuzz/artifacts
  # The counter's pieces are 4094 bytes: its inputs must be able to cross them.
  [ "$t" = body_counter_fuzz ] && extra+=(-max_len=20000)
  [ "$t" = import_fuzz ] && extra+=(-max_len=8192)
  echo "== $t: ${secs}s"
  "build-fuzz/bin/$t" "build-fuzz/corpus/$t" "tests/fuzz/corpus/$t" \
    -max_total_time="$secs" -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 \
    -artifact_prefix=build-fuzz/artifacts/ "${extra[@]}" 2>"build-fuzz/$t.log" || {
      tail -n 60 "build-fuzz/$t.log"; echo "$t: FAILED (see build-fuzz/artifacts/)"; return 1; }
  grep -E "^(Done|stat::number_of_executed_units)" "build-fuzz/$t.log" || true
  grep -E "cov: [0-9]+ ft: [0-9]+" "build-fuzz/$t.log" | tail -n 1 || true
}

if [ "${1:-}" = "--coverage" ]; then
  t="${2:?target}"
  # The file under test and its functions that the target drives.
  case "$t" in
    import_fuzz) src=store/UrlTextFile.cpp; fns='ImportUrlFile|Utf16Decoder|IsBlank' ;;
    body_counter_fuzz) src=probe/PageTextCounter.cpp; fns='PageTextCounter' ;;
    response_fuzz) src=probe/ProbeTransfer.h; fns='Transfer|HeaderIs|Trim|IsRedirect' ;;
    smtp_reply_fuzz) src=delivery/SmtpConnection.cpp; fns='ReadLine|SmtpReplyCode' ;;
    settings_fuzz) src=support/CCore.cpp; fns='CCore|ParseInt|ParseBool|ValidUtf8|Find' ;;
    devtools_fuzz) src=probe/DevToolsMessage.cpp; fns='Read|Repaired|Parse|Str|Obj|Int|NeedStr' ;;
    *) echo "unknown target $t"; exit 2 ;;
  esac
  cmake -S . -B build-fuzz-cov -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DSENTREL_GUI=OFF -DSENTREL_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" \
    -DCMAKE_EXE_LINKER_FLAGS="-fprofile-instr-generate" >/dev/null
  cmake --build build-fuzz-cov -j"$(nproc)" --target "$t" >/dev/null
  mkdir -p "build-fuzz/corpus/$t"
  rm -f build-fuzz-cov/"$t".profraw
  LLVM_PROFILE_FILE="build-fuzz-cov/$t.profraw" "build-fuzz-cov/bin/$t" -runs=0 \
    "build-fuzz/corpus/$t" "tests/fuzz/corpus/$t" >/dev/null 2>&1
  llvm-profdata merge -sparse "build-fuzz-cov/$t.profraw" -o "build-fuzz-cov/$t.profdata"
  # Executed and missed lines of those functions, as llvm-cov shows them.
  llvm-cov show "build-fuzz-cov/bin/$t" -instr-profile="build-fuzz-cov/$t.profdata" \
    -name-regex="$fns" "$src" |
    awk -F'|' -v t="$t" -v src="$src" '
      NF >= 3 && $2 ~ /[0-9]/ { gsub(/ /, "", $2); key = $1 + 0; if (!(key in seen)) {
        seen[key] = 1; total++; if ($2 == "0") missed++ } }
      END { printf "%s: %d of %d lines of %s run (%.1f%%)\n", t, total - missed, total, src,
            total ? 100 * (total - missed) / total : 0 }'
  exit 0
fi

# The fuzzing build (the coverage mode above has a build of its own).
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DSENTREL_GUI=OFF -DSENTREL_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_all

if [ "${1:-}" = "--smoke" ]; then
  failed=0
  for t in "${targets[@]}"; do run "$t" "${2:-30}" || failed=1; done
  exit $failed
fi
[ $# -eq 2 ] || { sed -n 2,6p "$0"; exit 2; }
run "$1" "$2"
