// The side panels: MIDI CC mappings, diagnostics and sample banks.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { openEditor, closeBrowser } from './harness.mjs';
import { assertNoProblems } from './checks.mjs';

after(closeBrowser);

const lastOf = (bridge, type) => bridge.messages((m) => m.type === type).at(-1);

test('the CC panel edits the map and shows what the controller adopted', async () => {
	const s = await openEditor();
	try {
		await s.page.click('[data-drawer="cc-drawer"]');
		assert.equal(await s.page.isVisible('#cc-drawer'), true);
		assert.equal(await s.page.evaluate(() => document.activeElement.classList.contains('drawer-close')), true);
		assert.equal(await s.page.isVisible('#cc-empty'), true);

		// Add a mapping: the controller adopts it and reports it back.
		await s.page.click('#cc-add');
		await s.settle();
		let sent = s.sentOf('tavik.setCcMap').at(-1);
		assert.deepEqual(sent.map, { version: 1, bindings: [{ cc: 20, path: 'ir.instrument' }] });
		let adopted = lastOf(s.bridge, 'tavik.ccMapChanged');
		assert.deepEqual(adopted.map.bindings, [{ cc: 20, path: 'ir.instrument' }]);

		// Edit it: controller 74 on channel 3 to Position, exponential.
		const row = s.page.locator('.cc-row').first();
		await row.locator('.cc-number').fill('74');
		await row.locator('.cc-number').press('Enter');
		await row.locator('select.cc-target').selectOption('strike.position');
		await row.locator('select.cc-channel').selectOption('3');
		await row.locator('select.cc-curve').selectOption('exp');
		await s.settle();
		adopted = lastOf(s.bridge, 'tavik.ccMapChanged');
		assert.deepEqual(adopted.map.bindings, [{ cc: 74, path: 'strike.position', channel: 3, curve: 'exp' }]);

		// Out-of-range numbers are held to the MIDI range.
		await row.locator('.cc-number').fill('300');
		await row.locator('.cc-number').press('Tab');
		await s.settle();
		assert.equal(lastOf(s.bridge, 'tavik.ccMapChanged').map.bindings[0].cc, 127);
		assert.equal(await row.locator('.cc-number').inputValue(), '127');
		await row.locator('.cc-number').fill('74');
		await row.locator('.cc-number').press('Tab');

		// The range in the parameter's units (reversed allowed, empty for the
		// parameter's own end), what the controller is and how it takes over.
		await row.locator('input.cc-min').fill('0.9');
		await row.locator('input.cc-min').press('Tab');
		await row.locator('input.cc-max').fill('0.2');
		await row.locator('input.cc-max').press('Tab');
		await s.settle();
		assert.equal(await row.locator('.cc-summary').textContent(), '0.9 → 0.2 (reversed)');
		await row.locator('select.cc-takeover').selectOption('pickup');
		await s.settle();
		assert.deepEqual(lastOf(s.bridge, 'tavik.ccMapChanged').map.bindings[0],
			{ cc: 74, path: 'strike.position', channel: 3, min: 0.9, max: 0.2, curve: 'exp', takeover: 'pickup' });
		await row.locator('input.cc-min').fill('');
		await row.locator('input.cc-min').press('Tab');
		await row.locator('input.cc-max').fill('7');
		await row.locator('input.cc-max').press('Tab');
		await row.locator('select.cc-mode').selectOption('relative-twos-complement');
		await s.settle();
		assert.equal(await row.locator('select.cc-takeover').isDisabled(), true, 'an encoder has nothing to take over');
		assert.deepEqual(lastOf(s.bridge, 'tavik.ccMapChanged').map.bindings[0],
			{ cc: 74, path: 'strike.position', channel: 3, max: 1, curve: 'exp',
				valueMode: 'relative-twos-complement', takeover: 'pickup' });
		// A list parameter's range is its entries; a new target starts afresh.
		await row.locator('select.cc-target').selectOption('mallet.type');
		await s.settle();
		const list = s.page.locator('.cc-row').first();
		assert.deepEqual(await list.locator('select.cc-max option').allTextContents(),
			['Yarn', 'Felt', 'Wood', 'Metal']);
		await list.locator('select.cc-min').selectOption('2');
		await list.locator('select.cc-max').selectOption('1');
		await list.locator('select.cc-mode').selectOption('toggle');
		await s.settle();
		assert.equal(await list.locator('.cc-summary').textContent(), 'Flips between Wood and Felt');
		assert.deepEqual(lastOf(s.bridge, 'tavik.ccMapChanged').map.bindings[0],
			{ cc: 74, path: 'mallet.type', channel: 3, min: 2, max: 1, curve: 'exp', valueMode: 'toggle',
				takeover: 'pickup' });

		// Learn: the next controller moved gives the mapping its number (and,
		// on one channel, its channel); the meter shows what moved.
		await list.locator('.cc-learn').click();
		await s.bridge.waitFor((m) => m.type === 'tavik.ccLearnState' && m.slot === 0, 'learning to start');
		await s.settle();
		assert.equal(await list.locator('.cc-learn').getAttribute('aria-pressed'), 'true');
		assert.match(await s.page.textContent('#cc-status'), /Move a controller for mapping 1/);
		const mark = s.bridge.lines.length;
		const wav = `${s.bridge.dataHome}/cc.wav`;
		s.bridge.send({ zorv: 'render', seconds: 0.02, out: wav, cc: { cc: 41, value: 100, channel: 6 } });
		await s.bridge.waitFor((m) => m.zorv === 'rendered', 'the render', 10000, mark);
		s.bridge.send({ zorv: 'tick' });
		await s.bridge.waitFor((m) => m.type === 'tavik.ccLearnState' && m.learned, 'a learned controller', 10000, mark);
		await s.settle();
		const learned = s.page.locator('.cc-row').first();
		assert.equal(await learned.locator('.cc-number').inputValue(), '41');
		assert.equal(await learned.locator('select.cc-channel').inputValue(), '6');
		assert.equal(await learned.locator('.cc-learn').getAttribute('aria-pressed'), 'false');
		assert.equal(await s.page.textContent('#cc-status'), 'Mapping 1 now listens to CC 41.');
		s.bridge.send({ zorv: 'render', seconds: 0.02, out: wav, cc: { cc: 41, value: 127, channel: 6 } });
		s.bridge.send({ zorv: 'tick' });
		await s.bridge.waitFor((m) => m.type === 'tavik.midiCc' && m.value === 127, 'the controller moving', 10000, mark);
		await s.settle();
		assert.equal(await learned.locator('.cc-activity').getAttribute('data-value'), '127');
		// Learn pressed twice stops listening.
		await learned.locator('.cc-learn').click();
		await s.bridge.waitFor((m) => m.type === 'tavik.ccLearnState' && m.slot === 0, 'learning again', 10000, mark);
		await learned.locator('.cc-learn').click();
		await s.settle();
		assert.equal(s.sentOf('tavik.ccLearn').at(-1).value, undefined);
		assert.equal(await learned.locator('.cc-learn').getAttribute('aria-pressed'), 'false');

		// A second mapping, disabled; then remove the first.
		await s.page.click('#cc-add');
		const second = s.page.locator('.cc-row').nth(1);
		await second.locator('input[type="checkbox"]').uncheck();
		await s.settle();
		adopted = lastOf(s.bridge, 'tavik.ccMapChanged');
		assert.equal(adopted.map.bindings.length, 2);
		assert.equal(adopted.map.bindings[1].enabled, false);
		assert.equal(await s.page.textContent('#cc-count'), '2');
		await s.page.locator('.cc-row').first().locator('.cc-remove').click();
		await s.settle();
		adopted = lastOf(s.bridge, 'tavik.ccMapChanged');
		assert.equal(adopted.map.bindings.length, 1);
		assert.equal(adopted.map.bindings[0].path, 'ir.instrument');
		assert.equal(await s.page.locator('.cc-row').count(), 1);
		assert.match(await s.page.textContent('#cc-status'), /1 mapping active/);

		// Every map the page sent was one the controller took as it was.
		for (const m of s.sentOf('tavik.setCcMap')) {
			assert.equal(m.map.version, 1);
			for (const b of m.map.bindings) {
				assert.ok(Number.isInteger(b.cc) && b.cc >= 0 && b.cc <= 127);
				assert.equal(typeof b.path, 'string');
			}
		}
		// The one change the page did not send is the map learned, the first
		// with controller 41.
		const changes = s.bridge.messages((m) => m.type === 'tavik.ccMapChanged');
		changes.splice(changes.findIndex((c) => c.map.bindings.some((b) => b.cc === 41)), 1);
		assert.equal(changes.length, s.sentOf('tavik.setCcMap').length);
		s.sentOf('tavik.setCcMap').forEach((m, i) => assert.deepEqual(changes[i].map, m.map));

		// A map from the host side (a restored state) replaces the list.
		await s.page.keyboard.press('Escape');
		assert.equal(await s.page.isVisible('#cc-drawer'), false);
		assertNoProblems(s);
	} finally {
		await s.close();
	}
});

