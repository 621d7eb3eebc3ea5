// tolv.mjs: the browser side of the tolv runner's protocol, with no
// dependencies (browsers and node 18 or later).
//
// A request body is a sequence of counted records (the top program, the
// module list, the request variables, the token, the journal name); an answer
// is another (s, A, H records a script sends, alerts, the S error, the C
// completion counts and the X token). docs/protocol.md describes both.

const TEXT_ENCODER = new TextEncoder();

// Bytes the runner sends as they are in a counted text; every other byte
// travels as %XX. Requests use the same rule, so a request body is ASCII.
const PLAIN_BYTES = (() => {
  const table = new Uint8Array(256);
  const plain = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz;,/?:@&=+$-_.*'()#";
  for (let i = 0; i < plain.length; i++) table[plain.charCodeAt(i)] = 1;
  return table;
})();
const HEX = "0123456789ABCDEF";

const ALERT_NAME = "XYZBCA_ALERT_ABCZYX";
const ANSWER_HEADER = "Content-type: text/plane;charset=UTF-8\n\n";

const TOP_PROGRAM_LIMIT = 255;
const NAME_LIMIT = 255;
const NESTED_LIMIT = 1024; // nested containers of one A record
const HASH_PAIR_LIMIT = 0xffff;
const MODULE_LIMIT = 125;
const INT32_MIN = -2147483648;
const INT32_MAX = 2147483647;

// Names of the language's own objects and constants: the runner refuses a
// request variable so named (1760).
const RESERVED_NAMES = new Set([
  "undefined", "true", "false", "null", "NaN", "this", "Math", "console", "Object", "Function",
  "Connection", "Number", "Integer", "Float", "Date", "Error", "RegExp", "String", "Array", "Hash",
  "Exception", "typeof", "instanceof", "new",
]);

// Statement and keyword words of the language: an argument so named would not
// read as a name in the top program.
const KEYWORDS = new Set([
  "alertToFront", "break", "if", "let", "openDb", "var", "while", "closeDb", "const", "continue", "do",
  "decodeURI", "decodeURIComponent", "eval", "execute", "encodeURI", "encodeURIComponent", "for",
  "function", "parseInt", "parseFloat", "return", "switch", "throw", "try", "catch", "finally", "else",
  "case", "default", "in", "of", "sendToFront", "class", "delete", "void", "yield", "await",
]);

/** The one error class of this library: a value that cannot travel, a
 * malformed answer (with `offset`), or a failed HTTP exchange (with `status`). */
export class TolvError extends Error {
  constructor(message, details = {}) {
    super(message);
    this.name = "TolvError";
    if (details.offset !== undefined) this.offset = details.offset;
    if (details.path !== undefined) this.path = details.path;
    if (details.status !== undefined) this.status = details.status;
  }
}

/** A number that travels as the runner's Float even when it is whole
 * (`Float(5)` is 5.0 in the script; a plain 5 is the Integer 5). */
export class Float {
  constructor(value) {
    if (typeof value !== "number") throw new TolvError(`Float() takes a number, not ${typeof value}`);
    this.value = value;
    Object.freeze(this);
  }
}
/** `float(5)` is `new Float(5)`. */
export const float = (value) => new Float(value);

// ---- Texts -------------------------------------------------------------------

// True when a UTF-16 surrogate stands without its partner (TextEncoder would
// quietly send U+FFFD in its place).
function hasLoneSurrogate(text) {
  for (let i = 0; i < text.length; i++) {
    const c = text.charCodeAt(i);
    if (c < 0xd800 || c > 0xdfff) continue;
    const next = text.charCodeAt(i + 1);
    if (c > 0xdbff || !(next >= 0xdc00 && next <= 0xdfff)) return true;
    i++;
  }
  return false;
}

function utf8(text, path) {
  if (hasLoneSurrogate(text)) {
    throw new TolvError(`${path}: a text with a lone UTF-16 surrogate has no UTF-8 form`, { path });
  }
  return TEXT_ENCODER.encode(text);
}

