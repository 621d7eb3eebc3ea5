// The decoder against answers the built runner writes for generated requests:
// the same records as the project's own decoder (tools/show_answer.py), the
// values that were sent, and an error naming the offset for every truncated
// or corrupted answer.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { existsSync } from "node:fs";
import { join } from "node:path";
import { after, before, describe, test } from "node:test";
import { Float, TolvError, decodeAnswer, decodeRecords, encodeCall } from "../tolv.mjs";
import { RUNNER, SOURCE_DIR, makeSandbox } from "./support/site.mjs";

const ANSWERS = 400;
const HEADER = "Content-type: text/plane;charset=UTF-8\n\n";

// The script sends back each argument and, by the bits of `m`, an alert, the
// constants and a date of its own, and a thrown text after all that.
const GENERATED = `
function e(m, v0, v1, v2, v3, v4, v5) {
  if (m % 2 == 1) alertToFront(v0);
  sendToFront("v0", v0); sendToFront("v1", v1); sendToFront("v2", v2);
  sendToFront("v3", v3); sendToFront("v4", v4); sendToFront("v5", v5);
  if (m % 4 >= 2) {
    sendToFront("t", true); sendToFront("n", null); sendToFront("u", undefined);
    sendToFront("d", new Date(2024, 1, 29, 23, 59, 59, 999)); sendToFront("f", 0.1 + 0.2);
  }
  if (m % 8 >= 4) throw "stop " + m;
}
`;

// mulberry32: a small seeded generator, so a failure can be replayed.
function generator(seed) {
  let a = seed >>> 0;
  const next = () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
  const int = (n) => Math.floor(next() * n);
  const pick = (list) => list[int(list.length)];
  const pieces = ["a", "Z", "0", " ", "%", "%41", "^A500001", "é", "日本", "😀", "\t", "\n", "\u0000", "+", "&", "=", "~", "\"", "'", "\\", "$", "#"];
  const text = () => Array.from({ length: int(6) }, () => pick(pieces)).join("");
  const randomDouble = () => {
    const view = new DataView(new ArrayBuffer(8));
    view.setUint32(0, int(2 ** 32));
    view.setUint32(4, int(2 ** 32));
    return view.getFloat64(0);
  };
  const number = (inside) => {
    switch (int(6)) {
      // A variable's Integer text has at most 10 characters: -999999999 is the least.
      case 0: return inside ? int(2 ** 31) : int(2 ** 31 + 999999999) - 999999999;
      case 1: return int(100);
      case 2: return new Float(int(1000) - 500);
      case 3: return new Float(randomDouble());
      case 4: return pick([0.1, 1e300, 5e-324, 2.2250738585072014e-308, 1.7976931348623157e308, -1e-7, 123456.789]);
      default: return (int(2000) - 1000) / 8;
    }
  };
  const value = (depth, inside) => {
    const roll = int(depth > 2 ? 4 : 7);
    if (roll < 2) return text();
    if (roll < 4) {
      const n = number(inside);
      // Inside containers an Integer has no sign: a negative whole number goes as a Float.
      return inside && typeof n === "number" && n < 0 && Number.isInteger(n) ? new Float(n) : n;
    }
    if (roll < 6) return Array.from({ length: int(5) }, () => value(depth + 1, true));
    const hash = {};
    for (let i = int(5); i > 0; i--) hash[pick(["k", "key", "キー", "a b", "x%y", "_"]) + i] = value(depth + 1, true);
    return hash;
  };
  return { int, value };
}

// What a sent value reads back as: numbers as numbers, the rest as sent.
function expected(v) {
  if (v instanceof Float) return v.value;
  if (Array.isArray(v)) return v.map(expected);
  if (v && typeof v === "object") return Object.fromEntries(Object.entries(v).map(([k, x]) => [k, expected(x)]));
  return v;
}

const body = (bytes) => {
  const text = Buffer.from(bytes).toString("latin1");
  return text.startsWith(HEADER) ? Buffer.from(bytes).subarray(HEADER.length) : Buffer.from(bytes);
};

