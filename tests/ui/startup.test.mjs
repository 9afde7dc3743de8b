// The page's first moments: it introduces itself before anything else and
// builds itself from the controller's hello.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { openEditor, closeBrowser } from './harness.mjs';
import { assertNoProblems, knobState } from './checks.mjs';

after(closeBrowser);

test('the page sends tavik.ready first and renders the hello', async () => {
	const s = await openEditor();
	try {
		await s.settle();
		assert.ok(s.sent.length >= 1);
		assert.deepEqual(s.sent[0], { type: 'tavik.ready' }, 'tavik.ready is the first message');
		assert.equal(s.sentOf('tavik.ready').length, 1, 'tavik.ready is sent once');
		const hello = s.bridge.messages((m) => m.type === 'tavik.hello')[0];
		assert.ok(hello, 'the controller answered with a hello');

		// One control per parameter, each named by its path.
		const paths = await s.page.$$eval('.ctl[data-path]', (els) => els.map((e) => e.dataset.path));
		assert.equal(paths.length, 26);
		assert.deepEqual([...paths].sort(), hello.params.map((p) => p.path).sort());

		// Ten presets in the browser, by the hello's names.
		const names = await s.page.$$eval('#preset-menu [role="menuitemradio"] .preset-title',
			(els) => els.map((e) => e.textContent));
		assert.deepEqual(names, hello.factoryPresets.map((p) => p.name));
		assert.equal(names.length, 10);

		// The knobs show the hello's values with the host's texts and units.
		const sliders = await s.page.$$eval('[role="slider"]', (els) => els.map((e) => ({
			path: e.dataset.path,
			now: Number(e.getAttribute('aria-valuenow')),
			min: Number(e.getAttribute('aria-valuemin')),
			max: Number(e.getAttribute('aria-valuemax')),
			text: e.getAttribute('aria-valuetext'),
			label: document.getElementById(e.getAttribute('aria-labelledby'))?.textContent,
			tab: e.tabIndex,
			help: document.getElementById(e.getAttribute('aria-describedby'))?.textContent,
		})));
		assert.equal(sliders.length, 23);
		const byPath = new Map(hello.params.map((p) => [p.path, p.value]));
		for (const k of sliders) {
			assert.equal(k.now, byPath.get(k.path), `${k.path} shows the hello's value`);
			assert.ok(k.label && k.label.length > 0, `${k.path} has a label`);
			assert.equal(k.tab, 0, `${k.path} is reachable with Tab`);
			// The description names every way the knob answers the keyboard.
			for (const action of ['Arrow keys', 'Shift', 'Page Up', 'Page Down', 'Home', 'End', 'Delete', 'double-click', 'Enter', 'type a value'])
				assert.ok(k.help.includes(action), `${k.path}'s description mentions ${action}`);
			assert.ok(k.min < k.max);
		}
		const text = (p) => sliders.find((k) => k.path === p).text;
		assert.equal(text('tuning.baseFreq'), '110 Hz, A2');
		assert.deepEqual(await knobState(s.page, 'tuning.baseFreq'), { now: 110, text: '110 Hz, A2', shown: '110 Hz', note: 'A2' });
		assert.equal(text('amp.decay'), '15 s');
		assert.equal(text('ir.size'), '1');
		assert.equal(sliders.find((k) => k.path === 'tuning.baseFreq').label, 'Base Pitch');

		// Lists show their entries, with the current one checked.
		const model = await s.page.$$eval('[role="radiogroup"][data-path="ir.instrument"] [role="radio"]',
			(els) => els.map((e) => [e.textContent, e.getAttribute('aria-checked')]));
		assert.deepEqual(model.map((m) => m[0]), ['Tam-Tam', 'Wind Gong', 'Daluo', 'Xiaoluo', 'Gong Ageng', 'Symphonic']);
		assert.equal(model.filter((m) => m[1] === 'true').length, 1);
		const mallet = await s.page.$eval('[role="radiogroup"][data-path="mallet.type"] [aria-checked="true"]',
			(e) => e.textContent);
		assert.equal(mallet, 'Yarn');

		// Nothing else went out unasked.
		assert.deepEqual(s.sent.map((m) => m.type), ['tavik.ready']);
		assert.equal(await s.page.isVisible('#offline'), false, 'the page knows it is connected');
		assertNoProblems(s);
	} finally {
		assert.equal(await s.close(), 0, 'the bridge tool ended cleanly');
	}
});

test('the picture describes the current model and follows the controller', async () => {
	const s = await openEditor();
	try {
		const caption = () => s.page.textContent('#picture-caption');
		assert.match(await caption(), /^Tam-Tam: 12 modes from 110 Hz/);
		const pixels = await s.page.$eval('#picture', (c) => {
			const g = c.getContext('2d');
			const d = g.getImageData(0, 0, c.width, c.height).data;
			let lit = 0;
			for (let i = 3; i < d.length; i += 4)
				lit += d[i] > 0 ? 1 : 0;
			return lit;
		});
		assert.ok(pixels > 1000, 'the canvas is drawn');

		// Host automation to Xiaoluo (6 modes) and a base pitch of 220 Hz.
		s.bridge.send({ zorv: 'set', id: 0, normalized: 0.6 });
		s.bridge.send({ zorv: 'set', id: 16, normalized: (220 - 55) / 385 });
		await s.page.waitForFunction(() => /^Xiaoluo: 6 modes from 220 Hz/.test(document.getElementById('picture-caption').textContent));
		// Gong Ageng beats (ombak); the others do not.
		s.bridge.send({ zorv: 'set', id: 0, normalized: 0.8 });
		await s.page.waitForFunction(() => /^Gong Ageng: 10 modes.*beating at 2\.5 Hz/.test(document.getElementById('picture-caption').textContent));
		// A short ring caps every mode's ring time.
		s.bridge.send({ zorv: 'set', id: 14, normalized: (1 - 0.05) / 14.95 });
		await s.page.waitForFunction(() => /longest ring 1\.05 s/.test(document.getElementById('picture-caption').textContent));
		// Stiffness stretches the upper modes.
		const top = async () => Number((await caption()).match(/to ([\d.]+) (k?)Hz/).slice(1, 3)
			.reduce((v, k) => (k ? Number(v) * 1000 : Number(v))));
		const before = await top();
		s.bridge.send({ zorv: 'set', id: 18, normalized: 1 });
		await s.settle();
		assert.ok(await top() > before * 1.1, 'positive stiffness raises the top mode');
		assertNoProblems(s);
	} finally {
		await s.close();
	}
});
