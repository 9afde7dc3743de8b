// Assertions shared by the editor page tests.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';

// Every value the page sets must sit inside a begin/end bracket for the
// same parameter, and every bracket must close.
export function assertBracketed(sent) {
	const open = new Set();
	for (const m of sent) {
		if (!m)
			continue;
		if (m.type === 'tavik.beginEdit') {
			assert.ok(!open.has(m.path), `beginEdit for ${m.path} while its gesture is open`);
			open.add(m.path);
		} else if (m.type === 'tavik.endEdit') {
			assert.ok(open.has(m.path), `endEdit for ${m.path} without beginEdit`);
			open.delete(m.path);
		} else if (m.type === 'tavik.setParam') {
			assert.ok(open.has(m.path), `setParam for ${m.path} outside a gesture`);
			assert.equal(typeof m.value, 'number', 'setParam carries a plain number "value"');
			assert.ok(Number.isFinite(m.value));
		}
	}
	assert.deepEqual([...open], [], 'every gesture was closed');
}

// The controller's edit reports for one parameter id, from a given line on.
export function editsFor(bridge, id, from = 0) {
	return bridge.lines.slice(from).map((l) => l.obj).filter((o) => o && o.zorv === 'edit' && o.id === id);
}

export function assertNoProblems(session) {
	assert.deepEqual(session.problems, [], 'no console errors or page errors');
	assert.deepEqual(session.offsite, [], 'the page requested nothing outside its bundle');
}

// A knob as assistive technology and the eye read it: aria-valuenow and
// aria-valuetext, and the readout under it (Base Pitch adds a note).
export async function knobState(page, path) {
	return page.$eval(`[role="slider"][data-path="${path}"]`, (e) => {
		const ctl = e.closest('.ctl');
		return {
			now: Number(e.getAttribute('aria-valuenow')),
			text: e.getAttribute('aria-valuetext'),
			shown: ctl.querySelector('.value-text').textContent,
			note: ctl.querySelector('.value-note')?.textContent ?? null,
		};
	});
}

export async function waitForKnob(page, path, pred, timeout = 5000) {
	await page.waitForFunction(({ path, src }) => {
		const e = document.querySelector(`[role="slider"][data-path="${path}"]`);
		// eslint-disable-next-line no-new-func
		return e && new Function('v', `return ${src}`)(Number(e.getAttribute('aria-valuenow')));
	}, { path, src: pred }, { timeout });
}

export const close = (a, b, eps = 1e-9) => Math.abs(a - b) <= eps;

// axe-core, run inside the page. Every rule set it has, the experimental
// ones too (label-content-name-mismatch is one of them).
const axeSource = readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');

export async function axeViolations(page) {
	if (!await page.evaluate(() => typeof window.axe === 'object'))
		await page.evaluate(axeSource);
	return page.evaluate(async () => {
		const result = await window.axe.run(document, {
			runOnly: { type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa', 'wcag22aa', 'best-practice', 'experimental'] },
			resultTypes: ['violations'],
		});
		return result.violations.map((v) => ({ id: v.id, impact: v.impact,
			nodes: v.nodes.map((n) => `${n.target.join(' ')}: ${n.failureSummary.split('\n').slice(1).join(' ').trim()}`) }));
	});
}

// The RGBA pixels of a PNG (a screenshot), decoded by the browser in a
// blank page of its own.
export async function decodePng(context, png) {
	const page = await context.newPage();
	try {
		return await page.evaluate(async (b64) => {
			const img = new Image();
			img.src = `data:image/png;base64,${b64}`;
			await img.decode();
			const c = document.createElement('canvas');
			c.width = img.width;
			c.height = img.height;
			const g = c.getContext('2d');
			g.drawImage(img, 0, 0);
			return { width: img.width, height: img.height, data: [...g.getImageData(0, 0, img.width, img.height).data] };
		}, png.toString('base64'));
	} finally {
		await page.close();
	}
}