describe("answers of the built runner", { skip: existsSync(RUNNER) ? false : `no runner at ${RUNNER}` }, () => {
  let box;
  const cases = [];
  before(() => {
    box = makeSandbox({
      modules: { "gen.js": GENERATED },
      config: "TOKEN_KEY='differential key'\nTIME_INTERVAL=600\nTOKEN_OPEN=e",
    });
    const random = generator(24);
    for (let i = 0; i < ANSWERS; i++) {
      const args = { m: random.int(8) };
      for (let k = 0; k < 6; k++) args[`v${k}`] = random.value(0, false);
      const answer = box.run(encodeCall("e", args, { modules: ["gen.js"] }));
      cases.push({ args, answer: new Uint8Array(answer) });
    }
  });
  after(() => box?.stop());

  test(`the project's decoder and the library read the same records (${ANSWERS} generated answers)`, () => {
    const peer = JSON.parse(execFileSync("python3", [join(SOURCE_DIR, "clients/js/test/support/show_answer_json.py")], {
      input: JSON.stringify(cases.map((c) => Buffer.from(c.answer).toString("base64"))),
      maxBuffer: 256 << 20,
    }).toString());
    const bits = (hex) => new DataView(Uint8Array.from(Buffer.from(hex, "hex")).buffer).getFloat64(0);
    const element = ([kind, value]) => [kind, kind === "float" ? bits(value) : value];
    const ours = (e) => [e.kind === "reference" ? "text" : e.kind, e.value];
    let differences = 0;
    let records = 0;
    for (let i = 0; i < cases.length; i++) {
      const mine = decodeRecords(cases[i].answer).map((r) => {
        switch (r.type) {
          case "s": return ["s", r.name, ours(r.value)];
          case "A": return ["A", r.name, r.elements.map(ours)];
          case "H": return ["H", r.name, r.pairs.map(([k, e]) => [k, ours(e)])];
          case "S": return ["S", r.code, r.message];
          case "C": return ["C", r.counts];
          default: return ["X", r.first, r.token];
        }
      });
      const theirs = peer[i].map((r) => {
        if (r[0] === "s") return ["s", r[1], element(r[2])];
        if (r[0] === "A") return ["A", r[1], r[2].map(element)];
        if (r[0] === "H") return ["H", r[1], r[2].map(([k, e]) => [k, element(e)])];
        return r;
      });
      records += mine.length;
      try {
        assert.deepStrictEqual(mine, theirs);
      } catch (error) {
        differences++;
        if (differences <= 3) console.log(`answer ${i}: ${error.message.slice(0, 2000)}`);
      }
    }
    console.log(`# differential: ${cases.length} answers, ${records} records, ${differences} differences`);
    assert.equal(differences, 0);
  });

  test("every generated answer reads back as the values sent", () => {
    let withToken = 0;
    for (const { args, answer } of cases) {
      const got = decodeAnswer(answer);
      const sent = Object.fromEntries(Object.entries(args).filter(([k]) => k !== "m").map(([k, v]) => [k, expected(v)]));
      if (args.m % 2 === 1 && typeof args.v0 !== "string") {
        // alertToFront takes undefined, a text or an error: a number or container ends the run with 1340.
        assert.equal(got.error.code, "1340");
        continue;
      }
      for (const [name, value] of Object.entries(sent)) assert.deepStrictEqual(got.values[name], value, name);
      if (args.m % 2 === 1) assert.deepStrictEqual(got.alerts, [args.v0]);
      if (args.m % 4 >= 2) {
        assert.equal(got.values.t, "true");
        assert.equal(got.values.d, "2024-02-29 23:59:59.999");
        assert.equal(got.values.f, 0.30000000000000004);
      }
      if (args.m % 8 >= 4) {
        assert.deepStrictEqual(got.error, { code: "", message: `stop ${args.m}` });
        assert.equal(got.counts, null);
      } else {
        assert.equal(got.error, null);
        assert.equal(got.counts.scalars + got.counts.arrays + got.counts.hashes >= 6, true);
      }
      if (got.token && got.token.first !== "NG") withToken++;
    }
    assert.ok(withToken > ANSWERS / 4, `${withToken} answers carried a token`);
  });

  test("an answer cut anywhere inside a record is an error at its end, never fewer values", () => {
    let cuts = 0;
    for (const { answer } of cases.slice(0, 60)) {
      const whole = body(answer);
      const starts = new Set(decodeRecords(whole).map((r) => r.at));
      const full = decodeRecords(whole);
      for (let cut = 0; cut < whole.length; cut++) {
        const part = whole.subarray(0, cut);
        if (starts.has(cut)) {
          assert.deepStrictEqual(decodeRecords(part), full.filter((r) => r.at < cut));
          continue;
        }
        cuts++;
        assert.throws(() => decodeAnswer(part), (error) => {
          assert.ok(error instanceof TolvError, String(error));
          assert.equal(error.offset, cut, error.message);
          assert.match(error.message, new RegExp(`offset ${cut}`));
          return true;
        });
      }
    }
    console.log(`# truncation: ${cuts} cuts inside records, each an error at its offset`);
  });

  test("corrupted answers: errors naming the offset", () => {
    const table = [
      ["s11xO7", "s11xO7Z", 6, "no record"],         // a letter no record begins with
      ["s11x?5", "s11x?5", 4, "marker"],               // an element marker
      ["s>1x10", "s>1x10", 1, "marker"],               // the digit count of a name
      ["s11xC10a%2", "s11xC10a%2", 4, "truncated"],   // shorter than its length
      ["s11xB3%4G", "s11xB3%4G", 6, "hexadecimal"],  // a bad escape
      ["s11xO-", "s11xO-", 4, "Integer"],              // an Integer that is no number
      ["s11xc1x", "s11xc1x", 4, "Float"],              // a Float that is no number
      ["A1118^A50000118^A500009", "A1118^A50000118^A500009", 13, "refers to no container"],
      ["H1118^H500001", "H1118^H500001", 13, "truncated"],
      ["C1a10", "C1a10", 2, "digit"],
      ["s11x10\u00e9", "s11x10\u00e9", 6, "ASCII"],
    ];
    for (const [name, input, offset, words] of table) {
      assert.throws(() => decodeAnswer(input), (error) => {
        assert.ok(error instanceof TolvError, `${name}: ${error}`);
        assert.match(error.message, new RegExp(words), name);
        if (!/truncated/.test(words)) assert.equal(error.offset, offset, `${name}: ${error.message}`);
        return true;
      });
    }
    // Any single byte changed anywhere: a TolvError or an answer, never another failure.
    const random = generator(7);
    let tried = 0;
    let refused = 0;
    for (const { answer } of cases.slice(0, 100)) {
      const whole = body(answer);
      for (let k = 0; k < 40; k++) {
        const bytes = Uint8Array.from(whole);
        bytes[random.int(bytes.length)] = random.int(256);
        tried++;
        try {
          decodeAnswer(bytes);
        } catch (error) {
          assert.ok(error instanceof TolvError, String(error.stack));
          refused++;
        }
      }
    }
    console.log(`# corruption: ${tried} single-byte changes, ${refused} refused, the rest decoded`);
  });
});
