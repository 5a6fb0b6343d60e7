#!/usr/bin/env python3
"""Proves the calling convention of a 32-bit DLL's exports from its machine code.

A stdcall function pops its own arguments: every return it reaches must be `ret $N`
with N = 4 x its argument count (a plain `ret` when it has none). A cdecl function, or
one built with another argument list than its callers expect, returns otherwise and
would corrupt every caller's stack. This check needs no 32-bit runtime: it reads the
export table and the code with objdump and follows each export's control flow from its
entry (jumps, conditional branches, straight-line code up to the next function) to
every return it can reach.

    stdcall_check.py DLL TABLE...   (TABLE: lines "NAME<TAB>ORDINAL<TAB>ARGS[<TAB>...]", # comments)

Prints "N exports pop exactly their arguments" or one line per fault, and exits 0 or 1 (2: the DLL can't be read).
"""
import re
import subprocess
import sys


def objdump(*args):
    return subprocess.run(["objdump", *args], check=True, capture_output=True, text=True).stdout


def read_tables(paths):
    table = {}
    for path in paths:
        with open(path) as f:
            for line in f:
                if line.strip() and not line.startswith("#"):
                    name, _ordinal, args = line.rstrip("\n").split("\t")[:3]
                    table[name] = int(args)
    return table


def read_exports(dll):
    """{name: address} from the export table (addresses, not RVAs)."""
    headers = objdump("-p", dll)
    base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", headers, re.M).group(1), 16)
    rva_of_ordinal, exports, part = {}, {}, None
    for line in headers.splitlines():
        if line.startswith("Export Address Table"):
            part = "addresses"
        elif line.startswith("[Ordinal/Name Pointer] Table"):
            part = "names"
        elif not line.strip():
            part = None
        elif part == "addresses":
            m = re.match(r"\s*\[\s*(\d+)\]\s+\+base\[\s*(\d+)\]\s+([0-9a-fA-F]+)", line)
            if m:
                rva_of_ordinal[m.group(1)] = int(m.group(3), 16)
        elif part == "names":
            m = re.match(r"\s*\[\s*(\d+)\]\s+(\S+)", line)
            if m:
                exports[m.group(2)] = base + rva_of_ordinal[m.group(1)]
    return exports


def read_code(dll):
    """(instructions {address: text}, sorted addresses, function starts)."""
    code, starts = {}, set()
    for line in objdump("-d", "--no-show-raw-insn", dll).splitlines():
        m = re.match(r"^([0-9a-f]+) <[^>]+>:$", line)
        if m:
            starts.add(int(m.group(1), 16))
            continue
        m = re.match(r"^\s*([0-9a-f]+):\s+(.*)$", line)
        if m:
            code[int(m.group(1), 16)] = m.group(2).strip()
    return code, sorted(code), starts


def returns_reached(entry, code, order, starts):
    """Every (address, text) of a return reachable from entry; faults found on the way."""
    index = {a: i for i, a in enumerate(order)}
    seen, todo, rets, faults = set(), [entry], [], []
    while todo:
        address = todo.pop()
        first = True
        while address not in seen:
            if address not in index:
                faults.append(f"flow leaves the code at {address:#x}")
                break
            if not first and address in starts:
                break  # straight-line code ends where the next function begins
            first = False
            seen.add(address)
            text = code[address]
            op = text.split()[0] if text else ""
            if op in ("rep", "repz") and len(text.split()) > 1:
                op = text.split()[1]
            if op == "ret":
                rets.append((address, text))
                break
            if op.startswith("j"):
                target = re.match(r"j\w+\s+([0-9a-f]+)\b", text)
                if not target:
                    faults.append(f"indirect jump at {address:#x} ({text}) can't be followed")
                    break
                todo.append(int(target.group(1), 16))
                if op == "jmp":
                    break
            next_index = index[address] + 1
            if next_index == len(order):
                break
            address = order[next_index]
    return rets, faults


def popped(ret_text):
    m = re.search(r"\$0x([0-9a-f]+)", ret_text)
    return int(m.group(1), 16) if m else 0


def main():
    if len(sys.argv) < 3:
        print(__doc__.strip().splitlines()[-3].strip(), file=sys.stderr)
        return 2
    dll, table_paths = sys.argv[1], sys.argv[2:]
    try:
        table = read_tables(table_paths)
        exports = read_exports(dll)
        code, order, starts = read_code(dll)
    except (OSError, subprocess.CalledProcessError, AttributeError) as error:
        print(f"stdcall_check: can't read {dll}: {error}", file=sys.stderr)
        return 2
    faults = []
    for name, args in sorted(table.items()):
        if name not in exports:
            faults.append(f"{name}: not exported")
            continue
        rets, flow_faults = returns_reached(exports[name], code, order, starts)
        faults += [f"{name}: {fault}" for fault in flow_faults]
        if not rets:
            faults.append(f"{name}: no return reached")
        for address, text in rets:
            if popped(text) != 4 * args:
                faults.append(f"{name}: '{text}' at {address:#x} pops {popped(text)} bytes, "
                              f"not {4 * args} ({args} arguments)")
    for fault in faults:
        print(fault)
    if not faults:
        print(f"{len(table)} exports pop exactly their arguments")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
