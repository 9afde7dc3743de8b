// The diagnostics drawer: runtime health, the plug-in's lifecycle as it
// happens, and what the host told it. The lifecycle and transport feeds are
// subscribed only while the drawer is open.
import { send } from './bridge.js';
import { displayNumber } from './params.js';

const MAX_EVENTS = 200;
let ui = null;
let open = false;
let events = [];
let host = null;
let identity = null;
let health = null;
let transport = null;

export function mount(root) {
	ui = {
		health: root.querySelector('#diag-health'),
		host: root.querySelector('#diag-host'),
		identity: root.querySelector('#diag-identity'),
		events: root.querySelector('#diag-events'),
		feedState: root.querySelector('#diag-feed-state'),
		transport: root.querySelector('#diag-transport'),
		badge: document.querySelector('#diag-badge'),
	};
	renderAll();
}

export function setOpen(value) {
	if (value === open)
		return;
	open = value;
	if (open) {
		events = [];
		send({ type: 'tavik.diag.subscribe', feeds: ['lifecycle', 'transport', 'host'], hz: 10 });
	} else {
		send({ type: 'tavik.diag.unsubscribe' });
	}
	renderAll();
}

export function isOpen() {
	return open;
}

export function fromHello(hello) {
	identity = hello.identity || null;
	host = hello.host ? { ...hello.host } : null;
	if (hello.runtimeHealth)
		health = hello.runtimeHealth;
	renderAll();
}

export function onRuntimeDiagnostics(message) {
	if (message.report && typeof message.report === 'object')
		health = message.report;
	renderEngineAlert();
	renderHealth();
}

// A setup that could not make this instance's sound engine leaves it silent
// whatever the musician does: say so above everything, with what to do.
function renderEngineAlert() {
	const alert = document.getElementById('engine-alert');
	if (!alert)
		return;
	const records = health && Array.isArray(health.diagnostics) ? health.diagnostics : [];
	const failure = health && health.lifecycle === 'failed'
		? records.filter((r) => r && r.code === 'runtime.kernel-create-failed').pop()
		: undefined;
	alert.hidden = !failure;
	alert.textContent = failure
		? `This instance is silent: ${failure.message || 'its sound engine could not start'}. ` +
		  'Remove another Zorv instance, then switch this one off and on again.'
		: '';
}

export function onLifecycle(message) {
	if (!open || !Array.isArray(message.events))
		return;
	for (const e of message.events) {
		if (!events.some((x) => x.seq === e.seq))
			events.push(e);
	}
	events.sort((a, b) => a.seq - b.seq);
	if (events.length > MAX_EVENTS)
		events = events.slice(events.length - MAX_EVENTS);
	renderEvents();
}

export function onHostChanged(message) {
	if (message.host && typeof message.host === 'object')
		host = { ...(host || {}), ...message.host };
	renderHost();
}

export function onTransport(message) {
	transport = message.frame || null;
	renderTransport();
}

function renderAll() {
	if (!ui)
		return;
	renderHealth();
	renderHost();
	renderIdentity();
	renderEvents();
	renderTransport();
}

function text(tag, cls, content) {
	const e = document.createElement(tag);
	if (cls)
		e.className = cls;
	e.textContent = content;
	return e;
}

function table(target, rows) {
	target.textContent = '';
	const dl = document.createElement('dl');
	dl.className = 'facts';
	for (const [k, v] of rows) {
		if (v === undefined || v === null || v === '')
			continue;
		dl.append(text('dt', '', k), text('dd', '', String(v)));
	}
	target.append(dl);
}

const STATUS_TEXT = {
	healthy: 'Healthy — nothing to report.',
	degraded: 'Degraded — warnings were recorded.',
	failed: 'Attention — errors were recorded.',
};