test('the diagnostics drawer subscribes while open and unsubscribes when closed', async () => {
	const s = await openEditor();
	try {
		assert.equal(s.sentOf('tavik.diag.subscribe').length, 0, 'no feed before the drawer opens');
		await s.page.click('[data-drawer="diag-drawer"]');
		const sub = await s.waitForSent((m) => m.type === 'tavik.diag.subscribe', 'a subscription');
		assert.ok(sub.feeds.includes('lifecycle'));
		assert.ok(sub.hz > 0 && sub.hz <= 30);
		// The controller replays its lifecycle; the drawer lists it.
		await s.page.waitForSelector('#diag-events .event');
		assert.ok(await s.page.locator('#diag-events .event .kind:text-is("created")').count() === 1);
		assert.equal(await s.page.textContent('#diag-feed-state'), 'Live');
		// Host facts from the hello.
		assert.match(await s.page.textContent('#diag-host'), /48000 Hz/);
		assert.match(await s.page.textContent('#diag-identity'), /music\.tavik\.zorv|0\.0\.0/);

		// A live event: loading a preset shows up in the feed.
		await s.page.evaluate(() => document.querySelector('#preset-next').click());
		await s.page.waitForSelector('#diag-events .event .kind:text-is("presetLoaded")');
		// A bank refusal produces a runtime report with the error.
		await s.page.click('[data-drawer="diag-drawer"]');
		const unsubs = s.sentOf('tavik.diag.unsubscribe');
		assert.equal(unsubs.length, 1, 'closing the drawer unsubscribes');
		assert.ok(s.sent.indexOf(unsubs[0]) > s.sent.indexOf(sub));
		assert.equal(await s.page.isVisible('#diag-drawer'), false);

		// Closed: lifecycle events no longer arrive.
		const mark = s.bridge.lines.length;
		await s.page.click('#preset-next');
		await s.settle();
		assert.equal(s.bridge.lines.slice(mark).filter((l) => l.obj && l.obj.type === 'tavik.lifecycle').length, 0);

		// Switching to another drawer also unsubscribes.
		await s.page.click('[data-drawer="diag-drawer"]');
		await s.settle();
		await s.page.click('[data-drawer="cc-drawer"]');
		await s.settle();
		assert.equal(s.sentOf('tavik.diag.subscribe').length, 2);
		assert.equal(s.sentOf('tavik.diag.unsubscribe').length, 2);

		// A setup that found no free sound engine is said above everything,
		// and the notice goes when a later setup works.
		const report = (lifecycle, diagnostics) => s.page.evaluate((m) => window.tavikHost._deliver(m), {
			type: 'tavik.runtimeDiagnostics', report: { status: lifecycle === 'failed' ? 'failed' : 'healthy', lifecycle, diagnostics },
		});
		assert.equal(await s.page.isVisible('#engine-alert'), false);
		const full = { code: 'runtime.kernel-create-failed', severity: 'fatal', phase: 'configure',
			message: 'all 1024 gong instances this process can run are in use' };
		await report('failed', [full]);
		await s.page.waitForSelector('#engine-alert', { state: 'visible' });
		assert.match(await s.page.textContent('#engine-alert'), /silent: all 1024 gong instances this process can run are in use\. Remove another/);
		await report('configured', [full]);
		await s.page.waitForSelector('#engine-alert', { state: 'hidden' });
		assertNoProblems(s);
	} finally {
		await s.close();
	}
});

