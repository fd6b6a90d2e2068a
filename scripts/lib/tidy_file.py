#!/usr/bin/env python3
"""Runs clang-tidy on one source of a compile database, through a cache outside the checkout.

    tidy_file.py <database dir> <source dir> <source> <log> [<clang-tidy option>...]
    tidy_file.py --prune

Writes clang-tidy's output for <source> to <log>, ending with the line
"clang-tidy exit status: <n>", as scripts/lint reads it. A run that ended with 0 is kept in the
cache under a key made of everything its result depends on: clang-tidy's version, every tracked
.clang-tidy, the options, the compile command, and the path and contents of the source and of
every file it includes (listed by the compiler's -M). The checkout's own folder is written as a
placeholder in the key and in the kept output, so that another checkout of the same sources in
another folder finds the same entries. A source whose includes cannot be listed is tidied
without the cache. --prune removes the entries that no run has used for 30 days.

KEELO_TIDY_CACHE sets the cache's folder (default: $XDG_CACHE_HOME/keelo/clang-tidy, or
~/.cache/keelo/clang-tidy); KEELO_TIDY_CACHE=0 turns it off.
"""

import hashlib
import json
import os
import shlex
import subprocess
import sys
import tempfile
import time

PLACEHOLDER = "@KEELO_SOURCE_DIR@"
# Flags of the build's command that write files or name outputs; the listing of includes must do
# neither.
DROPPED_WITH_VALUE = {"-o", "-MF", "-MT", "-MQ"}
DROPPED = {"-c", "-MD", "-MMD"}
PRUNE_AFTER_DAYS = 30


def cache_dir():
    setting = os.environ.get("KEELO_TIDY_CACHE", "")
    if setting == "0":
        return None
    if setting:
        return setting
    base = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return os.path.join(base, "keelo", "clang-tidy")


def compile_command(database_dir, source):
    with open(os.path.join(database_dir, "compile_commands.json")) as f:
        for entry in json.load(f):
            if entry["file"] == source:
                arguments = entry.get("arguments") or shlex.split(entry["command"])
                return entry["directory"], arguments
    return None, None


def included_files(directory, arguments, source):
    """Every file the compiler reads for |source|, the source first; None when it cannot say."""
    listing = []
    skip = False
    for argument in arguments:
        if skip:
            skip = False
        elif argument in DROPPED_WITH_VALUE:
            skip = True
        elif argument not in DROPPED and argument != source:
            listing.append(argument)
    with tempfile.NamedTemporaryFile(suffix=".d") as deps:
        result = subprocess.run(listing + ["-M", "-MF", deps.name, source], cwd=directory,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if result.returncode != 0:
            return None
        text = open(deps.name, errors="surrogateescape").read()
    # Make's syntax: "target: first second \<newline> third", spaces in names escaped.
    text = text.replace("\\\n", " ")
    files = []
    for line in text.splitlines():
        _, _, names = line.partition(": ")
        name = ""
        escaped = False
        for char in names + " ":
            if escaped:
                name += char
                escaped = False
            elif char == "\\":
                escaped = True
            elif char == " ":
                if name:
                    files.append(os.path.normpath(os.path.join(directory, name)))
                name = ""
            else:
                name += char
    return files


def cache_key(source_dir, database_dir, source, options):
    directory, arguments = compile_command(database_dir, source)
    if arguments is None:
        return None
    files = included_files(directory, arguments, source)
    if not files:
        return None
    key = hashlib.sha256()

    def add(text):
        data = text.replace(source_dir, PLACEHOLDER).encode("utf-8", "surrogateescape")
        key.update(len(data).to_bytes(8, "little"))
        key.update(data)

    version = subprocess.run(["clang-tidy", "--version"], capture_output=True, text=True)
    add(version.stdout)
    configs = subprocess.run(["git", "ls-files", "-z", "*.clang-tidy", ".clang-tidy"],
                             cwd=source_dir, capture_output=True, text=True).stdout
    for config in sorted(filter(None, configs.split("\0"))):
        add(config)
        with open(os.path.join(source_dir, config), errors="surrogateescape") as f:
            add(f.read())
    add(" ".join(options))
    add(directory)
    add("\0".join(arguments))
    for name in sorted(set(files)):
        add(name)
        try:
            with open(name, "rb") as f:
                key.update(hashlib.sha256(f.read()).digest())
        except OSError:
            return None
    return key.hexdigest()


def prune():
    cache = cache_dir()
    if not cache or not os.path.isdir(cache):
        return
    oldest = time.time() - PRUNE_AFTER_DAYS * 24 * 3600
    for folder, _, names in os.walk(cache):
        for name in names:
            path = os.path.join(folder, name)
            try:
                if os.path.getmtime(path) < oldest:
                    os.remove(path)
            except OSError:
                pass


def main():
    if sys.argv[1:] == ["--prune"]:
        prune()
        return
    database_dir, source_dir, source, log = sys.argv[1:5]
    options = sys.argv[5:]
    cache = cache_dir()
    key = cache_key(source_dir, database_dir, source, options) if cache else None
    entry = os.path.join(cache, key[:2], key + ".log") if key else None
    if entry and os.path.exists(entry):
        with open(entry, errors="surrogateescape") as f:
            output = f.read().replace(PLACEHOLDER, source_dir)
        # Used entries stay; --prune removes those unused for a month.
        os.utime(entry)
        output += "clang-tidy cache: hit\n"
        status = 0
    else:
        result = subprocess.run(["clang-tidy", "-p", database_dir, "--quiet", *options, source],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                errors="surrogateescape", text=True)
        output = result.stdout
        status = result.returncode
        # A run that failed may have crashed or run out of memory: it is never kept.
        if entry and status == 0:
            os.makedirs(os.path.dirname(entry), exist_ok=True)
            with tempfile.NamedTemporaryFile("w", dir=os.path.dirname(entry), delete=False,
                                             errors="surrogateescape") as f:
                f.write(output.replace(source_dir, PLACEHOLDER))
            os.replace(f.name, entry)
    with open(log, "w", errors="surrogateescape") as f:
        f.write(output)
        f.write(f"clang-tidy exit status: {status}\n")


if __name__ == "__main__":
    main()