function renderHealth() {
	if (!ui)
		return;
	ui.health.textContent = '';
	const status = health && typeof health.status === 'string' ? health.status : null;
	ui.badge.hidden = !(status === 'failed' || status === 'degraded');
	ui.badge.className = `badge ${status || ''}`;
	if (!health) {
		ui.health.append(text('p', 'muted', 'No health report from the audio engine yet.'));
		return;
	}
	const pill = text('p', `status ${status || 'unknown'}`, STATUS_TEXT[status] || `Status: ${status}`);
	pill.setAttribute('data-status', status || 'unknown');
	ui.health.append(pill);
	const counters = health.counters || {};
	table(ui.health.appendChild(document.createElement('div')), [
		['Engine', health.lifecycle],
		['Diagnostics', counters.diagnostics],
		['Dropped', counters['diagnostics.dropped'] || undefined],
	]);
	const list = document.createElement('ul');
	list.className = 'diag-records';
	for (const record of Array.isArray(health.diagnostics) ? health.diagnostics : []) {
		const li = document.createElement('li');
		li.className = `record ${record.severity}`;
		li.append(text('span', 'sev', record.severity || ''), text('code', '', record.code || ''),
			text('span', 'phase', record.phase || ''), text('p', 'msg', record.message || ''));
		list.append(li);
	}
	if (list.children.length)
		ui.health.append(list);
}

function renderHost() {
	if (!ui)
		return;
	if (!host) {
		ui.host.textContent = '';
		ui.host.append(text('p', 'muted', 'The host has not configured the plug-in yet.'));
		return;
	}
	const buses = Array.isArray(host.buses)
		? host.buses.map((b) => `${b.id} ${b.direction} ${b.channels} ch${b.layout ? ` (${b.layout})` : ''}${b.active ? '' : ', inactive'}`).join('; ')
		: undefined;
	table(ui.host, [
		['Host', host.hostName],
		['Version', host.hostVersion],
		['Validator', host.validatorHost],
		['Sample rate', typeof host.sampleRate === 'number' ? `${host.sampleRate} Hz` : host.sampleRate],
		['Max block', host.maxBlockFrames !== undefined ? `${host.maxBlockFrames} frames` : undefined],
		['Last block', host.lastBlockFrames !== undefined ? `${host.lastBlockFrames} frames` : undefined],
		['Process mode', host.processMode],
		['Sample size', host.sampleSize !== undefined ? `${host.sampleSize} bit` : undefined],
		['Latency', host.latencySamples !== undefined ? `${host.latencySamples} samples` : undefined],
		['Tail', host.tailSamples],
		['Internal rate', host.internalSampleRate],
		['Buses', buses],
		['Bypassed', host.bypassed === undefined ? undefined : host.bypassed ? 'yes' : 'no'],
	]);
}

function renderIdentity() {
	if (!ui)
		return;
	if (!identity) {
		ui.identity.textContent = '';
		return;
	}
	const build = identity.build || {};
	const page = identity.ui || {};
	table(ui.identity, [
		['Module', identity.moduleId],
		['Version', identity.version],
		['Format', identity.target],
		['Build', [build.mode, build.configuration].filter(Boolean).join(', ')],
		['Editor build', page.sourceRevision],
		['Built', page.buildTime],
	]);
}

function detailText(detail) {
	if (!detail || typeof detail !== 'object')
		return '';
	return Object.entries(detail).map(([k, v]) => `${k}: ${v}`).join(' · ');
}

function renderEvents() {
	if (!ui)
		return;
	ui.feedState.textContent = open ? 'Live' : 'Paused';
	ui.feedState.dataset.live = String(open);
	ui.events.textContent = '';
	if (events.length === 0) {
		ui.events.append(text('li', 'muted', open ? 'Waiting for events…' : 'Open this drawer to follow the lifecycle.'));
		return;
	}
	for (const e of [...events].reverse()) {
		const li = document.createElement('li');
		li.className = 'event';
		const t = typeof e.timeMs === 'number' ? `${(e.timeMs / 1000).toFixed(3)} s` : '';
		li.append(text('span', 'seq', `#${e.seq}`), text('span', 'kind', e.kind || ''),
			text('span', 'time', t));
		const d = detailText(e.detail);
		if (d)
			li.append(text('span', 'detail', d));
		ui.events.append(li);
	}
}

function renderTransport() {
	if (!ui)
		return;
	if (!transport) {
		ui.transport.textContent = '';
		ui.transport.append(text('p', 'muted', 'The host reports no transport to this instrument.'));
		return;
	}
	const s = transport.state || {};
	const sig = s.timeSignature || {};
	table(ui.transport, [
		['Playing', s.playing ? 'yes' : 'no'],
		['Tempo', typeof s.tempo === 'number' ? `${displayNumber(s.tempo, 3)} BPM` : undefined],
		['Signature', sig.numerator ? `${sig.numerator}/${sig.denominator}` : undefined],
		['Position', typeof s.ppqPosition === 'number' ? `${s.ppqPosition.toFixed(2)} quarters` : undefined],
	]);
}
