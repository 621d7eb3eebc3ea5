// The task list page: every button is one call of a function of tasks.js
// through the runner at /runner; each answer brings the whole list back.
import { TolvClient } from "./tolv.mjs";

const $ = (id) => document.getElementById(id);
const client = new TolvClient({ url: "/runner", modules: ["tasks.js"] });

// The session survives a reload of the page (not a new tab): the user's name
// and the last answer's token are kept in sessionStorage.
const SESSION = "tasks.session";
function restoreSession() {
  try {
    const saved = JSON.parse(sessionStorage.getItem(SESSION) || "null");
    if (saved && saved.token) {
      client.token = saved.token;
      return saved.user;
    }
  } catch { /* a damaged entry is as good as none */ }
  return null;
}
function saveSession(user) {
  if (client.token) sessionStorage.setItem(SESSION, JSON.stringify({ user, token: client.token }));
}
let user = restoreSession();

function say(text) { $("message").textContent = text || ""; }

// One call: shows the application's message (an alert) or the error, and
// the list when the answer carries it.
async function call(name, args) {
  let answer;
  try {
    answer = await client.call(name, args);
  } catch (e) {
    say(`The server could not be reached (${e.message}).`);
    return null;
  }
  saveSession(user);
  say(answer.alerts.map((a) => String(a)).join(" "));
  if (answer.error) {
    if (answer.error.code === "1775") {  // token refused or too old: sign in again
      signOut(`Please sign in again (${answer.error.message}).`);
      return null;
    }
    say(answer.error.message);
    return null;
  }
  if (answer.values.tasks !== undefined) showTasks(answer.values.tasks, answer.values.per_day);
  return answer;
}

function showTasks(tasks, perDay) {
  const list = $("tasks");
  list.replaceChildren();
  for (const task of tasks || []) {
    const li = document.createElement("li");
    li.dataset.id = task.id;
    // Booleans arrive as the texts "true" and "false".
    if (task.done === "true") li.className = "done";
    const text = document.createElement("span");
    text.className = "text";
    text.textContent = task.text;
    // created: milliseconds since 1970, shown in the browser's own zone.
    const when = new Date(Number(task.created));
    const time = document.createElement("time");
    time.dateTime = when.toISOString();
    time.textContent = when.toLocaleString();
    li.append(text, time);
    if (task.done !== "true") li.append(button("Done", "done", () => call("mark_done", { id: task.id })));
    li.append(button("Delete", "delete", () => call("delete_task", { id: task.id })));
    list.append(li);
  }
  // Rows of mongo_aggregate: [day, "", [added, done]].
  const body = $("per-day");
  body.replaceChildren();
  for (const [day, , counts] of perDay || []) {
    const tr = document.createElement("tr");
    for (const cell of [day, counts[0], counts[1]]) {
      const td = document.createElement("td");
      td.textContent = String(cell);
      tr.append(td);
    }
    body.append(tr);
  }
}

function button(label, kind, action) {
  const b = document.createElement("button");
  b.type = "button";
  b.textContent = label;
  b.className = kind;
  b.addEventListener("click", action);
  return b;
}

function localDay(d = new Date()) {
  const two = (n) => String(n).padStart(2, "0");
  return `${d.getFullYear()}-${two(d.getMonth() + 1)}-${two(d.getDate())}`;
}

function showApp() {
  $("signin").hidden = true;
  $("app").hidden = false;
  $("user").textContent = user;
}

function signOut(message) {
  sessionStorage.removeItem(SESSION);
  client.token = null;
  user = null;
  $("app").hidden = true;
  $("signin").hidden = false;
  say(message);
}

$("signin").addEventListener("submit", async (event) => {
  event.preventDefault();
  const name = $("name").value.trim();
  client.token = null;
  const answer = await call("login", { name, pw: $("password").value });
  if (answer && answer.values.user !== undefined) {
    user = answer.values.user;
    saveSession(user);
    $("password").value = "";
    showApp();
  }
});

$("add").addEventListener("submit", async (event) => {
  event.preventDefault();
  const answer = await call("add_task", { text: $("text").value, day: localDay() });
  if (answer && answer.alerts.length === 0) $("text").value = "";
});

$("signout").addEventListener("click", () => signOut("Signed out."));

if (user) {
  showApp();
  call("show_tasks", {});
} else {
  signOut("");
}
document.body.dataset.ready = "yes";
