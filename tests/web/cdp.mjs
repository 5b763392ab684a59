// A small driver for headless Chromium over its DevTools pipe, and a static file
// server, using only Node's built-ins. Every wait has a hard limit: a hang fails
// the test within seconds and the browser is killed with it.
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync, readFileSync, statSync, existsSync, mkdirSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { dirname, join, normalize, extname, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

const kTypes = { '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.wasm': 'application/wasm',
                 '.png': 'image/png', '.ico': 'image/x-icon', '.webmanifest': 'application/manifest+json' };

// Serves the files under `root` on 127.0.0.1 at a free port the system picks (or at `port`, to
// serve the same origin again); nothing outside it.
export async function serve(root, port = 0) {
  const server = createServer((req, res) => {
    let file = normalize(join(root, decodeURIComponent(new URL(req.url, 'http://x').pathname)));
    if (!file.startsWith(normalize(root + sep)) && file !== normalize(root)) return res.writeHead(403).end();
    try {
      if (statSync(file).isDirectory()) file = join(file, 'index.html');
      const body = readFileSync(file);
      res.writeHead(200, { 'Content-Type': kTypes[extname(file)] || 'application/octet-stream', 'Cache-Control': 'no-store' });
      res.end(body);
    } catch {
      res.writeHead(404).end('not found');
    }
  });
  await new Promise((ok, fail) => { server.once('error', fail); server.listen(port, '127.0.0.1', ok); });
  server.unref();
  // close() also drops the browser's open connections: the server is gone at once.
  const close = () => { server.close(); server.closeAllConnections(); };
  return { url: `http://127.0.0.1:${server.address().port}/`, port: server.address().port, close };
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
  return ['/usr/bin/chromium', '/usr/bin/chromium-browser'].find(existsSync) ?? null;
}

// A headless Chromium with a fresh profile, driven through fds 3 and 4.
// `prefs`, when given, is written as the profile's preferences before it starts.
export async function launch({ args = [], prefs = null, timeoutMs = 15000 } = {}) {
  const exe = chromiumPath();
  if (!exe) throw new Error('no chromium found (set TLVX_CHROMIUM)');
  const profile = mkdtempSync(join(tmpdir(), 'tlvx-chromium-'));
  if (prefs) {
    mkdirSync(join(profile, 'Default'));
    writeFileSync(join(profile, 'Default', 'Preferences'), JSON.stringify(prefs));
  }
  const argv = ['--headless=new', '--remote-debugging-pipe', `--user-data-dir=${profile}`, '--no-first-run',
                '--no-default-browser-check', '--disable-gpu', '--mute-audio', '--disable-background-networking',
                '--disable-extensions', '--disable-sync', '--disable-background-timer-throttling',
                '--disable-renderer-backgrounding', '--disable-backgrounding-occluded-windows',
                '--disable-dev-shm-usage', '--window-size=1024,768', ...args];
  if (process.getuid?.() === 0) argv.push('--no-sandbox');
  const b = new Browser(spawn(exe, [...argv, 'about:blank'], { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'] }),
                        profile);
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
    Object.assign(this, { child, profile, nextId: 1, pending: new Map(), listeners: [], stderr: '', dead: false });
    browsers.add(this);
    let buf = Buffer.alloc(0);
    child.stderr.on('data', (d) => { this.stderr = (this.stderr + d).slice(-20000); });
    child.stdio[4].on('data', (d) => {
      buf = Buffer.concat([buf, d]);
      for (let end; (end = buf.indexOf(0)) >= 0; buf = buf.subarray(end + 1)) {
        const msg = JSON.parse(buf.subarray(0, end).toString('utf8'));
        const p = this.pending.get(msg.id);
        if (msg.id === undefined) for (const l of this.listeners.slice()) l(msg);
        else if (p && msg.error) p.fail(new Error(`${p.method}: ${msg.error.message}`));
        else if (p) p.ok(msg.result);
      }
    });
    child.stdio[3].on('error', () => {});
    child.on('exit', (code, sig) => {
      this.dead = true;
      for (const { fail } of this.pending.values()) fail(new Error(`chromium ended (${code ?? sig})`));
    });
  }

  // One protocol command; fails after `timeoutMs`.
  send(method, params = {}, sessionId = undefined, timeoutMs = 10000) {
    if (this.dead) return Promise.reject(new Error(`chromium is not running (${method})`));
    const id = this.nextId++;
    const p = new Promise((ok, fail) => this.pending.set(id, { ok, fail, method }));
    this.child.stdio[3].write(JSON.stringify({ id, method, params, sessionId }) + '\0');
    return withTimeout(p, timeoutMs, method).finally(() => this.pending.delete(id));
  }

  // Resolves with the first event `method` (of `sessionId`, when given) that `pred` accepts.
  waitEvent(method, { sessionId, pred = () => true, timeoutMs = 10000 } = {}) {
    let listener;
    const p = new Promise((ok) => {
      listener = (m) => m.method === method && (!sessionId || m.sessionId === sessionId) && pred(m.params) && ok(m.params);
      this.listeners.push(listener);
    });
    return withTimeout(p, timeoutMs, `event ${method}`).finally(() => {
      this.listeners = this.listeners.filter((l) => l !== listener);
    });
  }

  // A new tab, attached; see Page.
  async newPage() {
    const { targetId } = await this.send('Target.createTarget', { url: 'about:blank' });
    const page = new Page(this, (await this.send('Target.attachToTarget', { targetId, flatten: true })).sessionId);
    page.targetId = targetId;  // for Target.closeTarget
    await page.send('Page.enable');
    await page.send('Runtime.enable');
    return page;
  }

  // Closes the tab of `page` as a player does, and waits until it is gone (its page's locks let go).
  async closeTab(page) {
    await this.send('Target.setDiscoverTargets', { discover: true });
    const gone = this.waitEvent('Target.targetDestroyed', { pred: (p) => p.targetId === page.targetId });
    await this.send('Target.closeTarget', { targetId: page.targetId });
    await gone;
  }

  kill() {
    browsers.delete(this);
    if (!this.dead) this.child.kill('SIGKILL');
    rmSync(this.profile, { recursive: true, force: true, maxRetries: 5, retryDelay: 100 });
  }

  async close() {
    if (!this.dead) {
      const ended = new Promise((ok) => this.child.once('exit', ok));
      await this.send('Browser.close', {}, undefined, 3000).catch(() => {});
      await withTimeout(ended, 5000, 'exit').catch(() => {});
    }
    this.kill();
  }
}

class Page {
  constructor(browser, sessionId) {
    Object.assign(this, { browser, sessionId, console: [], errors: [] });
    browser.listeners.push(({ method, params, sessionId: s }) => {
      if (s !== sessionId) return;
      if (method === 'Runtime.consoleAPICalled') this.console.push(params.args.map((a) => a.value ?? a.description ?? '').join(' '));
      // A question the page asks (replacing the world, leaving the page) is answered yes.
      if (method === 'Page.javascriptDialogOpening') this.send('Page.handleJavaScriptDialog', { accept: true }).catch(() => {});
      if (method === 'Runtime.exceptionThrown')
        this.errors.push(params.exceptionDetails.exception?.description ?? params.exceptionDetails.text);
    });
  }

  send(method, params = {}, timeoutMs = 10000) { return this.browser.send(method, params, this.sessionId, timeoutMs); }

  // Runs `source` before any script of every document this tab loads from now on.
  addInitScript(source) { return this.send('Page.addScriptToEvaluateOnNewDocument', { source }); }

  // Navigates to `url` (a reload without one) and waits for the load event.
  async navigate(url, timeoutMs = 15000) {
    const loaded = this.browser.waitEvent('Page.loadEventFired', { sessionId: this.sessionId, timeoutMs });
    const r = await (url ? this.send('Page.navigate', { url }, timeoutMs) : this.send('Page.reload', { ignoreCache: true }, timeoutMs));
    if (r.errorText) throw new Error(`navigation to ${url}: ${r.errorText}`);
    await loaded;
  }

  reload(timeoutMs) { return this.navigate(null, timeoutMs); }

  // The value of a JavaScript expression (awaited when it is a promise).
  async eval(expression, timeoutMs = 10000) {
    const r = await this.send('Runtime.evaluate', { expression, awaitPromise: true, returnByValue: true, userGesture: true },
                              timeoutMs);
    if (r.exceptionDetails)
      throw new Error(`${expression.slice(0, 80)}: ${r.exceptionDetails.exception?.description ?? r.exceptionDetails.text}`);
    return r.result.value;
  }

  // Bytes computed in the page by `expression` (a Uint8Array, or a promise of one).
  async bytes(expression, timeoutMs = 10000) {
    const b64 = await this.eval(`(async () => {
      const u = await (${expression});
      let s = '';
      for (let i = 0; i < u.length; i += 0x8000) s += String.fromCharCode.apply(null, u.subarray(i, i + 0x8000));
      return btoa(s);
    })()`, timeoutMs);
    return Buffer.from(b64, 'base64');
  }

  // Polls `expression` until it is truthy; returns its value. Fails after `timeoutMs`
  // with the last value and what the page printed.
  async waitFor(expression, { timeoutMs = 10000, intervalMs = 50, what = expression } = {}) {
    const end = Date.now() + timeoutMs;
    for (;;) {
      const last = await this.eval(expression).catch((e) => `(${e.message})`);
      if (last && !(typeof last === 'string' && last.startsWith('('))) return last;
      if (Date.now() > end)
        throw new Error(`timed out after ${timeoutMs} ms waiting for ${what} (last: ${JSON.stringify(last)})\n` +
                        `console: ${this.console.slice(-10).join('\n')}\nerrors: ${this.errors.join('\n')}`);
      await sleep(intervalMs);
    }
  }

  // A trusted key event, as the keyboard sends it. `key` is a DOM key value
  // ("ArrowRight", "Escape", "a", "+"); `code` and the Windows key code follow from it,
  // unless `code` is given (a layout's character on another key: "]" on Digit9).
  // `modifiers` as the protocol has them: Alt 1, Ctrl 2, Meta 4, Shift 8.
  async key(type, key, { autoRepeat = false, modifiers = 0, code: place = null } = {}) {
    const [code, keyCode, text] = kKeys[key] ?? (/^[a-z]$/.test(key) ? [`Key${key.toUpperCase()}`, key.toUpperCase().charCodeAt(0), key] : []);
    if (!code) throw new Error(`no key table entry for ${JSON.stringify(key)}`);
    await this.send('Input.dispatchKeyEvent', { type, key, code: place ?? code, windowsVirtualKeyCode: keyCode,
                                                nativeVirtualKeyCode: keyCode, autoRepeat, modifiers,
                                                ...(type === 'keyDown' && text ? { text, unmodifiedText: text } : {}) });
  }

  async press(key, options = {}) {
    await this.key('keyDown', key, options);
    await this.key('keyUp', key, options);
  }

  // A touch event, as a touch screen sends it: `type` touchStart, touchMove or touchEnd,
  // `points` the fingers still down, [{x, y, id}] in CSS pixels of the viewport.
  touch(type, points = []) { return this.send('Input.dispatchTouchEvent', { type, touchPoints: points }); }

  // The tab's picture as PNG bytes.
  async screenshot() {
    return Buffer.from((await this.send('Page.captureScreenshot', { format: 'png' }, 20000)).data, 'base64');
  }
}

const kKeys = {
  ArrowLeft: ['ArrowLeft', 37], ArrowUp: ['ArrowUp', 38], ArrowRight: ['ArrowRight', 39], ArrowDown: ['ArrowDown', 40],
  Escape: ['Escape', 27], Enter: ['Enter', 13, '\r'], '+': ['Equal', 187, '+'], '-': ['Minus', 189, '-'],
  '=': ['Equal', 187, '='], ' ': ['Space', 32, ' '], Tab: ['Tab', 9], PageDown: ['PageDown', 34], End: ['End', 35],
  F1: ['F1', 112], ']': ['BracketRight', 221, ']'], '\\': ['Backslash', 220, '\\'],
};

export class Skip extends Error {}

// Runs `body` with a deadline: past it, the browsers are killed and the script fails.
// A Skip thrown ends it with status 77.
export async function main(body, { timeoutMs = 120000 } = {}) {
  const timer = setTimeout(() => {
    console.error(`FAIL: the whole test ran over ${timeoutMs} ms`);
    process.exit(1);
  }, timeoutMs);
  let status = 0;
  try {
    await body();
  } catch (e) {
    if (e instanceof Skip) console.log(`SKIP: ${e.message}`);
    else console.error(`FAIL: ${e.stack ?? e}`);
    status = e instanceof Skip ? 77 : 1;
  }
  clearTimeout(timer);
  process.exit(status);
}

// Fails the test with `message` (and `detail`) unless `cond` holds.
export function check(cond, message, detail = '') {
  if (!cond) throw new Error(detail ? `${message}\n${detail}` : message);
  console.log(`ok: ${message}`);
}

// The web build's site: `site`, else $TLVX_WEB_SITE, else build-web/site of this tree. Without
// it the test is skipped, or fails when $TLVX_WEB_REQUIRED is set.
export function siteDir(site = process.env.TLVX_WEB_SITE || join(dirname(fileURLToPath(import.meta.url)), '../../build-web/site')) {
  if (!existsSync(join(site, 'index.html'))) {
    const why = `no web build in ${site} (bash scripts/web.sh --build-only)`;
    throw process.env.TLVX_WEB_REQUIRED ? new Error(why) : new Skip(why);
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
