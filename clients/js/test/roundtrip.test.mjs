// Round trips through a real lighttpd and the built runner: every value kind
// the library sends comes back as the script saw it.
import assert from "node:assert/strict";
import { existsSync } from "node:fs";
import { join } from "node:path";
import { after, before, describe, test } from "node:test";
import { Float, TolvClient, TolvError, dateText, parseDateText } from "../tolv.mjs";
import { ECHO } from "./support/apps.mjs";
import { missing, startSite } from "./support/site.mjs";

const skip = missing() ?? false;

describe("round trips through lighttpd", { skip }, () => {
  let site;
  let client;
  before(async () => {
    site = await startSite({ modules: { "echo.js": ECHO } });
    client = new TolvClient({ url: site.url, modules: ["echo.js"] });
  });
  after(() => site?.stop());

  const echo = async (v) => {
    const answer = await client.call("echo", { v });
    assert.equal(answer.error, null, JSON.stringify(answer.error));
    return answer.values.v;
  };

  test("texts: multi-byte, percent signs and every byte that travels escaped", async () => {
    const texts = [
      "", "plain", "日本語のテキスト", "é", "😀 emoji and 𝄞", "100% sure", "%41%", "%", "%zz", "a b+c&d=e;f",
      "^A000001", "^H500001", "10", "N2-5", "quote \" ' ` \\ back", "tab\tline\nfeed\r", "nul\u0000byte",
      "<tag>&amp;</tag>", "~!{}[]|^", "x".repeat(70000),
    ];
    for (const text of texts) assert.equal(await echo(text), text, JSON.stringify(text.slice(0, 40)));
    assert.deepEqual(await echo(texts), texts);
    assert.deepEqual(await echo({ "キー": "値", "a b": "%20" }), { "キー": "値", "a b": "%20" });
  });

  test("numbers keep their kind: Integer, Float, Float(whole)", async () => {
    const cases = [
      [0, 0, "0"], [7, 7, "7"], [-12, -12, "-12"], [2147483647, 2147483647, "2147483647"],
      [-999999999, -999999999, "-999999999"], [new Float(5), 5, "5.0"], [new Float(-5), -5, "-5.0"],
      [0.1, 0.1, null], [-0.5, -0.5, null], [3000000000, 3000000000, null],
      [1e300, 1e300, null], [1.7976931348623157e308, 1.7976931348623157e308, null],
      [5e-324, 5e-324, null], [2.2250738585072014e-308, 2.2250738585072014e-308, null], [1234567.89, 1234567.89, null],
    ];
    for (const [sent, back, text] of cases) {
      const answer = await client.call("typed", { v: sent });
      assert.equal(answer.error, null);
      assert.equal(answer.values.v, back, String(back));
      if (text !== null) assert.equal(answer.values.text, text);
    }
    const inside = [1, 0, 2147483647, 0.25, -0.25, 1e300, 5e-324, 3000000000, new Float(-3)];
    assert.deepEqual(await echo(inside), [1, 0, 2147483647, 0.25, -0.25, 1e300, 5e-324, 3000000000, -3]);
  });

  test("nested containers, shared references and associative arrays", async () => {
    const shared = { name: "shared", list: [1, "two", [3.5]] };
    const value = { first: shared, again: shared, list: [shared, [shared, []], {}], deep: [[[[["bottom"]]]]] };
    const back = await echo(value);
    assert.deepEqual(back, JSON.parse(JSON.stringify(value)));
    assert.notEqual(back.first, back.again); // a shared container arrives as copies
    const wide = Array.from({ length: 1000 }, (_, i) => ({ i, s: `${i}` }));
    assert.deepEqual(await echo(wide), wide);

    const answer = await client.call("assoc", { m: new Map([[1, "one"], ["b", [1, 2]], [16777216, "big key"]]) });
    assert.equal(answer.error, null);
    assert.equal(answer.values.one, "one");
    assert.deepEqual(answer.values.b, [1, 2]);
  });

  test("values the script makes: constants and dates as texts, revived on request", async () => {
    const plain = await client.call("made");
    assert.deepEqual(plain.values, {
      yes: "true", no: "false", nothing: "null", missing: "", nan: "NaN", when: "2024-07-01 12:00:00.005",
    });
    assert.deepEqual(plain.alerts, ["look", ""]);
    assert.deepEqual(plain.counts, { arrays: 0, hashes: 0, scalars: 8, extra: 0 });
    const revived = await new TolvClient({ url: site.url, modules: ["echo.js"], constants: true, dates: "UTC" }).call("made");
    assert.equal(revived.values.yes, true);
    assert.equal(revived.values.no, false);
    assert.equal(revived.values.nothing, null);
    assert.ok(Number.isNaN(revived.values.nan));
    assert.deepEqual(revived.values.when, new Date(Date.UTC(2024, 6, 1, 12, 0, 0, 5)));
  });

  test("an error the script throws: {code, message}, records before it kept, no counts", async () => {
    const answer = await client.call("fails");
    assert.deepEqual(answer.error, { code: "", message: "no such task" });
    assert.equal(answer.values.before, 1);
    assert.equal(answer.counts, null);
  });

  test("values the protocol cannot carry are refused before anything is sent", async () => {
    const cycle = [];
    cycle.push(cycle);
    const cases = [
      [{ v: true }, "v"], [{ v: null }, "v"], [{ v: undefined }, "v"], [{ v: [1, -5] }, "v[1]"],
      [{ v: { a: { b: -1 } } }, "v.a.b"], [{ v: cycle }, "v[0]"], [{ v: { $ne: "" } }, "v.$ne"],
      [{ v: [, 1] }, "v[0]"], [{ v: "\ud800" }, "v"], [{ v: new Date(Date.UTC(1969, 11, 31)) }, "v"],
      [{ v: new Date(NaN) }, "v"], [{ v: -2147483648 }, "v"], [{ v: 2n ** 40n }, "v"], [{ v: new Uint8Array(2) }, "v"],
      [{ v: { "": 1 } }, "v."], [{ v: { ["k".repeat(256)]: 1 } }, `v.${"k".repeat(256)}`], [{ v: Symbol("s") }, "v"],
      [{ v: () => 1 }, "v"], [{ v: new Map([[-1, "x"]]) }, "v.get(-1)"],
    ];
    let posts = 0;
    const counting = new TolvClient({ url: site.url, modules: ["echo.js"], fetch: (...args) => (posts++, fetch(...args)) });
    for (const [args, path] of cases) {
      await assert.rejects(counting.call("echo", args), (error) => {
        assert.ok(error instanceof TolvError, String(error));
        assert.equal(error.path, path, error.message);
        return true;
      });
    }
    const nested = { v: [] };
    let at = nested.v;
    for (let i = 0; i < 1025; i++) at = at[at.push([]) - 1];
    await assert.rejects(counting.call("echo", nested), /1024 nested/);
    for (const name of ["Math", "undefined", "this", "String"]) {
      await assert.rejects(counting.call("echo", { [name]: 1 }), TolvError);
    }
    await assert.rejects(counting.call("echo", { "not a name": 1 }), TolvError);
    await assert.rejects(counting.call("f(1);g", {}), TolvError);
    await assert.rejects(counting.call("echo", { v: "x".repeat(300) }).then(() => counting.call("e".repeat(260))), TolvError);
    assert.equal(posts, 1); // only the one valid call of the last line went out
  });

  test("the l record names the request's journal file beside LOGFILE", async () => {
    const journaled = new TolvClient({ url: site.url, modules: ["echo.js"], journal: "client-test.log" });
    assert.equal((await journaled.call("echo", { v: "to the other journal" })).error, null);
    const file = join(site.dir, "log/client-test.log");
    // The runner writes its journal after the answer is closed.
    for (let i = 0; i < 100 && !existsSync(file); i++) await new Promise((r) => setTimeout(r, 20));
    assert.ok(existsSync(file), "client-test.log written");
    assert.throws(() => new TolvClient({ journal: "../bin/TOLV.config" }).encode("echo", {}), TolvError);
  });

  test("1024 nested containers in one variable travel", async () => {
    const deep = [];
    let at = deep;
    for (let i = 0; i < 199; i++) at = at[at.push([]) - 1];
    assert.deepEqual(await echo(deep), deep);
    const many = Array.from({ length: 1024 }, (_, i) => [i]);
    assert.deepEqual(await echo(many), many);
  });
});

