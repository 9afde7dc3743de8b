// The preset browser: the name and edited mark as the controller reports
// them after every kind of program change, the menu from the keyboard, and
// saving, loading, renaming and deleting user presets.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { openEditor, closeBrowser, PARAM_IDS, PROGRAM_CHANGE_ID } from './harness.mjs';
import { editsFor, assertNoProblems, knobState, assertBracketed } from './checks.mjs';

after(closeBrowser);

const dirtyShown = (page) => page.isVisible('#preset-dirty');
const presetName = (page) => page.textContent('#preset-name');
const lastState = (bridge) => bridge.messages((m) => m.type === 'tavik.presetState').at(-1);
// What the preset box is called for assistive technology: its visible text
// with "Preset:" before a name.
const toggleName = async (page) => (await page.locator('#preset-toggle').ariaSnapshot()).match(/button "(.*)"/)[1];

// Waits until the page shows what the controller last reported.
async function showsReported(s, what) {
	await s.settle();
	const state = lastState(s.bridge).presetState;
	assert.equal(await presetName(s.page), state.currentName ?? 'No preset', `${what}: the name`);
	assert.equal(await dirtyShown(s.page), Boolean(state.currentId && state.dirty), `${what}: the edited mark`);
	return state;
}

test('a preset chosen in the page shows at once, then as the controller reports it', async () => {
	const s = await openEditor();
	try {
		assert.equal(await presetName(s.page), 'No preset');
		assert.equal(await dirtyShown(s.page), false);
		assert.equal(await toggleName(s.page), 'No preset');
		const hello = s.bridge.messages((m) => m.type === 'tavik.hello')[0];
		const table = hello.factoryPresets.find((p) => p.id === 'factory-8');

		const mark = s.bridge.lines.length;
		await s.page.click('#preset-toggle');
		assert.equal(await s.page.getAttribute('#preset-toggle', 'aria-expanded'), 'true');
		// The name changes in the same moment as the click, before any answer.
		assert.equal(await s.page.evaluate(() => {
			document.querySelector('#preset-menu [data-preset-id="factory-8"]').click();
			return document.getElementById('preset-name').textContent;
		}), 'Table Gong');
		await s.settle();

		assert.deepEqual(s.sentOf('tavik.loadFactoryPreset'), [{ type: 'tavik.loadFactoryPreset', id: 'factory-8' }]);
		// The controller edited its program-change parameter to 7/9 as one gesture.
		const pc = editsFor(s.bridge, PROGRAM_CHANGE_ID, mark);
		assert.deepEqual(pc.map((e) => e.kind), ['begin', 'perform', 'end']);
		assert.ok(Math.abs(pc[1].normalized - 7 / 9) < 1e-12);
		// The knobs follow the controller's 26 reports.
		const reports = s.bridge.lines.slice(mark).map((l) => l.obj).filter((o) => o && o.type === 'tavik.paramChanged');
		assert.equal(reports.length, 26);
		assert.equal((await knobState(s.page, 'tuning.baseFreq')).shown, '220 Hz');
		assert.equal((await knobState(s.page, 'ir.size')).now, table.values['ir.size']);
		assert.equal(await s.page.textContent('[data-path="ir.instrument"] [aria-checked="true"]'), 'Symphonic');
		assert.equal(await s.page.textContent('[data-path="mallet.type"] [aria-checked="true"]'), 'Wood');
		let state = await showsReported(s, 'after loading');
		assert.equal(state.currentId, 'factory-8');
		assert.equal(state.dirty, false);
		assert.equal(lastState(s.bridge).origin, 'editor');
		assert.equal(await s.page.isVisible('#preset-menu'), false, 'the menu closed');
		assert.equal(await s.page.getAttribute('#preset-menu [data-preset-id="factory-8"]', 'aria-checked'), 'true');
		assert.equal(await toggleName(s.page), 'Preset: Table Gong');

		// A tweak: the controller marks it edited, and so does the page.
		const dial = s.page.locator('[role="slider"][data-path="exciter.noise"]');
		await dial.focus();
		await s.page.keyboard.press('ArrowUp');
		await s.page.waitForSelector('#preset-dirty', { state: 'visible' });
		state = await showsReported(s, 'after an edit');
		assert.equal(state.dirty, true);
		assert.equal(await toggleName(s.page), 'Preset: Table Gong edited');

		// Next preset: factory-9, clean again; back two: factory-7.
		await s.page.click('#preset-next');
		assert.equal(await presetName(s.page), 'Symphonic Swell');
		state = await showsReported(s, 'after Next');
		assert.equal(state.currentId, 'factory-9');
		await s.page.click('#preset-prev');
		await s.page.click('#preset-prev');
		state = await showsReported(s, 'after Previous twice');
		assert.equal(state.currentName, 'Great Tam');
		assert.equal((await knobState(s.page, 'tuning.baseFreq')).shown, '72 Hz');

		// Host automation is an edit too.
		s.bridge.send({ zorv: 'set', id: PARAM_IDS['ir.size'], normalized: 1 });
		await s.page.waitForSelector('#preset-dirty', { state: 'visible' });
		await showsReported(s, 'after automation');
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
		const focused = () => s.page.evaluate(() => document.activeElement.dataset.presetId || document.activeElement.dataset.action);
		assert.equal(await focused(), 'factory-1', 'nothing chosen yet: the first item');
		await s.page.keyboard.press('ArrowDown');
		await s.page.keyboard.press('ArrowDown');
		assert.equal(await focused(), 'factory-3');
		await s.page.keyboard.press('End');
		assert.equal(await focused(), 'manage');
		await s.page.keyboard.press('ArrowUp');
		assert.equal(await focused(), 'save');
		await s.page.keyboard.press('ArrowDown');
		await s.page.keyboard.press('ArrowDown');
		assert.equal(await focused(), 'factory-1', 'down from the last wraps to the first');
		await s.page.keyboard.press('Home');
		assert.equal(await focused(), 'factory-1');
		await s.page.keyboard.press('ArrowUp');
		assert.equal(await focused(), 'manage', 'up from the first wraps to the last');
		await s.page.keyboard.press('Home');
		await s.page.keyboard.press('ArrowDown');
		await s.page.keyboard.press('ArrowDown');
		await s.page.keyboard.press('Enter');
		await s.settle();
		assert.equal(await presetName(s.page), 'Wind Gong Splash');
		assert.equal(await s.page.evaluate(() => document.activeElement.id), 'preset-toggle');
		// Reopened, the menu starts at the current preset.
		await s.page.keyboard.press('Enter');
		assert.equal(await focused(), 'factory-3');
		await s.page.keyboard.press('Escape');
		assert.equal(await s.page.isVisible('#preset-menu'), false);
		assert.equal(await s.page.evaluate(() => document.activeElement.id), 'preset-toggle');
		assertNoProblems(s);
	} finally {
		await s.close();
	}
});