// The counted text of `bytes`: '0'+d plain, or 'A'+d when some byte is %XX.
function countedBytes(bytes) {
  let escaped = 0;
  for (const b of bytes) if (!PLAIN_BYTES[b]) escaped++;
  let body = "";
  if (escaped === 0) {
    for (const b of bytes) body += String.fromCharCode(b);
  } else {
    for (const b of bytes) body += PLAIN_BYTES[b] ? String.fromCharCode(b) : "%" + HEX[b >> 4] + HEX[b & 15];
  }
  const length = String(body.length);
  const marker = String.fromCharCode((escaped ? 65 : 48) + length.length);
  return marker + length + body;
}

const countedText = (text, path) => countedBytes(utf8(text, path));

// '0' + digit count, then the digits.
function countedNumber(n) {
  const digits = String(n);
  return String.fromCharCode(48 + digits.length) + digits;
}

// Record and module-path lengths: '0'-'9' digit count, then the digits.
function lengthField(n) {
  const digits = String(n);
  if (digits.length > 9) throw new TolvError(`a record of ${n} bytes is too long to send`);
  return String(digits.length) + digits;
}

// Refuses what the runner refuses in a name: empty, over 255 bytes, NUL.
function checkName(name, what, path) {
  if (typeof name !== "string") throw new TolvError(`${path}: ${what} must be a text`, { path });
  const bytes = utf8(name, path);
  if (bytes.length === 0 || bytes.length > NAME_LIMIT || bytes.includes(0)) {
    throw new TolvError(`${path}: ${what} ${JSON.stringify(name)} must be 1-${NAME_LIMIT} bytes without NUL`, { path });
  }
  return bytes;
}

function checkKey(key, path) {
  const bytes = checkName(key, "a key", path);
  // The runner refuses "$" keys (1715): request data must never become a query operator.
  if (bytes[0] === 0x24) throw new TolvError(`${path}: a key beginning with "$" is refused by the runner`, { path });
  return bytes;
}

function checkVariableName(name, path) {
  checkName(name, "a variable name", path);
  if (RESERVED_NAMES.has(name)) {
    throw new TolvError(`${path}: ${JSON.stringify(name)} is one of the language's own names and cannot be a request variable`, { path });
  }
}

const IDENTIFIER = /^[A-Za-z_$][A-Za-z0-9_$]*$/;

// ---- Dates -------------------------------------------------------------------

const DATE_TEXT = /^(\d{4})-(\d{2})-(\d{2}) (\d{2}):(\d{2}):(\d{2})(?:\.(\d{3}))?$/;
const formatters = new Map();

function zoneFormatter(zone) {
  let f = formatters.get(zone);
  if (!f) {
    f = new Intl.DateTimeFormat("en-US", {
      timeZone: zone, hourCycle: "h23", year: "numeric", month: "numeric", day: "numeric",
      hour: "numeric", minute: "numeric", second: "numeric", era: "short",
    });
    formatters.set(zone, f);
  }
  return f;
}

// The wall-clock fields of instant `ms` in `zone` ("local", "UTC" or an IANA name).
function fieldsAt(ms, zone) {
  const d = new Date(ms);
  if (zone === "local") {
    return [d.getFullYear(), d.getMonth() + 1, d.getDate(), d.getHours(), d.getMinutes(), d.getSeconds(), d.getMilliseconds()];
  }
  if (zone === "UTC") {
    return [d.getUTCFullYear(), d.getUTCMonth() + 1, d.getUTCDate(), d.getUTCHours(), d.getUTCMinutes(), d.getUTCSeconds(), d.getUTCMilliseconds()];
  }
  const parts = {};
  for (const p of zoneFormatter(zone).formatToParts(d)) parts[p.type] = p.value;
  let year = Number(parts.year);
  if (parts.era === "BC" || parts.era === "B") year = 1 - year;
  return [year, Number(parts.month), Number(parts.day), Number(parts.hour), Number(parts.minute), Number(parts.second), d.getUTCMilliseconds()];
}

function fieldsAsUtc(f) {
  const d = new Date(0);
  d.setUTCFullYear(f[0], f[1] - 1, f[2]);
  d.setUTCHours(f[3], f[4], f[5], f[6]);
  return d.getTime();
}

const offsetAt = (ms, zone) => fieldsAsUtc(fieldsAt(ms, zone)) - ms;

