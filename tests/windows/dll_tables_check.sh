#!/usr/bin/env bash
# The tables of a built DLL, read back with objdump -p (no Windows needed):
#   dll_tables_check.sh exports DLL HEADER|- TABLE...
#     the export table against the tables (win/exports.tsv, win/ksim_exports.tsv): every
#     name at its ordinal ("-": any), each second name (fourth column) at its first
#     name's address and no other two names at one, with HEADER every KSIM_ function of
#     it, no other name and no export by ordinal only;
#   dll_tables_check.sh imports DLL LIST...
#     every imported function on one of the allowlists (tests/windows/imports_*.txt).
# Prints what it checked and exits 0, or the differences and exits 1.
set -euo pipefail
mode=$1 dll=$2
shift 2
case $mode in
exports)
    header=$1
    shift
    ksim=$(mktemp)
    trap 'rm -f "$ksim"' EXIT
    [ "$header" = - ] || grep -o 'KORVA3_CALL[[:space:]]\+KSIM_[A-Z0-9_]\+' "$header" |
        awk '{print $2}' >"$ksim"
    problems=$(objdump -p "$dll" | awk -v tables="$*" -v ksim="$ksim" '
        BEGIN {
            n = split(tables, files, " ")
            for (i = 1; i <= n; i++)
                while ((getline line < files[i]) > 0)
                    if (line !~ /^#/ && line != "") {
                        split(line, f, "\t")
                        want[f[1]] = f[2] == "-" ? "any" : f[2]
                        if (f[4] != "") first[f[1]] = f[4]
                    }
            while ((getline name < ksim) > 0) if (!(name in want)) want[name] = "any"
        }
        /^Export Address Table -- Ordinal Base/ { table = 1; next }
        /^\[Ordinal\/Name Pointer\] Table/ { table = 2; next }
        table && /^$/ { table = 0 }
        table == 1 && /Export RVA/ {
            line = $0; gsub(/[][+]/, " ", line); split(line, f, " ")
            ordinal[f[1]] = f[3]; rva[f[1]] = f[4]
            if (f[4] != "0") entries++
        }
        table == 1 && /Forwarder RVA/ { print "forwarded export: " $0 }
        table == 2 && /^\t\[/ {
            line = $0; gsub(/[][]/, " ", line); split(line, f, " ")
            name = f[2]; got[name] = ordinal[f[1]]; at[name] = rva[f[1]]; names++
        }
        END {
            for (n in want) {
                if (!(n in got)) print "missing: " n
                else if (want[n] != "any" && got[n] != want[n])
                    print n " at ordinal " got[n] ", not " want[n]
            }
            for (n in got) {
                if (!(n in want)) print "extra export: " n
                if (at[n] in owner) shared[at[n]] = shared[at[n]] " " n; else owner[at[n]] = n
            }
            for (a in shared) {
                split(owner[a] shared[a], pair, " ")
                named = (pair[1] in first && first[pair[1]] == pair[2]) ||
                        (pair[2] in first && first[pair[2]] == pair[1])
                if (pair[3] != "" || !named)
                    print "one address for " owner[a] shared[a]
            }
            for (n in first)
                if (at[n] != at[first[n]]) print n " and " first[n] " at different addresses"
            if (entries != names) print entries " exported addresses for " names " names"
            if (names == 0) print "no export table"
            print names + 0 " names"
        }')
    count=$(tail -n 1 <<<"$problems")
    problems=$(sed '$d' <<<"$problems")
    if [ -z "$problems" ]; then
        echo "$dll exports exactly the table ($count)"
    else
        echo "$dll export table:"$'\n'"$problems"
        exit 1
    fi
    ;;
imports)
    imports=$(objdump -p "$dll" | awk '/DLL Name:/ {dll = toupper($3)}
        /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ {print dll, $3}' | sort -u)
    count=$(grep -c . <<<"$imports" || true)
    others=$(grep -v -x -F -f <(cat "$@" | grep -v '^#') <<<"$imports" || true)
    if [ "$count" -gt 0 ] && [ -z "$others" ]; then
        echo "$dll imports $count functions, all on $*"
    else
        echo "$dll imports functions missing from $*:"$'\n'"${others:-no imports read}"
        exit 1
    fi
    ;;
*)
    echo "dll_tables_check.sh: exports DLL HEADER|- TABLE... or imports DLL LIST..." >&2
    exit 2
    ;;
esac
