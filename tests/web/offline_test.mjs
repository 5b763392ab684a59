// Offline and installable: after one visit the page plays with the server gone and keeps an edit
// made before; the browser finds the site installable (manifest, icons, service worker) and the
// favicon is there; a new build (another build id) replaces the old one at the next visit, its
// copy replaces the old copy, and the world survives it, offline too.
import { cpSync, mkdtempSync, readFileSync, writeFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { launch, serve, main, check, siteDir, openGame, waitRunning } from './cdp.mjs';

const ground = (page) => page.eval("btoa(String.fromCharCode(...window.tlvx.readFile('tlvx_gr1.tmp')))");
const copies = (page) => page.eval('caches.keys().then((k) => k.join(" | "))');

// Navigates (not a reload, which would pass the service worker by) and waits for the game.
async function visit(page, url) {
  await page.navigate(url);
  await waitRunning(page);
}

await main(async () => {
  const work = mkdtempSync(join(tmpdir(), 'tlvx-web-offline-'));
  const site = join(work, 'site');
  cpSync(siteDir(), site, { recursive: true });
  const build = readFileSync(join(site, 'build-id'), 'utf8').trim();
  let server = await serve(site);
  const { url, port } = server;
  try {
    const browser = await launch();
    const page = await openGame(browser, url);
    check((await page.eval('window.tlvx.build')) === build, `the page is of the build served (${build})`);
    await page.waitFor('navigator.serviceWorker.controller !== null', { what: 'the service worker to take the page' });
    await page.waitFor(`caches.keys().then(async (k) => k.length === 1 && k[0].endsWith(' ${build}') &&
                                                   (await (await caches.open(k[0])).keys()).length === 9)`,
                       { what: "the copy of the build's 9 files" });
    const errors = (await page.send('Page.getInstallabilityErrors')).installabilityErrors;
    check(errors.length === 0, 'the browser finds the site installable', JSON.stringify(errors));
    const fav = await page.eval(`fetch('/favicon.ico').then(async (r) => r.status + ' ' + (await r.arrayBuffer()).byteLength)`);
    check(/^200 [1-9]/.test(fav), `the favicon is served: ${fav}`);

    // An edit, stored; then the server goes away.
    const before = await ground(page);
    await page.press('+');
    await page.waitFor(`btoa(String.fromCharCode(...window.tlvx.readFile('tlvx_gr1.tmp'))) !== ${JSON.stringify(before)}`,
                       { timeoutMs: 3000, what: 'the edit' });
    const edited = await ground(page);
    const t = await page.eval('performance.now()');
    await page.waitFor(`window.tlvx.written > ${t}`, { timeoutMs: 3000, what: 'the edit stored' });
    server.close();
    await visit(page, url);
    check((await ground(page)) === edited, 'with the server gone the page plays, with the edit');
    const x = await page.eval('window.tlvx.player.x');
    await page.press('ArrowRight');
    await page.waitFor(`window.tlvx.player.x !== ${x}`, { timeoutMs: 3000, what: 'a step offline' });
    console.log('ok: and the character walks');

    // A new build on the same origin: every file the build id is stamped in changes.
    const build2 = [...build].reverse().join('');
    for (const f of ['index.html', 'sw.js']) writeFileSync(join(site, f), readFileSync(join(site, f), 'utf8').replaceAll(build, build2));
    server = await serve(site, port);
    await visit(page, url);
    check((await page.eval('window.tlvx.build')) === build2, 'the next visit online plays the new build');
    check((await ground(page)) === edited, 'and the world is the one made with the old build');
    await page.waitFor(`caches.keys().then((k) => k.length === 1 && k[0].endsWith(' ${build2}'))`,
                       { timeoutMs: 10000, what: `only the new build's copy (copies: ${await copies(page)})` });
    console.log(`ok: the new build's copy replaced the old one: ${await copies(page)}`);
    server.close();
    await visit(page, url);
    check((await page.eval('window.tlvx.build')) === build2, 'offline again, the new build plays');
    check((await ground(page)) === edited, 'with the world kept');
    await browser.close();
  } finally {
    server.close();
    rmSync(work, { recursive: true, force: true });
  }
}, { timeoutMs: 60000 });