// The instant of wall-clock fields in `zone`, read as the runner reads them:
// a time skipped in spring moves forward by the gap, a time that occurs twice
// in autumn is the later one (standard time).
function instantOf(fields, zone) {
  const wall = fieldsAsUtc(fields);
  const before = offsetAt(wall - 86400000, zone);
  const after = offsetAt(wall + 86400000, zone);
  const candidates = [wall - before, wall - after].filter((t) => offsetAt(t, zone) === wall - t);
  if (candidates.length) return Math.max(...candidates);
  return wall - before;
}

const pad = (n, w) => String(n).padStart(w, "0");

/** The runner's text of a date (`2024-01-15 10:30:00.250`, milliseconds only
 * when not 0) for `date` in `zone`: "local" (this side's zone), "UTC" or an
 * IANA name; use the runner's own zone (its TZ). */
export function dateText(date, zone = "local", path = "date") {
  const ms = date instanceof Date ? date.getTime() : NaN;
  if (!Number.isFinite(ms)) throw new TolvError(`${path}: an invalid Date cannot be sent`, { path });
  const f = fieldsAt(ms, zone);
  if (f[0] < 1970 || f[0] > 9999) {
    throw new TolvError(`${path}: the runner's dates run from 1970 to 9999, not ${f[0]}`, { path });
  }
  const text = `${pad(f[0], 4)}-${pad(f[1], 2)}-${pad(f[2], 2)} ${pad(f[3], 2)}:${pad(f[4], 2)}:${pad(f[5], 2)}`;
  return f[6] ? `${text}.${pad(f[6], 3)}` : text;
}

/** The Date that a runner date text stands for in `zone`, or null when
 * `text` is not a date text. */
export function parseDateText(text, zone = "local") {
  const m = typeof text === "string" ? DATE_TEXT.exec(text) : null;
  if (!m) return null;
  const f = m.slice(1, 8).map((x) => (x === undefined ? 0 : Number(x)));
  const probe = new Date(Date.UTC(2000, f[1] - 1, f[2], f[3], f[4], f[5]));
  if (f[1] < 1 || f[1] > 12 || probe.getUTCDate() !== f[2] || f[3] > 23 || f[4] > 59 || f[5] > 59) return null;
  return new Date(instantOf(f, zone));
}

// ---- Request -----------------------------------------------------------------

function kindOf(value) {
  if (value instanceof Float) return "float";
  if (typeof value === "number") return "number";
  if (typeof value === "bigint") return "bigint";
  if (typeof value === "string") return "string";
  if (value instanceof Date) return "date";
  if (Array.isArray(value)) return "array";
  if (value instanceof Map) return "map";
  if (value !== null && typeof value === "object") {
    const proto = Object.getPrototypeOf(value);
    if (proto === Object.prototype || proto === null) return "hash";
    return "object";
  }
  return value === null ? "null" : typeof value;
}

function refuse(path, why) {
  throw new TolvError(`${path}: ${why}`, { path });
}

function refuseKind(path, kind) {
  const hint = {
    boolean: "the request has no booleans (send 1/0 or a text)",
    null: "the request has no null (leave the variable out, or send a text)",
    undefined: "the request has no undefined (leave the variable out)",
    object: "only arrays, plain objects (hashes) and Maps (associative arrays) travel",
  }[kind] || `a ${kind} cannot travel`;
  refuse(path, `cannot be sent: ${hint}`);
}

function floatText(x) {
  // JavaScript's shortest round-trip text; strtod reads it back to the same double.
  return String(x);
}

function integerOf(value, path) {
  if (typeof value === "bigint") {
    if (value < BigInt(INT32_MIN) || value > BigInt(INT32_MAX)) {
      refuse(path, `the BigInt ${value} is beyond the runner's 32-bit Integer`);
    }
    return Number(value);
  }
  return value;
}

// Integer for whole numbers of 32 bits (not -0); Float for every other number.
const isInteger32 = (x) => Number.isInteger(x) && x >= INT32_MIN && x <= INT32_MAX && !Object.is(x, -0);

class RequestWriter {
  constructor(zone) {
    this.zone = zone;
  }

