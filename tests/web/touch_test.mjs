// The page on a touch screen: a phone upright and on its side and a tablet, each in
// headless Chromium with touch emulation. Touching the pad walks, an edit control
// changes the cell in front, held controls repeat like held keys, pause and the
// confirmed Escape work, nothing scrolls or zooms, and no control lies over the
// picture. A key hides the controls and a touch brings them back. A screenshot of
// each layout goes to $TLVX_WEB_SHOTS (default: build/tests/web-shots).
import { mkdirSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { launch, serve, siteDir, main, check, waitRunning, sleep } from './cdp.mjs';

const kLayouts = [
  { name: 'phone-portrait', width: 390, height: 844, dpr: 3 },
  { name: 'phone-landscape', width: 844, height: 390, dpr: 3 },
  { name: 'tablet', width: 820, height: 1180, dpr: 2 },
];

main(async () => {
  const site = siteDir();
  const shots = process.env.TLVX_WEB_SHOTS || 'web-shots';
  mkdirSync(shots, { recursive: true });
  const server = await serve(site);
  const browser = await launch();
  try {
    const first = kLayouts[0];
    const page = await browser.newPage();
    await page.send('Emulation.setFocusEmulationEnabled', { enabled: true });
    await page.send('Emulation.setTouchEmulationEnabled', { enabled: true, maxTouchPoints: 5 });
    await metrics(page, first);
    await page.navigate(server.url);
    await waitRunning(page);
    check(await page.eval('window.tlvx.touch'), 'a touch screen gets the on-screen controls before any key');

    for (const layout of kLayouts) {
      await metrics(page, layout);
      await page.waitFor(`innerWidth === ${layout.width} && innerHeight === ${layout.height}`);
      await settle(page);
      const shot = join(shots, `touch-${layout.name}.png`);
      writeFileSync(shot, await page.screenshot());
      console.log(`screenshot of ${layout.name} attached to the test output: ${shot}`);
      await checkLayout(page, layout);
      // The repeats of held controls are the same in every layout: tried in the first only.
      await play(page, layout.name, layout === first);
    }

    // A key hides the controls (the desktop page comes back); a touch shows them again.
    await page.press('a');
    check(!(await page.eval('window.tlvx.touch')) &&
          (await page.eval('document.getElementById("touch-pad").getClientRects().length')) === 0,
          'a key pressed hides the touch controls');
    check((await page.eval('document.querySelector("aside").getClientRects().length')) > 0 &&
          (await page.eval('document.documentElement.classList.contains("touch")')) === false,
          'and the desktop page is back');
    const c = await rect(page, '#screen');
    await tap(page, c.x + c.width / 2, c.y + c.height / 2);
    check(await page.eval('window.tlvx.touch'), 'a touch brings them back');
    await page.eval('window.dispatchEvent(new Event("tlvx-pad-used")), 0');
    check(!(await page.eval('window.tlvx.touch')), 'a gamepad used hides them');
    check(page.errors.length === 0, 'no script errors', page.errors.join('\n'));
  } finally {
    await browser.close();
    server.close();
  }
}, { timeoutMs: 60000 });

function metrics(page, { width, height, dpr }) {
  return page.send('Emulation.setDeviceMetricsOverride', {
    width, height, deviceScaleFactor: dpr, mobile: true,
    screenOrientation: width > height ? { type: 'landscapePrimary', angle: 90 } : { type: 'portraitPrimary', angle: 0 },
  });
}

// Two frames: the resize has been laid out and the picture fitted.
const settle = (page) => page.eval('new Promise((ok) => requestAnimationFrame(() => requestAnimationFrame(ok)))');

const rect = (page, selector) => page.eval(`(() => {
  const r = document.querySelector(${JSON.stringify(selector)}).getBoundingClientRect();
  return { x: r.x, y: r.y, width: r.width, height: r.height };
})()`);

async function tap(page, x, y, holdMs = 0) {
  await page.touch('touchStart', [{ x, y, id: 1 }]);
  if (holdMs) await sleep(holdMs);
  await page.touch('touchEnd');
}

// A touch on the control named `id` (its data-id), held for `holdMs`.
async function touchControl(page, id, holdMs = 0) {
  const r = await rect(page, `.touch-control[data-id="${id}"]`);
  await tap(page, r.x + r.width / 2, r.y + r.height / 2, holdMs);
}

async function checkLayout(page, { name, width, height, dpr }) {
  const g = await page.eval(`(() => {
    const box = (el) => { const r = el.getBoundingClientRect(); return { x: r.x, y: r.y, r: r.right, b: r.bottom }; };
    return {
      canvas: box(document.getElementById('screen')),
      controls: [...document.querySelectorAll('.touch-control, #controls button:not([hidden]), #world button')]
        .map((el) => ({ id: el.dataset.id || el.id, ...box(el) })),
      scroll: [scrollX, scrollY, document.documentElement.scrollWidth, document.documentElement.scrollHeight],
      scale: visualViewport.scale,
    };
  })()`);
  const over = (a, b) => a.x < b.r && b.x < a.r && a.y < b.b && b.y < a.b;
  const covering = g.controls.filter((c) => over(c, g.canvas)).map((c) => c.id);
  check(g.controls.length >= 18 && covering.length === 0, `${name}: no control lies over the picture`,
        covering.join(', '));
  const outside = g.controls.filter((c) => c.x < 0 || c.y < 0 || c.r > width + 0.5 || c.b > height + 0.5);
  check(outside.length === 0, `${name}: every control is on the screen`, JSON.stringify(outside));
  const [sx, sy, sw, sh] = g.scroll;
  check(sx === 0 && sy === 0 && sw <= width && sh <= height && g.scale === 1,
        `${name}: the page neither scrolls nor zooms`, JSON.stringify(g.scroll) + ` scale ${g.scale}`);
  const w = (g.canvas.r - g.canvas.x) * dpr, h = (g.canvas.b - g.canvas.y) * dpr;
  check(Math.abs(w / 320 - Math.round(w / 320)) < 0.01 && Math.abs(h / 200 - Math.round(w / 320)) < 0.01 &&
        w >= 320, `${name}: the picture is a whole factor of the screen's pixels (${w / 320})`, `${w}x${h}`);
  const pad = await rect(page, '#touch-pad');
  check(pad.width >= 130, `${name}: the pad is sized for thumbs (${Math.round(pad.width / 3)} px a button)`);
}

// The cell value of layer `file` in front of the character (its own cell when facing nowhere).
const front = (page, file) => page.eval(`(() => {
  const b = window.tlvx.readFile(${JSON.stringify(file)}), wx = b[0] * 256 + b[1];
  const p = window.tlvx.player, d = [[0, 0], [0, -1], [1, 0], [0, 1], [-1, 0]][p.facing];
  return b[p.x + d[0] + (p.y + d[1]) * wx + 3];
})()`);

const passAfter = async (page, pass) => page.waitFor(`window.tlvx.pass > ${pass + 2}`, { what: 'passes' });

async function play(page, name, holds) {
  // Walking: some direction of the four is free.
  const start = await page.eval('JSON.stringify(window.tlvx.player)');
  let moved = false;
  for (const dir of ['step-right', 'step-down', 'step-left', 'step-up']) {
    const pass = await page.eval('window.tlvx.pass');
    await touchControl(page, dir);
    await passAfter(page, pass);
    const p = await page.eval('window.tlvx.player');
    if (JSON.stringify(p) !== start && (p.x !== JSON.parse(start).x || p.y !== JSON.parse(start).y)) { moved = true; break; }
  }
  check(moved, `${name}: touching the pad walks`, start);

  // A finger sliding from one arrow to another lets go of the first and presses the second.
  if (holds) {
    const from = await rect(page, '.touch-control[data-id="step-left"]');
    const to = await rect(page, '.touch-control[data-id="step-up"]');
    await page.touch('touchStart', [{ x: from.x + from.width / 2, y: from.y + from.height / 2, id: 1 }]);
    await page.waitFor('window.tlvx.player.facing === 4', { what: 'facing left' });
    await page.touch('touchMove', [{ x: to.x + to.width / 2, y: to.y + to.height / 2, id: 1 }]);
    await page.touch('touchEnd');
    const up = await page.waitFor("window.tlvx.player.facing === 1 && 'up'", { timeoutMs: 3000 }).catch(() => 'not');
    check(up === 'up', `${name}: sliding over the pad turns to the arrow under the finger`);
  }

  // Editing the cell in front: a tap is one key, a long press repeats.
  let pass = await page.eval('window.tlvx.pass');
  const v0 = await front(page, 'tlvx_gr1.tmp');
  await touchControl(page, v0 < 64 ? 'ground-up' : 'ground-down');
  await passAfter(page, pass);
  const v1 = await front(page, 'tlvx_gr1.tmp');
  check(v1 === (v0 < 64 ? v0 + 1 : v0 - 1), `${name}: a tap on ground +/- changes the cell in front by one`,
        `${v0} -> ${v1}`);
  if (holds) {
    pass = await page.eval('window.tlvx.pass');
    await touchControl(page, 'ground-down', 1000);
    await passAfter(page, pass);
    const v2 = await front(page, 'tlvx_gr1.tmp');
    check(v2 <= v1 - 4 || v2 === 1, `${name}: ground - held repeats like a held key`, `${v1} -> ${v2}`);
  }
  pass = await page.eval('window.tlvx.pass');
  await touchControl(page, 'structure-up');
  await passAfter(page, pass);
  check((await front(page, 'tlvx_gr3.tmp')) > 0, `${name}: structure + puts a structure in front`);
  pass = await page.eval('window.tlvx.pass');
  await touchControl(page, 'structure-clear');
  await passAfter(page, pass);
  check((await front(page, 'tlvx_gr3.tmp')) === 0, `${name}: clear takes it away`);

  // Pause, held: a long press does not end the pause it began. Any control then goes on,
  // and that touch is swallowed (the facing stays).
  await touchControl(page, 'pause', holds ? 700 : 0);
  await page.waitFor("window.tlvx.state === 'paused'", { what: 'the pause' });
  if (holds) await sleep(150);
  check((await page.eval('window.tlvx.state')) === 'paused' &&
        (await page.eval('document.getElementById("badge").textContent')).includes('touch'),
        `${name}: pause pauses${holds ? ', also held,' : ''} and says how to go on`);
  const facing = await page.eval('window.tlvx.player.facing');
  await touchControl(page, 'turn-right');
  await page.waitFor("window.tlvx.state === 'running'", { what: 'the pause to end' });
  pass = await page.eval('window.tlvx.pass');
  await passAfter(page, pass);
  check((await page.eval('window.tlvx.player.facing')) === facing, `${name}: the touch that ends the pause is swallowed`);
  await touchControl(page, 'turn-right');
  await page.waitFor(`window.tlvx.player.facing === ${facing % 4 + 1}`, { what: 'a quarter turn clockwise' });

  // Escape asks first; "Keep playing" goes on, "Save and leave" ends the game.
  await touchControl(page, 'leave');
  pass = await page.eval('window.tlvx.pass');
  check(!(await page.eval('document.getElementById("leave-ask").hidden')), `${name}: leaving asks first`);
  await passAfter(page, pass);
  const no = await rect(page, '#leave-no');
  await tap(page, no.x + no.width / 2, no.y + no.height / 2);
  pass = await page.eval('window.tlvx.pass');
  await passAfter(page, pass);
  check((await page.eval('window.tlvx.state')) === 'running', `${name}: "Keep playing" keeps playing`);
  await touchControl(page, 'leave');
  const yes = await rect(page, '#leave-yes');
  await tap(page, yes.x + yes.width / 2, yes.y + yes.height / 2);
  await page.waitFor("window.tlvx.state === 'ended'", { what: 'the game to end' });
  check(/saved/.test(await page.eval('window.tlvx.message')), `${name}: "Save and leave" saves and ends the game`);
  const again = await rect(page, '#again');
  await tap(page, again.x + again.width / 2, again.y + again.height / 2);
  await page.waitFor("window.tlvx.state === 'running'", { what: 'Play again' });
}
