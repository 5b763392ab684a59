// A published world: `tlvx-tool site` makes sites of two new worlds beside
// the demo site on one host. A first visit plays the site's own world (its
// name on the page, its layers, its start), an edit stays over a reload,
// each site keeps its progress in a storage of its own while the demo site
// keeps its old one, Start over takes the world again, and a site whose
// world file is spoiled plays nothing.
import { execFile } from 'node:child_process';
import { cpSync, mkdtempSync, readFileSync, rmSync, truncateSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { promisify } from 'node:util';
import { launch, serve, main, check, siteDir, openGame, sleep, waitRunning } from './cdp.mjs';

const tool = process.env.TLVX_TOOL;
const kPlayedLayers = ['tlvx_gr1.tmp', 'tlvx_gr3.tmp'];  // ground and structures: creatures move by themselves

// A new world and its site: the world's name, where its player starts and its layers as made.
async function publish(work, host, name, size) {
  const dir = join(work, name);
  const run = (...args) => promisify(execFile)(tool, args, { encoding: 'utf8', timeout: 30000 });
  const said = (await run('new', dir, '--size', size, '--name', name)).stdout;
  const [, x, y] = said.match(/starts at \((\d+), (\d+)\)/).map(Number);
  await run('site', dir, join(host, name.toLowerCase()), '--from', siteDir());
  return { name, x, y, layers: kPlayedLayers.map((n) => readFileSync(join(dir, n)).toString('base64')).join() };
}

const layersOf = async (page) => {
  const parts = [];
  for (const n of kPlayedLayers) parts.push((await page.bytes(`window.tlvx.readFile(${JSON.stringify(n)})`)).toString('base64'));
  return parts.join();
};
// The value of `get` once `want` holds of it, or the last one after about 5 s.
async function until(get, want) {
  let v = await get();
  for (let i = 0; i < 100 && !want(v); ++i) v = await sleep(50).then(get);
  return v;
}
const player = (page) => page.eval('({ x: window.tlvx.player.x, y: window.tlvx.player.y })');
// The IndexedDB databases of the host, and a world file as stored in one of them.
const databases = (page) => page.eval('indexedDB.databases().then((l) => l.map((d) => d.name).sort())');
const stored = (page, db, name) => page.eval(`new Promise((ok, fail) => {
  const open = indexedDB.open(${JSON.stringify(db)});
  open.onerror = () => fail(open.error);
  open.onsuccess = () => {
    const get = open.result.transaction('FILE_DATA').objectStore('FILE_DATA').get('/world/' + ${JSON.stringify(name)});
    get.onsuccess = () => {
      const c = get.result ? get.result.contents : new Uint8Array(0);
      let s = '';
      for (let i = 0; i < c.length; i += 0x8000) s += String.fromCharCode.apply(null, c.subarray(i, i + 0x8000));
      open.result.close();
      ok(btoa(s));
    };
  };
})`);

await main(async () => {
  const site = siteDir();
  const work = mkdtempSync(join(tmpdir(), 'tlvx-web-publish-'));
  const host = join(work, 'host');
  try {
    // The two sites are made while the browser starts.
    const [maple, bay, browser] = await Promise.all([publish(work, host, 'Maple', '24x18'),
                                                     publish(work, host, 'Bay', '16x12'), launch()]);
    cpSync(site, join(host, 'demo'), { recursive: true });
    cpSync(join(host, 'maple'), join(host, 'spoiled'), { recursive: true });
    const server = await serve(host);

    // A first visit plays the site's world and says whose it is.
    const a = await openGame(browser, server.url + 'maple/');
    const heading = await a.eval("document.getElementById('world-title').hidden ? '' : document.getElementById('world-title').textContent");
    check(heading.startsWith('Maple') && (await a.eval('document.title')).startsWith('Maple'), `the page names the world: "${heading}"`);
    check(await layersOf(a) === maple.layers, 'the first visit plays the published layers');
    const p0 = await player(a);
    check(p0.x === maple.x && p0.y === maple.y, `the player starts where the world says: ${JSON.stringify(p0)}`);

    // A step and an edit of the cell in front are stored under this site's own name.
    await a.press('ArrowRight');
    await a.waitFor(`window.tlvx.player.x !== ${p0.x}`, { timeoutMs: 3000, what: 'the step' });
    await a.press('+');
    const edited = await until(() => layersOf(a), (l) => l !== maple.layers);
    check(edited !== maple.layers, 'the edit changed a layer');
    const key = (await databases(a)).find((n) => n.includes('/maple/') && n.includes('Maple'));
    check(key !== undefined, `the site keeps its world in a storage of its own: ${JSON.stringify(await databases(a))}`);
    const [gr1] = edited.split(',');
    check(await until(() => stored(a, key, 'tlvx_gr1.tmp'), (s) => s === gr1) === gr1, 'the edit reaches the storage');
    const moved = await player(a);
    await a.reload();
    await waitRunning(a);
    check(await layersOf(a) === edited, 'the edit is there after a reload');
    const p1 = await player(a);
    check(p1.x === moved.x && p1.y === moved.y, `the character stands where it was: ${JSON.stringify(p1)}`);

    // A second site of the same host, open at the same time, plays its own world from its start.
    const b = await openGame(browser, server.url + 'bay/');
    check(await layersOf(b) === bay.layers, "the second site plays its own world, untouched by the first's edit");
    const pb = await player(b);
    check(pb.x === bay.x && pb.y === bay.y, `and starts at its own start: ${JSON.stringify(pb)}`);
    // The demo site keeps the storage it always had, and plays the demo world.
    const demo = await openGame(browser, server.url + 'demo/');
    check(await demo.eval("document.getElementById('world-title').hidden"), 'the demo site names no published world');
    const names = await databases(demo);
    check(names.includes('/world') && names.length === 3, `three storages, the demo's as before: ${JSON.stringify(names)}`);
    check(![maple.layers, bay.layers, edited].includes(await layersOf(demo)), 'the demo site plays the demo world');
    await a.reload();
    await waitRunning(a);
    check(await layersOf(a) === edited, "the first site's progress is kept beside the others");
    // Start over (the demo site's New demo world) takes the published world again.
    check(await a.eval("document.getElementById('new').textContent") === 'Start over', 'the site offers to start over');
    await a.eval("document.getElementById('new').click()");
    check(await until(() => layersOf(a), (l) => l === maple.layers) === maple.layers, 'starting over brings the world back');
    await a.waitFor(`window.tlvx.state === 'running' && window.tlvx.player.x === ${maple.x} && window.tlvx.player.y === ${maple.y}`,
                    { what: 'the player back at the start' });
    console.log('ok: and the player to its start');

    // A world file spoiled on the host (cut short; or as long, but not an archive) is refused.
    const archive = join(host, 'spoiled', 'world.tar');
    const size = readFileSync(archive).length;
    for (const spoil of [() => truncateSync(archive, size - 512), () => writeFileSync(archive, Buffer.alloc(size, 65))]) {
      spoil();
      const tab = await browser.newPage();
      await tab.navigate(server.url + 'spoiled/');
      const said = await tab.waitFor("window.tlvx.state === 'error' && window.tlvx.message", { what: 'the refusal' });
      check(/cannot be played: it is (cut short|not an archive)/.test(said), `a spoiled world file is refused: "${said}"`);
      await tab.send('Page.close');
    }
    await browser.close();
    server.close();
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
}, { timeoutMs: 60000 });
