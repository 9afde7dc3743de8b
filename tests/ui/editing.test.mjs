// Editing parameters: every gesture reaches the controller bracketed as one
// edit, the controller does not echo it back, and the host's own changes
// move the controls.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { openEditor, closeBrowser, PARAM_IDS, TABLES } from './harness.mjs';
import { assertBracketed, editsFor, assertNoProblems, knobState, close, decodePng } from './checks.mjs';

after(closeBrowser);

async function dialCentre(page, path) {
	const box = await page.locator(`[role="slider"][data-path="${path}"]`).boundingBox();
	return { x: box.x + box.width / 2, y: box.y + box.height / 2 };
}

test('dragging a knob edits the parameter as one bracketed gesture with no echo', async () => {
	const s = await openEditor();
	try {
		const path = 'ir.size';
		const id = PARAM_IDS[path];
		await s.settle();
		const mark = s.bridge.lines.length;
		const sentMark = s.sent.length;
		const c = await dialCentre(s.page, path);
		await s.page.locator(`[role="slider"][data-path="${path}"]`).scrollIntoViewIfNeeded();
		const c2 = await dialCentre(s.page, path);
		await s.page.mouse.move(c2.x, c2.y);
		await s.page.mouse.down();
		for (let i = 1; i <= 10; ++i)
			await s.page.mouse.move(c2.x, c2.y - 5 * i);
		await s.page.mouse.up();
		await s.settle();
		void c;

		// The page: begin, values, end, all for ir.size.
		const mine = s.sent.slice(sentMark);
		assertBracketed(s.sent);
		assert.equal(mine[0].type, 'tavik.beginEdit');
		assert.equal(mine[mine.length - 1].type, 'tavik.endEdit');
		const values = mine.filter((m) => m.type === 'tavik.setParam').map((m) => m.value);
		assert.ok(values.length >= 5, 'the drag sent a stream of values');
		assert.ok(mine.every((m) => m.path === path));
		// 50 px up is a quarter of the range: 1 + 0.25 × 1.5.
		const last = values[values.length - 1];
		assert.ok(close(last, 1.375, 0.0015), `dragged to ${last}`);

		// The controller: one begin, performs, one end, in that order.
		const edits = editsFor(s.bridge, id, mark);
		assert.equal(edits[0].kind, 'begin');
		assert.equal(edits[edits.length - 1].kind, 'end');
		assert.equal(edits.filter((e) => e.kind === 'begin').length, 1);
		assert.equal(edits.filter((e) => e.kind === 'end').length, 1);
		assert.equal(edits.filter((e) => e.kind === 'perform').length, values.length);
		const normalized = await s.bridge.get(id);
		assert.ok(close(normalized, (last - 0.5) / 1.5, 1e-12), 'the controller holds the dragged value');

		// No paramChanged came back for the page's own edit.
		const echoes = s.bridge.lines.slice(mark).map((l) => l.obj)
			.filter((o) => o && o.type === 'tavik.paramChanged' && o.path === path);
		assert.deepEqual(echoes, []);
		const k = await knobState(s.page, path);
		assert.equal(k.now, last);
		assert.equal(k.text, String(last));

		// Shift makes the same drag ten times finer.
		const before = last;
		await s.page.mouse.move(c2.x, c2.y);
		await s.page.mouse.down();
		await s.page.keyboard.down('Shift');
		for (let i = 1; i <= 10; ++i)
			await s.page.mouse.move(c2.x, c2.y - 5 * i);
		await s.page.keyboard.up('Shift');
		await s.page.mouse.up();
		await s.settle();
		const fine = (await knobState(s.page, path)).now;
		assert.ok(close(fine - before, 0.0375, 0.0015), `fine drag moved ${fine - before}`);
		assertBracketed(s.sent);
		assertNoProblems(s);
	} finally {
		await s.close();
	}
});

