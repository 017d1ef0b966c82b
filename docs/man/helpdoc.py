#!/usr/bin/env python3
"""Builds a program's manual page and bash completion from its help texts.

Both are made at build time from what the built program prints for --help
(and SUBCOMMAND --help), so neither can fall behind the options the program
takes. The manual page adds the sections a help text does not hold (the
window, exit statuses, examples, files) from a page source beside this script.

  helpdoc.py man PROGRAM PAGE.txt VERSION OUT.1     (writes OUT.1 and OUT.1.gz)
  helpdoc.py completion PROGRAM OUT

Page source: the first line is the NAME line ("prog - what it does"); "# T"
starts section T, "## T" a subsection; "@usage ARGS" puts the first usage
block of `PROGRAM ARGS` here (the synopsis), "@help ARGS" the whole help text
of `PROGRAM ARGS` (usage blocks other than the synopsis kept); lines indented
by four spaces are shown as they are (examples); "  TERM  text" lines, a term
indented by two spaces and two or more spaces before the text, are a list, as
in the help texts (a term alone on its line takes the more deeply indented
lines below as its text). Anything else is running text; `x` is set in bold.
"""

import gzip
import os
import re
import subprocess
import sys

OPTION = r"(?<![\w-])--?[A-Za-z][\w-]*"
METAVAR = r"(?<![\w-])[A-Z][A-Z0-9_]*(?:[.=x][A-Za-z0-9_]+)*(?!\w)"


def run(program, args):
    # Help texts are plain ASCII; a fixed locale keeps them so.
    env = dict(os.environ, LC_ALL="C")
    out = subprocess.run([program] + args, capture_output=True, text=True, env=env)
    if out.returncode != 0 or not out.stdout.strip():
        sys.exit(f"helpdoc: `{os.path.basename(program)} {' '.join(args)}` failed "
                 f"(status {out.returncode}): {out.stderr.strip()}")
    return out.stdout


# --- reading help texts -------------------------------------------------------

def indent_of(line):
    return len(line) - len(line.lstrip(" "))


def blocks(text):
    """Splits a help text into ('usage', lines), ('heading', text),
    ('para', lines) and ('list', [(term, [description lines])]) blocks."""
    out = []
    lines = text.rstrip("\n").split("\n")
    i = 0
    while i < len(lines):
        line = lines[i]
        if not line.strip():
            i += 1
            continue
        if line.lower().startswith("usage:"):
            usage = [line]
            i += 1
            while i < len(lines) and lines[i].strip() and indent_of(lines[i]) > 0:
                usage.append(lines[i])
                i += 1
            out.append(("usage", usage))
            continue
        if indent_of(line) == 0:
            if re.fullmatch(r"[A-Z][a-z]+(?: [a-z]+)?:", line.strip()):
                out.append(("heading", line.strip()[:-1]))
                i += 1
                continue
            para = []
            while i < len(lines) and lines[i].strip() and indent_of(lines[i]) == 0:
                para.append(lines[i])
                i += 1
            out.append(("para", para))
            continue
        entries = []
        while i < len(lines) and lines[i].strip() and indent_of(lines[i]) > 0:
            term_indent = indent_of(lines[i])
            m = re.match(r"\s*(\S.*?)(?:\s{2,}(\S.*))?$", lines[i])
            term, desc = m.group(1), [m.group(2)] if m.group(2) else []
            i += 1
            while i < len(lines) and lines[i].strip() and indent_of(lines[i]) > term_indent:
                desc.append(lines[i].strip())
                i += 1
            entries.append((term, desc))
        out.append(("list", entries))
    return out


def usage_lines(text):
    for kind, body in blocks(text):
        if kind == "usage":
            first = body[0][len("usage:"):].strip()
            rest = [l.strip() if not l.strip().startswith("[") else "    " + l.strip()
                    for l in body[1:]]
            return [first] + rest
    sys.exit("helpdoc: the help text has no usage line")


# --- roff ------------------------------------------------------------------------