test('a program change from the host and a restored state show what the controller says', async () => {
	const s = await openEditor();
	try {
		// The state with no preset, as a host would have saved it.
		const ask = async () => {
			const mark = s.bridge.lines.length;
			await s.page.evaluate(() => window.tavikHost.postMessage({ type: 'tavik.getState' }));
			return (await s.bridge.waitFor((o) => o.type === 'tavik.state', 'the state', 5000, mark)).state;
		};
		const plain = await ask();

		s.bridge.send({ zorv: 'set', id: PROGRAM_CHANGE_ID, normalized: 9 / 9 });
		s.bridge.send({ zorv: 'tick' });
		await s.page.waitForFunction(() => document.getElementById('preset-name').textContent === 'Metal Beater Clang');
		let state = await showsReported(s, 'after the host\'s program change');
		assert.equal(lastState(s.bridge).origin, 'host');
		assert.equal(state.dirty, false);
		assert.equal(await s.page.textContent('[data-path="mallet.type"] [aria-checked="true"]'), 'Metal');
		const withPreset = await ask();

		// A state without a preset: "No preset", however it was restored.
		await s.page.evaluate((st) => window.tavikHost.postMessage({ type: 'tavik.setState', state: st }), plain);
		await s.page.waitForFunction(() => document.getElementById('preset-name').textContent === 'No preset');
		state = await showsReported(s, 'after a state without a preset');
		assert.equal(lastState(s.bridge).origin, 'state');
		assert.equal(state.currentId, undefined);
		assert.equal(await dirtyShown(s.page), false);
		// A state saved while a preset was current: the page shows what the
		// controller makes of it.
		const mark = s.bridge.lines.length;
		await s.page.evaluate((st) => window.tavikHost.postMessage({ type: 'tavik.setState', state: st }), withPreset);
		await s.bridge.waitFor((o) => o.type === 'tavik.presetState' && o.origin === 'state', 'the restored state\'s report', 5000, mark);
		await showsReported(s, 'after a state saved with a preset');
		assertNoProblems(s);
	} finally {
		await s.close();
	}
});

