// The RegExp engine against node's on generated patterns and subjects (fixed
// seed): exec, test, search, replace with $n, replaceAll, split and
// str_match with g. Where the language differs from ECMAScript on purpose,
// the generator leaves the input class out, or node's side applies the
// language's rule (the PRELUDE), each with its reason.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/node_peer.h"
#include "support/seeded_random.h"

namespace tolv::tests {
namespace {

// Differences applied on node's side (NODE is true only there):
// - a match is never found at the very end of a non-empty text, so an empty
//   match there counts as none; the empty text is matched as a whole;
// - test, search and replace take an empty match for no match, except that
//   test on the empty text answers true for it;
// - a group that took no part gives "" (node: undefined);
// - str_match with g (node: match) never reports a match at the end;
// - positions that come back count characters, a character above U+FFFF
//   being one (node: two units), and a span whose end falls between the two
//   units of such a character takes the whole character: node's spans are
//   moved to the character positions (up, chars, span), and on a text with
//   such characters replace, replaceAll and split are built from them.
const char PRELUDE[] =
    "var NODE = typeof process == 'object';\n"
    "function part(x) { if (x == undefined) return ''; return x; }\n"
    "function found(m, s) { return m != null && (m.index < s.length || s.length == 0); }\n"
    "function second(s, i) {\n"
    "  if (i <= 0 || i >= s.length) return false;\n"
    "  var a = s.charCodeAt(i - 1); var b = s.charCodeAt(i);\n"
    "  return a >= 55296 && a <= 56319 && b >= 56320 && b <= 57343;\n"
    "}\n"
    "function up(s, u) { if (second(s, u)) return u + 1; return u; }\n"
    "function chars(s, u) { var n = 0; u = up(s, u); for (var i = 0; i < u; i++) if (!second(s, i)) n++; return n; }\n"
    "function astral(s) { for (var i = 0; i < s.length; i++) if (second(s, i)) return true; return false; }\n"
    "function dre(re, f) { return new RegExp(re.source, re.flags + f); }\n"
    "function span(s, m, i) { var d = m.indices[i]; if (d == undefined) return ''; return s.slice(up(s, d[0]), up(s, d[1])); }\n"
    "function expand(r, s, m) {\n"
    "  var out = ''; var i = 0;\n"
    "  while (i < r.length) {\n"
    "    if (r.charAt(i) != '$') { out += r.charAt(i); i++; continue; }\n"
    "    var n = 0; i++;\n"
    "    while (i < r.length && r.charAt(i) >= '0' && r.charAt(i) <= '9') { n = n * 10 + r.charCodeAt(i) - 48; i++; }\n"
    "    out += span(s, m, n);\n"
    "  }\n"
    "  return out;\n"
    "}\n"
    "function ex(re, s, n) {\n"
    "  if (NODE) re = dre(re, 'd');\n"
    "  var m = re.exec(s);\n"
    "  if (NODE && !found(m, s)) m = null;\n"
    "  if (m == null) return 'null';\n"
    "  if (NODE) {\n"
    "    var out = [chars(s, m.index), span(s, m, 0)];\n"
    "    for (var i = 1; i <= n; i++) out.push(span(s, m, i));\n"
    "    return out;\n"
    "  }\n"
    "  var out = [m['index'], m[0]];\n"
    "  for (var i = 1; i <= n; i++) out.push(part(m[i]));\n"
    "  return out;\n"
    "}\n"
    "function tst(re, s) {\n"
    "  if (NODE) { var m = re.exec(s); return found(m, s) && (m[0] != '' || s == ''); }\n"
    "  return re.test(s);\n"
    "}\n"
    "function srch(re, s) {\n"
    "  if (NODE) { var m = re.exec(s); if (found(m, s) && m[0] != '') return chars(s, m.index); return -1; }\n"
    "  return s.search(re);\n"
    "}\n"
    "function rp(re, s, r) {\n"
    "  if (NODE) {\n"
    "    var m = dre(re, 'd').exec(s);\n"
    "    if (!found(m, s) || m[0] == '') return s;\n"
    "    if (astral(s)) {\n"
    "      var d = m.indices[0];\n"
    "      return s.slice(0, up(s, d[0])) + expand(r, s, m) + s.slice(up(s, d[1]));\n"
    "    }\n"
    "  }\n"
    "  return s.replace(re, r);\n"
    "}\n"
    "function ra(re, s, r) {\n"
    "  if (NODE && astral(s)) {\n"
    "    var g = dre(re, 'd'); var m; var out = ''; var at = 0;\n"
    "    while ((m = g.exec(s)) != null) {\n"
    "      var d = m.indices[0];\n"
    "      out += s.slice(up(s, at), up(s, d[0])) + expand(r, s, m); at = d[1];\n"
    "    }\n"
    "    return out + s.slice(up(s, at));\n"
    "  }\n"
    "  return s.replaceAll(re, r);\n"
    "}\n"
    "function sp(re, s) {\n"
    "  var out = Array();\n"
    "  if (NODE && astral(s)) {\n"
    "    var g = dre(re, 'gd'); var m; var at = 0;\n"
    "    while ((m = g.exec(s)) != null && m.index < s.length) {\n"
    "      out.push(s.slice(up(s, at), up(s, m.index)));\n"
    "      for (var i = 1; i < m.length; i++) out.push(span(s, m, i));\n"
    "      at = m.indices[0][1];\n"
    "    }\n"
    "    out.push(s.slice(up(s, at)));\n"
    "    return out;\n"
    "  }\n"
    "  var a = s.split(re);\n"
    "  for (var i = 0; i < a.length; i++) out.push(part(a[i]));\n"
    "  return out;\n"
    "}\n"
    "function mg(re, s) {\n"
    "  if (NODE) {\n"
    "    var out = Array(); var m; re = dre(re, 'd');\n"
    "    while ((m = re.exec(s)) != null && found(m, s)) {\n"
    "      out.push(span(s, m, 0));\n"
    "      if (m[0] == '') re.lastIndex = m.index + 1;\n"
    "    }\n"
    "    if (out.length == 0) return null;\n"
    "    return out;\n"
    "  }\n"
    "  return s.str_match(re);\n"
    "}\n";

// Subject characters: no CR, vertical tab, form feed or Unicode spaces and
// line breaks (\s, "." and the m anchors know only TAB, LF, CR and space,
// and LF as a line break); the non-ASCII characters have no case (only
// ASCII letters fold with i).
const char* const SUBJECT_CHARS[] = {"a", "a", "a", "b", "b", "c", "x", "A", "B", "0", "1", "1", " ", "-", "_",
                                     ",", ".", "\n", "\t", "\xE3\x81\x82", "\xE2\x82\xAC",
                                     "\xF0\x9F\x98\x80", "\xF0\x9D\x92\xB3"};

std::string random_subject(Random& rng) {
    std::string s;
    const size_t n = rng.chance(8) ? 0 : 1 + rng.below(12);
    for (size_t i = 0; i < n; ++i) s += rng.pick(SUBJECT_CHARS);
    return s;
}

// A pattern as the generator builds it: text, and whether it can match the
// empty text or holds a lookbehind (which sees only the text from where the
// search began: left out of repeated searches).
struct Pattern {
    std::string text;
    bool can_be_empty = false;
    bool has_lookbehind = false;
    int groups = 0;
};

class PatternMaker {
public:
    explicit PatternMaker(Random& rng) : rng_(rng) {}

