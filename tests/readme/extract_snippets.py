#!/usr/bin/env python3
"""extract_snippets.py README OUTPUT_DIR

Writes each fenced C++ and C block of README's integration guide (from "## Integration guide" to
the end) into OUTPUT_DIR/snippets.cpp and OUTPUT_DIR/snippets.c, for the compiler to check that
they compile as written. Each block becomes a function whose parameters are the names the guide's
prose gives the snippets (snippet_prelude.h, snippet_prelude_c.h); its #include lines and its
definitions (a line at the left margin opening a class, struct or function, up to the "}" or
"};" closing it at the margin) go before the function. #line directives point errors at
README.md's own lines."""
import os
import re
import sys

DEFINITION = re.compile(r"^(class|struct|static|void|int|bool|template)\b.*\{$")


def blocks(lines):
    """(language, first line number, lines) for each cpp or c block of the integration guide."""
    fence = None
    start = None
    body = []
    guide = False
    for number, line in enumerate(lines, 1):
        if line.startswith("## "):
            guide = guide or line.strip() == "## Integration guide"
        if fence is None:
            if line.startswith("```"):
                fence = line[3:].strip()
                start, body = number + 1, []
        elif line.strip() == "```":
            if guide and fence in ("cpp", "c"):
                yield fence, start, body
            fence = None
        else:
            body.append(line)


def translation_unit(language, readme, found):
    prelude = "snippet_prelude.h" if language == "cpp" else "snippet_prelude_c.h"
    out = ['#include "%s"' % prelude]
    for _, start, body in found:
        top, inside, definition = [], [], False
        for offset, line in enumerate(body):
            numbered = ('#line %d "%s"' % (start + offset, readme), line)
            if definition or line.startswith("#include") or DEFINITION.match(line):
                top.extend(numbered)
                definition = (definition or bool(DEFINITION.match(line))) and \
                    line not in ("}", "};")
            else:
                inside.extend(numbered)
        out.extend(top)
        out.append("void readme_snippet_%d(README_SNIPPET_PARAMETERS) {" % start)
        out.append("  README_SNIPPET_USES")
        # A block of its own: a snippet may declare what the parameters name.
        out.append("  {")
        out.extend(inside)
        out.append("  }")
        out.append("}")
    return "\n".join(out) + "\n"


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    readme, output = argv[1], argv[2]
    with open(readme, encoding="utf-8") as file:
        found = list(blocks(file.read().splitlines()))
    os.makedirs(output, exist_ok=True)
    for language, name in (("cpp", "snippets.cpp"), ("c", "snippets.c")):
        mine = [block for block in found if block[0] == language]
        if not mine:
            print("%s: no %s block in the integration guide" % (readme, language), file=sys.stderr)
            return 1
        text = translation_unit(language, readme, mine)
        path = os.path.join(output, name)
        # Unchanged text keeps its time: the build then compiles nothing again.
        if not os.path.exists(path) or open(path, encoding="utf-8").read() != text:
            with open(path, "w", encoding="utf-8") as file:
                file.write(text)
    print("%d C++ and %d C snippets" % tuple(
        sum(1 for block in found if block[0] == language) for language in ("cpp", "c")))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