  // A typed element of an array, hash or associative array.
  element(value, path, ctx) {
    const kind = kindOf(value);
    switch (kind) {
      case "string": return countedText(value, path);
      case "date": return countedText(dateText(value, this.zone, path), path);
      case "float": return this.floatElement(value.value);
      case "bigint":
      case "number": {
        const x = integerOf(value, path);
        if (!isInteger32(x)) return this.floatElement(x);
        if (x < 0) {
          refuse(path, `a negative Integer (${x}) cannot travel inside a container (its elements carry no sign); send Float(${x}) or a variable of its own`);
        }
        // 'N' + digit count, the digits.
        return String.fromCharCode(78 + String(x).length) + String(x);
      }
      case "array":
      case "hash":
      case "map": return this.nested(value, kind, path, ctx);
      default: return refuseKind(path, kind);
    }
  }

  // 'a' + digit count of the length, the length, the text.
  floatElement(x) {
    const text = floatText(x);
    const length = String(text.length);
    return String.fromCharCode(97 + length.length) + length + text;
  }

  // An object of an A record: type letter, element count, name, elements.
  object(value, kind, name, path, ctx, isNested = false) {
    if (ctx.open.has(value)) refuse(path, "a container that holds itself cannot be sent");
    ctx.open.add(value);
    let body = "";
    let count = 0;
    if (kind === "array") {
      for (let i = 0; i < value.length; i++) {
        if (!(i in value)) refuse(`${path}[${i}]`, "a hole in an array cannot be sent");
        body += this.element(value[i], `${path}[${i}]`, ctx);
      }
      count = value.length;
    } else if (kind === "hash") {
      for (const key of Object.keys(value)) {
        const keyPath = `${path}.${key}`;
        body += countedBytes(checkKey(key, keyPath)) + this.element(value[key], keyPath, ctx);
        count++;
      }
      if (count > HASH_PAIR_LIMIT) refuse(path, `a hash of more than ${HASH_PAIR_LIMIT} pairs cannot be sent`);
    } else {
      for (const [key, item] of value) {
        const keyPath = `${path}.get(${typeof key === "string" ? JSON.stringify(key) : String(key)})`;
        body += this.mapKey(key, keyPath) + this.element(item, keyPath, ctx);
        count++;
      }
    }
    ctx.open.delete(value);
    const letter = { array: "A", hash: "H", map: "I" }[kind];
    const type = isNested ? letter.toLowerCase() : letter;
    return type + countedNumber(count) + name + body;
  }

  mapKey(key, path) {
    if (typeof key === "string") return countedBytes(checkKey(key, path));
    if (typeof key === "number" && Number.isInteger(key) && key >= 0 && key <= Number.MAX_SAFE_INTEGER && !Object.is(key, -0)) {
      return String.fromCharCode(78 + String(key).length) + String(key);
    }
    return refuse(path, "a Map key must be a text or a whole number of 0 or more");
  }

  // A nested container goes first, as its own object of the same record, under
  // a fresh reference; the element is the reference. A container held twice
  // goes twice: the runner takes each reference once.
  nested(value, kind, path, ctx) {
    if (++ctx.count > NESTED_LIMIT) {
      refuse(path, `more than ${NESTED_LIMIT} nested containers in one variable cannot be sent`);
    }
    const ref = `^${kind === "array" ? "A" : "H"}${pad(ctx.count, 6)}`;
    ctx.objects.push(this.object(value, kind, "18" + ref, path, ctx, true));
    return "18" + ref;
  }
}

function record(letter, count, contents) {
  return letter + countedNumber(count) + lengthField(contents.length) + contents;
}

// Module paths stay under the module directory and end in .js or .jo.
function checkModule(path) {
  if (typeof path !== "string" || !/^[\x21-\x7e]+$/.test(path)) {
    throw new TolvError(`module ${JSON.stringify(path)}: a module path is printable ASCII without blanks`);
  }
  if (/^[/\\]/.test(path) || path.split(/[/\\]/).includes("..")) {
    throw new TolvError(`module ${JSON.stringify(path)}: a module path stays under the module directory`);
  }
  if (!/\.j[so]$/i.test(path)) throw new TolvError(`module ${JSON.stringify(path)}: a module ends in .js or .jo`);
}

/**
 * The body of a request (an ASCII string) from its parts; see tolv.d.ts.
 * Refuses, with a TolvError naming the value's path, anything the runner
 * would refuse or read differently.
 */
