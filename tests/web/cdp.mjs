// A small driver for headless Chromium over its DevTools pipe, and a static file
// server, using only Node's built-ins. Every wait has a hard limit: a hang fails
// the test within seconds and the browser is killed with it.
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync, readFileSync, statSync, existsSync, mkdirSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { dirname, join, normalize, extname, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

const kTypes = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.mjs': 'text/javascript',
  '.wasm': 'application/wasm', '.css': 'text/css', '.json': 'application/json', '.png': 'image/png',
};

// Serves the files under `root` on 127.0.0.1 at a free port the system picks.
export async function serve(root) {
  const server = createServer((req, res) => {
    const path = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    let file = normalize(join(root, path));
    if (!file.startsWith(normalize(root + sep)) && file !== normalize(root)) {
      res.writeHead(403).end();
      return;
    }
    try {
      if (statSync(file).isDirectory()) file = join(file, 'index.html');
      const body = readFileSync(file);
      res.writeHead(200, { 'Content-Type': kTypes[extname(file)] || 'application/octet-stream',
                           'Cache-Control': 'no-store' });
      res.end(body);
    } catch {
      res.writeHead(404).end('not found');
    }
  });
  await new Promise((ok, fail) => { server.once('error', fail); server.listen(0, '127.0.0.1', ok); });
  server.unref();
  return { url: `http://127.0.0.1:${server.address().port}/`, close: () => server.close() };
}

export function withTimeout(promise, ms, what) {
  let timer;
  return Promise.race([
    promise,
    new Promise((_, fail) => { timer = setTimeout(() => fail(new Error(`timed out after ${ms} ms: ${what}`)), ms); }),
  ]).finally(() => clearTimeout(timer));
}

export const sleep = (ms) => new Promise((ok) => setTimeout(ok, ms));

const browsers = new Set();
function killAll() { for (const b of browsers) b.kill(); }
process.on('exit', killAll);
for (const sig of ['SIGINT', 'SIGTERM']) process.on(sig, () => { killAll(); process.exit(130); });

// The Chromium program: $TLVX_CHROMIUM, else Debian's.
export function chromiumPath() {
  if (process.env.TLVX_CHROMIUM) return process.env.TLVX_CHROMIUM;
  for (const p of ['/usr/bin/chromium', '/usr/bin/chromium-browser']) if (existsSync(p)) return p;
  return null;
}

