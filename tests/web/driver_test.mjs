// Proves the browser driver on a page of its own: the server's refusal of paths outside its
// folder, a script that runs before the page's (again after a reload), trusted keys as the
// keyboard sends them, bytes read back, a wait that gives up in time and a browser that ends.
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { launch, serve, main, check, Skip, chromiumPath } from './cdp.mjs';

await main(async () => {
  if (!chromiumPath()) throw new Skip('no chromium');
  const server = await serve(join(dirname(fileURLToPath(import.meta.url)), 'driver_page'));
  const res = await fetch(server.url + '..%2F..%2Fcdp.mjs');
  check(res.status === 403 || res.status === 404, `a path out of the served folder is refused (${res.status})`);

  const browser = await launch();
  const page = await browser.newPage();
  await page.addInitScript('window.initValue = 42;');
  await page.navigate(server.url);
  await page.press('ArrowRight');
  await page.press('+');
  await page.key('keyDown', 'a');
  await page.key('keyDown', 'a', { autoRepeat: true });
  await page.key('keyUp', 'a');
  const keys = JSON.stringify(await page.eval('seen.keys'));
  check(keys === JSON.stringify([['down', 'ArrowRight', 'ArrowRight', 39, false, true], ['up', 'ArrowRight', 'ArrowRight', 39, false, true],
                                 ['down', '+', 'Equal', 187, false, true], ['up', '+', 'Equal', 187, false, true],
                                 ['down', 'a', 'KeyA', 65, false, true], ['down', 'a', 'KeyA', 65, true, true],
                                 ['up', 'a', 'KeyA', 65, false, true]]), `trusted key events arrive as sent: ${keys}`);
  check((await page.bytes('new Uint8Array([0, 1, 255, 128])')).equals(Buffer.from([0, 1, 255, 128])),
        'bytes come back from the page unchanged');
  await page.reload();
  check(JSON.stringify(await page.eval('[seen.init, seen.loads]')) === '[42,2]',
        'the init script runs before the page script, again after a reload');

  const t0 = Date.now();
  const err = await page.waitFor('false', { timeoutMs: 300, what: 'nothing' }).catch((e) => e);
  check(/timed out/.test(err?.message) && Date.now() - t0 < 3000, 'a wait for something that never comes fails in time');
  await browser.close();
  check(browser.dead, 'chromium has ended');
  server.close();
}, { timeoutMs: 60000 });