// Dates in three zones: the runner's TZ (set by ENV in its TOLV.config) and
// the client's timeZone agree, so a Date's instant survives the trip.
for (const zone of ["UTC", "Asia/Tokyo", "America/New_York"]) {
  describe(`dates with the runner in ${zone}`, { skip }, () => {
    let site;
    let client;
    before(async () => {
      site = await startSite({ modules: { "echo.js": ECHO }, config: `ENV=TZ=${zone}` });
      client = new TolvClient({ url: site.url, modules: ["echo.js"], timeZone: zone, dates: zone });
    });
    after(() => site?.stop());

    test("a Date sent comes back as the same instant, and the script reads that instant", async () => {
      const instants = [
        Date.UTC(2024, 0, 15, 10, 30, 0, 250), Date.UTC(2024, 6, 1, 23, 59, 59), Date.UTC(1970, 0, 2),
        Date.UTC(2024, 2, 10, 6, 59, 59), Date.UTC(2024, 2, 10, 7, 0, 0), // around New York's spring gap
        Date.UTC(2024, 10, 3, 4, 59, 59), Date.UTC(2024, 10, 3, 6, 0, 0), // before and after its repeated hour
        Date.UTC(2024, 1, 29, 15, 0, 0, 1), Date.UTC(9999, 11, 31, 0, 0, 0, 999),
      ];
      for (const ms of instants) {
        const answer = await client.call("dates", { t: new Date(ms) });
        assert.equal(answer.error, null, JSON.stringify(answer.error));
        assert.equal(answer.values.d.getTime(), ms, `${new Date(ms).toISOString()} -> ${dateText(new Date(ms), zone)}`);
        assert.equal(answer.values.ms, ms);
      }
    });

    test("the library reads a date text as the runner does, the skipped and the repeated hour included", async () => {
      const texts = ["2024-03-10 02:30:00", "2024-11-03 01:30:00", "2024-03-31 02:30:00", "2024-10-27 02:30:00", "2024-06-15 00:00:00.001"];
      for (const t of texts) {
        const answer = await client.call("dates", { t });
        assert.equal(answer.error, null);
        assert.equal(answer.values.d.getTime(), answer.values.ms, `${t} in ${zone}`);
        assert.equal(parseDateText(t, zone).getTime(), answer.values.ms);
      }
    });

    test("a date text the script makes reads back in the same zone", async () => {
      const answer = await client.call("made");
      const expected = parseDateText("2024-07-01 12:00:00.005", zone);
      assert.deepEqual(answer.values.when, expected);
      const hour = new Intl.DateTimeFormat("en-US", { timeZone: zone, hour: "numeric", hourCycle: "h23" }).format(expected);
      assert.equal(hour, "12");
    });
  });
}
