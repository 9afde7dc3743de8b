// The editor at the window sizes a host may give it: nothing overlaps,
// nothing is cut off, text is readable; screenshots go to the artefacts.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { openEditor, closeBrowser, artefactPath, PARAM_IDS } from './harness.mjs';
import { assertNoProblems, axeViolations } from './checks.mjs';

after(closeBrowser);

// Runs in the page: everything that would make the layout broken.
function layoutFaults() {
	const faults = [];
	const r = (e) => e.getBoundingClientRect();
	const overlaps = (a, b) => a.left < b.right - 0.5 && b.left < a.right - 0.5 && a.top < b.bottom - 0.5 && b.top < a.bottom - 0.5;
	const inside = (a, b) => a.left >= b.left - 0.5 && a.right <= b.right + 0.5 && a.top >= b.top - 0.5 && a.bottom <= b.bottom + 0.5;
	const name = (e) => `${e.tagName.toLowerCase()}${e.id ? `#${e.id}` : ''}.${e.className}${e.dataset.path ? `[${e.dataset.path}]` : ''}`;

	if (document.documentElement.scrollWidth > innerWidth)
		faults.push(`the page is wider than the window (${document.documentElement.scrollWidth})`);
	const main = document.querySelector('main');
	if (main.scrollWidth > main.clientWidth + 1)
		faults.push(`the content scrolls sideways (${main.scrollWidth} > ${main.clientWidth})`);

	// The top bar's parts sit side by side within the window.
	const bar = ['.brand', '.preset-bar', '.tools'].map((s) => document.querySelector(s));
	for (let i = 0; i < bar.length; ++i) {
		if (r(bar[i]).right > innerWidth + 0.5 || r(bar[i]).left < -0.5)
			faults.push(`${name(bar[i])} leaves the window`);
		for (let j = i + 1; j < bar.length; ++j)
			if (overlaps(r(bar[i]), r(bar[j])))
				faults.push(`${name(bar[i])} overlaps ${name(bar[j])}`);
	}
	for (const b of document.querySelectorAll('.topbar button'))
		if (b.scrollWidth > b.clientWidth + 1)
			faults.push(`${name(b)} is cut off`);

	// Controls stay inside their cards and clear of each other.
	const controls = [...document.querySelectorAll('.ctl')];
	for (const c of controls) {
		const card = c.closest('.panel');
		if (!inside(r(c), r(card)))
			faults.push(`${name(c)} sticks out of its card`);
	}
	for (let i = 0; i < controls.length; ++i)
		for (let j = i + 1; j < controls.length; ++j)
			if (overlaps(r(controls[i]), r(controls[j])))
				faults.push(`${name(controls[i])} overlaps ${name(controls[j])}`);
	const cards = [...document.querySelectorAll('.panel')];
	for (let i = 0; i < cards.length; ++i)
		for (let j = i + 1; j < cards.length; ++j)
			if (overlaps(r(cards[i]), r(cards[j])))
				faults.push(`${name(cards[i])} overlaps ${name(cards[j])}`);

	// Words are not clipped: labels, values, list entries, titles.
	for (const t of document.querySelectorAll('.ctl-label, .ctl-value, .segment, .panel-title, .caption')) {
		if (t.scrollWidth > t.clientWidth + 1)
			faults.push(`${name(t)} "${t.textContent}" is cut off`);
		const parts = [...t.parentElement.children].filter((x) => x !== t && x.matches('.ctl-label, .ctl-value, .knob-dial'));
		for (const p of parts)
			if (overlaps(r(t), r(p)))
				faults.push(`${name(t)} overlaps ${name(p)}`);
	}
	// A dial is big enough to hit.
	for (const d of document.querySelectorAll('.knob-dial'))
		if (r(d).width < 40)
			faults.push(`${name(d)} is only ${r(d).width} px wide`);
	return faults;
}

