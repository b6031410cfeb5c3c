#!/usr/bin/env bash
# Fails when an executable holds instructions beyond the x86-64 baseline (SSE2): SSE3 and
# later, AVX, BMI, POPCNT and the like. "tzcnt" is allowed: it is "rep bsf", which older
# processors run as bsf, and GCC emits it only where the two agree. The section ".avx2" holds
# kernels the engine runs only once the processor has said it has AVX2, and is left out.
#
#   tools/build/check-baseline.sh EXECUTABLE [OBJDUMP]     OBJDUMP defaults to objdump
set -euo pipefail
exe="$1"
objdump="${2:-objdump}"
beyond=$("$objdump" -d --no-show-raw-insn "$exe" |
    awk '/^Disassembly of section/ { skip = ($4 == ".avx2:") } !skip' |
    awk -F'\t' 'NF >= 2 { split($2, w, " "); print w[1] }' |
    grep -E '^(v[a-z0-9]+|popcnt|lzcnt|pext|pdep|blsr|blsi|blsmsk|andn|shlx|shrx|sarx|bzhi|rorx|mulx|adcx|adox|movbe|crc32|pshufb|palignr|phadd[a-z]*|phsub[a-z]*|pmaddubsw|pmulhrsw|psign[bwd]|pabs[bwd]|ptest|pmin(sb|sd|uw|ud)|pmax(sb|sd|uw|ud)|pmulld|pmuldq|pextr[bdq]|pinsr[bdq]|round[sp][sd]|blendv?p[sd]|pblend[a-z]*|pcmpeqq|pcmpgtq|packusdw|pmov[sz]x[a-z]*|dpp[sd]|insertps|extractps|mpsadbw|phminposuw|movntdqa|lddqu|haddp[sd]|hsubp[sd]|addsubp[sd]|movddup|movs[hl]dup|pcmp[ei]str[im]|cmpxchg16b)$' |
    sort | uniq -c || true)
if [ -n "$beyond" ]; then
    echo "$exe holds instructions beyond the x86-64 baseline:"
    echo "$beyond"
    exit 1
fi
echo "$exe: no instruction beyond the x86-64 baseline"
