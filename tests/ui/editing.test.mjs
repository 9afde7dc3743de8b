// Editing parameters: every gesture reaches the controller bracketed as one
// edit, the controller does not echo it back, and the host's own changes
// move the controls.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { openEditor, closeBrowser, PARAM_IDS } from './harness.mjs';
import { assertBracketed, editsFor, assertNoProblems, knobState, close } from './checks.mjs';

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
			.getAttribute('aria-valuetext') === '220 Hz');

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
		assert.equal((await knobState(s.page, path)).text, '55 Hz');

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
		const focusRing = await dial.evaluate((e) => getComputedStyle(e).outlineStyle);
		assert.notEqual(focusRing, 'none', 'the focused knob shows a focus ring');

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

		// The wheel: one notch, one gesture.
		const box = await dial.boundingBox();
		await s.page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
		let sentMark = s.sent.length;
		await s.page.mouse.wheel(0, -100);
		await s.settle();
		assert.deepEqual(s.sent.slice(sentMark).map((m) => m.type), ['tavik.beginEdit', 'tavik.setParam', 'tavik.endEdit']);
		assert.ok(close(await s.bridge.get(id), 0.01, 1e-12));

		// Double-click: back to the default, 0.15.
		sentMark = s.sent.length;
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

		// The fixed-velocity switch.
		const sw = s.page.locator('[role="switch"][data-path="performance.fixedVelocity"]');
		assert.equal(await sw.getAttribute('aria-checked'), 'false');
		await sw.click();
		await s.settle();
		assert.equal(await s.bridge.get(24), 1);
		assert.equal(await sw.getAttribute('aria-checked'), 'true');
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
