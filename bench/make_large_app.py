#!/usr/bin/env python3
"""Writes a generated application of about LINES lines in MODULES modules
(functions with loops, ifs, string and arithmetic work) plus a main() that
calls every function once, to compare loading .js sources with .jo images.

usage: make_large_app.py OUT_DIR [LINES] [MODULES]
"""
import os
import sys


def function_text(module, index):
    name = f"m{module}_f{index}"
    return name, f"""function {name}(n, label) {{
  var total = 0, text = "";
  for (var i = 0; i < n; i++) {{
    if (i % 3 == 0) {{
      total += i * {index + 2};
    }} else if (i % 3 == 1) {{
      total -= {index % 7 + 1};
    }} else {{
      total = total * 2 % 1000;
    }}
    text += label + ":" + i + ";";
  }}
  var steps = 0;
  while (total > 10 && steps < 50) {{
    total = total / 2 | 0;
    steps++;
  }}
  switch (steps % 4) {{
    case 0: text += "zero"; break;
    case 1: text += "one"; break;
    default: text += "many";
  }}
  var h = {{name: "{name}", count: n, parts: [total, steps, "{module}-{index}"]}};
  return `${{h.name}}=${{total + steps}} ${{text.length}}`;
}}
"""


def main():
    out = sys.argv[1]
    lines = int(sys.argv[2]) if len(sys.argv) > 2 else 3000
    modules = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    os.makedirs(out, exist_ok=True)
    per_module = lines // modules
    calls = []
    for m in range(modules):
        body, index = [f"var module{m}_loaded = {m};\n"], 0
        while sum(t.count("\n") for t in body) < per_module - 12:
            name, text = function_text(m, index)
            body.append(text)
            calls.append(name)
            index += 1
        if m == modules - 1:
            body.append("function main() {\n  var sum = 0;\n")
            for name in calls:
                body.append(f'  sum += {name}(5, "x").length;\n')
            body.append('  console.log("done " + sum);\n}\n')
        with open(os.path.join(out, f"app{m}.js"), "w") as f:
            f.write("".join(body))


if __name__ == "__main__":
    main()
