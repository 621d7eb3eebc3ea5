// Drives the task list example as its page does, through the client library:
// each call is printed with the request body sent, the answer as it came
// back, and what the library decoded from it.
//   node tools/tasks_demo.mjs URL PASSWORD
import { TolvClient } from "../clients/js/tolv.mjs";

const [url, password] = process.argv.slice(2);
let last = {};
const client = new TolvClient({
  url: new URL("runner", url).href,
  modules: ["tasks.js"],
  fetch: async (target, init) => {
    const response = await fetch(target, init);
    const bytes = new Uint8Array(await response.arrayBuffer());
    last = { request: init.body, answer: new TextDecoder().decode(bytes) };
    return new Response(bytes, { status: response.status });
  },
});
const today = new Date().toISOString().slice(0, 10);

async function call(fn, args, variables = {}) {
  const answer = await client.call(fn, args, variables);
  const extra = Object.keys(variables).length ? `  with the variables ${JSON.stringify(variables)}` : "";
  console.log(`== ${fn}(${Object.entries(args).map(([k, v]) => `${k}=${JSON.stringify(v)}`).join(", ")})${extra}`);
  console.log(`request:  ${last.request}`);
  console.log(`answer:   ${last.answer}`);
  if (answer.error) console.log(`          error ${answer.error.code}: ${answer.error.message}`);
  for (const alert of answer.alerts) console.log(`          alert: ${alert}`);
  for (const [name, value] of Object.entries(answer.values)) console.log(`          ${name} = ${JSON.stringify(value)}`);
  console.log(`          token: ${client.token ? "kept for the next call" : "none"}\n`);
  return answer;
}

const refused = await call("show_tasks", {});
if (!refused.error) throw new Error("a call without a token was not refused");
await call("login", { name: "ann", pw: "wrong" });
// A request variable cannot replace a VAR of the configuration.
const forged = await call("login", { name: "ann", pw: "forged" }, { team_password: "forged" });
if (!forged.error || client.token) throw new Error("a request variable replaced team_password");
await call("login", { name: "ann", pw: password });
await call("add_task", { text: "buy green tea", day: today });
await call("add_task", { text: "", day: today });
const added = await call("add_task", { text: "write the report", day: today });
await call("mark_done", { id: added.values.tasks[0].id });
const after = await call("delete_task", { id: added.values.tasks[1].id });
const perDay = after.values.per_day;
if (after.values.tasks.length !== 1 || perDay[0][2][0] !== 1 || perDay[0][2][1] !== 1) {
  throw new Error(`unexpected end state ${JSON.stringify(after.values)}`);
}