// A headless Chromium with a fresh profile, driven through fds 3 and 4.
// `prefs`, when given, is written as the profile's preferences before it starts.
export async function launch({ args = [], prefs = null, timeoutMs = 15000 } = {}) {
  const exe = chromiumPath();
  if (!exe) throw new Error('no chromium found (set TLVX_CHROMIUM)');
  const profile = mkdtempSync(join(tmpdir(), 'tlvx-chromium-'));
  if (prefs) {
    mkdirSync(join(profile, 'Default'), { recursive: true });
    writeFileSync(join(profile, 'Default', 'Preferences'), JSON.stringify(prefs));
  }
  const argv = ['--headless=new', '--remote-debugging-pipe', `--user-data-dir=${profile}`,
                '--no-first-run', '--no-default-browser-check', '--disable-gpu', '--mute-audio',
                '--disable-background-networking', '--disable-extensions', '--disable-sync',
                '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
                '--disable-backgrounding-occluded-windows', '--disable-dev-shm-usage', '--window-size=1024,768',
                ...args];
  if (process.getuid && process.getuid() === 0) argv.push('--no-sandbox');
  argv.push('about:blank');
  const child = spawn(exe, argv, { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'] });
  const b = new Browser(child, profile);
  browsers.add(b);
  try {
    await withTimeout(b.send('Browser.getVersion'), timeoutMs, 'chromium start');
  } catch (e) {
    b.kill();
    throw new Error(`${e.message}\n${b.stderr.slice(-2000)}`);
  }
  return b;
}

class Browser {
  constructor(child, profile) {
    this.child = child;
    this.profile = profile;
    this.nextId = 1;
    this.pending = new Map();
    this.listeners = [];
    this.stderr = '';
    this.dead = false;
    let buf = Buffer.alloc(0);
    child.stderr.on('data', (d) => { this.stderr = (this.stderr + d).slice(-20000); });
    child.stdio[4].on('data', (d) => {
      buf = Buffer.concat([buf, d]);
      let end;
      while ((end = buf.indexOf(0)) >= 0) {
        const msg = JSON.parse(buf.subarray(0, end).toString('utf8'));
        buf = buf.subarray(end + 1);
        this.dispatch(msg);
      }
    });
    child.stdio[3].on('error', () => {});
    child.on('exit', (code, sig) => {
      this.dead = true;
      for (const { fail } of this.pending.values()) fail(new Error(`chromium ended (${code ?? sig})`));
      this.pending.clear();
    });
  }

  dispatch(msg) {
    if (msg.id !== undefined) {
      const p = this.pending.get(msg.id);
      if (!p) return;
      this.pending.delete(msg.id);
      if (msg.error) p.fail(new Error(`${p.method}: ${msg.error.message}`));
      else p.ok(msg.result);
      return;
    }
    for (const l of this.listeners.slice()) l(msg);
  }

  // One protocol command; fails after `timeoutMs`.
  send(method, params = {}, sessionId = undefined, timeoutMs = 10000) {
    if (this.dead) return Promise.reject(new Error(`chromium is not running (${method})`));
    const id = this.nextId++;
    const msg = { id, method, params };
    if (sessionId) msg.sessionId = sessionId;
    const p = new Promise((ok, fail) => this.pending.set(id, { ok, fail, method }));
    this.child.stdio[3].write(JSON.stringify(msg) + '\0');
    return withTimeout(p, timeoutMs, method).finally(() => this.pending.delete(id));
  }

  // Resolves with the first event `method` (of `sessionId`, when given) that `pred` accepts.
  waitEvent(method, { sessionId, pred = () => true, timeoutMs = 10000 } = {}) {
    let listener;
    const p = new Promise((ok) => {
      listener = (m) => {
        if (m.method === method && (!sessionId || m.sessionId === sessionId) && pred(m.params)) ok(m.params);
      };
      this.listeners.push(listener);
    });
    return withTimeout(p, timeoutMs, `event ${method}`).finally(() => {
      this.listeners = this.listeners.filter((l) => l !== listener);
    });
  }

  // A new tab, attached; see Page.
  async newPage() {
    const { targetId } = await this.send('Target.createTarget', { url: 'about:blank' });
    const { sessionId } = await this.send('Target.attachToTarget', { targetId, flatten: true });
    const page = new Page(this, targetId, sessionId);
    await page.send('Page.enable');
    await page.send('Runtime.enable');
    return page;
  }

  kill() {
    browsers.delete(this);
    if (!this.dead) {
      try { this.child.kill('SIGKILL'); } catch { /* already gone */ }
    }
    try { rmSync(this.profile, { recursive: true, force: true }); } catch { /* still in use */ }
  }

  async close() {
    if (!this.dead) {
      try { await this.send('Browser.close', {}, undefined, 3000); } catch { /* killed below */ }
      await withTimeout(new Promise((ok) => (this.dead ? ok() : this.child.once('exit', ok))), 5000, 'exit')
        .catch(() => {});
    }
    this.kill();
  }
}

export class Page {
  constructor(browser, targetId, sessionId) {
    this.browser = browser;
    this.targetId = targetId;
    this.sessionId = sessionId;
    this.console = [];
    this.errors = [];
    this.dialogs = [];
    browser.listeners.push((m) => {
      if (m.sessionId !== sessionId) return;
      if (m.method === 'Runtime.consoleAPICalled')
        this.console.push(m.params.args.map((a) => a.value ?? a.description ?? '').join(' '));
      // A question the page asks (replacing the world, leaving the page) is answered yes.
      if (m.method === 'Page.javascriptDialogOpening') {
        this.dialogs.push(m.params.message);
        this.send('Page.handleJavaScriptDialog', { accept: true }).catch(() => {});
      }
      if (m.method === 'Runtime.exceptionThrown')
        this.errors.push(m.params.exceptionDetails.exception?.description ?? m.params.exceptionDetails.text);
    });
  }

  send(method, params = {}, timeoutMs = 10000) {
    return this.browser.send(method, params, this.sessionId, timeoutMs);
  }

  // Runs `source` before any script of every document this tab loads from now on.
  addInitScript(source) {
    return this.send('Page.addScriptToEvaluateOnNewDocument', { source });
  }

  async navigate(url, timeoutMs = 15000) {
    const loaded = this.browser.waitEvent('Page.loadEventFired', { sessionId: this.sessionId, timeoutMs });
    const r = await this.send('Page.navigate', { url }, timeoutMs);
    if (r.errorText) throw new Error(`navigation to ${url}: ${r.errorText}`);
    await loaded;
  }

  async reload(timeoutMs = 15000) {
    const loaded = this.browser.waitEvent('Page.loadEventFired', { sessionId: this.sessionId, timeoutMs });
    await this.send('Page.reload', { ignoreCache: true }, timeoutMs);
    await loaded;
  }

  // The value of a JavaScript expression (awaited when it is a promise).
  async eval(expression, timeoutMs = 10000) {
    const r = await this.send('Runtime.evaluate',
                              { expression, awaitPromise: true, returnByValue: true, userGesture: true },
                              timeoutMs);
    if (r.exceptionDetails)
      throw new Error(`${expression.slice(0, 80)}: ${r.exceptionDetails.exception?.description ?? r.exceptionDetails.text}`);
    return r.result.value;
  }

  // Bytes computed in the page by `expression` (a Uint8Array or an ArrayBuffer, or a promise of one).
  async bytes(expression, timeoutMs = 10000) {
    const b64 = await this.eval(`(async () => {
      const v = await (${expression});
      if (v === null || v === undefined) return null;
      const u = v instanceof Uint8Array ? v : new Uint8Array(v.buffer ?? v);
      let s = '';
      for (let i = 0; i < u.length; i += 0x8000) s += String.fromCharCode.apply(null, u.subarray(i, i + 0x8000));
      return btoa(s);
    })()`, timeoutMs);
    return b64 === null ? null : Buffer.from(b64, 'base64');
  }

  // Polls `expression` until it is truthy; returns its value. Fails after `timeoutMs`
  // with the last value and what the page printed.
  async waitFor(expression, { timeoutMs = 10000, intervalMs = 50, what = expression } = {}) {
    const end = Date.now() + timeoutMs;
    let last;
    for (;;) {
      last = await this.eval(expression).catch((e) => `(${e.message})`);
      if (last && !(typeof last === 'string' && last.startsWith('('))) return last;
      if (Date.now() > end)
        throw new Error(`timed out after ${timeoutMs} ms waiting for ${what} (last: ${JSON.stringify(last)})\n` +
                        `console: ${this.console.slice(-10).join('\n')}\nerrors: ${this.errors.join('\n')}`);
      await sleep(intervalMs);
    }
  }

  // A trusted key event, as the keyboard sends it. `key` is a DOM key value
  // ("ArrowRight", "Escape", "a", "+"); `code` and the Windows key code follow from it.
  async key(type, key, { modifiers = 0, autoRepeat = false } = {}) {
    const k = keyInfo(key);
    const params = { type, key: k.key, code: k.code, windowsVirtualKeyCode: k.keyCode,
                     nativeVirtualKeyCode: k.keyCode, modifiers, autoRepeat };
    if (type === 'keyDown' && k.text !== undefined && !(modifiers & 2)) {
      params.text = k.text;
      params.unmodifiedText = k.text;
    }
    await this.send('Input.dispatchKeyEvent', params);
  }

  async press(key, opts = {}) {
    await this.key('keyDown', key, opts);
    await this.key('keyUp', key, opts);
  }

  async screenshot(path) {
    const { data } = await this.send('Page.captureScreenshot', { format: 'png' }, 15000);
    if (path) writeFileSync(path, Buffer.from(data, 'base64'));
    return Buffer.from(data, 'base64');
  }

  close() {
    return this.browser.send('Target.closeTarget', { targetId: this.targetId });
  }
}

const kNamed = {
  ArrowLeft: ['ArrowLeft', 37], ArrowUp: ['ArrowUp', 38], ArrowRight: ['ArrowRight', 39],
  ArrowDown: ['ArrowDown', 40], Escape: ['Escape', 27], Enter: ['Enter', 13, '\r'], Tab: ['Tab', 9],
  Backspace: ['Backspace', 8], Delete: ['Delete', 46], Home: ['Home', 36], End: ['End', 35],
  PageUp: ['PageUp', 33], PageDown: ['PageDown', 34], Insert: ['Insert', 45], F1: ['F1', 112],
  F5: ['F5', 116], ' ': ['Space', 32, ' '], Control: ['ControlLeft', 17], Shift: ['ShiftLeft', 16],
};
const kPunct = {
  '+': ['Equal', 187], '=': ['Equal', 187], '-': ['Minus', 189], '_': ['Minus', 189], '*': ['Digit8', 56],
  '/': ['Slash', 191], '[': ['BracketLeft', 219], ']': ['BracketRight', 221], '\\': ['Backslash', 220],
  '.': ['Period', 190], ',': ['Comma', 188], ';': ['Semicolon', 186], "'": ['Quote', 222],
};

function keyInfo(key) {
  if (kNamed[key]) {
    const [code, keyCode, text] = kNamed[key];
    return { key, code, keyCode, text };
  }
  if (/^[a-zA-Z]$/.test(key)) return { key, code: `Key${key.toUpperCase()}`, keyCode: key.toUpperCase().charCodeAt(0), text: key };
  if (/^[0-9]$/.test(key)) return { key, code: `Digit${key}`, keyCode: key.charCodeAt(0), text: key };
  if (kPunct[key]) return { key, code: kPunct[key][0], keyCode: kPunct[key][1], text: key };
  throw new Error(`no key table entry for ${JSON.stringify(key)}`);
}

// Runs `body` with a deadline: past it, the browsers are killed and the script fails.
export async function main(body, { timeoutMs = 120000 } = {}) {
  const timer = setTimeout(() => {
    console.error(`FAIL: the whole test ran over ${timeoutMs} ms`);
    killAll();
    process.exit(1);
  }, timeoutMs);
  try {
    await body();
    clearTimeout(timer);
    killAll();
    process.exit(process.exitCode ?? 0);
  } catch (e) {
    if (e instanceof Skip) {
      console.log(`SKIP: ${e.message}`);
      killAll();
      process.exit(77);
    }
    console.error(`FAIL: ${e.stack ?? e}`);
    killAll();
    process.exit(1);
  }
}

export class Skip extends Error {}

// Fails the test with `message` (and `detail`) unless `cond` holds.
export function check(cond, message, detail = '') {
  if (!cond) throw new Error(detail ? `${message}\n${detail}` : message);
  console.log(`ok: ${message}`);
}

// The web build's site: $TLVX_WEB_SITE, else build-web/site of this tree. Without it
// the test is skipped, or fails when $TLVX_WEB_REQUIRED is set.
export function siteDir() {
  const site = process.env.TLVX_WEB_SITE || join(dirname(fileURLToPath(import.meta.url)), '..', '..', 'build-web', 'site');
  if (!existsSync(join(site, 'index.html'))) {
    const why = `no web build in ${site} (bash scripts/web.sh --build-only)`;
    if (process.env.TLVX_WEB_REQUIRED) throw new Error(why);
    throw new Skip(why);
  }
  if (!chromiumPath()) throw new Skip('no chromium (set TLVX_CHROMIUM)');
  return site;
}

// A new tab of `browser` playing the site at `url`, once the game runs.
export async function openGame(browser, url, { timeoutMs = 20000 } = {}) {
  const page = await browser.newPage();
  // A headless window has no real focus to lose; the page is told it keeps it, as a
  // player's window in front does, so that no stray blur lets go of a held key.
  await page.send('Emulation.setFocusEmulationEnabled', { enabled: true });
  await page.navigate(url);
  await waitRunning(page, timeoutMs);
  return page;
}

// Waits until the game of `page` runs; fails at once, with what the page shows, when it ends
// or stops with an error instead.
export async function waitRunning(page, timeoutMs = 20000) {
  const state = await page.waitFor("window.tlvx && window.tlvx.state !== 'loading' && window.tlvx.state",
                                   { timeoutMs, what: 'the game to start' });
  if (state !== 'running')
    throw new Error(`the game is ${state} instead of running: ${await page.eval('document.body.innerText')}`);
}