test('a host change moves the knob, but not while the player holds it', async () => {
	const s = await openEditor();
	try {
		const path = 'tuning.baseFreq';
		const id = PARAM_IDS[path];
		s.bridge.send({ zorv: 'set', id, normalized: (220 - 55) / 385 });
		await s.page.waitForFunction(() => document.querySelector('[role="slider"][data-path="tuning.baseFreq"]')
			.getAttribute('aria-valuetext') === '220 Hz, A3');
		assert.deepEqual(await knobState(s.page, path), { now: 220, text: '220 Hz, A3', shown: '220 Hz', note: 'A3' });

		// Mid-drag, automation must not yank the knob from under the pointer.
		const dial = s.page.locator(`[role="slider"][data-path="${path}"]`);
		await dial.scrollIntoViewIfNeeded();
		const c = await dialCentre(s.page, path);
		await s.page.mouse.move(c.x, c.y);
		await s.page.mouse.down();
		await s.page.mouse.move(c.x, c.y - 20);
		const held = (await knobState(s.page, path)).now;
		s.bridge.send({ zorv: 'set', id, normalized: 0 });
		await s.settle();
		assert.equal((await knobState(s.page, path)).now, held, 'the held knob ignored the host');
		await s.page.mouse.up();
		await s.settle();
		// Let go, the knob shows where the controller is now.
		assert.equal(await s.bridge.get(id), 0);
		assert.equal((await knobState(s.page, path)).text, '55 Hz, A1');

		// Released, the knob follows the host again.
		s.bridge.send({ zorv: 'set', id, normalized: 1 });
		await s.page.waitForFunction(() => document.querySelector('[role="slider"][data-path="tuning.baseFreq"]')
			.getAttribute('aria-valuenow') === '440');
		assertBracketed(s.sent);
		assertNoProblems(s);
	} finally {
		await s.close();
	}
});

test('keyboard, wheel and double-click each make one short gesture', async () => {
	const s = await openEditor();
	try {
		const path = 'strike.position';
		const id = PARAM_IDS[path];
		const dial = s.page.locator(`[role="slider"][data-path="${path}"]`);
		await dial.focus();
		assert.equal(await s.page.evaluate(() => document.activeElement.dataset.path), path);

		const step = async (key, expected) => {
			const mark = s.bridge.lines.length;
			const sentMark = s.sent.length;
			await s.page.keyboard.press(key);
			await s.settle();
			const mine = s.sent.slice(sentMark).map((m) => m.type);
			assert.deepEqual(mine, ['tavik.beginEdit', 'tavik.setParam', 'tavik.endEdit'], `${key} is one gesture`);
			assert.deepEqual(editsFor(s.bridge, id, mark).map((e) => e.kind), ['begin', 'perform', 'end']);
			assert.ok(close(await s.bridge.get(id), expected, 1e-12), `${key} gives ${expected}`);
			assert.ok(close((await knobState(s.page, path)).now, expected, 1e-12));
		};
		await step('ArrowUp', 0.16);
		await step('ArrowRight', 0.17);
		await step('ArrowDown', 0.16);
		await step('Shift+ArrowUp', 0.161);
		await step('PageUp', 0.261);
		await step('PageDown', 0.161);
		await step('End', 1);
		await step('Home', 0);
		assert.equal((await knobState(s.page, path)).text, '0');

		// Home at the bottom already: nothing to send.
		const quiet = s.sent.length;
		await s.page.keyboard.press('Home');
		await s.settle();
		assert.equal(s.sent.length, quiet);

		// Delete: back to the default.
		await step('Delete', 0.15);
		await step('Home', 0);

		// Double-click: back to the default, 0.15.
		const sentMark = s.sent.length;
		await dial.dblclick();
		await s.settle();
		assert.ok(close(await s.bridge.get(id), 0.15, 1e-12));
		assert.equal((await knobState(s.page, path)).text, '0.15');
		const sets = s.sent.slice(sentMark).filter((m) => m.type === 'tavik.setParam');
		assert.deepEqual(sets.map((m) => m.value), [0.15]);

		// A bipolar knob with a unitless value and a unit-bearing one.
		const ring = s.page.locator('[role="slider"][data-path="amp.decay"]');
		await ring.focus();
		await s.page.keyboard.press('Home');
		await s.settle();
		assert.equal((await knobState(s.page, 'amp.decay')).text, '0.05 s');
		assert.ok(close(await s.bridge.get(PARAM_IDS['amp.decay']), 0, 1e-12));

		assertBracketed(s.sent);
		assertNoProblems(s);
	} finally {
		await s.close();
	}
});

