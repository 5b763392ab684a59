// The page around the game as a player meets it: Download and a refused Open leave the
// game as it was (pass count, clock, facing, pause); every click of Faster and Slower
// counts; the pause, the key help (F1, the Keys button) and a fading message show over
// the picture and in the title; the game takes keys only while its picture has the focus
// and leaves the browser its zoom and scrolling; the buttons answer Enter and Space; a
// layout's character typed with AltGr or Option reaches the game.
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { launch, serve, main, check, siteDir, openGame, sleep } from './cdp.mjs';

// Holds `expr` true (a number, sampled in the page) for `ms`; the samples.
async function samples(page, expr, ms) {
  const out = [];
  for (const end = Date.now() + ms; Date.now() < end; await sleep(100)) out.push(await page.eval(expr));
  return out;
}

// In fullscreen (the page's button), with square pixels and with 4:3 rows: the picture lies
// wholly inside the window, centred, with its aspect (320:200 or 4:3) within a pixel, as large
// as the window's fullscreen makes it: by the largest whole factor that fits with square
// pixels, filling the width or the height with 4:3 rows. The window is `width` x `height` (a
// headless window's fullscreen keeps its size, so the size is set as a display's). Leaves
// fullscreen, 4:3 off and the window's own size.
async function checkFullscreen(page, width, height) {
  await page.send('Emulation.setDeviceMetricsOverride', { width, height, deviceScaleFactor: 1, mobile: false,
                                                          screenWidth: width, screenHeight: height });
  await page.eval("document.getElementById('fullscreen').click()");
  await page.waitFor('document.fullscreenElement !== null', { timeoutMs: 3000, what: 'fullscreen' });
  for (const on of [false, true]) {
    if ((await page.eval("document.getElementById('aspect').getAttribute('aria-pressed')")) !== String(on))
      await page.eval("document.getElementById('aspect').click()");
    await sleep(300);
    const r = await page.eval(`(() => { const r = document.getElementById('screen').getBoundingClientRect();
      return { x: r.x, y: r.y, w: r.width, h: r.height, vw: window.innerWidth, vh: window.innerHeight }; })()`);
    const ph = on ? 240 : 200;
    const seen = `${r.w}x${r.h} at (${r.x}, ${r.y}) in ${r.vw}x${r.vh}, 4:3 ${on ? 'on' : 'off'}`;
    check(r.x >= -0.5 && r.y >= -0.5 && r.x + r.w <= r.vw + 0.5 && r.y + r.h <= r.vh + 0.5, `the picture is inside: ${seen}`);
    check(Math.abs(r.w - (r.h * 320) / ph) <= 1, `it has the aspect 320:${ph}: ${seen}`);
    check(Math.abs(r.x - (r.vw - r.x - r.w)) <= 1 && Math.abs(r.y - (r.vh - r.y - r.h)) <= 1, `it is centred: ${seen}`);
    check(on ? r.vw - r.w <= 1 || r.vh - r.h <= 1 : r.w % 320 === 0 && (r.w + 320 > r.vw || r.h + 200 > r.vh),
          `it is as large as fits: ${seen}`);
  }
  await page.eval("document.getElementById('aspect').click()");
  await page.eval('document.exitFullscreen()');
  await page.waitFor('document.fullscreenElement === null', { timeoutMs: 3000, what: 'fullscreen to end' });
  await page.send('Emulation.clearDeviceMetricsOverride');
}

