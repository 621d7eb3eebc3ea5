// A chain of token-authenticated calls through lighttpd: sign-in through
// TOKEN_OPEN, each answer's token carried to the next request.
import assert from "node:assert/strict";
import { after, before, describe, test } from "node:test";
import { TolvClient, decodeAnswer, encodeCall } from "../tolv.mjs";
import { SESSION } from "./support/apps.mjs";
import { missing, startSite } from "./support/site.mjs";

describe("sessions through lighttpd", { skip: missing() ?? false }, () => {
  let site;
  before(async () => {
    site = await startSite({
      modules: { "session.js": SESSION },
      config: "TOKEN_KEY='a long random secret for the client tests'\nTIME_INTERVAL=600\nTOKEN_OPEN=login",
    });
  });
  after(() => site?.stop());
  const newClient = () => new TolvClient({ url: site.url, modules: ["session.js"] });

  test("sign in, then five calls each carrying the last answer's token", async () => {
    const client = newClient();
    const refused = await client.call("whoami", { step: 0 });
    assert.equal(refused.error.code, "1775");
    assert.deepEqual(refused.token, { first: "NG", token: "NG" });
    assert.equal(client.token, null);

    const wrong = await client.call("login", { name: "ann", pw: "wrong" });
    assert.deepEqual(wrong.error, { code: "", message: "wrong name or password" });
    assert.equal(client.token, null);

    const signedIn = await client.call("login", { name: "ann", pw: "right" });
    assert.equal(signedIn.error, null);
    assert.equal(signedIn.values.user, "ann");
    assert.ok(client.token && client.token.first !== "NG");

    for (let step = 1; step <= 5; step++) {
      assert.ok(client.encode("whoami", { step }).includes("Q"), "the token goes with the request");
      const answer = await client.call("whoami", { step });
      assert.equal(answer.error, null, `step ${step}: ${JSON.stringify(answer.error)}`);
      assert.equal(answer.values.step, step);
      assert.equal(answer.values.ip, "127.0.0.1");
      // Each answer earns a fresh token (the same one within a second: it is made from the time and address).
      assert.deepEqual(client.token, answer.token);
      assert.notEqual(answer.token.first, "NG");
    }
  });

  test("a tampered or stale token is refused and the session ends", async () => {
    const client = newClient();
    await client.call("login", { name: "bob", pw: "right" });
    const good = client.token;
    client.token = { first: good.first, token: good.token.replace(/^./, (c) => (c === "j" ? "k" : "j")) };
    const answer = await client.call("whoami", { step: 1 });
    assert.equal(answer.error.code, "1775");
    assert.equal(client.token, null);
    // The sign-in's token, once replaced by the next answer's, still works
    // within TIME_INTERVAL: tokens are not single-use.
    client.token = good;
    assert.equal((await client.call("whoami", { step: 2 })).error, null);
  });

  test("the open call's arguments go as request variables, so texts cannot reach the program", async () => {
    const client = newClient();
    const answer = await client.call("login", { name: "x\"); whoami(1); (\"", pw: "right" });
    assert.equal(answer.error, null);
    assert.equal(answer.values.user, "x\"); whoami(1); (\"");
    assert.equal(answer.values.step, undefined);
    // Only the opened function starts a session without a token.
    const raw = decodeAnswer(await site.post(encodeCall("whoami", { step: 1 }, { modules: ["session.js"] })));
    assert.equal(raw.error.code, "1775");
  });
});