test('lists and the switch edit through the same gestures', async () => {
	const s = await openEditor();
	try {
		// Click a model.
		await s.page.click('[role="radiogroup"][data-path="ir.instrument"] [role="radio"]:text-is("Gong Ageng")');
		await s.settle();
		assert.equal(await s.bridge.get(0), 0.8);
		assert.equal(await s.page.getAttribute('[data-path="ir.instrument"] [data-index="4"]', 'aria-checked'), 'true');

		// Arrow keys move through the mallets.
		await s.page.focus('[role="radiogroup"][data-path="mallet.type"] [aria-checked="true"]');
		await s.page.keyboard.press('ArrowRight');
		await s.page.keyboard.press('ArrowRight');
		await s.settle();
		assert.ok(close(await s.bridge.get(7), 2 / 3, 1e-12));
		assert.equal(await s.page.evaluate(() => document.activeElement.textContent), 'Wood');
		await s.page.keyboard.press('End');
		await s.settle();
		assert.equal(await s.bridge.get(7), 1);

		// A host change of the list moves the selection.
		s.bridge.send({ zorv: 'set', id: 7, normalized: 1 / 3 });
		await s.page.waitForFunction(() => document.querySelector('[data-path="mallet.type"] [aria-checked="true"]').textContent === 'Felt');

		// The fixed-velocity switch: it says Off and On, to the eye and to a
		// screen reader, never the host's 0 and 1.
		const sw = s.page.locator('[role="switch"][data-path="performance.fixedVelocity"]');
		const spoken = async () => (await sw.ariaSnapshot()).trim();
		assert.equal(await sw.getAttribute('aria-checked'), 'false');
		assert.equal(await spoken(), '- switch "Fixed Velocity"');
		assert.equal(await s.page.textContent('.ctl[data-path="performance.fixedVelocity"] .ctl-value'), 'Off');
		assert.equal(await s.page.getAttribute('.ctl[data-path="performance.fixedVelocity"]', 'title'), 'Fixed Velocity: Off');
		await sw.click();
		await s.settle();
		assert.equal(await s.bridge.get(24), 1);
		assert.equal(await sw.getAttribute('aria-checked'), 'true');
		assert.equal(await spoken(), '- switch "Fixed Velocity" [checked]');
		assert.equal(await s.page.textContent('.ctl[data-path="performance.fixedVelocity"] .ctl-value'), 'On');
		assert.equal(await s.page.getAttribute('.ctl[data-path="performance.fixedVelocity"]', 'title'), 'Fixed Velocity: On');
		await sw.focus();
		await s.page.keyboard.press('Space');
		await s.settle();
		assert.equal(await s.bridge.get(24), 0);

		assertBracketed(s.sent);
		assertNoProblems(s);
	} finally {
		await s.close();
	}
});

// Sends a wheel event of any delta mode to an element, as a mouse (lines)
// or a scrolling keyboard (pages) would.
function wheelAt(page, selector, deltaY, deltaMode) {
	return page.$eval(selector, (e, [dy, mode]) => {
		const r = e.getBoundingClientRect();
		e.dispatchEvent(new WheelEvent('wheel', { deltaY: dy, deltaMode: mode, bubbles: true, cancelable: true,
			clientX: r.x + r.width / 2, clientY: r.y + r.height / 2 }));
	}, [deltaY, deltaMode]);
}