    Pattern make() {
        pattern_ = Pattern{};
        bool empty = false;
        pattern_.text = alternation(0, empty);
        pattern_.can_be_empty = empty;
        return pattern_;
    }

private:
    Random& rng_;
    Pattern pattern_;

    std::string alternation(int depth, bool& empty) {
        const int n = rng_.chance(25) ? 2 + int(rng_.below(2)) : 1;
        std::string out;
        empty = false;
        for (int i = 0; i < n; ++i) {
            bool e = false;
            if (i) out += '|';
            out += sequence(depth, e);
            empty = empty || e;
        }
        return out;
    }

    std::string sequence(int depth, bool& empty) {
        std::string out;
        empty = true;
        if (rng_.chance(10)) out += '^';
        const int n = 1 + int(rng_.below(depth ? 3 : 4));
        for (int i = 0; i < n; ++i) {
            bool e = false;
            out += item(depth, i + 1 == n, e);
            empty = empty && e;
        }
        if (rng_.chance(10)) out += '$';
        return out;
    }

    std::string quantifier(bool& empty) {
        static const char* const FORMS[] = {"*", "+", "?", "{2}", "{1,}", "{2,}", "{0,2}", "{1,3}"};
        std::string q = rng_.pick(FORMS);
        if (q == "*" || q == "?" || q == "{0,2}") empty = true;
        if (q != "{2}" && rng_.chance(30)) q += '?';
        return q;
    }

