// The player's world kept in the browser: an edit and a step survive a reload;
// the downloaded world, unpacked on disk, passes `tlvx-tool info` and plays in
// `tlvx-tool run`; a spoiled or foreign upload is refused and changes nothing;
// a second tab is refused and leaves the first tab's world alone; a tab closed
// a moment after an edit keeps it; with storage refused or too small the page
// says so and the game still plays.
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, mkdirSync, readdirSync, readFileSync, truncateSync, writeFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { launch, serve, main, check, siteDir, openGame, sleep, waitRunning } from './cdp.mjs';

const tool = process.env.TLVX_TOOL;

// Every world file the page lists, name to base64.
const worldOf = (page) => page.eval(`Object.fromEntries(Array.from(window.tlvx.listFiles()).map((n) => {
  const u = window.tlvx.readFile(n); let s = '';
  for (let i = 0; i < u.length; i += 0x8000) s += String.fromCharCode.apply(null, u.subarray(i, i + 0x8000));
  return [n, btoa(s)];
}))`);
const player = (page) => page.eval('({ x: window.tlvx.player.x, y: window.tlvx.player.y })');
const message = (page) => page.eval('String(window.tlvx.message ?? "")');
// The map layers but the creatures' (tlvx_gr2.tmp), which change by themselves while the game runs;
// the world but the creatures' layer; the names of the files that differ between two worlds.
const layers = (world) => JSON.stringify(Object.entries(world).filter(([n]) => /_gr[13-9]\.tmp$/.test(n)).sort());
const still = (world) => JSON.stringify(Object.entries(world).filter(([n]) => !/_gr2\.tmp$/.test(n)).sort());
const differ = (a, b) => [...new Set([...Object.keys(a), ...Object.keys(b)])].filter((n) => a[n] !== b[n]).join(' ');
// Polls until the page's layers are (`same`) or are not the layers `want`.
async function layersBecome(page, want, same) {
  for (let i = 0; i < 100 && (layers(await worldOf(page)) === want) !== same; ++i) await sleep(50);
  return layers(await worldOf(page));
}

// Hands `path` (or the paths of a folder's files) to the page's file input for opening a world
// and waits for the page to answer.
async function upload(page, path) {
  const { root } = await page.send('DOM.getDocument', { depth: -1 });
  const { nodeId } = await page.send('DOM.querySelector', { nodeId: root.nodeId, selector: '#open-input' });
  await page.eval("window.tlvx.message = ''");  // so that the same refusal twice is seen
  const before = await message(page);
  await page.send('DOM.setFileInputFiles', { files: [path].flat(), nodeId });
  await page.waitFor(`String(window.tlvx.message ?? "") !== ${JSON.stringify(before)}`, { what: 'the page to answer the upload' });
  return message(page);
}

