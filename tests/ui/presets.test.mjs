// The preset browser: loading a factory preset through the controller, the
// name and the edited mark.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { openEditor, closeBrowser, PARAM_IDS, PROGRAM_CHANGE_ID } from './harness.mjs';
import { editsFor, assertNoProblems, knobState, assertBracketed } from './checks.mjs';

after(closeBrowser);

const dirtyShown = (page) => page.isVisible('#preset-dirty');
const presetName = (page) => page.textContent('#preset-name');

test('choosing a preset applies it through the controller and tracks edits', async () => {
	const s = await openEditor();
	try {
		assert.equal(await presetName(s.page), 'No preset');
		assert.equal(await dirtyShown(s.page), false);
		const hello = s.bridge.messages((m) => m.type === 'tavik.hello')[0];
		const table = hello.factoryPresets.find((p) => p.id === 'factory-8');

		const mark = s.bridge.lines.length;
		await s.page.click('#preset-toggle');
		assert.equal(await s.page.getAttribute('#preset-toggle', 'aria-expanded'), 'true');
		await s.page.click('#preset-menu [data-preset-id="factory-8"]');
		await s.settle();

		assert.deepEqual(s.sentOf('tavik.loadFactoryPreset'), [{ type: 'tavik.loadFactoryPreset', id: 'factory-8' }]);
		// The controller edited its program-change parameter to 7/9 as one gesture.
		const pc = editsFor(s.bridge, PROGRAM_CHANGE_ID, mark);
		assert.deepEqual(pc.map((e) => e.kind), ['begin', 'perform', 'end']);
		assert.ok(Math.abs(pc[1].normalized - 7 / 9) < 1e-12);
		// The knobs follow the controller's 26 reports.
		const reports = s.bridge.lines.slice(mark).map((l) => l.obj).filter((o) => o && o.type === 'tavik.paramChanged');
		assert.equal(reports.length, 26);
		assert.equal((await knobState(s.page, 'tuning.baseFreq')).text, '220 Hz');
		assert.equal((await knobState(s.page, 'ir.size')).now, table.values['ir.size']);
		assert.equal(await s.page.textContent('[data-path="ir.instrument"] [aria-checked="true"]'), 'Symphonic');
		assert.equal(await s.page.textContent('[data-path="mallet.type"] [aria-checked="true"]'), 'Wood');
		assert.equal(await presetName(s.page), 'Table Gong');
		assert.equal(await dirtyShown(s.page), false, 'a fresh preset is clean');
		assert.equal(await s.page.isVisible('#preset-menu'), false, 'the menu closed');
		assert.equal(await s.page.getAttribute('#preset-menu [data-preset-id="factory-8"]', 'aria-checked'), 'true');

		// A tweak makes it dirty; putting the value back makes it clean again.
		const dial = s.page.locator('[role="slider"][data-path="exciter.noise"]');
		await dial.focus();
		await s.page.keyboard.press('ArrowUp');
		await s.settle();
		assert.equal(await dirtyShown(s.page), true);
		assert.match(await s.page.getAttribute('#preset-toggle', 'aria-label'), /edited/);
		await s.page.keyboard.press('ArrowDown');
		await s.settle();
		assert.equal((await knobState(s.page, 'exciter.noise')).now, 0.1);
		assert.equal(await dirtyShown(s.page), false);

		// Host automation also counts as an edit.
		s.bridge.send({ zorv: 'set', id: PARAM_IDS['ir.size'], normalized: 1 });
		await s.page.waitForSelector('#preset-dirty', { state: 'visible' });

		// Next preset: factory-9, clean again.
		await s.page.click('#preset-next');
		await s.settle();
		assert.equal(await presetName(s.page), 'Symphonic Swell');
		assert.equal(await dirtyShown(s.page), false);
		await s.page.click('#preset-prev');
		await s.page.click('#preset-prev');
		await s.settle();
		assert.equal(await presetName(s.page), 'Great Tam');
		assert.equal((await knobState(s.page, 'tuning.baseFreq')).text, '72 Hz');
		assert.equal(await dirtyShown(s.page), false);
		assertBracketed(s.sent);
		assertNoProblems(s);
	} finally {
		await s.close();
	}
});

test('the preset menu works from the keyboard', async () => {
	const s = await openEditor();
	try {
		await s.page.focus('#preset-toggle');
		await s.page.keyboard.press('Enter');
		await s.page.waitForSelector('#preset-menu', { state: 'visible' });
		await s.page.keyboard.press('ArrowDown');
		await s.page.keyboard.press('ArrowDown');
		assert.equal(await s.page.evaluate(() => document.activeElement.dataset.presetId), 'factory-3');
		await s.page.keyboard.press('Enter');
		await s.settle();
		assert.equal(await presetName(s.page), 'Wind Gong Splash');
		assert.equal(await s.page.evaluate(() => document.activeElement.id), 'preset-toggle');
		await s.page.keyboard.press('Enter');
		await s.page.keyboard.press('Escape');
		assert.equal(await s.page.isVisible('#preset-menu'), false);
		assertNoProblems(s);
	} finally {
		await s.close();
	}
});

test('a program change from the host shows that preset', async () => {
	const s = await openEditor();
	try {
		s.bridge.send({ zorv: 'set', id: PROGRAM_CHANGE_ID, normalized: 9 / 9 });
		await s.page.waitForFunction(() => document.getElementById('preset-name').textContent === 'Metal Beater Clang');
		assert.equal(await dirtyShown(s.page), false);
		assert.equal(await s.page.textContent('[data-path="mallet.type"] [aria-checked="true"]'), 'Metal');
		assertNoProblems(s);
	} finally {
		await s.close();
	}
});
