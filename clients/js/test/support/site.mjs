// A site as deploy/lighttpd lays it out, served by a real lighttpd on a free
// loopback port: the runner and its TOLV.config in bin/, the modules, the
// journal's directory, and a document root of static files only.
import { execFileSync, spawnSync } from "node:child_process";
import { chmodSync, chownSync, copyFileSync, existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { createServer } from "node:net";
import { tmpdir, userInfo } from "node:os";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

export const SOURCE_DIR = process.env.TOLV_SOURCE_DIR ?? join(dirname(fileURLToPath(import.meta.url)), "../../../..");
export const RUNNER = process.env.TOLV_RUNNER ?? join(SOURCE_DIR, "build/release/runner");
const LIGHTTPD = ["/usr/sbin/lighttpd", "/usr/bin/lighttpd"].find((path) => existsSync(path));

/** Why the site tests cannot run here, or null. */
export function missing() {
  if (!existsSync(RUNNER)) return `no runner at ${RUNNER} (set TOLV_RUNNER)`;
  if (!LIGHTTPD) return "lighttpd is not installed (tools/setup.sh installs it)";
  return null;
}

function freePort() {
  return new Promise((resolve, reject) => {
    const server = createServer();
    server.once("error", reject);
    server.listen(0, "127.0.0.1", () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

async function waitFor(url) {
  for (let i = 0; i < 100; i++) {
    try {
      await fetch(url);
      return;
    } catch {
      await new Promise((r) => setTimeout(r, 50));
    }
  }
  throw new Error(`lighttpd did not answer at ${url}`);
}

/** The site's directories and runner without a web server (see startSite for the options). */
export function makeSandbox({ modules = {}, config = "", public: publicFiles = {} } = {}) {
  const dir = mkdtempSync(join(tmpdir(), "tolv-js-"));
  chmodSync(dir, 0o755);
  for (const sub of ["bin", "modules", "log", "public", "run"]) mkdirSync(join(dir, sub));
  copyFileSync(RUNNER, join(dir, "bin/runner"));
  chmodSync(join(dir, "bin/runner"), 0o755);
  for (const [file, text] of Object.entries(modules)) writeFileSync(join(dir, "modules", file), text);
  for (const [file, text] of Object.entries(publicFiles)) writeFileSync(join(dir, "public", file), text);
  writeFileSync(join(dir, "public/index.html"), "<!doctype html><title>tolv</title>\n");
  writeFileSync(join(dir, "bin/TOLV.config"), `MODULE_DIR=${dir}/modules\nLOGFILE=${dir}/log/journal.log\n${config}\n`);
  return {
    dir,
    /** One CGI request straight to the runner (no web server): the answer's bytes. */
    run(body, env = {}) {
      return execFileSync(join(dir, "bin/runner"), [], {
        input: body,
        env: { PATH: process.env.PATH, CONTENT_LENGTH: String(Buffer.byteLength(body)), REMOTE_ADDR: "127.0.0.1", ...env },
        maxBuffer: 64 << 20,
      });
    },
    stop: () => rmSync(dir, { recursive: true, force: true }),
  };
}

/**
 * Starts a site served by lighttpd. `modules`: {file: text} under
 * MODULE_DIR; `config`: lines added to TOLV.config (MODULE_DIR and LOGFILE
 * are set here); `public`: {file: text} in the document root.
 */
export async function startSite(options = {}) {
  const sandbox = makeSandbox(options);
  const { dir } = sandbox;

  // Started as root, lighttpd runs the runner as nobody, who writes the journal.
  let user = userInfo().username;
  let group = spawnSync("id", ["-gn"]).stdout.toString().trim();
  if (process.getuid && process.getuid() === 0) {
    user = "nobody";
    group = spawnSync("getent", ["group", "nogroup"]).status === 0 ? "nogroup" : "nobody";
    const uid = Number(spawnSync("id", ["-u", user]).stdout.toString());
    const gid = Number(spawnSync("getent", ["group", group]).stdout.toString().split(":")[2]);
    for (const sub of ["log", "run"]) chownSync(join(dir, sub), uid, gid);
  }
  const port = await freePort();
  const values = {
    BIN: join(dir, "bin"), PUBLIC: join(dir, "public"), RUN: join(dir, "run"),
    ADDRESS: "127.0.0.1", PORT: String(port), USER: user, GROUP: group,
  };
  const recipe = readFileSync(join(SOURCE_DIR, "deploy/lighttpd/lighttpd.conf"), "utf8")
    .replace(/@([A-Z]+)@/g, (whole, name) => {
      if (!(name in values)) throw new Error(`the lighttpd recipe has ${whole}, which the harness does not fill`);
      return values[name];
    });
  writeFileSync(join(dir, "run/lighttpd.conf"), recipe);
  execFileSync(LIGHTTPD, ["-f", join(dir, "run/lighttpd.conf")]);
  const base = `http://127.0.0.1:${port}`;
  const site = {
    dir,
    url: `${base}/runner`,
    base,
    journal: () => (existsSync(join(dir, "log/journal.log")) ? readFileSync(join(dir, "log/journal.log"), "utf8") : ""),
    /** Posts a body as it is; the answer's bytes. */
    async post(body) {
      const response = await fetch(site.url, { method: "POST", body });
      if (!response.ok) throw new Error(`HTTP ${response.status}`);
      return new Uint8Array(await response.arrayBuffer());
    },
    run: sandbox.run,
    stop() {
      const pidFile = join(dir, "run/lighttpd.pid");
      if (existsSync(pidFile)) {
        try {
          process.kill(Number(readFileSync(pidFile, "utf8")));
        } catch {
          // already gone
        }
      }
      rmSync(dir, { recursive: true, force: true });
    },
  };
  try {
    await waitFor(`${base}/`);
  } catch (error) {
    site.stop();
    throw error;
  }
  return site;
}