// Opens the save dialog from the menu with the keyboard, types a name and
// saves; resolves with the controller's answer.
async function saveAs(s, name, { replace = false } = {}) {
	await s.page.focus('#preset-toggle');
	await s.page.keyboard.press('Enter');
	await s.page.waitForSelector('#preset-menu', { state: 'visible' });
	await s.page.focus('#preset-menu [data-action="save"]');
	await s.page.keyboard.press('Enter');
	await s.page.waitForSelector('#save-dialog[open]');
	assert.equal(await s.page.evaluate(() => document.activeElement.id), 'save-name');
	const mark = s.bridge.lines.length;
	await s.page.fill('#save-name', name);
	await s.page.keyboard.press('Enter');
	let answer = await s.bridge.waitFor((o) => o.type === 'tavik.presetResult' && o.action === 'save', 'a save result', 5000, mark);
	if (replace && answer.exists) {
		await s.page.waitForSelector('#save-replace:not([hidden])');
		assert.equal(await s.page.evaluate(() => document.activeElement.id), 'save-replace', 'the offer to replace has the focus');
		const again = s.bridge.lines.length;
		await s.page.keyboard.press('Enter');
		answer = await s.bridge.waitFor((o) => o.type === 'tavik.presetResult' && o.action === 'save', 'a save result', 5000, again);
	}
	await s.settle();
	return answer;
}

test('saving a preset from the page, with names refused and replaced', async () => {
	const s = await openEditor();
	try {
		await s.page.focus('[role="slider"][data-path="master.level"]');
		await s.page.keyboard.press('End');
		let answer = await saveAs(s, '  My Bell ');
		assert.deepEqual(s.sentOf('tavik.savePreset').at(-1), { type: 'tavik.savePreset', name: 'My Bell' });
		assert.equal(answer.ok, true);
		assert.equal(await s.page.isVisible('#save-dialog'), false, 'a saved preset closes the dialog');
		assert.equal(await s.page.evaluate(() => document.activeElement.id), 'preset-toggle', 'focus is back where it was');
		assert.equal(await s.page.textContent('#preset-toast'), answer.message);
		const state = await showsReported(s, 'after saving');
		assert.equal(state.currentId, 'user:My Bell');
		// The list now has it, in the menu.
		assert.deepEqual(await s.page.$$eval('#preset-menu [role="group"][aria-label="Saved presets"] .preset-title',
			(els) => els.map((e) => e.textContent)), ['My Bell']);

		// A name that is taken: the controller's words and an offer to replace.
		answer = await saveAs(s, 'My Bell');
		assert.equal(answer.ok, false);
		assert.equal(answer.exists, true);
		assert.equal(await s.page.textContent('#save-error'), answer.message);
		assert.equal(await s.page.isVisible('#save-replace'), true);
		// Typing another name withdraws the offer; a refused name says why.
		await s.page.fill('#save-name', 'Bell: bright');
		assert.equal(await s.page.isVisible('#save-replace'), false);
		await s.page.keyboard.press('Enter');
		answer = await s.bridge.waitFor((o) => o.type === 'tavik.presetResult' && o.action === 'save' && o.ok === false && !o.exists, 'a refusal');
		await s.page.waitForFunction((m) => document.getElementById('save-error').textContent === m, answer.message);
		assert.equal(await s.page.getAttribute('#save-name', 'aria-invalid'), 'true');
		assert.equal(await s.page.evaluate(() => document.activeElement.id), 'save-name');
		// An empty name is caught before it is sent.
		const sent = s.sentOf('tavik.savePreset').length;
		await s.page.fill('#save-name', '   ');
		await s.page.keyboard.press('Enter');
		assert.equal(await s.page.textContent('#save-error'), 'Type a name for the preset.');
		assert.equal(s.sentOf('tavik.savePreset').length, sent);
		// Escape cancels.
		await s.page.keyboard.press('Escape');
		assert.equal(await s.page.isVisible('#save-dialog'), false);

		// Replace it for real, after another edit.
		await s.page.focus('[role="slider"][data-path="master.level"]');
		await s.page.keyboard.press('Home');
		answer = await saveAs(s, 'My Bell', { replace: true });
		assert.equal(answer.ok, true);
		assert.deepEqual(s.sentOf('tavik.savePreset').at(-1), { type: 'tavik.savePreset', name: 'My Bell', overwrite: true });
		assert.equal(await s.page.isVisible('#save-dialog'), false);
		assertNoProblems(s);
	} finally {
		await s.close();
	}
});