await main(async () => {
  const server = await serve(siteDir());
  const work = mkdtempSync(join(tmpdir(), 'tlvx-web-page-'));
  const browser = await launch({ args: ['--window-size=1280,800'] });
  try {
    const page = await openGame(browser, server.url);
    const opened = Date.now();
    const tlvx = (what) => page.eval(`window.tlvx.${what}`);
    const text = (id) => page.eval(`document.getElementById(${JSON.stringify(id)}).innerText`);
    const firstMessage = await text('message');
    check(firstMessage.length > 0, `a first visit says "${firstMessage}"`);
    // Whether the page took the last key down from the browser (the default action prevented).
    await page.eval(`window.addEventListener('keydown', (e) => { window.taken = e.defaultPrevented; })`);

    // Every click counts: five in one turn go five steps up the ladder, 20 to 100, and back.
    const speed = () => page.eval("document.getElementById('speed').textContent");
    await page.eval("for (let i = 0; i < 5; ++i) document.getElementById('faster').click()");
    await page.waitFor("document.getElementById('speed').textContent === '100'", { timeoutMs: 3000, what: 'speed 100' })
      .catch(async () => { throw new Error(`five clicks on Faster give speed ${await speed()}, not 100`); });
    console.log('ok: five quick clicks on Faster give 100 passes/s');
    await page.eval("for (let i = 0; i < 5; ++i) document.getElementById('slower').click()");
    await page.waitFor("document.getElementById('speed').textContent === '20'", { timeoutMs: 3000, what: 'speed 20 again' });
    console.log('ok: five on Slower give 20 again');

    // Ctrl with = and - stay the browser's zoom; Alt+Shift+Up and Down are the page's speed keys.
    await page.press('=', { modifiers: 2 });
    await page.press('-', { modifiers: 2 });
    await sleep(300);
    check(!(await page.eval('window.taken')) && (await speed()) === '20', 'Ctrl+= and Ctrl+- are left to the browser');
    await page.press('ArrowUp', { modifiers: 1 | 8 });
    await page.waitFor("document.getElementById('speed').textContent === '25'", { timeoutMs: 3000, what: 'Alt+Shift+Up' });
    await page.press('ArrowDown', { modifiers: 1 | 8 });
    await page.waitFor("document.getElementById('speed').textContent === '20'", { timeoutMs: 3000, what: 'Alt+Shift+Down' });
    console.log('ok: Alt+Shift+Up and Alt+Shift+Down change the speed');

    // Download while playing: the passes, the clock and the facing go on from where they were.
    await page.press('ArrowRight');
    await sleep(1500);
    const before = { pass: await tlvx('pass'), clock: await tlvx('clock'), facing: await tlvx('player.facing') };
    const downloads = join(work, 'downloads');
    await browser.send('Browser.setDownloadBehavior', { behavior: 'allowAndName', downloadPath: downloads, eventsEnabled: true });
    const download = async () => {
      const done = browser.waitEvent('Browser.downloadProgress', { pred: (p) => p.state !== 'inProgress', timeoutMs: 15000 });
      await page.eval("document.getElementById('download').click()");
      const got = await done;
      check(got.state === 'completed', 'the world downloads');
      return join(downloads, got.guid);
    };
    await download();
    const passes = await samples(page, 'window.tlvx.pass', 1500);
    const after = { pass: await tlvx('pass'), clock: await tlvx('clock'), facing: await tlvx('player.facing') };
    check(passes.every((p, i) => p >= before.pass && (i === 0 || p >= passes[i - 1])) && after.pass > before.pass,
          `the passes go on through a download: ${before.pass} then ${passes.join(' ')}`);
    check(after.clock >= before.clock, `the clock goes on: ${before.clock} then ${after.clock} minutes`);
    check(after.facing === before.facing, `the facing stays ${before.facing}`, `it is ${after.facing}`);

    await page.waitFor("document.getElementById('message').innerText === ''", { timeoutMs: 9000, what: 'the first message to fade' })
      .catch(() => { throw new Error(`the first message stays: "${firstMessage}"`); });
    const faded = (Date.now() - opened) / 1000;
    check(faded < 10, `the first message has faded ${faded.toFixed(1)} s after the game started`);

    // Paused: shown over the picture and in the title; a download and a refused Open keep the pause.
    await page.press('p');
    await page.waitFor("window.tlvx.state === 'paused'", { timeoutMs: 3000, what: 'the pause' });
    const badge = await text('badge'), title = await page.eval('document.title');
    check(/paused/i.test(badge) && /paused/i.test(title), `the pause shows: "${badge}", title "${title}"`);
    const pausedAt = await tlvx('pass');
    const archive = await download();
    // The save file in it is the one of this moment, as a quit would write it.
    const unpacked = join(work, 'unpacked');
    mkdirSync(unpacked);
    execFileSync('tar', ['-xf', archive, '-C', unpacked]);
    const saveName = (await page.eval('Array.from(window.tlvx.listFiles())')).find((n) => /\.sav$/.test(n));
    const saved = readFileSync(join(unpacked, 'tlvx-world', saveName)).toString('base64');
    const onPage = (await page.bytes(`window.tlvx.readFile(${JSON.stringify(saveName)})`)).toString('base64');
    check(saveName && saved === onPage, `the download holds the save file of the pause (${saveName})`);
    const foreign = join(work, 'notes.txt');
    writeFileSync(foreign, 'not a world at all\n'.repeat(50));
    const said = await tlvx('message');
    const { root } = await page.send('DOM.getDocument', { depth: -1 });
    const { nodeId } = await page.send('DOM.querySelector', { nodeId: root.nodeId, selector: '#open-input' });
    await page.send('DOM.setFileInputFiles', { files: [foreign], nodeId });
    const refused = await page.waitFor(`window.tlvx.message !== ${JSON.stringify(said)} && window.tlvx.message`,
                                       { what: 'the refusal' });
    await sleep(1000);
    check((await tlvx('state')) === 'paused' && (await tlvx('pass')) === pausedAt,
          `a download and a refused Open keep the pause at pass ${pausedAt}: "${refused}"`,
          `state ${await tlvx('state')}, pass ${await tlvx('pass')}`);
    await page.press('x');
    await page.waitFor(`window.tlvx.state === 'running' && window.tlvx.pass > ${pausedAt}`, { timeoutMs: 3000, what: 'the game to go on' });
    check(!/paused/i.test(await page.eval('document.title')) && (await text('badge')) === '', 'the pause shows no more');
    await page.waitFor("document.getElementById('message').innerText === ''", { timeoutMs: 9000, what: 'the refusal to fade' });

    // F1 and the Keys button: the window's key help over the picture; the game is held meanwhile.
    await page.press('F1');
    const help = await page.waitFor("!document.getElementById('help').hidden && document.getElementById('help').textContent",
                                    { timeoutMs: 3000, what: 'the key help' });
    check(/F1: back to the game/.test(help) && /p +pause/.test(help), 'F1 shows the key help');
    const heldAt = await tlvx('pass'), x0 = await tlvx('player.x');
    await page.press('ArrowRight');
    await sleep(800);
    check((await tlvx('pass')) <= heldAt + 1 && (await tlvx('player.x')) === x0, 'the game is held and gets no key');
    await page.press('F1');
    await page.waitFor(`document.getElementById('help').hidden && window.tlvx.pass > ${heldAt + 3}`,
                       { timeoutMs: 3000, what: 'F1 to hide the help' });
    await page.eval("document.getElementById('keys-button').click()");
    check((await page.eval("document.getElementById('help').hidden")) === false &&
          (await page.eval("document.getElementById('help').textContent")) === help, 'the Keys button shows the same');
    await page.eval("document.getElementById('keys-button').click()");
    const table = await text('keys');
    check(['F1', 'Alt+Enter', 'F11', 'F12', 'Alt+Shift+Up'].every((k) => table.includes(k)),
          "the page's key table has F1, Alt+Enter, F11, F12 and the speed keys");

    // A layout's characters: AltGr (Ctrl+Alt) + 9 types ] on a German keyboard, Option (Alt) + 7 types \ on a
    // Mac; both reach the game (the structure in front +1, then cleared). Alt+F stays the browser's.
    const layers = () => page.eval(`Array.from(window.tlvx.listFiles()).filter((n) => /_gr[13-9]\\.tmp$/.test(n)).sort()
      .map((n) => { const u = window.tlvx.readFile(n); let h = 0; for (let i = 0; i < u.length; ++i) h = (h * 31 + u[i]) | 0; return h; })
      .join(' ')`);
    const l0 = await layers();
    await page.press(']', { modifiers: 1 | 2, code: 'Digit9' });
    check(await page.eval('window.taken'), 'AltGr+9 typing ] is taken by the game');
    let l1 = l0;
    for (let i = 0; i < 30 && l1 === l0; ++i, await sleep(100)) l1 = await layers();
    check(l1 !== l0, 'AltGr+] raises the structure in front');
    await page.press('\\', { modifiers: 1, code: 'Digit7' });
    await sleep(500);
    check((await layers()) !== l1, 'Option+\\ clears it');
    await page.press('f', { modifiers: 1 });
    check(!(await page.eval('window.taken')), 'Alt+F is left to the browser');

    // Polish: a title that says what the page is, a picture that takes the focus and no swipe.
    const title2 = await page.eval('document.title');
    check(title2.length > 10 && /tlvx/.test(title2), `the title says what this is: "${title2}"`);
    check((await page.eval('getComputedStyle(document.getElementById("screen")).touchAction')) === 'none',
          'a swipe on the picture is no page gesture');
    check(await page.eval("Array.from(document.querySelectorAll('#controls > *, #world > *')).every((e) => e.tagName === 'BUTTON' || e.hidden || e.tagName === 'SPAN' || e.type === 'file')"),
          'every control is a button');

    // Buttons answer Enter and Space; the keys of a focused button are the browser's, and the
    // page scrolls by keyboard; Shift+Tab brings the focus back to the game.
    await page.eval("document.getElementById('aspect').focus()");
    await page.press('Enter');
    check((await page.eval("document.getElementById('aspect').getAttribute('aria-pressed')")) === 'true', 'Enter presses a button');
    await page.press(' ');
    check((await page.eval("document.getElementById('aspect').getAttribute('aria-pressed')")) === 'false', 'Space presses it again');
    const pass0 = await tlvx('pass'), px = await tlvx('player.x');
    await page.eval('window.scrollTo(0, 0)');
    await page.press('End');
    await sleep(300);
    const scrolled = await page.eval('window.scrollY');
    check(scrolled > 0, `End scrolls the page while a button has the focus: to ${scrolled}`);
    await page.press('ArrowLeft');
    await sleep(400);
    check((await tlvx('player.x')) === px && (await tlvx('pass')) > pass0, 'and the game plays on without the key');
    await page.eval("document.getElementById('slower').focus()");
    await page.press('Tab', { modifiers: 8 });
    check(await page.eval("document.activeElement === document.getElementById('screen')"), 'Shift+Tab gives the game the focus');
    // A wandering creature may stand in the way for a while: the key is taken at once, and the
    // step comes with one of the next presses.
    await page.press('ArrowLeft');
    check(await page.eval('window.taken'), 'and the game takes its keys again');
    let stepped = false;
    for (let i = 0; i < 20 && !stepped; ++i) {
      await sleep(300);
      stepped = (await tlvx('player.x')) !== px;
      if (!stepped) await page.press('ArrowLeft');
    }
    check(stepped, 'the character steps once the game has the focus');

    await checkFullscreen(page, 1280, 800);
    await checkFullscreen(page, 1920, 1080);
    check(page.errors.length === 0, 'the page threw nothing', page.errors.join('\n'));
  } finally {
    await browser.close();
    server.close();
    rmSync(work, { recursive: true, force: true });
  }
}, { timeoutMs: 120000 });