test('the wheel scrolls the page over a knob until the knob is picked, then moves with the delta', async () => {
	const s = await openEditor({ width: 720, height: 560 });
	try {
		const path = 'strike.position';
		const id = PARAM_IDS[path];
		const selector = `[role="slider"][data-path="${path}"]`;
		const dial = s.page.locator(selector);
		await dial.scrollIntoViewIfNeeded();
		await s.page.$eval('#content', (e) => { e.scrollTop = 0; });
		await s.settle();
		const scrollTop = () => s.page.$eval('#content', (e) => e.scrollTop);
		const box = await dial.boundingBox();
		await s.page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);

		// Not picked: the page scrolls and the sound stays.
		const quiet = s.sent.length;
		await s.page.mouse.wheel(0, 120);
		await s.page.waitForFunction(() => document.getElementById('content').scrollTop > 0);
		await s.settle();
		assert.equal(s.sent.length, quiet, 'nothing was sent');
		assert.equal(await s.bridge.get(id), 0.15);

		// Picked (focused): one mouse notch of about 50 px is 1 % of the range,
		// 100 px is 2 %, and the page stays put.
		await s.page.$eval('#content', (e) => { e.scrollTop = 0; });
		await dial.focus();
		const at = (await dial.boundingBox());
		await s.page.mouse.move(at.x + at.width / 2, at.y + at.height / 2);
		const before = await scrollTop();
		const turn = async (deltas, expected, what) => {
			const mark = s.sent.length;
			for (const d of deltas)
				await s.page.mouse.wheel(0, d);
			// The gesture ends a moment after the last event.
			await s.waitForSent((m) => s.sent.indexOf(m) >= mark && m.type === 'tavik.endEdit', `the end of ${what}`);
			await s.settle();
			const mine = s.sent.slice(mark);
			assert.equal(mine.filter((m) => m.type === 'tavik.beginEdit').length, 1, `${what} is one gesture`);
			assert.equal(mine.at(-1).type, 'tavik.endEdit');
			assert.ok(close(await s.bridge.get(id), expected, 1e-9), `${what} gives ${expected}, not ${await s.bridge.get(id)}`);
		};
		await turn([-50], 0.16, 'one notch');
		await turn([-100], 0.18, 'a 100 px notch');
		// A touchpad swipe: many small deltas add up to their length, they do
		// not make a step each.
		await turn(Array(20).fill(-5), 0.2, 'a 100 px swipe in 20 events');
		await turn([25, 25], 0.19, 'two half notches down');
		assert.equal(await scrollTop(), before, 'the page did not scroll under a picked knob');

		// Line and page modes: 3 lines are a notch, a page is ten.
		let mark = s.sent.length;
		await wheelAt(s.page, selector, -3, 1);
		await s.waitForSent((m) => s.sent.indexOf(m) >= mark && m.type === 'tavik.endEdit', 'a line-mode notch');
		await s.settle();
		assert.ok(close(await s.bridge.get(id), 0.2, 1e-9));
		mark = s.sent.length;
		await wheelAt(s.page, selector, -1, 2);
		await s.waitForSent((m) => s.sent.indexOf(m) >= mark && m.type === 'tavik.endEdit', 'a page-mode event');
		await s.settle();
		assert.ok(close(await s.bridge.get(id), 0.3, 1e-9));

		// Away from the knob again (focus elsewhere), the wheel scrolls.
		await s.page.focus('#preset-toggle');
		const still = s.sent.length;
		await s.page.mouse.wheel(0, 120);
		await s.page.waitForFunction((t) => document.getElementById('content').scrollTop > t, before);
		await s.settle();
		assert.equal(s.sent.length, still);
		assertBracketed(s.sent);
		assertNoProblems(s);
	} finally {
		await s.close();
	}
});