test('saved presets load, rename and delete from the keyboard, and unusable files say why', async () => {
	// A session saves a preset; the next finds it, with two files that are
	// not presets of this instrument.
	const first = await openEditor();
	let bytes;
	try {
		await first.page.focus('[role="slider"][data-path="tuning.baseFreq"]');
		await first.page.keyboard.press('Home');
		assert.equal((await saveAs(first, 'Low Bell')).ok, true);
		bytes = readFileSync(join(first.bridge.presetFolder, 'Low Bell.vstpreset'));
		assertNoProblems(first);
	} finally {
		await first.close();
	}
	const s = await openEditor({ presetFiles: {
		'Low Bell.vstpreset': bytes,
		'Broken.vstpreset': bytes.subarray(0, 40),
		'Foreign.vstpreset': Buffer.concat([Buffer.from('VST3'), Buffer.alloc(60, 0x41)]),
	} });
	try {
		await s.settle();
		// The menu lists them by name; the unusable ones greyed, with the
		// controller's reason, and not loadable.
		const list = s.bridge.messages((m) => m.type === 'tavik.presetList').at(-1);
		assert.deepEqual(list.presets.map((p) => [p.name, p.usable]), [['Broken', false], ['Foreign', false], ['Low Bell', true]]);
		const menu = await s.page.$$eval('#preset-menu [aria-label="Saved presets"] [role="menuitemradio"]', (els) => els.map((e) => ({
			title: e.querySelector('.preset-title').textContent,
			problem: e.querySelector('.preset-problem')?.textContent ?? null,
			disabled: e.getAttribute('aria-disabled'),
		})));
		assert.deepEqual(menu, list.presets.map((p) => ({ title: p.name, problem: p.usable ? null : p.problem,
			disabled: p.usable ? null : 'true' })));
		await s.page.click('#preset-toggle');
		await s.page.click('#preset-menu [data-preset-id="user:Broken"]', { force: true });
		await s.settle();
		assert.equal(s.sentOf('tavik.loadPreset').length, 0, 'an unusable file is not asked for');

		// Load the saved one from the menu.
		await s.page.click('#preset-menu [data-preset-id="user:Low Bell"]');
		assert.equal(await presetName(s.page), 'Low Bell');
		await s.bridge.waitFor((o) => o.type === 'tavik.presetResult' && o.action === 'load', 'the load result');
		const state = await showsReported(s, 'after loading a saved preset');
		assert.equal(state.currentId, 'user:Low Bell');
		assert.equal((await knobState(s.page, 'tuning.baseFreq')).shown, '55 Hz');

		// The drawer, from the menu's last item.
		await s.page.focus('#preset-toggle');
		await s.page.keyboard.press('Enter');
		await s.page.keyboard.press('End');
		await s.page.keyboard.press('Enter');
		await s.page.waitForSelector('#preset-drawer', { state: 'visible' });
		assert.equal(await s.page.$eval('#content', (e) => e.inert), true);
		assert.match(await s.page.textContent('#preset-folder'), /\.vst3\/presets\/Tavik Music\/Zorv/);
		const rows = await s.page.$$eval('#preset-user-list li', (els) => els.map((e) => ({
			name: e.querySelector('.up-name').firstChild.textContent,
			problem: e.querySelector('.up-problem')?.textContent ?? null,
			actions: [...e.querySelectorAll('button')].map((b) => b.getAttribute('aria-label')),
		})));
		assert.deepEqual(rows.map((r) => r.name), ['Broken', 'Foreign', 'Low Bell']);
		assert.deepEqual(rows[2].actions, ['Load Low Bell', 'Rename Low Bell', 'Delete Low Bell']);
		assert.deepEqual(rows[0].actions, ['Rename Broken', 'Delete Broken'], 'an unusable file can be renamed or deleted, not loaded');
		assert.ok(rows[0].problem && rows[1].problem);

		// Rename with the keyboard: a refused name says why and keeps the field.
		const row = (name) => s.page.locator('#preset-user-list li', { has: s.page.locator('.up-name', { hasText: name }) });
		await row('Low Bell').locator('[data-action="rename"]').focus();
		await s.page.keyboard.press('Enter');
		assert.equal(await s.page.evaluate(() => document.activeElement.classList.contains('rename-input')), true);
		await s.page.keyboard.type('Deep*Bell');
		await s.page.keyboard.press('Enter');
		const refused = await s.bridge.waitFor((o) => o.type === 'tavik.presetResult' && o.action === 'rename', 'a rename result');
		assert.equal(refused.ok, false);
		await s.page.waitForFunction((m) => document.querySelector('#preset-user-list .field-error')?.textContent === m, refused.message);
		assert.equal(await s.page.evaluate(() => document.activeElement.classList.contains('rename-input')), true);
		const mark = s.bridge.lines.length;
		await s.page.fill('.rename-input', 'Deep Bell');
		await s.page.keyboard.press('Enter');
		const renamed = await s.bridge.waitFor((o) => o.type === 'tavik.presetResult' && o.action === 'rename', 'a rename result', 5000, mark);
		assert.equal(renamed.ok, true);
		await s.page.waitForFunction(() => [...document.querySelectorAll('#preset-user-list .up-name')].some((e) => e.firstChild.textContent === 'Deep Bell'));
		await s.settle();
		assert.equal(await s.page.textContent('#preset-drawer-status'), renamed.message);
		assert.equal(await s.page.evaluate(() => document.activeElement.getAttribute('aria-label')), 'Rename Deep Bell', 'focus follows the preset');
		assert.equal(await presetName(s.page), lastState(s.bridge).presetState.currentName ?? 'No preset');

		// Delete, confirmed; first changing one's mind.
		await row('Foreign').locator('[data-action="delete"]').click();
		await s.page.waitForSelector('#confirm-dialog[open]');
		assert.equal(await s.page.evaluate(() => document.activeElement.id), 'confirm-cancel', 'the safe answer has the focus');
		assert.match(await s.page.textContent('#confirm-title'), /Foreign/);
		await s.page.keyboard.press('Enter');
		assert.equal(await s.page.isVisible('#confirm-dialog'), false);
		assert.equal(s.sentOf('tavik.deletePreset').length, 0);
		assert.equal(await s.page.evaluate(() => document.activeElement.getAttribute('aria-label')), 'Delete Foreign');
		await s.page.keyboard.press('Enter');
		await s.page.waitForSelector('#confirm-dialog[open]');
		await s.page.keyboard.press('Tab');
		assert.equal(await s.page.evaluate(() => document.activeElement.id), 'confirm-ok');
		await s.page.keyboard.press('Enter');
		const deleted = await s.bridge.waitFor((o) => o.type === 'tavik.presetResult' && o.action === 'delete', 'a delete result');
		assert.equal(deleted.ok, true);
		assert.deepEqual(s.sentOf('tavik.deletePreset'), [{ type: 'tavik.deletePreset', id: 'user:Foreign' }]);
		await s.page.waitForFunction(() => document.querySelectorAll('#preset-user-list li').length === 2);
		assert.equal(await s.page.textContent('#preset-drawer-status'), deleted.message);
		assert.deepEqual(await s.page.$$eval('#preset-menu [aria-label="Saved presets"] .preset-title', (els) => els.map((e) => e.textContent)),
			['Broken', 'Deep Bell']);

		// Escape closes the drawer and returns to the preset box.
		await s.page.focus('#preset-drawer .drawer-close');
		await s.page.keyboard.press('Escape');
		assert.equal(await s.page.isVisible('#preset-drawer'), false);
		assert.equal(await s.page.evaluate(() => document.activeElement.id), 'preset-toggle');
		assertNoProblems(s);
	} finally {
		await s.close();
	}
});
