// Figures of the web build, measured in headless Chromium (not a test; bench/run
// prints them when build-web/site exists):
//   node bench/web.mjs SITE TLVX_TOOL [RATE_SECONDS [CLOSE_TRIALS]]
// prints `KEY VALUE` lines: site_gzip_bytes, first_picture_ms, rate_seconds,
// rate, rate_off_by, ladder_SPEED (the pass rate measured at each step of the
// speed buttons' ladder, named by the speed the page shows), ladder_worst_step,
// ladder_worst_off_by, open_world_ms, close_trials, close_kept_0ms,
// close_kept_100ms, close_kept_300ms (the share of tabs closed that long after
// an edit whose edit the next visit finds), wasm_passes_per_s, native_passes_per_s, wasm_vs_native.
// With RATE_SECONDS under 5 (bench/run --smoke) the ladder is measured only at
// its top steps, briefly.
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { gzipSync } from 'node:zlib';
import { launch, serve, main, sleep, openGame } from '../tests/web/cdp.mjs';

const [site, tool, rateSeconds = '30', closeTrials = '5'] = process.argv.slice(2);
const out = (k, v) => console.log(`${k} ${v}`);

function gzipBytes(dir) {
  let total = 0;
  for (const n of readdirSync(dir)) {
    const p = join(dir, n);
    total += statSync(p).isDirectory() ? gzipBytes(p) : gzipSync(readFileSync(p), { level: 9 }).length;
  }
  return total;
}

// The demo world's road-following and creatures, for a long run with no pacing.
const kPasses = 6000;
const kKeys = '3 y\n6 up\n9 y\n12 .\n';
const kClock = '2000:0.05';