export function encodeRequest(request) {
  const { program, modules = [], variables = {}, token = null, journal, noDebuggerModules = false } = request;
  const zone = request.timeZone ?? "local";
  let body = "";
  if (program !== undefined) {
    if (typeof program !== "string") throw new TolvError("the top program must be a text");
    const text = countedText(program, "program");
    if (utf8(program, "program").length > TOP_PROGRAM_LIMIT) {
      throw new TolvError(`the top program is over ${TOP_PROGRAM_LIMIT} bytes`);
    }
    body += "P" + text;
  }
  if (modules.length) {
    if (modules.length > MODULE_LIMIT) throw new TolvError(`more than ${MODULE_LIMIT} modules`);
    let list = "";
    for (const path of modules) {
      checkModule(path);
      list += lengthField(path.length) + path;
    }
    body += record("M", modules.length, list);
  }
  if (noDebuggerModules) body += "L";
  if (token) {
    if (typeof token.first !== "string" || typeof token.token !== "string") {
      throw new TolvError("a token is {first, token}, two texts");
    }
    body += "Q" + countedText(token.first, "token.first") + countedText(token.token, "token.token");
  }
  if (journal !== undefined && journal !== null) {
    // The runner takes only a plain name (it ignores any other): letters,
    // digits, "_", "-", ".", not hidden, at most 64 bytes, ending in the
    // configured LOGFILE's extension (which only the server knows).
    if (typeof journal !== "string" || !/^[A-Za-z0-9_-][A-Za-z0-9_.-]{0,63}$/.test(journal)) {
      throw new TolvError(`journal ${JSON.stringify(journal)}: a journal name is a plain file name (letters, digits, "_", "-", "."; at most 64)`);
    }
    body += "l" + countedText(journal, "journal");
  }
  body += encodeVariables(variables, zone);
  return body;
}

function encodeVariables(variables, zone) {
  const writer = new RequestWriter(zone);
  const groups = { I: [], D: [], S: [] };
  const objects = [];
  for (const name of Object.keys(variables)) {
    const value = variables[name];
    checkVariableName(name, name);
    const nameField = countedText(name, name);
    const kind = kindOf(value);
    switch (kind) {
      case "string": groups.S.push(nameField + countedText(value, name)); break;
      case "date": groups.S.push(nameField + countedText(dateText(value, zone, name), name)); break;
      case "float": groups.D.push(nameField + countedText(floatText(value.value), name)); break;
      case "number":
      case "bigint": {
        const x = integerOf(value, name);
        if (!isInteger32(x)) {
          groups.D.push(nameField + countedText(floatText(x), name));
          break;
        }
        const digits = String(x);
        if (digits.length > 10) {
          refuse(name, `the Integer ${x} has ${digits.length} characters, more than the 10 an integer variable carries; send Float(${x})`);
        }
        groups.I.push(nameField + String.fromCharCode(48 + digits.length) + digits);
        break;
      }
      case "array":
      case "hash":
      case "map": {
        // One A record per variable: each has its own 1024 nested containers.
        const ctx = { count: 0, objects: [], open: new Set() };
        const top = writer.object(value, kind, nameField, name, ctx);
        objects.push(record("A", ctx.objects.length + 1, ctx.objects.join("") + top));
        break;
      }
      default: refuseKind(name, kind);
    }
  }
  let body = "";
  for (const letter of ["I", "D", "S"]) {
    if (groups[letter].length) body += record(letter, groups[letter].length, groups[letter].join(""));
  }
  return body + objects.join("");
}

/** The top program text of a plain call: `name(arg1, arg2)`. */
export function callProgram(name, argumentNames = []) {
  if (typeof name !== "string" || !IDENTIFIER.test(name) || KEYWORDS.has(name) || RESERVED_NAMES.has(name)) {
    throw new TolvError(`${JSON.stringify(name)} is not a function name a top program can call`);
  }
  for (const arg of argumentNames) {
    if (!IDENTIFIER.test(arg) || KEYWORDS.has(arg) || RESERVED_NAMES.has(arg)) {
      throw new TolvError(`${arg}: an argument's name must be a plain name of the language (it is a request variable)`, { path: arg });
    }
  }
  return `${name}(${argumentNames.join(", ")})`;
}

