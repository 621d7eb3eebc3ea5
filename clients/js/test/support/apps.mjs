// Modules of the sites the tests start.

// Sends back what it was given; `typed` also sends the script's own text of
// the value (String(5) is "5", String(5.0) is "5.0": the kind it arrived as).
export const ECHO = `
function echo(v) { sendToFront("v", v); }
function typed(v) { sendToFront("v", v); sendToFront("text", String(v)); }
function pair(a, b) { sendToFront("a", a); sendToFront("b", b); }
function assoc(m) { sendToFront("one", m[1]); sendToFront("b", m["b"]); sendToFront("keys", Object.keys(m)); }
function dates(t) { var d = new Date(t); sendToFront("d", d); sendToFront("ms", d.getTime()); }
function made() {
  sendToFront("yes", true); sendToFront("no", false); sendToFront("nothing", null); sendToFront("missing", undefined);
  sendToFront("nan", NaN); sendToFront("when", new Date(2024, 6, 1, 12, 0, 0, 5));
  alertToFront("look"); alertToFront(undefined);
}
function fails() { sendToFront("before", 1); throw "no such task"; }
`;

// Sign-in through TOKEN_OPEN; every other function needs the token.
export const SESSION = `
function login(name, pw) {
  if (pw != "right") throw "wrong name or password";
  sendToFront("user", name);
}
function whoami(step) { sendToFront("step", step); sendToFront("ip", client_ip); }
`;