await main(async () => {
  const server = await serve(siteDir());
  const work = mkdtempSync(join(tmpdir(), 'tlvx-web-persist-'));
  try {
    const browser = await launch();
    const page = await openGame(browser, server.url);
    const first = await worldOf(page);
    const firstMessage = await message(page);
    check(Object.keys(first).length > 0, `a first visit gets a world of ${Object.keys(first).length} files`);

    // A step, an edit of the cell in front, then a reload.
    const p0 = await player(page);
    await page.press('ArrowRight');
    await page.waitFor(`window.tlvx.player.x !== ${p0.x}`, { timeoutMs: 3000, what: 'the step' });
    await page.press('+');
    const edited = await layersBecome(page, layers(first), false);
    check(edited !== layers(first), 'the edit changed a layer file');
    const moved = await player(page);
    await sleep(1500);  // synced within about a second
    await page.reload();
    await waitRunning(page);
    check(layers(await worldOf(page)) === edited, 'the edit is there after a reload');
    const p1 = await player(page);
    check(p1.x === moved.x && p1.y === moved.y, `the character stands where it was: ${JSON.stringify(moved)} ${JSON.stringify(p1)}`);

    // Download world, unpacked on disk: the page's layers, info is clean and the runner plays it.
    const downloads = join(work, 'downloads'), unpacked = join(work, 'unpacked');
    await browser.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads, eventsEnabled: true });
    const done = browser.waitEvent('Browser.downloadProgress', { pred: (p) => p.state !== 'inProgress' });
    await page.eval("document.getElementById('download').click()");
    check((await done).state === 'completed', 'the world downloads');
    const archive = join(downloads, readdirSync(downloads)[0]);
    mkdirSync(unpacked);
    execFileSync('tar', ['-xf', archive, '-C', unpacked]);
    const gr1 = readdirSync(unpacked, { recursive: true }).find((n) => /_gr1\.tmp$/.test(n));
    check(gr1 !== undefined, `the download ${archive} unpacks into a world folder`);
    const folder = join(unpacked, dirname(gr1));
    const downloaded = layers(Object.fromEntries(readdirSync(folder).map((n) => [n, readFileSync(join(folder, n)).toString('base64')])));
    check(downloaded === layers(await worldOf(page)), 'the download holds the layers the page plays');
    const info = spawnSync(tool, ['info', folder], { encoding: 'utf8', timeout: 30000 });
    check(info.status === 0, 'tlvx-tool info is clean on it', info.stdout + info.stderr);
    writeFileSync(join(work, 'keys.txt'), '2 right\n4 +\n6 left\n10 esc\n');
    const run = spawnSync(tool, ['run', '--data', folder, '--keys', join(work, 'keys.txt'), '--clock', '1000:0.05', '--passes', '40'],
                          { encoding: 'utf8', timeout: 30000 });
    check(run.status === 0, 'tlvx-tool run plays it', run.stderr);

    // A spoiled upload (the archive cut short) and a foreign one are refused; the world stays.
    const before = await worldOf(page);
    const bytes = readFileSync(archive);
    const spoiled = join(work, 'spoiled.tar'), foreign = join(work, 'notes.txt');
    writeFileSync(spoiled, bytes.subarray(0, Math.floor(bytes.length / 2)));
    writeFileSync(foreign, 'not a world at all\n'.repeat(50));
    for (const bad of [spoiled, foreign]) {
      const said = await upload(page, bad);
      check(said.length > 0 && (await page.eval('window.tlvx.state')) === 'running', `the upload of ${bad} is refused: "${said}"`);
      const after = await worldOf(page);
      check(still(after) === still(before), 'the world is unchanged', differ(before, after));
    }

    // A world with a large file it does not use, or with a layer far larger than its map needs (as
    // a folder's files or as an archive), is refused by names and sizes before anything is copied:
    // the program's memory stays as it was, and so does the world.
    const heap = () => page.eval('wasmMemory.buffer.byteLength');
    const big = 50 << 20;
    const variant = (name, change) => {
      const dir = join(work, name);
      mkdirSync(dir);
      for (const n of readdirSync(folder)) writeFileSync(join(dir, n), readFileSync(join(folder, n)));
      change(dir);
      return dir;
    };
    const extra = variant('extra', (d) => writeFileSync(join(d, 'holiday.mkv'), Buffer.alloc(big, 7)));
    const grown = variant('grown', (d) => truncateSync(join(d, 'tlvx_gr1.tmp'), big));
    execFileSync('tar', ['-cf', join(work, 'extra.tar'), '--exclude=.tlvx.lock', '-C', extra, '.']);
    const heap0 = await heap();
    for (const [offer, says] of [[readdirSync(extra).map((n) => join(extra, n)), /holiday\.mkv.* not part of the world/],
                                 [readdirSync(grown).map((n) => join(grown, n)), /tlvx_gr1\.tmp holds 52428800 bytes, more than/],
                                 [join(work, 'extra.tar'), /holiday\.mkv.* not part of the world/]]) {
      const t0 = Date.now();
      const said = await upload(page, offer);
      const seconds = ((Date.now() - t0) / 1000).toFixed(2);
      check(says.test(said) && (await page.eval('window.tlvx.state')) === 'running', `refused in ${seconds} s: "${said}"`);
      const after = await worldOf(page);
      check(still(after) === still(before), 'the world is unchanged', differ(before, after));
    }
    const heap1 = await heap();
    check(heap1 - heap0 < big / 4, `the program's memory stays ${heap0 >> 20} MiB: ${heap1 >> 20} MiB`);

    // The downloaded world opened again, after one more edit: the edit is gone.
    await page.press('+');
    check(await layersBecome(page, downloaded, false) !== downloaded, 'one more edit after the download');
    const opened = await upload(page, archive);
    await layersBecome(page, downloaded, true);
    await page.waitFor("window.tlvx.state === 'running'", { timeoutMs: 60000, what: 'the opened world to run' });
    check(layers(await worldOf(page)) === downloaded, `the downloaded world opens again: "${opened}"`);
    const start = await page.eval('window.tlvx.pass');
    await page.waitFor(`window.tlvx.pass > ${start} + 5`, { timeoutMs: 5000, what: 'the opened world to play' });
    const reopened = await worldOf(page);

    // A second tab of the site is refused and leaves the first one's world alone.
    const second = await browser.newPage();
    await second.navigate(server.url);
    const refusal = await second.waitFor(`window.tlvx && !['loading', 'running'].includes(window.tlvx.state) &&
                                          /another tab|open elsewhere|other tab/i.test(window.tlvx.message) && window.tlvx.message`,
                                         { timeoutMs: 15000, what: 'the second tab to refuse' });
    console.log(`ok: a second tab is refused: "${refusal}"`);
    // It says so in its message area and offers nothing that cannot work: every world and
    // speed button is off (a Download or a New demo world would do nothing there).
    check(/another tab/i.test(await second.eval("document.getElementById('message').innerText")),
          'the second tab says so below the picture');
    const usable = await second.eval(`Array.from(document.querySelectorAll('#controls button, #world button'))
      .filter((b) => !b.disabled && !b.hidden).map((b) => b.id).join(' ')`);
    check(usable === 'keys-button', 'the second tab offers only the key help', `usable: ${usable}`);
    await sleep(1500);
    const pass = await page.eval('window.tlvx.pass');
    await sleep(500);
    check((await page.eval('window.tlvx.pass')) > pass, 'the first tab plays on');
    const kept = await worldOf(page);
    check(still(kept) === still(reopened), "the first tab's world is unchanged", differ(reopened, kept));
    check(/another tab/i.test(await second.eval("document.getElementById('message').innerText")),
          'the second tab still says so a while later');
    // The first tab closed: the second offers to play here, and then plays the same world.
    await browser.send('Target.closeTarget', { targetId: page.targetId });
    await second.waitFor("!document.getElementById('again').hidden && !document.getElementById('again').disabled",
                         { timeoutMs: 10000, what: 'the second tab to offer the world' });
    const offer = await second.eval("document.getElementById('again').textContent + ': ' + window.tlvx.message");
    const reloaded = second.browser.waitEvent('Page.loadEventFired', { sessionId: second.sessionId, timeoutMs: 15000 });
    await second.eval("document.getElementById('again').click()");
    await reloaded;
    await waitRunning(second);
    check(layers(await worldOf(second)) === layers(kept), `the second tab plays the world once it is free ("${offer}")`);
    await browser.close();

    // A tab closed a fifth of a second after an edit (a few passes): the next visit has it, each time.
    {
      const b = await launch();
      const ground = (p) => p.eval("btoa(String.fromCharCode(...window.tlvx.readFile('tlvx_gr1.tmp')))");
      let tab = await openGame(b, server.url);
      await tab.waitFor('window.tlvx.written', { what: 'the new world written to the storage' });
      for (let i = 0; i < 3; ++i) {
        const before = await ground(tab);
        await tab.press('+');
        await sleep(200);
        await b.closeTab(tab);
        tab = await openGame(b, server.url);
        check((await ground(tab)) !== before, `a tab closed 200 ms after an edit kept it (${i + 1} of 3)`);
      }
      await b.close();
    }

    // Storage refused (the browser blocks site data): the page says so and plays in memory.
    const blocked = await launch({ prefs: { profile: { default_content_setting_values: { cookies: 2 } } } });
    const mem = await openGame(blocked, server.url);
    const said = await message(mem);
    check(said !== firstMessage && /stor|memory|saved|kept/i.test(said), `with storage refused the page says so: "${said}"`);
    const m0 = await player(mem);
    await mem.press('ArrowRight');
    await mem.waitFor(`window.tlvx.player.x !== ${m0.x}`, { timeoutMs: 3000, what: 'the step without storage' });
    console.log('ok: and the game plays');
    await blocked.close();

    // A storage too small for the world (a quota of 1 KB or 200 KB): within 2 s of the game's
    // start the page says the storage is full, and the game plays on in memory.
    for (const quotaSize of [1024, 200 * 1024]) {
      const small = await launch();
      const tab = await small.newPage();
      await tab.send('Emulation.setFocusEmulationEnabled', { enabled: true });
      await tab.send('Storage.overrideQuotaForOrigin', { origin: server.url.replace(/\/$/, ''), quotaSize });
      await tab.navigate(server.url);
      await waitRunning(tab);
      const t0 = Date.now();
      const full = await tab.waitFor("/full|refused/i.test(window.tlvx.message) && window.tlvx.message",
                                     { timeoutMs: 2000, what: 'the page to say the storage is full' });
      console.log(`ok: with a quota of ${quotaSize} bytes the page says so in ${((Date.now() - t0) / 1000).toFixed(1)} s: "${full}"`);
      const s0 = await player(tab);
      await tab.press('ArrowRight');
      await tab.waitFor(`window.tlvx.player.x !== ${s0.x}`, { timeoutMs: 3000, what: 'the step with a full storage' });
      console.log('ok: and the game plays');
      await small.close();
    }
  } finally {
    rmSync(work, { recursive: true, force: true });
    server.close();
  }
}, { timeoutMs: 150000 });