test('the bank panel explains the refusals kindly', async () => {
	const s = await openEditor();
	try {
		await s.page.click('[data-drawer="bank-drawer"]');
		await s.waitForSent((m) => m.type === 'tavik.getBankState', 'a bank state query');
		await s.settle();
		assert.match(await s.page.textContent('#bank-current'), /No sample bank is loaded/);

		// No folder picker in this build: say so and offer the path field.
		await s.page.click('#bank-pick');
		await s.settle();
		assert.deepEqual(s.sentOf('tavik.pickFolder').length, 1);
		const picked = lastOf(s.bridge, 'tavik.folderPicked');
		assert.equal(picked.ok, false);
		const notice = await s.page.textContent('#bank-result');
		assert.match(notice, /can't open a folder picker/);
		assert.ok(notice.includes(picked.error), 'the plug-in\'s own words are shown');
		assert.equal(await s.page.evaluate(() => document.activeElement.id), 'bank-folder-path');

		// A folder that holds no bank.
		await s.page.fill('#bank-folder-path', '/nonexistent/zorv-bank');
		await s.page.click('#bank-folder-form button[type="submit"]');
		await s.page.waitForFunction(() => /No bank could be read/.test(document.getElementById('bank-result').textContent));
		assert.deepEqual(s.sentOf('tavik.loadBank').at(-1),
			{ type: 'tavik.loadBank', source: 'user-folder', bankPath: '/nonexistent/zorv-bank' });
		const result = await s.page.textContent('#bank-result');
		assert.match(result, /cannot read \/nonexistent\/zorv-bank/, 'the engine\'s reason is passed on');
		assert.match(result, /does not play sample banks/);

		// A hosted bank needs https; a refused download is explained.
		await s.page.fill('#bank-url', 'ftp://example.test/bank.zip');
		await s.page.click('#bank-hosted-form button[type="submit"]');
		assert.match(await s.page.textContent('#bank-result'), /https:\/\//);
		assert.equal(s.sentOf('tavik.loadBank').length, 1, 'nothing sent for a bad address');
		// Nothing listens there: the download fails at once, and the host's
		// run loop (here the bridge's wait) picks the failure up.
		await s.page.fill('#bank-url', 'https://127.0.0.1:9/bank.zip');
		await s.page.fill('#bank-sha', 'ab'.repeat(32));
		await s.page.click('#bank-hosted-form button[type="submit"]');
		assert.match(await s.page.textContent('#bank-result'), /Downloading/);
		s.bridge.send({ zorv: 'wait', for: 'tavik.bankState', seconds: 20 });
		await s.page.waitForFunction(() => /could not be downloaded/.test(document.getElementById('bank-result').textContent));
		assert.equal(s.sentOf('tavik.loadBank').at(-1).source, 'hosted');
		assert.equal(lastOf(s.bridge, 'tavik.bankState').error.code, 'bank-fetch-failed');
		assertNoProblems(s);
	} finally {
		await s.close();
	}
});

test('an open drawer keeps Tab, Shift+Tab and the keys away from the controls it covers', async () => {
	const s = await openEditor({ width: 1000, height: 700 });
	try {
		// Where focus goes on each press: never into the content the drawer
		// covers, and round the drawer's own controls.
		const walk = async (key, presses) => {
			const seen = [];
			for (let i = 0; i < presses; ++i) {
				await s.page.keyboard.press(key);
				seen.push(await s.page.evaluate(() => {
					const e = document.activeElement;
					return { inContent: Boolean(e.closest('#content')), inDrawer: Boolean(e.closest('.drawer')),
						name: e.id || e.getAttribute('aria-label') || e.textContent.trim().slice(0, 20) || e.tagName };
				}));
			}
			return seen;
		};
		for (const drawer of ['cc-drawer', 'bank-drawer', 'diag-drawer']) {
			await s.page.click(`[data-drawer="${drawer}"]`);
			if (drawer === 'cc-drawer')
				await s.page.click('#cc-add');
			assert.equal(await s.page.$eval('#content', (e) => e.inert), true, 'the covered controls are inert');
			const sentMark = s.sent.length;
			for (const key of ['Tab', 'Shift+Tab']) {
				await s.page.focus(`#${drawer} .drawer-close`);
				const seen = await walk(key, 40);
				assert.deepEqual(seen.filter((x) => x.inContent), [], `${key} never reaches a covered control (${drawer})`);
				assert.ok(seen.filter((x) => x.inDrawer).length >= 2, `${key} goes round the drawer`);
			}
			// Knob keys pressed now change nothing.
			for (const key of ['ArrowUp', 'PageUp', 'End', 'Delete'])
				await s.page.keyboard.press(key);
			await s.settle();
			assert.deepEqual(s.sent.slice(sentMark).filter((m) => m.type === 'tavik.setParam'), [], `no value changed under ${drawer}`);
			// Escape closes it, gives the controls back and returns focus.
			await s.page.focus(`#${drawer} .drawer-close`);
			await s.page.keyboard.press('Escape');
			assert.equal(await s.page.isVisible(`#${drawer}`), false);
			assert.equal(await s.page.$eval('#content', (e) => e.inert), false);
			assert.equal(await s.page.evaluate(() => document.activeElement.dataset.drawer), drawer);
		}

		// A click beside the drawer (on the dimmed controls) closes it and
		// turns nothing.
		await s.page.click('[data-drawer="bank-drawer"]');
		const sentMark = s.sent.length;
		await s.page.mouse.click(60, 400);
		assert.equal(await s.page.isVisible('#bank-drawer'), false);
		assert.equal(await s.page.$eval('#content', (e) => e.inert), false);
		assert.deepEqual(s.sent.slice(sentMark).filter((m) => m.type === 'tavik.setParam'), []);
		assertNoProblems(s);
	} finally {
		await s.close();
	}
});