def esc(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text.startswith((".", "'")) else text


def inline(text):
    """Running text: escaped, `x` bold."""
    parts = re.split(r"`([^`]+)`", text)
    return "".join(esc(p) if i % 2 == 0 else "\\fB" + esc(p) + "\\fR"
                   for i, p in enumerate(parts))


def term(text, bold_words=0):
    """A term or usage line: options bold, placeholders italic, the first
    bold_words words (program and subcommand) bold."""
    lead = ""
    if bold_words:
        words = text.split(" ")
        lead = "\\fB" + esc(" ".join(words[:bold_words])) + "\\fR"
        text = " " + " ".join(words[bold_words:]) if len(words) > bold_words else ""
    out, pos = [], 0
    for m in re.finditer(f"({OPTION})|({METAVAR})", text):
        out.append(esc(text[pos:m.start()]))
        font = "B" if m.group(1) else "I"
        out.append(f"\\f{font}{esc(m.group(0))}\\fR")
        pos = m.end()
    out.append(esc(text[pos:]))
    result = lead + "".join(out)
    return "\\&" + result if result.startswith((".", "'")) else result


def program_words(line, program):
    words = line.split(" ")
    if words[0] != program:
        return 0
    return 2 if len(words) > 1 and re.fullmatch(r"[a-z][a-z0-9-]*", words[1]) else 1


def synopsis_roff(lines, program):
    out = [".nf"]
    for l in lines:
        out.append(term(l, program_words(l, program)))
    out.append(".fi")
    return out


def help_roff(text, program, synopsis, in_subsection):
    out = []
    for kind, body in blocks(text):
        if kind == "usage":
            lines = usage_lines("\n".join(body))
            if lines == synopsis:
                continue
            out += [".PP"] + synopsis_roff(lines, program)
        elif kind == "heading":
            # Under a subsection already: a bold line, not a sibling subsection.
            out += [".PP", "\\fB" + esc(body) + "\\fR"] if in_subsection else [".SS " + esc(body)]
        elif kind == "para":
            out += [".PP"] + [inline(l) for l in body]
        else:
            for t, desc in body:
                out += [".TP", term(t, program_words(t, program))]
                out += [inline(d) for d in desc]
    return out


def man_page(program, page_file, version):
    name = os.path.basename(program)
    with open(page_file) as f:
        source = f.read().rstrip("\n").split("\n")
    out = [f'.\\" Generated from `{name} --help` and {os.path.basename(page_file)}; do not edit.',
           f'.TH {name.upper()} 1 "" "Vettrix {version}" "User Commands"',
           ".nh", ".ad l", ".SH NAME", esc(source[0])]
    synopsis = None
    in_subsection = False
    i = 1
    while i < len(source):
        line = source[i]
        if line.startswith("## "):
            out.append(".SS " + esc(line[3:]))
            in_subsection = True
        elif line.startswith("# "):
            out.append(".SH " + esc(line[2:]))
            in_subsection = False
        elif line.startswith("@usage"):
            synopsis = usage_lines(run(program, line.split()[1:]))
            out += synopsis_roff(synopsis, name)
        elif line.startswith("@help"):
            out += help_roff(run(program, line.split()[1:]), name, synopsis, in_subsection)
        elif line.startswith("    "):
            example = []
            while i < len(source) and source[i].startswith("    "):
                example.append(esc(source[i][4:]))
                i += 1
            out += [".PP", ".RS 4", ".nf"] + example + [".fi", ".RE"]
            continue
        elif re.match(r"  \S", line):
            entries = []
            while i < len(source) and re.match(r"  \S", source[i]):
                # "  TERM  text", or "  TERM" with its text on the lines below.
                m = re.match(r"  (\S.*?)(?:\s{2,}(\S.*))?$", source[i])
                entries.append((m.group(1), [m.group(2)] if m.group(2) else []))
                i += 1
                while i < len(source) and source[i].startswith("   ") and source[i].strip():
                    entries[-1][1].append(source[i].strip())
                    i += 1
            for t, desc in entries:
                out += [".TP", term(t, program_words(t, name))] + [inline(d) for d in desc]
            continue
        elif line.strip():
            para = []
            while (i < len(source) and source[i].strip() and
                   not source[i].startswith(("#", "@", "  "))):
                para.append(inline(source[i]))
                i += 1
            out += [".PP"] + para
            continue
        i += 1
    return "\n".join(out) + "\n"


# --- bash completion -------------------------------------------------------------

# "human (default), json, csv or sarif": an option's description that starts
# by naming its values.
VALUE_LIST = re.compile(r"([a-z][a-z0-9-]*)(?: \(default\))?"
                        r"((?:, [a-z][a-z0-9-]*(?: \(default\))?)*) or ([a-z][a-z0-9-]*)\b")


def options_of(text, command=None):
    """{option: metavar or None} from the usage lines and list terms. With
    `command` ("prog sub"), only the usage lines of that command count: the
    others (the program's own options) are errors after it."""
    found = {}
    places = []
    for kind, body in blocks(text):
        if kind == "usage":
            keep = True
            for line in usage_lines("\n".join(body)):
                if not line.startswith(" "):
                    keep = command is None or line == command or line.startswith(command + " ")
                if keep:
                    places.append(line)
        elif kind == "list":
            for t, desc in body:
                m = VALUE_LIST.match(desc[0]) if desc else None
                mv = re.search(f"{OPTION}[ =]([A-Z][A-Z0-9_]*)$", t)
                if m and mv:
                    words = [m.group(1)] + re.findall(r", ([a-z][a-z0-9-]*)", m.group(2))
                    t = t[:mv.start(1)] + "|".join(words + [m.group(3)])
                places.append(t)
    for place in places:
        for m in re.finditer(f"({OPTION})(?:[ =]([^\\s\\]]+))?", place):
            opt, mv = m.group(1), m.group(2)
            if mv and (mv.startswith(("-", "[", "|")) or
                       not re.fullmatch(r"[A-Za-z0-9_.=|x]+(?:\.\.\.)?", mv) or
                       not (re.search(r"[A-Z]", mv) or "|" in mv)):
                mv = None
            if mv or opt not in found:
                found[opt] = mv
    return found


def value_action(metavar):
    """The bash that completes an option's value."""
    if "|" in metavar:
        words = [w for w in metavar.split("|") if re.fullmatch(r"[a-z][a-z0-9-]*", w)]
        return f'COMPREPLY=($(compgen -W "{" ".join(words)}" -- "$cur"))'
    if re.search(r"FILE|OUT|MASK", metavar) or re.search(r"\.[a-z]+$", metavar):
        ext = re.search(r"\.([a-z]+)$", metavar)
        return f"_filedir {ext.group(1)}" if ext else "_filedir"
    return ":"  # a value of the user's own making: nothing to offer


def takes_files(text):
    """True when the usage names a positional placeholder (ADDRESS...)."""
    for line in usage_lines(text)[:1]:
        rest = re.sub(f"({OPTION})(?:[ =][^\\s\\]]+)?", "", line)
        if re.search(METAVAR, " ".join(rest.split(" ")[1:])):
            return True
    return False


def completion(program):
    name = os.path.basename(program)
    top = run(program, ["--help"])
    subs = sorted(set(re.findall(rf"(?<![\w-]){re.escape(name)} ([a-z][a-z0-9-]*)\b", top)))
    top_opts = {}
    for m in re.finditer(rf"(?<![\w-]){re.escape(name)} \[?({OPTION})(?: ([A-Z][^\s\]]*))?", top):
        top_opts.setdefault(m.group(1), m.group(2))
    sub_opts = {s: options_of(run(program, [s, "--help"]), f"{name} {s}") for s in subs}
    sub_files = {s: takes_files(run(program, [s, "--help"])) for s in subs}

    fn = "_" + re.sub(r"\W", "_", name)
    actions = {}  # bash action -> the "subcommand option" pairs it completes
    for sub, opts in [("", top_opts)] + list(sub_opts.items()):
        for opt, mv in sorted(opts.items()):
            if mv:
                actions.setdefault(value_action(mv), []).append(f'"{sub} {opt}"')
    cases = [f"        {'|'.join(keys)})\n            {action}\n            return ;;"
             for action, keys in actions.items()]
    body = [f"# bash completion for {name}; generated from its --help texts, do not edit.",
            f"{fn}()", "{",
            "    local cur prev words cword split",
            "    _init_completion -s || return", "",
            "    # The subcommand, if one is given before the word completed.",
            '    local sub="" i',
            "    for ((i = 1; i < cword; i++)); do",
            "        case ${words[i]} in",
            f"            {'|'.join(subs)}) sub=${{words[i]}}; break ;;",
            "        esac",
            "    done", "",
            "    # The value of an option that takes one.",
            '    case "$sub $prev" in'] + cases + [
            "    esac",
            "    $split && return", "",
            "    case $sub in",
            '        "")',
            '            if [[ $cur == -* ]]; then',
            f'                COMPREPLY=($(compgen -W "{" ".join(sorted(top_opts))}" -- "$cur"))',
            "            else",
            f'                COMPREPLY=($(compgen -W "{" ".join(subs)}" -- "$cur"))',
            "            fi",
            "            ;;"]
    for sub, opts in sub_opts.items():
        words = " ".join(sorted(opts))
        body += [f"        {sub})"]
        if sub_files[sub]:
            body += ['            if [[ $cur == -* ]]; then',
                     f'                COMPREPLY=($(compgen -W "{words}" -- "$cur"))',
                     "            else",
                     "                _filedir",
                     "            fi"]
        else:
            body += [f'            COMPREPLY=($(compgen -W "{words}" -- "$cur"))']
        body += ["            ;;"]
    body += ["    esac", f"}} && complete -F {fn} {name}", ""]
    return "\n".join(body)


def write(path, text):
    with open(path, "w") as f:
        f.write(text)


def main():
    if len(sys.argv) == 6 and sys.argv[1] == "man":
        page = man_page(sys.argv[2], sys.argv[3], sys.argv[4])
        write(sys.argv[5], page)
        # Installed compressed; no name or time in the header, so the same
        # page always gives the same bytes.
        with open(sys.argv[5] + ".gz", "wb") as f:
            f.write(gzip.compress(page.encode(), compresslevel=9, mtime=0))
    elif len(sys.argv) == 4 and sys.argv[1] == "completion":
        write(sys.argv[3], completion(sys.argv[2]))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
