// Assertions shared by the editor page tests.
import assert from 'node:assert/strict';

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

export async function knobState(page, path) {
	return page.$eval(`[role="slider"][data-path="${path}"]`, (e) => ({
		now: Number(e.getAttribute('aria-valuenow')),
		text: e.getAttribute('aria-valuetext'),
	}));
}

export async function waitForKnob(page, path, pred, timeout = 5000) {
	await page.waitForFunction(({ path, src }) => {
		const e = document.querySelector(`[role="slider"][data-path="${path}"]`);
		// eslint-disable-next-line no-new-func
		return e && new Function('v', `return ${src}`)(Number(e.getAttribute('aria-valuenow')));
	}, { path, src: pred }, { timeout });
}

export const close = (a, b, eps = 1e-9) => Math.abs(a - b) <= eps;