test('a musician can type an exact value into a knob', async () => {
	const s = await openEditor();
	try {
		const entry = '.ctl input.value-entry';
		const commit = async (path, text) => {
			const mark = s.sent.length;
			await s.page.fill(entry, text);
			await s.page.press(entry, 'Enter');
			await s.settle();
			return s.sent.slice(mark);
		};
		// Enter on a focused knob opens the field with the readout in it.
		await s.page.focus('[role="slider"][data-path="master.level"]');
		await s.page.keyboard.press('Enter');
		assert.equal(await s.page.evaluate(() => document.activeElement.classList.contains('value-entry')), true);
		assert.equal(await s.page.inputValue(entry), '0.8');
		assert.equal(await s.page.getAttribute(entry, 'aria-label'), 'Level');
		let mine = await commit('master.level', '0.45');
		assert.deepEqual(mine, [{ type: 'tavik.beginEdit', path: 'master.level' },
			{ type: 'tavik.setParam', path: 'master.level', value: 0.45 },
			{ type: 'tavik.endEdit', path: 'master.level' }]);
		assert.equal(await s.bridge.get(PARAM_IDS['master.level']), 0.45);
		assert.equal((await knobState(s.page, 'master.level')).shown, '0.45');
		assert.equal(await s.page.evaluate(() => document.activeElement.dataset.path), 'master.level', 'focus is back on the knob');
		assert.equal(await s.page.locator(entry).count(), 0);

		// A double-click on the readout opens it too; the host's texts work:
		// a unit after the number, an exponent, a value past the range.
		const open = async (path) => {
			const out = s.page.locator(`.ctl[data-path="${path}"] .ctl-value`);
			await out.scrollIntoViewIfNeeded();
			await out.dblclick();
			await s.page.waitForSelector(entry);
		};
		await open('bloom.time');
		assert.equal(await s.page.inputValue(entry), '0.8 s');
		await commit('bloom.time', '1.25 s');
		assert.equal((await knobState(s.page, 'bloom.time')).shown, '1.25 s');
		assert.ok(close(await s.bridge.get(PARAM_IDS['bloom.time']), (1.25 - 0.1) / 2.9, 1e-12));
		await open('bloom.time');
		await commit('bloom.time', ' 2.5e-1');
		assert.equal((await knobState(s.page, 'bloom.time')).shown, '0.25 s');
		await open('bloom.time');
		await commit('bloom.time', '99');
		assert.equal(await s.bridge.get(PARAM_IDS['bloom.time']), 1, 'held to the range');
		await open('model.stiffness');
		await commit('model.stiffness', '-0.333333333');
		assert.equal((await knobState(s.page, 'model.stiffness')).shown, '-0.333333');

		// Base Pitch takes a note name, or Hz in hexadecimal as strtod would.
		await open('tuning.baseFreq');
		mine = await commit('tuning.baseFreq', 'A3');
		assert.deepEqual(mine.map((m) => m.type), ['tavik.beginEdit', 'tavik.setParam', 'tavik.endEdit']);
		assert.deepEqual(await knobState(s.page, 'tuning.baseFreq'), { now: 220, text: '220 Hz, A3', shown: '220 Hz', note: 'A3' });
		await open('tuning.baseFreq');
		await commit('tuning.baseFreq', 'C#3');
		assert.equal((await knobState(s.page, 'tuning.baseFreq')).shown, '138.5913 Hz');
		assert.equal((await knobState(s.page, 'tuning.baseFreq')).note, 'C#3');
		await open('tuning.baseFreq');
		await commit('tuning.baseFreq', '0x48');
		assert.deepEqual(await knobState(s.page, 'tuning.baseFreq'), { now: 72, text: '72 Hz, D2 −34¢', shown: '72 Hz', note: 'D2 −34¢' });

		// A text that names no value: a short error, nothing sent, the field
		// stays for another try; Escape then leaves everything as it was.
		await open('tuning.baseFreq');
		const quiet = s.sent.length;
		await s.page.fill(entry, 'loud');
		await s.page.press(entry, 'Enter');
		assert.equal(await s.page.getAttribute(entry, 'aria-invalid'), 'true');
		assert.equal(await s.page.textContent('.ctl .entry-error'), 'Type Hz or a note');
		await s.page.fill(entry, 'nan');
		await s.page.press(entry, 'Enter');
		assert.equal(await s.page.locator(entry).count(), 1, 'NaN is refused as the host refuses it');
		await s.page.press(entry, 'Escape');
		assert.equal(await s.page.locator(entry).count(), 0);
		assert.equal(await s.page.locator('.ctl .entry-error').count(), 0);
		assert.equal(await s.page.evaluate(() => document.activeElement.dataset.path), 'tuning.baseFreq');
		// Leaving the field cancels it too.
		await open('master.level');
		await s.page.fill(entry, '0.1');
		await s.page.focus('#preset-toggle');
		await s.settle();
		assert.equal(s.sent.length, quiet, 'nothing was sent');
		assert.equal(await s.bridge.get(PARAM_IDS['master.level']), 0.45);
		assertBracketed(s.sent);
		assertNoProblems(s);
	} finally {
		await s.close();
	}
});