    std::string item(int depth, bool last, bool& empty) {
        empty = false;
        const uint32_t kind = rng_.below(depth < 2 ? 100 : 70);
        std::string atom;
        bool quantifiable = true;
        if (kind < 35) {
            static const char* const CHARS[] = {"a", "b", "c", "x", "A", "1", " ", "-", "_", ",", "\\.",
                                                "\\n", "\xE3\x81\x82", "\xF0\x9F\x98\x80"};
            atom = rng_.pick(CHARS);
        } else if (kind < 45) {
            static const char* const CLASSES[] = {"[abc]", "[a-c]", "[^ab]", "[\\d]", "[\\w-]", "[\\s,]",
                                                  "[^\\w]", "[A-Za-z]", "[0-9x]", "[^]"};
            atom = rng_.pick(CLASSES);
        } else if (kind < 55) {
            static const char* const SHORT[] = {"\\d", "\\w", "\\s", "\\D", "\\W", "\\S", "."};
            atom = rng_.pick(SHORT);
        } else if (kind < 60) {
            atom = rng_.chance(50) ? "\\b" : "\\B";
            quantifiable = false;
            empty = true;
        } else if (kind < 65 && pattern_.groups > 0) {
            atom = "\\" + std::to_string(1 + rng_.below(uint32_t(pattern_.groups)));
            empty = true;  // a group may have matched nothing
        } else if (kind < 70) {
            atom = "[ab]";
        } else if (kind < 82) {
            // Capturing groups are never quantified in this language.
            const int number = ++pattern_.groups;
            (void)number;
            bool e = false;
            atom = "(" + alternation(depth + 1, e) + ")";
            empty = e;
            quantifiable = false;
        } else if (kind < 92) {
            bool e = false;
            atom = "(?:" + alternation(depth + 1, e) + ")";
            empty = e;
        } else {
            bool e = false;
            const bool behind = !last && rng_.chance(40);
            static const char* const AHEAD[] = {"(?=", "(?!"};
            static const char* const BEHIND[] = {"(?<=", "(?<!"};
            atom = (behind ? rng_.pick(BEHIND) : rng_.pick(AHEAD)) + alternation(depth + 1, e) + ")";
            pattern_.has_lookbehind = pattern_.has_lookbehind || behind;
            empty = true;
            quantifiable = false;
        }
        if (quantifiable && rng_.chance(40)) atom += quantifier(empty);
        return atom;
    }
};

std::string literal(const Pattern& p, const char* flags) {
    // A '/' never occurs in generated patterns.
    return "/" + p.text + "/" + flags;
}

std::string replacement(Random& rng, int groups) {
    std::string r = rng.chance(50) ? "<" : "[";
    if (groups > 0) r += "$" + std::to_string(1 + rng.below(uint32_t(groups)));
    if (rng.chance(50)) r += "~";
    if (groups > 1 && rng.chance(50)) r += "$" + std::to_string(1 + rng.below(uint32_t(groups)));
    return r + ">";
}

TEST(NodeDifferential, RegExpEngine) {
    if (node_program().empty()) GTEST_SKIP() << "node is not installed (tools/setup.sh installs it)";
    Random rng(20261210);
    PatternMaker maker(rng);
    PeerScript script;
    script.prelude(PRELUDE);
    static const char* const FLAGS[] = {"", "", "", "i", "m", "s", "im", "y"};
    size_t patterns = 0, subjects = 0;
    for (int p = 0; p < 400; ++p) {
        const Pattern pattern = maker.make();
        ++patterns;
        const char* flags = rng.pick(FLAGS);
        for (int k = 0; k < 5; ++k) {
            const std::string s = js_literal(random_subject(rng));
            ++subjects;
            const std::string re = literal(pattern, flags);
            const std::string label = re + " on " + s;
            switch (rng.below(6)) {
            case 0:
            case 1:
                script.add("exec " + label, "ex(" + re + ", " + s + ", " + std::to_string(pattern.groups) + ")");
                break;
            case 2:
                script.add("test " + label, "tst(" + re + ", " + s + ")");
                break;
            case 3:
                script.add("search " + label, "srch(" + re + ", " + s + ")");
                break;
            case 4:
                script.add("replace " + label,
                           "rp(" + re + ", " + s + ", " + js_literal(replacement(rng, pattern.groups)) + ")");
                break;
            default:
                // Repeated searches: only patterns that cannot match empty
                // (an empty match ends them here) and see no lookbehind.
                if (pattern.has_lookbehind) {
                    script.add("exec " + label, "ex(" + re + ", " + s + ", " + std::to_string(pattern.groups) + ")");
                } else if (pattern.can_be_empty || std::string(flags) == "y") {
                    script.add("str_match " + label, "mg(" + literal(pattern, "g") + ", " + s + ")");
                } else if (rng.chance(50)) {
                    script.add("replaceAll " + label, "ra(" + literal(pattern, "g") + ", " + s + ", " +
                                                          js_literal(replacement(rng, pattern.groups)) + ")");
                } else {
                    script.add("split " + label, "sp(" + re + ", " + s + ")");
                }
                break;
            }
        }
    }
    PeerComparison c = compare_with_node(script);
    std::fprintf(stderr, "regexp differential: %zu patterns, %zu subjects, %zu cases, %zu mismatched\n", patterns,
                 subjects, c.cases, c.mismatched);
    EXPECT_EQ(c.mismatched, 0u) << c.mismatched << " of " << c.cases << " cases differ\n" << c.report;
    EXPECT_LE(c.both_threw * 20, c.cases) << c.both_threw << " cases threw on both sides";
    if (std::getenv("TOLV_PEER_DUMP")) std::fprintf(stderr, "%s\n", script.text().c_str());
}

}  // namespace
}  // namespace tolv::tests