// Runs in the page: every text of a control (label, readout, note, list
// entry) measured as drawn, glyph box by glyph box: it must stay inside its
// own control and its card and clear of every other control.
function readoutFaults() {
	const faults = [];
	const overlaps = (a, b) => a.left < b.right - 0.5 && b.left < a.right - 0.5 && a.top < b.bottom - 0.5 && b.top < a.bottom - 0.5;
	const inside = (a, b) => a.left >= b.left - 0.5 && a.right <= b.right + 0.5 && a.top >= b.top - 0.5 && a.bottom <= b.bottom + 0.5;
	const controls = [...document.querySelectorAll('.ctl')];
	const boxes = controls.map((c) => c.getBoundingClientRect());
	for (const [i, c] of controls.entries()) {
		const card = c.closest('.panel').getBoundingClientRect();
		for (const t of c.querySelectorAll('.ctl-label, .value-text, .value-note, .segment, .switch .ctl-value')) {
			if (!t.textContent.trim() || !t.getClientRects().length)
				continue;
			const range = document.createRange();
			range.selectNodeContents(t);
			// Across, the glyphs as drawn (a readout too long for its column
			// runs out sideways); down, the line they sit on (a glyph box is
			// the font's full ascent and descent, taller than a tight line).
			const own = t.getBoundingClientRect();
			for (const g of range.getClientRects()) {
				const r = { left: g.left, right: g.right, top: Math.max(g.top, own.top), bottom: Math.min(g.bottom, own.bottom) };
				const what = `${c.dataset.path} "${t.textContent}"`;
				if (!inside(r, boxes[i]))
					faults.push(`${what} leaves its control`);
				if (!inside(r, card))
					faults.push(`${what} leaves its card`);
				boxes.forEach((b, j) => {
					if (j !== i && overlaps(r, b))
						faults.push(`${what} overlaps ${controls[j].dataset.path}`);
				});
			}
		}
	}
	return faults;
}

// Runs in the page: text whose contrast with its background is below AA.
function contrastFaults() {
	const parse = (c) => (c.match(/[\d.]+/g) || []).map(Number);
	const lum = ([r, g, b]) => {
		const f = (v) => { v /= 255; return v <= 0.03928 ? v / 12.92 : Math.pow((v + 0.055) / 1.055, 2.4); };
		return 0.2126 * f(r) + 0.7152 * f(g) + 0.0722 * f(b);
	};
	const bgOf = (e) => {
		for (let x = e; x; x = x.parentElement) {
			const c = parse(getComputedStyle(x).backgroundColor);
			if (c.length >= 3 && (c.length < 4 || c[3] > 0.9))
				return c;
		}
		return [13, 11, 9];
	};
	const faults = [];
	for (const e of document.querySelectorAll('.ctl-label, .ctl-value, .segment, .panel-title, .caption, .preset-name, .tool-button, .maker, .wordmark, .hint, .facts dt, .event .detail, .status-line')) {
		if (!e.offsetParent || !e.textContent.trim())
			continue;
		const fg = parse(getComputedStyle(e).color);
		const bg = bgOf(e);
		const alpha = fg.length > 3 ? fg[3] : 1;
		const mixed = fg.slice(0, 3).map((v, i) => v * alpha + bg[i] * (1 - alpha));
		const [a, b] = [lum(mixed), lum(bg)].sort((x, y) => y - x);
		const ratio = (a + 0.05) / (b + 0.05);
		const size = parseFloat(getComputedStyle(e).fontSize);
		const bold = Number(getComputedStyle(e).fontWeight) >= 700;
		const need = size >= 24 || (bold && size >= 18.66) ? 3 : 4.5;
		if (ratio < need)
			faults.push(`${e.className} "${e.textContent.trim().slice(0, 30)}" ${ratio.toFixed(2)}:1`);
	}
	return faults;
}

// Lets a drawer finish sliding in before it is photographed.
async function settleMotion(page) {
	await page.evaluate(() => Promise.all(document.getAnimations().map((a) => a.finished)));
}

// Values that make each readout as long as it can get: every decimal the
// row shows, the sign of a row that crosses zero, Base Pitch's note with
// cents.
const LONGEST = Object.fromEntries(Object.entries(PARAM_IDS).map(([path, id]) => [path,
	{ id, normalized: ['model.stiffness', 'model.radiation'].includes(path) ? Math.fround(0.012345678) : Math.fround(0.987654321) }]));

