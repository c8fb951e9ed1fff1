#!/usr/bin/env python3
"""Checks the sizes the house keeps: no file in src over 600 lines, no function
over 80 lines except the walkers listed below, which read as one state machine.

    tools/check_sizes.py [ROOT]

Function bodies are found by their braces: a '{' whose heading (the text since
the last ';', '{' or '}') has a parameter list and is no class, namespace,
initializer or statement. Comments, strings and character literals are blanked
first, and preprocessor lines. A function's length counts the lines from its heading's first line to
its closing brace. Exits 1 when something is over and not listed.
"""
import pathlib
import re
import sys

MAX_FILE_LINES = 600
MAX_FUNCTION_LINES = 80

# Walkers that read as one state machine: their length is the format's.
STATE_MACHINES = {
    "ReadGifLayout",  # one loop over a GIF's blocks: extensions, images and their sub-blocks
    "WalkMp3",  # one loop over the frames, with the tags before and after them
}

STATEMENTS = re.compile(r"^(if|for|while|switch|catch|do|else|return|try)\b|[=,]\s*$|\[[^\]]*\]\s*\(")


def blank(text):
    """text with comments, strings and character literals turned to spaces,
    lines kept."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif text.startswith('R"', i):
            m = re.match(r'R"([^(]*)\(', text[i:])
            end = text.find(")" + m.group(1) + '"', i) + len(m.group(1)) + 2
            out.append(re.sub(r"[^\n]", " ", text[i:end]))
            i = end
        elif c in "\"'" and not (c == "'" and i > 0 and text[i - 1].isalnum()):
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            out.append(" " * (j + 1 - i))
            i = j + 1
        else:
            out.append(c)
            i += 1
    # Preprocessor lines (with their continuations) hold no code to count.
    lines = "".join(out).split("\n")
    directive = False
    for k, line in enumerate(lines):
        if directive or line.lstrip().startswith("#"):
            directive = line.rstrip().endswith("\\")
            lines[k] = " " * len(line)
    return "\n".join(lines)


def functions(text):
    """(name, first line, line count) of each function body outside another."""
    code = blank(text)
    found = []
    heading_start = 0
    stack = []  # for each open brace: whether it opens a function body
    i = 0
    while i < len(code):
        c = code[i]
        if c == "{":
            inside = any(stack)
            heading = code[heading_start:i].strip()
            # A member's brace initializer in a constructor's list ("Foo(int a)
            # : m_a{a}") is part of the heading: step over it.
            if not inside and "(" in heading and re.search(r"(?<!:)[:,]\s*\w+$", heading) \
                    and heading.split()[0] not in ("class", "struct", "enum", "union", "namespace"):
                depth = 0
                while i < len(code):
                    depth += {"{": 1, "}": -1}.get(code[i], 0)
                    if depth == 0:
                        break
                    i += 1
                i += 1
                continue
            is_function = False
            if not inside and "(" in heading and not STATEMENTS.search(heading):
                head = heading.split("(")[0].split()
                if head and head[0] not in ("namespace", "class", "struct", "enum", "union", "extern"):
                    is_function = True
            stack.append(is_function)
            if is_function:
                name = re.findall(r"[~\w:]+(?=\s*\()", heading)
                segment = code[heading_start:i]
                first = heading_start + len(segment) - len(segment.lstrip())
                found.append([name[0] if name else "?", code.count("\n", 0, first) + 1, 0])
            heading_start = i + 1
        elif c == "}":
            if stack and stack.pop() and not any(stack):
                entry = found[-1]
                entry[2] = code.count("\n", 0, i) + 2 - entry[1]
            heading_start = i + 1
        elif c == ";":
            heading_start = i + 1
        i += 1
    return [(name, line, count) for name, line, count in found]


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
    over = 0
    for path in sorted((root / "src").rglob("*")):
        if path.suffix not in (".cpp", ".h"):
            continue
        text = path.read_text(encoding="utf-8", errors="replace")
        relative = path.relative_to(root)
        lines = text.count("\n")
        if lines > MAX_FILE_LINES:
            print(f"{relative}: {lines} lines (the limit is {MAX_FILE_LINES})")
            over += 1
        for name, line, count in functions(text):
            if count <= MAX_FUNCTION_LINES:
                continue
            listed = name.split("::")[-1] in STATE_MACHINES
            print(f"{relative}:{line}: {name} is {count} lines" + (" (a state machine, allowed)" if listed else ""))
            over += 0 if listed else 1
    return 1 if over else 0


if __name__ == "__main__":
    sys.exit(main())