/** The request of a call: `fn(a, b)` with the variables `a` and `b`; `args`
 * is an object of named arguments, in the function's parameter order. */
export function encodeCall(fn, args = {}, options = {}) {
  if (args === null || typeof args !== "object" || Array.isArray(args)) {
    throw new TolvError("the arguments of a call are an object of named values: {name: value}");
  }
  const program = callProgram(fn, Object.keys(args));
  return encodeRequest({ ...options, program, variables: { ...(options.variables || {}), ...args } });
}

// ---- Answer ------------------------------------------------------------------

class AnswerReader {
  constructor(bytes) {
    this.bytes = bytes;
    this.at = 0;
  }

  fail(what, at = this.at) {
    throw new TolvError(`malformed answer at offset ${at}: ${what}`, { offset: at });
  }

  need(n, what) {
    if (this.at + n > this.bytes.length) {
      throw new TolvError(`truncated answer at offset ${this.bytes.length}: ${what} needs ${n} bytes from offset ${this.at}`, { offset: this.bytes.length });
    }
  }

  byte(what) {
    this.need(1, what);
    return this.bytes[this.at++];
  }

  digits(n, what) {
    this.need(n, what);
    let value = 0;
    for (let i = 0; i < n; i++) {
      const c = this.bytes[this.at + i];
      if (c < 48 || c > 57) this.fail(`${what}: a digit expected`, this.at + i);
      value = value * 10 + (c - 48);
    }
    this.at += n;
    return value;
  }

  ascii(n, what) {
    this.need(n, what);
    let text = "";
    for (let i = 0; i < n; i++) text += String.fromCharCode(this.bytes[this.at + i]);
    this.at += n;
    return text;
  }

  number(what) {
    const start = this.at;
    const marker = this.byte(what);
    if (marker < 48 || marker > 61) this.fail(`${what}: a counted number's digit count expected`, start);
    return this.digits(marker - 48, what);
  }

  // A counted text from its marker: { text, plain, bytes }.
  textFrom(marker, what) {
    const encoded = marker >= 65 && marker <= 77;
    const length = this.digits(marker - (encoded ? 65 : 48), what);
    this.need(length, what);
    const raw = this.bytes.subarray(this.at, this.at + length);
    this.at += length;
    const bytes = encoded ? this.percentDecode(raw, what) : raw;
    return { text: this.utf8(bytes), plain: !encoded, length };
  }

  text(what) {
    const start = this.at;
    const marker = this.byte(what);
    if (!((marker >= 48 && marker <= 61) || (marker >= 65 && marker <= 77))) {
      this.fail(`${what}: a counted text's marker expected`, start);
    }
    return this.textFrom(marker, what);
  }

  percentDecode(raw, what) {
    const out = new Uint8Array(raw.length);
    let n = 0;
    for (let i = 0; i < raw.length; i++) {
      if (raw[i] === 37) {
        const high = hexValue(raw[i + 1]);
        const low = hexValue(raw[i + 2]);
        if (i + 2 >= raw.length || high < 0 || low < 0) this.fail(`${what}: a "%" without two hexadecimal digits`, this.at - raw.length + i);
        out[n++] = high * 16 + low;
        i += 2;
      } else {
        out[n++] = raw[i];
      }
    }
    return out.subarray(0, n);
  }

  utf8(bytes) {
    return new TextDecoder("utf-8").decode(bytes);
  }

  // A typed element: { kind: "text" | "integer" | "float" | "reference", value }.
  element(what) {
    const start = this.at;
    const marker = this.byte(what);
    if ((marker >= 48 && marker <= 61) || (marker >= 65 && marker <= 77)) {
      const field = this.textFrom(marker, what);
      if (field.plain && /^\^[AH]\d{6}$/.test(field.text)) return { kind: "reference", value: field.text, at: start };
      return { kind: "text", value: field.text };
    }
    if (marker >= 78 && marker <= 78 + 19) {
      const text = this.ascii(marker - 78, what);
      if (!/^-?\d{1,19}$/.test(text)) this.fail(`${what}: an Integer's text expected, got ${JSON.stringify(text)}`, start);
      return { kind: "integer", value: Number(text) };
    }
    if (marker >= 97 && marker <= 122) {
      const text = this.ascii(marker - 97, what);
      const value = floatValue(text);
      if (value === undefined) this.fail(`${what}: a Float's text expected, got ${JSON.stringify(text)}`, start);
      return { kind: "float", value };
    }
    return this.fail(`${what}: an element's marker expected`, start);
  }
}

