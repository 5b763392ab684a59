// A gamepad on the page, scripted through navigator.getGamepads (set up before the page's own
// script): the d-pad held walks on and stops when let go, the right stick only faces, the left
// stick inside its dead zone does nothing, A, B and the triggers edit the cell in front, Start pauses and the
// next press goes on without acting, a short press of Back does nothing and Back held ends the
// game saved. Each press tells the page ('tlvx-pad-used'), and the page's key list names the pad.
import { launch, serve, main, check, siteDir, waitRunning, sleep } from './cdp.mjs';

// A standard-layout pad whose buttons and axes the test sets in window.pad; it has far more of
// both than the layout names (as some joysticks do), which the page must read past safely.
const kScriptedPad = `(() => {
  window.pad = { buttons: new Array(100).fill(false), axes: new Array(80).fill(0) };
  window.padUsed = 0;
  window.addEventListener('tlvx-pad-used', () => ++window.padUsed);
  let stamp = 0;
  Object.defineProperty(navigator, 'getGamepads', { configurable: true, value: () => [{
    id: 'scripted pad', index: 0, connected: true, mapping: 'standard', timestamp: ++stamp,
    axes: window.pad.axes.slice(),
    buttons: window.pad.buttons.map((on) => ({ pressed: on, touched: on, value: on ? 1 : 0 })),
  }, null, null, null] });
})()`;
const A = 0, B = 1, LT = 6, RT = 7, BACK = 8, START = 9, LEFT = 14, RIGHT = 15;
const kUp = 1, kRight = 2, kLeft = 4;

await main(async () => {
  const server = await serve(siteDir());
  const browser = await launch();
  const page = await browser.newPage();
  await page.send('Emulation.setFocusEmulationEnabled', { enabled: true });
  await page.addInitScript(kScriptedPad);
  await page.send('Page.navigate', { url: server.url });
  await waitRunning(page);

  const button = (b, on) => page.eval(`window.pad.buttons[${b}] = ${on}`);
  const axis = (a, v) => page.eval(`window.pad.axes[${a}] = ${v}`);
  const player = () => page.eval('window.tlvx.player');
  const pass = () => page.eval('window.tlvx.pass');
  const passes = async (n) => {
    const p0 = await pass();
    await page.waitFor(`window.tlvx.pass >= ${p0 + n}`, { timeoutMs: 5000, what: `${n} passes` });
  };
  const layer = (k) => page.bytes(`window.tlvx.readFile('tlvx_gr${k}.tmp')`);
  // The cells of layer `k` that differ from `before`, as "offset:old>new".
  const changes = async (k, before) => {
    const now = await layer(k), out = [];
    for (let i = 0; i < now.length; ++i) if (now[i] !== before[i]) out.push(`${i}:${before[i]}>${now[i]}`);
    return out;
  };

  // The d-pad held: one step, then the key's repeat. The demo world's creatures wander and may
  // stand in the way for a while, so the hold lasts until three steps or 4 s, and is made the
  // other way when it took fewer than two.
  let start, released, way;
  for (const [b, dx, facing] of [[RIGHT, 1, kRight], [LEFT, -1, kLeft]]) {
    start = await player();
    way = { dx, facing };
    await button(b, true);
    await page.waitFor(`window.tlvx.player.x * ${dx} >= ${start.x * dx + 3}`, { timeoutMs: 4000, what: 'three steps' })
      .catch(() => {});
    await button(b, false);
    released = await player();
    if ((released.x - start.x) * dx >= 2) break;
    console.log(`note: ${released.x - start.x} steps while the d-pad was held; holding it the other way`);
  }
  check((released.x - start.x) * way.dx >= 2 && released.facing === way.facing,
        `the d-pad held walks on and faces its way: ${start.x} to ${released.x}`);
  await passes(16);
  const stopped = await player();
  check(Math.abs(stopped.x - released.x) <= 1,
        `the walk stops when the d-pad is let go (${released.x}, then ${stopped.x})`);

  // The left stick a quarter of the way up: nothing; the right stick up: faces up, no step.
  await axis(1, -0.25);
  await passes(16);
  const still = await player();
  check(still.x === stopped.x && still.y === stopped.y && still.facing === way.facing,
        'the left stick inside its dead zone neither steps nor turns');
  await axis(1, 0);
  await axis(3, -1);
  await page.waitFor(`window.tlvx.player.facing === ${kUp}`, { timeoutMs: 3000, what: 'facing up' });
  await axis(3, 0);
  await passes(4);
  const faced = await player();
  check(faced.x === still.x && faced.y === still.y, 'the right stick faces up without stepping');

  // A raises the ground in front by one, B lowers it again.
  let ground = await layer(1);
  await button(A, true);
  let raised = [];
  for (const end = Date.now() + 3000; raised.length === 0 && Date.now() < end; await sleep(20))
    raised = await changes(1, ground);
  await button(A, false);
  await passes(2);
  raised = await changes(1, ground);
  check(raised.length === 1 && /:(\d+)>(\d+)$/.exec(raised[0]).slice(1).reduce((a, b) => b - a) === 1,
        `A raises one ground cell by one: ${raised.join(' ')}`);
  await button(B, true);
  await passes(2);
  await button(B, false);
  await passes(2);
  check((await changes(1, ground)).length === 0, 'B lowers it again');
  // The right trigger raises it by 16, the left one lowers it by 16 (while above 17).
  const trigger = async (b) => {
    await button(b, true);
    await passes(2);
    await button(b, false);
    await passes(2);
    return (await changes(1, ground)).join(' ');
  };
  const cellAt = raised[0].split(':')[0];
  check((await trigger(RT)) === `${cellAt}:${ground[cellAt]}>${ground[cellAt] + 16}`, 'the right trigger raises it by 16');
  await trigger(RT);
  check((await trigger(LT)) === `${cellAt}:${ground[cellAt]}>${ground[cellAt] + 16}`, 'the left trigger lowers it by 16');
  ground = await layer(1);

  // Start pauses; the next press ends the pause and does nothing else.
  await button(START, true);
  await page.waitFor("window.tlvx.state === 'paused'", { timeoutMs: 3000, what: 'the pause' });
  await button(START, false);
  await button(A, true);
  await page.waitFor("window.tlvx.state === 'running'", { timeoutMs: 3000, what: 'the pause to end' });
  await button(A, false);
  await passes(4);
  check((await changes(1, ground)).length === 0, 'Start pauses, and the press that ends the pause is swallowed');

  // Back pressed for a few passes does nothing; held for a second, it ends the game saved.
  await button(BACK, true);
  await passes(6);
  await button(BACK, false);
  await passes(10);
  check((await page.eval('window.tlvx.state')) === 'running', 'a short press of Back leaves the game running');
  const heldAt = Date.now();
  await button(BACK, true);
  await page.waitFor("window.tlvx.state === 'ended'", { timeoutMs: 5000, what: 'the game to end' });
  check(Date.now() - heldAt >= 900, `Back held ends the game after a second (${Date.now() - heldAt} ms)`);
  check(/saved/.test(await page.eval('window.tlvx.message')), 'the world is saved');

  check((await page.eval('window.padUsed')) > 0, `the page is told a pad is used (${await page.eval('window.padUsed')})`);
  const keys = await page.eval("document.getElementById('keys').innerText");
  check(/gamepad: Back held/.test(keys) && /gamepad: A, B/.test(keys), "the page's key list names the pad's controls");
  await browser.close();
  server.close();
}, { timeoutMs: 60000 });
