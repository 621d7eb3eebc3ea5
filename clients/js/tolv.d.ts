// Types of tolv.mjs, the browser side of the tolv runner's protocol.

/** A value a request can carry. A whole number of 32 bits travels as an
 * Integer (a negative one only as a variable of its own, not inside a
 * container), any other number as a Float; `Float(x)` forces a Float; a Date
 * travels as the runner's date text; arrays, plain objects (hashes) and Maps
 * (associative arrays: text or whole-number keys) nest. Booleans, null and
 * undefined have no request form and are refused. */
export type RequestValue =
  | string
  | number
  | bigint
  | Float
  | Date
  | RequestValue[]
  | { [key: string]: RequestValue }
  | Map<string | number, RequestValue>;

/** A value an answer carries: Integers and Floats as numbers, everything else
 * as texts (booleans as "true"/"false", null as "null", undefined as "",
 * Dates as "2024-01-15 10:30:00.250") unless `constants`/`dates` revive them. */
export type AnswerValue =
  | string
  | number
  | boolean
  | null
  | Date
  | AnswerValue[]
  | { [key: string]: AnswerValue };

/** The two fields of a session token: an answer's `X` record, a request's `Q`. */
export interface Token {
  first: string;
  token: string;
}

export interface Counts {
  arrays: number;
  hashes: number;
  scalars: number;
  extra: number;
}

export interface Answer {
  /** name -> value of every s, A and H record a script sent (nested containers resolved). */
  values: { [name: string]: AnswerValue };
  /** alertToFront values, in order: texts ("" for undefined; an error as "Exception: CODE=..., MESSAGE='...'"). */
  alerts: AnswerValue[];
  /** The S record: the error that ended the run, or null. */
  error: { code: string; message: string } | null;
  /** The C record (present only when the run completed). */
  counts: Counts | null;
  /** The X record; {first: "NG", token: "NG"} when the runner refused or issued none. */
  token: Token | null;
  /** The records as they stand (see decodeRecords). */
  records: AnswerRecord[];
}

export type Element =
  | { kind: "text"; value: string }
  | { kind: "integer"; value: number }
  | { kind: "float"; value: number }
  | { kind: "reference"; value: string; at: number };

export type AnswerRecord =
  | { type: "s"; name: string; value: Element; at: number }
  | { type: "A"; name: string; nested: boolean; elements: Element[]; at: number }
  | { type: "H"; name: string; nested: boolean; pairs: [string, Element][]; at: number }
  | { type: "S"; code: string; message: string; at: number }
  | { type: "C"; counts: [number, number, number, number]; at: number }
  | { type: "X"; first: string; token: string; at: number };

/** "local" (this side's zone), "UTC" or an IANA zone name such as "Asia/Tokyo". */
export type TimeZone = string;

export interface DecodeOptions {
  /** "true", "false", "null", "NaN" texts become true, false, null, NaN. */
  constants?: boolean;
  /** Date texts become Dates, read in this zone (the runner's TZ). */
  dates?: TimeZone | null;
}

export interface Request {
  /** The top program (`P`), at most 255 bytes. */
  program?: string;
  /** Module paths (`M`), relative to MODULE_DIR, ending in .js or .jo. */
  modules?: string[];
  /** Request variables (`I`, `D`, `S`, `A`), by name. */
  variables?: { [name: string]: RequestValue };
  /** The last answer's token (`Q`). */
  token?: Token | null;
  /** A journal file name (`l`) in LOGFILE's directory, e.g. "shop.log". */
  journal?: string;
  /** `L`: modules are not fetched through the debugger connection. */
  noDebuggerModules?: boolean;
  /** The zone Dates are written in (the runner's TZ); default "local". */
  timeZone?: TimeZone;
}

export class TolvError extends Error {
  /** Malformed or truncated answer: the byte offset. */
  offset?: number;
  /** A value that cannot travel: where it sits, e.g. "order.items[2]". */
  path?: string;
  /** HTTP status of a failed exchange. */
  status?: number;
}

export class Float {
  constructor(value: number);
  readonly value: number;
}
export function float(value: number): Float;

/** The request body, an ASCII string. Throws TolvError for what cannot travel. */
export function encodeRequest(request: Request): string;
/** `name(a, b)` for argument (variable) names. */
export function callProgram(name: string, argumentNames?: string[]): string;
/** The body of `fn(...)` with `args` as named arguments (in parameter order). */
export function encodeCall(
  fn: string,
  args?: { [name: string]: RequestValue },
  options?: Omit<Request, "program">,
): string;

/** An answer (with or without the CGI header) into plain values. */
export function decodeAnswer(input: Uint8Array | ArrayBuffer | string, options?: DecodeOptions): Answer;
export function decodeRecords(input: Uint8Array | ArrayBuffer | string): AnswerRecord[];

/** The runner's text of a date in a zone; throws for invalid dates and years outside 1970-9999. */
export function dateText(date: Date, zone?: TimeZone): string;
/** The Date of a runner date text in a zone, or null when it is not one. */
export function parseDateText(text: string, zone?: TimeZone): Date | null;

export interface ClientOptions extends DecodeOptions {
  /** The runner's URL; default "/runner". */
  url?: string;
  /** Modules every request names. */
  modules?: string[];
  /** Journal file name sent with every request. */
  journal?: string;
  /** The zone Dates are sent in (the runner's TZ); default "local". */
  timeZone?: TimeZone;
  /** A token to start from (e.g. from `runner --issue-token`). */
  token?: Token | null;
  fetch?: typeof fetch;
  headers?: { [name: string]: string };
}

export class TolvClient {
  constructor(options?: ClientOptions);
  url: string;
  modules: string[];
  /** The last answer's token, sent as `Q` with the next call; null after "NG". */
  token: Token | null;
  /** The body `call` would post. */
  encode(fn: string, args?: { [name: string]: RequestValue }, variables?: { [name: string]: RequestValue }): string;
  /** Posts `fn(args...)`; the script's error is `answer.error`, a transport or
   * format failure a thrown TolvError. */
  call(
    fn: string,
    args?: { [name: string]: RequestValue },
    variables?: { [name: string]: RequestValue },
  ): Promise<Answer>;
}
