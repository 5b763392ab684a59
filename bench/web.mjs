// Figures of the web build, measured in headless Chromium (not a test; bench/run
// prints them when build-web/site exists):
//   node bench/web.mjs SITE TLVX_TOOL [RATE_SECONDS]
// prints `KEY VALUE` lines: site_gzip_bytes, first_picture_ms, rate_seconds,
// rate, rate_off_by, ladder_SPEED (the pass rate measured at each step of the
// speed buttons' ladder, named by the speed the page shows), ladder_worst_step,
// ladder_worst_off_by, wasm_passes_per_s, native_passes_per_s, wasm_vs_native.
// With RATE_SECONDS under 5 (bench/run --smoke) the ladder is measured only at
// its top steps, briefly.
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { gzipSync } from 'node:zlib';
import { launch, serve, main, sleep } from '../tests/web/cdp.mjs';

const [site, tool, rateSeconds = '30'] = process.argv.slice(2);
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

  // Passes with no pacing: the test mode on the demo world against the native runner.
  const work = mkdtempSync(join(tmpdir(), 'tlvx-bench-web-'));
  try {
    const demo = join(work, 'demo');
    spawnSync(tool, ['demo', demo], { stdio: 'ignore' });
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