// Every drawer, the preset menu and the dialogs, each audited by axe-core.
// Nothing serious or critical may be found; today nothing at all is, and a
// new finding of any weight should be looked at, so all of them count.
async function auditStates(s, width, height) {
	const found = {};
	const audit = async (state) => {
		found[state] = await axeViolations(s.page);
		await s.page.screenshot({ path: artefactPath(`editor-${width}x${height}-${state}.png`) });
	};
	await audit('none');
	await s.page.click('#preset-toggle');
	await s.page.waitForSelector('#preset-menu', { state: 'visible' });
	const menu = await s.page.locator('#preset-menu').boundingBox();
	assert.ok(menu.y >= 0 && menu.y + menu.height <= height && menu.x >= 0 && menu.x + menu.width <= width,
		`the preset menu fits the window (${JSON.stringify(menu)})`);
	await audit('presets-menu');
	await s.page.keyboard.press('Escape');
	for (const [drawer, state] of [['cc-drawer', 'cc'], ['bank-drawer', 'banks'], ['diag-drawer', 'diagnostics']]) {
		await s.page.click(`[data-drawer="${drawer}"]`);
		if (drawer === 'cc-drawer') {
			await s.page.click('#cc-add');
			await s.page.click('#cc-add');
			await s.settle();
		}
		if (drawer === 'bank-drawer') {
			await s.page.click('#bank-pick');
			await s.page.waitForSelector('#bank-result:not([hidden])');
		}
		if (drawer === 'diag-drawer')
			await s.page.waitForSelector('#diag-events .event');
		await settleMotion(s.page);
		const box = await s.page.locator(`#${drawer}`).boundingBox();
		assert.ok(box.x >= 0 && box.x + box.width <= width + 0.5, `the ${state} drawer fits the window`);
		assert.deepEqual(await s.page.evaluate(contrastFaults), [], `contrast in the ${state} drawer`);
		await audit(state);
	}
	await s.page.keyboard.press('Escape');
	// The saved presets drawer and the save dialog (with the controller's
	// refusal in it), from the preset menu; then a saved preset's row and the
	// confirmation of its deletion.
	await s.page.click('#preset-toggle');
	await s.page.click('#preset-menu [data-action="manage"]');
	await s.page.waitForSelector('#preset-drawer', { state: 'visible' });
	await s.page.click('#preset-save-open');
	await s.page.waitForSelector('#save-dialog[open]');
	await s.page.fill('#save-name', 'A name / with a slash');
	await s.page.click('#save-submit');
	await s.page.waitForFunction(() => /cannot/.test(document.getElementById('save-error').textContent));
	const fits = async (selector) => {
		const b = await s.page.locator(selector).boundingBox();
		assert.ok(b.y >= 0 && b.y + b.height <= height && b.x >= 0 && b.x + b.width <= width, `${selector} fits the window`);
	};
	await fits('#save-dialog');
	await audit('save-dialog');
	await s.page.fill('#save-name', 'Evening Bell');
	await s.page.click('#save-submit');
	await s.page.waitForSelector('#save-dialog', { state: 'hidden' });
	await s.page.waitForSelector('#preset-user-list li');
	await settleMotion(s.page);
	await audit('saved-presets');
	await s.page.click('#preset-user-list [data-action="delete"]');
	await s.page.waitForSelector('#confirm-dialog[open]');
	await fits('#confirm-dialog');
	await audit('confirm-delete');
	await s.page.keyboard.press('Escape');
	await s.page.keyboard.press('Escape');
	return found;
}

for (const [width, height] of [[480, 360], [720, 560], [1000, 700], [1400, 1000]]) {
	test(`a clean, accessible layout at ${width}×${height}`, async () => {
		const s = await openEditor({ width, height });
		try {
			await s.settle();
			await s.page.screenshot({ path: artefactPath(`editor-${width}x${height}.png`) });
			assert.deepEqual(await s.page.evaluate(layoutFaults), []);
			assert.deepEqual(await s.page.evaluate(readoutFaults), []);
			assert.deepEqual(await s.page.evaluate(contrastFaults), []);
			// At the smallest sizes the content scrolls within its panel
			// and every control can be reached.
			const last = s.page.locator('[data-path="performance.velocity"] .knob-dial');
			await last.scrollIntoViewIfNeeded();
			assert.ok(await last.isVisible());
			const box = await last.boundingBox();
			assert.ok(box.y >= 0 && box.y + box.height <= height, 'the last control scrolls into view');
			await s.page.$eval('#content', (e) => { e.scrollTop = 0; });

			// The longest readouts still fit under their knobs.
			for (const { id, normalized } of Object.values(LONGEST))
				s.bridge.send({ zorv: 'set', id, normalized });
			await s.page.waitForFunction(() => /¢/.test(document.querySelector('.ctl[data-path="tuning.baseFreq"] .value-note').textContent)
				&& document.querySelector('.ctl[data-path="amp.decay"] .value-text').textContent.length >= 10);
			await s.settle();
			for (const key of ['gong', 'bloom', 'envelope', 'tuning'])
				await s.page.locator(`.group-${key}`).screenshot({ path: artefactPath(`editor-${width}x${height}-long-${key}.png`) });
			assert.deepEqual(await s.page.evaluate(layoutFaults), [], 'with the longest readouts');
			assert.deepEqual(await s.page.evaluate(readoutFaults), [], 'with the longest readouts');

			// axe-core finds nothing serious in any state of the page.
			const found = await auditStates(s, width, height);
			assert.deepEqual(found, Object.fromEntries(Object.keys(found).map((k) => [k, []])));
			assertNoProblems(s);
		} finally {
			await s.close();
		}
	});
}