await main(async () => {
  out('site_gzip_bytes', gzipBytes(site));
  const server = await serve(site);

  // Navigation to the first picture: the page notes the time of the first pass whose
  // picture is on the canvas (not all black), on its own clock that starts at navigation.
  {
    const browser = await launch();
    const page = await browser.newPage();
    await page.addInitScript(`(() => {
      const poll = () => {
        const c = document.querySelector('canvas');
        if (window.tlvx && window.tlvx.pass >= 1 && c && c.width > 0) {
          const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
          for (let i = 0; i < d.length; i += 4)
            if (d[i] || d[i + 1] || d[i + 2]) { window.firstPicture = performance.now(); return; }
        }
        requestAnimationFrame(poll);
      };
      requestAnimationFrame(poll);
    })();`);
    await page.navigate(server.url, 30000);
    const ms = await page.waitFor('window.firstPicture', { timeoutMs: 30000, what: 'the first picture' });
    out('first_picture_ms', ms.toFixed(0));

    // The pass rate at the default speed.
    const r0 = await page.eval('[window.tlvx.pass, performance.now()]');
    await sleep(Number(rateSeconds) * 1000);
    const r1 = await page.eval('[window.tlvx.pass, performance.now()]');
    const rate = ((r1[0] - r0[0]) * 1000) / (r1[1] - r0[1]);
    const shown = Number(await page.eval("document.getElementById('speed').textContent"));
    out('rate_seconds', rateSeconds);
    out('rate', rate.toFixed(3));
    out('rate_off_by', Math.abs(rate / shown - 1).toFixed(4));

    // Every step of the speed buttons' ladder, from the slowest up: the rate of the passes'
    // own times (the page notes each pass's performance.now()), after a few passes to settle.
    const smoke = Number(rateSeconds) < 5;
    const speedShown = async () => await page.eval("document.getElementById('speed').textContent");
    const click = async (id) => {
      const before = await speedShown();
      await page.eval(`document.getElementById('${id}').click()`);
      await page.waitFor(`document.getElementById('speed').textContent !== ${JSON.stringify(before)}`, { what: `the ${id} click` });
    };
    for (let i = 0; i < 20 && (await speedShown()) !== '1'; ++i) await click('slower');
    let worst = 0, worstStep = '';
    for (;;) {
      const speed = Number(await speedShown());
      if (!(speed > 0)) break;
      if (!smoke || speed >= 200) {
        const seconds = smoke ? Math.max(0.5, 3 / speed) : Math.max(2, 6 / speed);
        const settled = await page.eval('window.tlvx.pass');
        await page.waitFor(`window.tlvx.pass >= ${settled + 2}`, { timeoutMs: 10000, what: 'the passes to settle' });
        const t0 = await page.eval('performance.now()');
        await sleep(seconds * 1000);
        const times = await page.eval(`window.tlvx.passTimes.filter((t) => t >= ${t0})`);
        const measured = (times.length - 1) * 1000 / (times[times.length - 1] - times[0]);
        out(`ladder_${speed}`, measured.toFixed(2));
        const off = Math.abs(measured / speed - 1);
        if (!(off <= worst)) { worst = off; worstStep = String(speed); }
      }
      await click('faster');
    }
    out('ladder_worst_step', worstStep);
    out('ladder_worst_off_by', worst.toFixed(4));
    await browser.close();
  }

  const work = mkdtempSync(join(tmpdir(), 'tlvx-bench-web-'));
  try {
    const demo = join(work, 'demo');
    spawnSync(tool, ['demo', demo], { stdio: 'ignore' });
    spawnSync('tar', ['-cf', join(work, 'demo.tar'), '--exclude=.tlvx.lock', '-C', work, 'demo'], { stdio: 'ignore' });

    // Open world with the demo world's archive: from handing the file to the page to the
    // game running on the opened world.
    {
      const browser = await launch();
      const page = await openGame(browser, server.url);
      const { root } = await page.send('DOM.getDocument', { depth: -1 });
      const { nodeId } = await page.send('DOM.querySelector', { nodeId: root.nodeId, selector: '#open-input' });
      await page.eval("window.tlvx.message = ''");
      const t0 = Date.now();
      await page.send('DOM.setFileInputFiles', { files: [join(work, 'demo.tar')], nodeId });
      await page.waitFor("/now yours/.test(window.tlvx.message) && window.tlvx.state === 'running'",
                         { timeoutMs: 60000, intervalMs: 10, what: 'the opened world to run' });
      out('open_world_ms', Date.now() - t0);
      await browser.close();
    }

    // A tab closed 0, 100 or 300 ms after an edit ("+" on the cell in front): does the next
    // visit find the edit? Each trial edits in one tab, closes it, and looks in the next.
    {
      const browser = await launch();
      const ground = (p) => p.eval("btoa(String.fromCharCode(...window.tlvx.readFile('tlvx_gr1.tmp')))");
      let page = await openGame(browser, server.url);
      await page.waitFor('window.tlvx.written', { what: 'the first world written' });
      out('close_trials', closeTrials);
      for (const delay of [0, 100, 300]) {
        let kept = 0;
        for (let i = 0; i < Number(closeTrials); ++i) {
          const before = await ground(page);
          await page.press('+');
          if (delay) await sleep(delay);
          await browser.closeTab(page);
          page = await openGame(browser, server.url);
          if ((await ground(page)) !== before) ++kept;
        }
        out(`close_kept_${delay}ms`, (kept / Number(closeTrials)).toFixed(2));
      }
      await browser.close();
    }

    // Passes with no pacing: the test mode on the demo world against the native runner.
    const world = {};
    for (const n of readdirSync(demo)) world[n] = readFileSync(join(demo, n)).toString('base64');
    writeFileSync(join(work, 'keys.txt'), kKeys);

    const browser = await launch();
    const page = await browser.newPage();
    await page.addInitScript(`window.tlvxTest = ${JSON.stringify({ keys: kKeys, clock: kClock, passes: kPasses, world })};
      (() => {
        const poll = () => {
          if (window.tlvx && window.tlvx.pass >= 1 && window.startPass === undefined) {
            window.startPass = window.tlvx.pass; window.startTime = performance.now();
          }
          if (window.tlvx && window.tlvx.state === 'ended') { window.endTime = performance.now(); return; }
          setTimeout(poll, 1);
        };
        poll();
      })();`);
    await page.navigate(server.url, 30000);
    await page.waitFor('window.endTime', { timeoutMs: 300000, what: 'the unpaced run to end' });
    const [p0, t0, p1, t1] = await page.eval('[window.startPass, window.startTime, window.tlvx.pass, window.endTime]');
    const wasm = ((p1 - p0) * 1000) / (t1 - t0);
    await browser.close();

    const begin = process.hrtime.bigint();
    const run = spawnSync(tool, ['run', '--data', demo, '--keys', join(work, 'keys.txt'), '--clock', kClock,
                                 '--passes', String(kPasses)], { stdio: 'ignore' });
    const seconds = Number(process.hrtime.bigint() - begin) / 1e9;
    if (run.status !== 0) throw new Error(`tlvx-tool run ended with ${run.status}`);
    const native = kPasses / seconds;
    out('wasm_passes_per_s', wasm.toFixed(0));
    out('native_passes_per_s', native.toFixed(0));
    out('wasm_vs_native', (wasm / native).toFixed(3));
  } finally {
    rmSync(work, { recursive: true, force: true });
    server.close();
  }
}, { timeoutMs: 600000 });