test('the focus ring stays clear of a knob turned all the way up', async () => {
	const s = await openEditor();
	try {
		// Ring (Decay time) starts at its top, 15 s: the arc runs all the way.
		const dial = s.page.locator('[role="slider"][data-path="amp.decay"]');
		await dial.scrollIntoViewIfNeeded();
		assert.equal((await knobState(s.page, 'amp.decay')).now, 15);
		const box = await dial.boundingBox();
		const pad = 12;
		const clip = { x: box.x - pad, y: box.y - pad, width: box.width + 2 * pad, height: box.height + 2 * pad };
		// For 90 directions from the dial's centre, the brightest pixel
		// within `spread` of `radius` (luma, 0..255).
		const brightest = (img, radius, spread) => Array.from({ length: 90 }, (_, i) => {
			const a = (i / 90) * 2 * Math.PI;
			let best = 0;
			for (let d = -spread; d <= spread; d += 0.5) {
				const x = Math.round(clip.width / 2 + (radius + d) * Math.cos(a));
				const y = Math.round(clip.height / 2 + (radius + d) * Math.sin(a));
				const k = 4 * (y * img.width + x);
				best = Math.max(best, 0.2126 * img.data[k] + 0.7152 * img.data[k + 1] + 0.0722 * img.data[k + 2]);
			}
			return best;
		});
		// The share of those directions that are light.
		const lit = (img, radius, spread = 0) => brightest(img, radius, spread).filter((l) => l > 150).length / 90;
		const median = (xs) => [...xs].sort((a, b) => a - b)[xs.length >> 1];
		const r = box.width / 2;
		await s.page.focus('#preset-toggle');
		await s.page.keyboard.press('Tab');
		await dial.focus();
		assert.equal(await dial.evaluate((e) => e.matches(':focus-visible')), true);
		const focused = await decodePng(s.context, await s.page.screenshot({ clip }));
		await s.page.evaluate(() => document.activeElement.blur());
		const plain = await decodePng(s.context, await s.page.screenshot({ clip }));
		// The ring lies 1 to 3 px outside the dial; between it and the brass
		// arc (which ends 2.5 px inside the dial) stays a dark gap.
		assert.ok(lit(focused, r + 2, 1) > 0.95, `the ring shows all round (${lit(focused, r + 2, 1)})`);
		assert.ok(lit(focused, r - 1) < 0.05, 'a dark gap separates it from the arc');
		assert.ok(lit(plain, r + 2, 1) < 0.05, 'no ring without focus');
		assert.ok(lit(plain, r - 4.2, 1) > 0.7, 'the arc runs most of the way round');
		// And the ring is plainly lighter than the arc it circles.
		const ring = median(brightest(focused, r + 2, 1));
		const arc = median(brightest(plain, r - 4.2, 1).filter((l) => l > 150));
		assert.ok(ring - arc > 35, `the ring (${ring.toFixed(0)}) stands out from the arc (${arc.toFixed(0)})`);
		assertNoProblems(s);
	} finally {
		await s.close();
	}
});

// The values a host hands back after keeping them as 32-bit floats: clean
// plain values (defaults, quarters, the factory presets' settings, every
// list entry) through Math.fround, the two ends, and values that are
// awkward for a formatter.
function tableValues(p, presets) {
	const span = p.max - p.min;
	const norm = (plain) => (p.kind === 'list' ? plain / (p.entries.length - 1) : (plain - p.min) / span);
	const plains = new Set([p.def, p.min + span / 4, p.min + span / 2, p.min + (3 * span) / 4,
		p.min + span / 3, p.min + span / 10]);
	for (const preset of presets)
		if (typeof preset.values[p.path] === 'number')
			plains.add(preset.values[p.path]);
	if (p.kind === 'list')
		p.entries.forEach((_, i) => plains.add(i));
	const values = new Set([...plains].map((v) => Math.fround(norm(p.kind === 'list' ? Math.round(v) : v))));
	for (const v of [0, 1, Math.fround(1 / 3), Math.fround(0.1), 2 ** -24, 1 - 2 ** -24, 0.49999999, 0.5000001])
		values.add(v);
	// A plain value exactly half way between two shown decimals, and a
	// negative one where a row crosses zero.
	if (p.kind !== 'list') {
		const scale = 10 ** p.decimals;
		values.add(norm((Math.floor(((p.min + p.max) / 2) * scale) + 0.5) / scale));
		if (p.min < 0)
			values.add(norm(-0.5 / scale));
	}
	return [...values];
}

