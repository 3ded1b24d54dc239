#!/usr/bin/env python3
"""Assembles the Quorvanta Demo installation medium.

Lays out the product files with their modes, compresses a file with bzip2,
packs the archives with tar (one of them bzip2-compressed), copies the setup
modules, the agreement, the help pages and the runtime tools, and writes the
description cdinst.dat with the sizes and archive members of what it made.

usage: make_medium.py SOURCE_DIR RUNTIME_DIR OUT_DIR MODULE...

A MODULE goes into SetupFiles/; one given as REL=PATH goes to REL instead.
"""
import os
import re
import shutil
import subprocess
import sys

# Product files copied as they are, with the modes they get on the medium.
PLAIN = {
    'bin/qvdemo': 0o755,
    'QVR_FILE': 0o644,
    'etc/qvdemo.conf': 0o644,
    'etc/license.key': 0o600,
    'lib/qvdemo-core.tlb': 0o644,
    'tools/bin/qvtool': 0o755,
}
# Product files that travel compressed under their installed name.
COMPRESSED = ['doc/RELEASE-NOTES']
# Archives: file on the medium, tree it packs, compressed or not.
ARCHIVES = [
    ('archives/docs.tar', 'docs', False),
    ('archives/samples.tar.bz2', 'samples', True),
    ('archives/common.tar', 'common', False),
]
# The runtime's registry tools and the product's qvr, shipped as product files
# under Application/ (the runtime directory holds them at the same places).
RUNTIME = {
    'Application/mainwin/mw/bin-amd64_linux/mwperl': 0o755,
    'Application/mainwin/mw/scripts/mwgeneric.pl': 0o644,
    'Application/mainwin/mw/bin-linux_optimized/regkey': 0o755,
    'Application/bin/tavreg': 0o755,
    'Application/bin/qvr': 0o755,
}


def members(root):
    """Archive members below root, each directory before what it holds."""
    out = []
    for dirpath, dirnames, filenames in os.walk(root):
        dirnames.sort()
        rel = os.path.relpath(dirpath, root)
        if rel != '.':
            out.append(rel)
        out.extend(os.path.normpath(os.path.join(rel, f)) for f in sorted(filenames))
    return out


def put(src, dst, mode):
    os.makedirs(os.path.dirname(dst), exist_ok=True)
    shutil.copyfile(src, dst)
    os.chmod(dst, mode)


def main():
    source, runtime, out = sys.argv[1:4]
    modules = sys.argv[4:]
    if os.path.isdir(out):
        shutil.rmtree(out)
    os.makedirs(out)
    sizes = {}
    tars = {}

    for rel, mode in PLAIN.items():
        put(os.path.join(source, 'payload', rel), os.path.join(out, rel), mode)
        sizes[rel] = os.path.getsize(os.path.join(out, rel))

    usizes = {}
    for rel in COMPRESSED:
        src = os.path.join(source, 'payload', rel)
        dst = os.path.join(out, rel)
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        with open(dst, 'wb') as f:
            subprocess.run(['bzip2', '-c', src], stdout=f, check=True)
        os.chmod(dst, 0o644)
        usizes[rel] = os.path.getsize(src)

    for rel, tree, compressed in ARCHIVES:
        root = os.path.join(source, 'archives', tree)
        names = members(root)
        dst = os.path.join(out, rel)
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        tar = ['tar', '--owner=0', '--group=0', '--numeric-owner', '--no-recursion', '-C', root, '-cf', '-'] + names
        with open(dst, 'wb') as f:
            if compressed:
                packer = subprocess.Popen(tar, stdout=subprocess.PIPE)
                subprocess.run(['bzip2', '-c'], stdin=packer.stdout, stdout=f, check=True)
                packer.stdout.close()
                if packer.wait() != 0:
                    sys.exit(f'make_medium: tar failed for {rel}')
            else:
                subprocess.run(tar, stdout=f, check=True)
        os.chmod(dst, 0o644)
        entries = []
        for name in names:
            path = os.path.join(root, name)
            entries.append((name, 0 if os.path.isdir(path) else os.path.getsize(path)))
        tars[rel] = entries

    for rel, mode in RUNTIME.items():
        src = os.path.join(runtime, rel)
        dst = os.path.join(out, rel)
        if not os.path.isfile(src):
            sys.exit(f'make_medium: missing runtime stand-in {src}')
        put(src, dst, mode)
        sizes[rel] = os.path.getsize(dst)

    setup_files = [(m.split('=', 1)[1], m.split('=', 1)[0], 0o755) if '=' in m
                   else (m, 'SetupFiles/' + os.path.basename(m), 0o755) for m in modules]
    setup_files += [(os.path.join(source, 'SetupFiles', 'eula.txt'), 'SetupFiles/eula.txt', 0o644),
                    (os.path.join(source, 'Setup', 'Help', 'index.html'), 'Setup/Help/index.html', 0o644)]
    for src, rel, mode in setup_files:
        put(src, os.path.join(out, rel), mode)
        sizes[rel] = os.path.getsize(os.path.join(out, rel))

    def field(m):
        kind, rel = m.group(1), m.group(2)
        if kind == 'SIZE':
            return str(sizes[rel])
        if kind == 'USIZE':
            return str(usizes[rel])
        entries = tars[rel]
        total = sum(size for _, size in entries)
        return ' \\\n    '.join([str(total)] + [f'"{name}" {size}' for name, size in entries])

    with open(os.path.join(source, 'cdinst.dat.in')) as f:
        text = re.sub(r'@(SIZE|USIZE|TAR):([^@]+)@', field, f.read())
    with open(os.path.join(out, 'cdinst.dat'), 'w') as f:
        f.write(text)
    os.chmod(os.path.join(out, 'cdinst.dat'), 0o644)


if __name__ == '__main__':
    main()