function hexValue(c) {
  if (c >= 48 && c <= 57) return c - 48;
  if (c >= 65 && c <= 70) return c - 55;
  if (c >= 97 && c <= 102) return c - 87;
  return -1;
}

function floatValue(text) {
  if (/^-?(\d+(\.\d+)?([eE][-+]?\d+)?|\d*\.\d+([eE][-+]?\d+)?)$/.test(text)) return Number(text);
  if (/^-?inf(inity)?$/i.test(text)) return text.startsWith("-") ? -Infinity : Infinity;
  if (/^-?nan$/i.test(text)) return NaN;
  return undefined;
}

function toBytes(input) {
  if (input instanceof Uint8Array) return input;
  if (input instanceof ArrayBuffer) return new Uint8Array(input);
  if (ArrayBuffer.isView(input)) return new Uint8Array(input.buffer, input.byteOffset, input.byteLength);
  if (typeof input === "string") {
    const bytes = new Uint8Array(input.length);
    for (let i = 0; i < input.length; i++) {
      const c = input.charCodeAt(i);
      // The runner's answer is ASCII (every other byte travels as %XX).
      if (c > 0x7f) throw new TolvError(`malformed answer at offset ${i}: a character outside ASCII`, { offset: i });
      bytes[i] = c;
    }
    return bytes;
  }
  throw new TolvError("an answer is a Uint8Array, an ArrayBuffer or a string");
}

function defineValue(target, key, value) {
  Object.defineProperty(target, key, { value, enumerable: true, writable: true, configurable: true });
}

/**
 * The records of an answer as they stand, nested references not resolved:
 * [{type: "s", name, value}, {type: "A", name, elements}, {type: "H", name,
 * pairs}, {type: "S", code, message}, {type: "C", counts}, {type: "X", first,
 * token}]; elements as {kind, value}. The CGI header, when present, is skipped.
 */
export function decodeRecords(input) {
  const bytes = toBytes(input);
  const reader = new AnswerReader(bytes);
  const header = TEXT_ENCODER.encode(ANSWER_HEADER);
  if (bytes.length >= header.length && header.every((b, i) => bytes[i] === b)) reader.at = header.length;
  const records = [];
  while (reader.at < bytes.length) {
    const start = reader.at;
    const letter = String.fromCharCode(reader.byte("a record"));
    switch (letter) {
      case "s": {
        const name = reader.text("the name of an s record").text;
        records.push({ type: "s", name, value: reader.element(`the value of ${name}`), at: start });
        break;
      }
      case "A": {
        const count = reader.number("an array's length");
        const name = reader.text("an array's name");
        const elements = [];
        for (let i = 0; i < count; i++) elements.push(reader.element(`${name.text}[${i}]`));
        records.push({ type: "A", name: name.text, nested: name.plain && /^\^A\d{6}$/.test(name.text), elements, at: start });
        break;
      }
      case "H": {
        const count = reader.number("a hash's pair count");
        const name = reader.text("a hash's name");
        const pairs = [];
        for (let i = 0; i < count; i++) {
          const key = reader.text(`a key of ${name.text}`).text;
          pairs.push([key, reader.element(`${name.text}.${key}`)]);
        }
        records.push({ type: "H", name: name.text, nested: name.plain && /^\^H\d{6}$/.test(name.text), pairs, at: start });
        break;
      }
      case "S": {
        const code = reader.text("an error's code").text;
        records.push({ type: "S", code, message: reader.text("an error's message").text, at: start });
        break;
      }
      case "C": {
        const counts = [0, 1, 2, 3].map(() => reader.number("a completion count"));
        records.push({ type: "C", counts, at: start });
        break;
      }
      case "X": {
        const first = reader.text("a token's first field").text;
        records.push({ type: "X", first, token: reader.text("a token").text, at: start });
        break;
      }
      default:
        reader.fail(`no record begins with ${JSON.stringify(letter)}`, start);
    }
  }
  return records;
}