// The page's own rules, run in the page on the tables it was served: the
// plain value of a normalized one, its display text and the unit.
function pageReckons(page, values) {
	return page.evaluate(async (vs) => {
		const { BY_PATH, toPlain, valueText } = await import(new URL('js/params.js', document.baseURI).href);
		return vs.map(({ path, n }) => {
			const p = BY_PATH.get(path);
			const plain = toPlain(p, n);
			return { plain, text: valueText(p, plain), unit: p.unit };
		});
	}, values);
}

test('every value a host sets shows, and the page reckons, exactly as the controller does', async () => {
	const s = await openEditor();
	try {
		const hello = s.bridge.messages((m) => m.type === 'tavik.hello')[0];
		const table = TABLES.PARAMETERS.map((p) => ({ p, id: p.id, values: tableValues(p, hello.factoryPresets) }));
		assert.equal(table.length, hello.params.length, 'the page has a row for every parameter');
		const rounds = Math.max(...table.map((t) => t.values.length));
		let checked = 0;
		for (let round = 0; round < rounds; ++round) {
			const batch = table.filter((t) => round < t.values.length).map((t) => ({ ...t, n: t.values[round] }));
			for (const t of batch)
				s.bridge.send({ zorv: 'set', id: t.id, normalized: t.n });
			const texts = await Promise.all(batch.map((t) => s.bridge.text(t.id, t.n)));
			const reckoned = await pageReckons(s.page, batch.map((t) => ({ path: t.p.path, n: t.n })));
			await s.settle();
			const shown = await s.page.evaluate((paths) => paths.map((path) => {
				const ctl = document.querySelector(`.ctl[data-path="${path}"]`);
				const dial = ctl.querySelector('[role="slider"]');
				if (dial)
					return { shown: ctl.querySelector('.value-text').textContent, now: dial.getAttribute('aria-valuenow'),
						valuetext: dial.getAttribute('aria-valuetext') };
				const radio = ctl.querySelector('[role="radio"][aria-checked="true"]');
				if (radio)
					return { shown: radio.textContent };
				return { shown: ctl.querySelector('.ctl-value').textContent, checked: ctl.querySelector('[role="switch"]').getAttribute('aria-checked') };
			}), batch.map((t) => t.p.path));
			batch.forEach((t, i) => {
				const host = texts[i];
				const what = `${t.p.path} at ${t.n}`;
				// The page's conversions, whatever it shows for them.
				assert.equal(reckoned[i].plain, host.plain, `${what}: plain value`);
				assert.equal(reckoned[i].text, host.text, `${what}: value text`);
				assert.equal(reckoned[i].unit, host.units, `${what}: unit`);
				if (t.p.path === 'performance.fixedVelocity') {
					assert.ok(host.text === '0' || host.text === '1', what);
					assert.equal(shown[i].shown, host.text === '1' ? 'On' : 'Off', what);
					assert.equal(shown[i].checked, String(host.text === '1'), what);
				} else if (t.p.kind === 'list') {
					assert.equal(shown[i].shown, host.text, what);
				} else {
					const expected = host.units ? `${host.text} ${host.units}` : host.text;
					assert.equal(shown[i].shown, expected, what);
					assert.equal(shown[i].now, host.text, `${what}: aria-valuenow`);
					assert.ok(shown[i].valuetext.startsWith(expected), `${what}: aria-valuetext`);
					assert.doesNotMatch(host.text, /\d{7}/, `${what}: no float noise in "${host.text}"`);
				}
				++checked;
			});
		}
		assert.ok(checked > 26 * 15, `${checked} values checked`);
		assertNoProblems(s);
	} finally {
		await s.close();
	}
});
