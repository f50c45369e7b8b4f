#!/usr/bin/env python3
"""The installed library's exported symbols against its installed headers.

    abi_check.py LIBRARY INCLUDE_DIR [COMPILER FLAGS...]

Parses every installed header with clang (its AST, with the mangled name of
each declaration) and reads the library's dynamic symbols with nm. Fails when
the library exports a symbol that no installed header declares (it would be
ABI nobody can see), when a function the headers declare out of line is not
exported (a user's program would not link), or when a class exports a
private member function of its own (it belongs behind the d-pointer). Run-time type information
and virtual tables are allowed for the classes the headers declare, and
required for the polymorphic ones.
"""
import json
import re
import subprocess
import sys


def declarations(include_dir, flags):
    headers = subprocess.run(["find", include_dir + "/mirel", "-name", "*.h"], check=True,
                             capture_output=True, text=True).stdout.split()
    source = "".join(f"#include <{h[len(include_dir) + 1:]}>\n" for h in sorted(headers))
    dump = subprocess.run(["clang++", "-std=c++17", "-fPIC", "-fsyntax-only", "-x", "c++", "-", "-I", include_dir,
                           *flags, "-Xclang", "-ast-dump=json", "-Xclang", "-ast-dump-filter=mirel"],
                          input=source, check=True, capture_output=True, text=True).stdout
    decoder, at, nodes = json.JSONDecoder(), 0, []
    while True:
        while at < len(dump) and dump[at].isspace():
            at += 1
        if at >= len(dump):
            break
        node, at = decoder.raw_decode(dump, at)
        nodes.append(node)

    declared, required, classes, polymorphic, private = set(), set(), set(), set(), set()

    def walk(node, access, record):
        kind = node.get("kind")
        if kind == "AccessSpecDecl":
            return node["access"]
        if kind == "NamespaceDecl" or (kind == "CXXRecordDecl" and node.get("completeDefinition")):
            inner = "private" if node.get("tagUsed") == "class" else "public"
            name = None
            if kind == "CXXRecordDecl":
                name = f"{record}::{node['name']}" if record else f"mirel::{node['name']}"
                classes.add(name)
                if node.get("bases"):
                    polymorphic.add(name)  # the widget's classes and the errors all derive from polymorphic ones
            for child in node.get("inner", []):
                inner = walk(child, inner, name) or inner
            return None
        mangled = node.get("mangledName")
        if kind not in ("CXXMethodDecl", "CXXConstructorDecl", "CXXDestructorDecl", "FunctionDecl", "VarDecl") \
                or not mangled or node.get("isImplicit"):
            return None
        if kind == "VarDecl" and node.get("storageClass") != "static" and record:
            return None
        if re.match(r"_ZN\d+mirelL", mangled):
            return None  # internal linkage: the constexpr enumerator aliases
        if node.get("name", "").startswith("qt_check_for_"):
            return None  # Qt's macros declare it to catch a missing macro, and nothing defines it
        if node.get("virtual") and record:
            polymorphic.add(record)
        mangled = normalized(mangled)
        declared.add(mangled)
        if access == "private" and not node["name"].startswith("qt_") and not node.get("explicitlyDeleted"):
            private.add(mangled)  # moc's own aside
        inline = node.get("inline") or any(c.get("kind") == "CompoundStmt" for c in node.get("inner", []))
        if access != "private" and not inline and not node.get("explicitlyDeleted") \
                and not node.get("explicitlyDefaulted") and not node.get("pure"):
            required.add(mangled)
        return None

    for node in nodes:
        if node.get("kind") == "NamespaceDecl" and node.get("name") == "mirel":
            walk(node, "public", None)
    return declared, required, classes, polymorphic, private


def normalized(mangled):
    # The complete, base and deleting variants of one constructor or destructor.
    return re.sub(r"([CD])[0-2](E)", r"\1*\2", mangled)


def class_of_rtti(symbol):
    demangled = subprocess.run(["c++filt", symbol], capture_output=True, text=True).stdout.strip()
    match = re.match(r"(?:typeinfo name for|typeinfo for|vtable for) (.*)", demangled)
    return match.group(1) if match else None


def main():
    library, include_dir, flags = sys.argv[1], sys.argv[2], sys.argv[3:]
    declared, required, classes, polymorphic, private = declarations(include_dir, flags)
    lines = subprocess.run(["nm", "-D", "--defined-only", library], check=True, capture_output=True,
                           text=True).stdout.splitlines()
    exported = {fields[2].split("@")[0] for fields in (line.split() for line in lines) if len(fields) == 3 and fields[1] != "A"}
    failures, rtti = [], set()
    for symbol in sorted(exported):
        if symbol.startswith(("_ZTI", "_ZTS", "_ZTV")):
            owner = class_of_rtti(symbol)
            if owner in classes:
                rtti.add((symbol[:4], owner))
                continue
        if normalized(symbol) not in declared:
            failures.append("exported but declared in no installed header: " + symbol)
    exported_normalized = {normalized(s) for s in exported}
    # The classes keep their machinery behind the d-pointer: a private
    # member function in a header would be exported, and so become ABI.
    for symbol in sorted(private & exported_normalized):
        failures.append("a private member is exported (it belongs behind the d-pointer): " + symbol)
    for symbol in sorted(required - exported_normalized):
        failures.append("declared in an installed header but not exported: " + symbol)
    for owner in sorted(polymorphic):
        for kind in ("_ZTI", "_ZTV"):
            if (kind, owner) not in rtti:
                failures.append(f"{kind} of {owner} is not exported")
    for failure in failures:
        print("FAILED:", subprocess.run(["c++filt"], input=failure, capture_output=True, text=True).stdout.strip(),
              file=sys.stderr)
    print(f"abi_check: {len(exported)} symbols exported, {len(declared)} declared, "
          f"{len(required)} required, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