/**
 * Decodes an answer into plain values: see tolv.d.ts (`Answer`). Options:
 * `constants` turns the texts "true", "false", "null" and "NaN" into
 * true, false, null and NaN; `dates` ("local", "UTC" or an IANA zone, the
 * runner's) turns date texts into Dates. Both are off by default since the
 * answer carries them as texts a script could equally have sent.
 */
export function decodeAnswer(input, options = {}) {
  const records = decodeRecords(input);
  const { constants = false, dates = null } = options;
  const nested = new Map();
  const answer = { values: {}, alerts: [], error: null, counts: null, token: null, records };

  const scalar = (element) => {
    if (element.kind !== "text") return element.value;
    const text = element.value;
    if (constants) {
      if (text === "true") return true;
      if (text === "false") return false;
      if (text === "null") return null;
      if (text === "NaN") return NaN;
    }
    if (dates) {
      const date = parseDateText(text, dates);
      if (date) return date;
    }
    return text;
  };
  const resolve = (element) => {
    if (element.kind !== "reference") return scalar(element);
    if (!nested.has(element.value)) {
      throw new TolvError(`malformed answer at offset ${element.at}: ${element.value} refers to no container sent before it`, { offset: element.at });
    }
    return nested.get(element.value);
  };
  const build = (rec) => {
    if (rec.type === "A") return rec.elements.map(resolve);
    const hash = {};
    for (const [key, element] of rec.pairs) defineValue(hash, key, resolve(element));
    return hash;
  };

  for (const rec of records) {
    switch (rec.type) {
      case "s":
        if (rec.name === ALERT_NAME) answer.alerts.push(scalar(rec.value));
        else if (rec.value.kind === "reference") throw new TolvError(`malformed answer at offset ${rec.at}: a scalar holds a reference`, { offset: rec.at });
        else defineValue(answer.values, rec.name, scalar(rec.value));
        break;
      case "A":
      case "H":
        if (rec.nested) nested.set(rec.name, build(rec));
        else defineValue(answer.values, rec.name, build(rec));
        break;
      case "S":
        if (!answer.error) answer.error = { code: rec.code, message: rec.message };
        break;
      case "C":
        answer.counts = { arrays: rec.counts[0], hashes: rec.counts[1], scalars: rec.counts[2], extra: rec.counts[3] };
        break;
      case "X":
        answer.token = { first: rec.first, token: rec.token };
        break;
    }
  }
  return answer;
}

// ---- Client ------------------------------------------------------------------

/** Posts calls to the runner with fetch and carries the session token from
 * each answer to the next request. */
export class TolvClient {
  constructor(options = {}) {
    this.url = options.url ?? "/runner";
    this.modules = options.modules ?? [];
    this.journal = options.journal;
    this.timeZone = options.timeZone ?? "local";
    this.constants = options.constants ?? false;
    this.dates = options.dates ?? null;
    this.token = options.token ?? null;
    this.fetch = options.fetch ?? ((...args) => globalThis.fetch(...args));
    this.headers = options.headers ?? {};
  }

  /** The body this client would post for `fn(args)`. */
  encode(fn, args = {}, variables = {}) {
    return encodeCall(fn, args, {
      modules: this.modules, token: this.token, journal: this.journal, timeZone: this.timeZone, variables,
    });
  }

  /** Calls `fn` with named arguments; resolves to the decoded answer. The
   * script's error is the answer's `error`; a TolvError is thrown for a value
   * that cannot travel, an HTTP failure or a malformed answer. */
  async call(fn, args = {}, variables = {}) {
    const body = this.encode(fn, args, variables);
    const response = await this.fetch(this.url, {
      method: "POST",
      headers: { "Content-Type": "text/plain;charset=UTF-8", ...this.headers },
      body,
    });
    if (!response.ok) {
      throw new TolvError(`the runner's URL answered HTTP ${response.status}`, { status: response.status });
    }
    const answer = decodeAnswer(new Uint8Array(await response.arrayBuffer()), {
      constants: this.constants, dates: this.dates,
    });
    if (answer.token) {
      this.token = answer.token.first === "NG" && answer.token.token === "NG" ? null : answer.token;
    }
    return answer;
  }
}
