// Proves the browser driver on a page of its own: navigation, a script that runs
// before the page's, trusted keys, a reload, canvas pixels, a screenshot, the
// server's refusal of paths outside its folder and a wait that gives up in time.
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { launch, serve, main, check, Skip, chromiumPath } from './cdp.mjs';

const here = dirname(fileURLToPath(import.meta.url));

await main(async () => {
  if (!chromiumPath()) throw new Skip('no chromium');
  const server = await serve(join(here, 'driver_page'));
  const res = await fetch(server.url + '..%2F..%2Fcdp.mjs');
  check(res.status === 403 || res.status === 404, `a path out of the served folder is refused (${res.status})`);

  const browser = await launch();
  const page = await browser.newPage();
  await page.addInitScript('window.initValue = 42;');
  await page.navigate(server.url);
  check((await page.eval('seen.init')) === 42, 'the init script ran before the page script');

  const pixel = await page.eval("Array.from(document.getElementById('c').getContext('2d').getImageData(1, 1, 1, 1).data)");
  check(JSON.stringify(pixel) === '[10,200,30,255]', `canvas pixels read back (${pixel})`);

  await page.press('ArrowRight');
  await page.press('+');
  await page.key('keyDown', 'a');
  await page.key('keyDown', 'a', { autoRepeat: true });
  await page.key('keyUp', 'a');
  const keys = await page.eval('seen.keys');
  const want = [['down', 'ArrowRight', 'ArrowRight', 39, false, true], ['up', 'ArrowRight', 'ArrowRight', 39, false, true],
                ['down', '+', 'Equal', 187, false, true], ['up', '+', 'Equal', 187, false, true],
                ['down', 'a', 'KeyA', 65, false, true], ['down', 'a', 'KeyA', 65, true, true],
                ['up', 'a', 'KeyA', 65, false, true]];
  check(JSON.stringify(keys) === JSON.stringify(want), `trusted key events arrive as sent: ${JSON.stringify(keys)}`);

  const bytes = await page.bytes('new Uint8Array([0, 1, 255, 128])');
  check(bytes.equals(Buffer.from([0, 1, 255, 128])), 'bytes come back from the page unchanged');

  await page.reload();
  check((await page.eval('seen.loads')) === 2 && (await page.eval('seen.init')) === 42,
        'a reload loads the page again and runs the init script again');

  const png = await page.screenshot();
  check(png.subarray(1, 4).toString() === 'PNG' && png.readUInt32BE(16) === 1024,
        'a screenshot is a PNG of the window width');

  const t0 = Date.now();
  const err = await page.waitFor('false', { timeoutMs: 300, what: 'nothing' }).catch((e) => e);
  check(err instanceof Error && /timed out/.test(err.message) && Date.now() - t0 < 3000,
        'a wait for something that never comes fails in time');

  const second = await browser.newPage();
  await second.navigate(server.url);
  check((await second.eval('seen.init')) === null, "a second tab does not get the first tab's init script");
  await browser.close();
  check(browser.dead, 'chromium has ended');
  server.close();
}, { timeoutMs: 60000 });
