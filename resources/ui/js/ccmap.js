// The MIDI CC panel: which controller numbers move which parameters, and
// how. Every edit sends the whole map; the plug-in answers with the map it
// adopted, which is what the panel then shows. "Learn" asks the plug-in to
// give a mapping the next controller moved; the controllers the plug-in
// sees light up their mappings' meters.
import { PARAMS, BY_PATH, SECTIONS, isSwitch, valueText, displayNumber } from './params.js';
import { send } from './bridge.js';

const CURVES = [['', 'Linear'], ['exp', 'Exponential'], ['log', 'Logarithmic'], ['s-curve', 'S-curve']];
// What the controller sends: a knob or fader its position, an endless
// encoder steps (each relative encoding named by the values it sends for
// one step up and down), a button presses.
const MODES = [
	['', 'Knob or fader'],
	['relative-signed-bit', 'Endless encoder: 65 up, 1 down'],
	['relative-binary-offset', 'Endless encoder: 65 up, 63 down'],
	['relative-twos-complement', 'Endless encoder: 1 up, 127 down'],
	['toggle', 'Button: each press flips'],
];
// How a knob takes over a value that moved without it.
const TAKEOVERS = [
	['', 'Jump to the knob'],
	['pickup', 'Pick up when the knob meets the value'],
	['scaled', 'Catch up gradually'],
];

let bindings = [];
let ui = null;
let confirmed = true;
let learning = -1;
let notice = '';
// The last value and channel the plug-in saw of each controller number, so
// that the meters outlive a re-drawn list.
const seen = new Map();

export function mount(root) {
	ui = {
		list: root.querySelector('#cc-list'),
		empty: root.querySelector('#cc-empty'),
		add: root.querySelector('#cc-add'),
		status: root.querySelector('#cc-status'),
		count: document.querySelector('#cc-count'),
	};
	ui.add.addEventListener('click', () => {
		const used = new Set(bindings.map((b) => b.cc));
		let cc = 20;
		while (used.has(cc) && cc < 127)
			++cc;
		const mapped = new Set(bindings.map((b) => b.path));
		const target = PARAMS.find((p) => !mapped.has(p.path)) || PARAMS[0];
		bindings.push({ cc, path: target.path });
		commit();
		render();
		const rows = ui.list.querySelectorAll('.cc-row');
		const last = rows[rows.length - 1];
		if (last)
			last.querySelector('.cc-number').focus();
	});
	render();
}

// Keeps only the members the map document knows, in its own form.
function clean(b) {
	const out = { cc: b.cc, path: b.path };
	if (b.channel)
		out.channel = b.channel;
	if (typeof b.min === 'number')
		out.min = b.min;
	if (typeof b.max === 'number')
		out.max = b.max;
	if (b.curve)
		out.curve = b.curve;
	if (b.valueMode)
		out.valueMode = b.valueMode;
	if (b.takeover)
		out.takeover = b.takeover;
	if (b.enabled === false)
		out.enabled = false;
	return out;
}

export function document_() {
	return { version: 1, bindings: bindings.map(clean) };
}

function commit() {
	confirmed = false;
	notice = '';
	send({ type: 'tavik.setCcMap', map: document_() });
	status();
}

// A map from the plug-in (the hello or a change report).
export function adopt(map) {
	const list = map && Array.isArray(map.bindings) ? map.bindings : Array.isArray(map) ? map : [];
	const incoming = list.filter((b) => b && typeof b.cc === 'number' && BY_PATH.has(b.path)).map(clean);
	const same = JSON.stringify(incoming) === JSON.stringify(bindings.map(clean));
	confirmed = true;
	// The rows edit the binding objects they were built with: keep them
	// when the plug-in confirms what the panel already shows.
	if (!same) {
		bindings = incoming;
		render();
	}
	status();
}

// "tavik.ccLearnState": which mapping waits for a controller (-1 none),
// and whether one was just learned.
export function onLearnState(m) {
	const slot = Number.isInteger(m && m.slot) ? m.slot : -1;
	if (m && m.learned === true && learning >= 0 && bindings[learning])
		notice = `Mapping ${learning + 1} now listens to CC ${bindings[learning].cc}.`;
	learning = slot >= 0 && slot < bindings.length ? slot : -1;
	showLearning();
	status();
}

// "tavik.midiCc": a controller the plug-in saw move. Every mapping it
// drives shows the value on its meter.
export function onController(m) {
	if (!ui || !m || !Number.isInteger(m.cc) || !Number.isInteger(m.value))
		return;
	const value = Math.min(127, Math.max(0, m.value));
	seen.set(m.cc, { value, channel: m.channel });
	ui.list.querySelectorAll('.cc-row').forEach((row, i) => {
		const b = bindings[i];
		if (!b || b.cc !== m.cc)
			return;
		const meter = row.querySelector('.cc-activity');
		if (showActivity(meter, b)) {
			meter.classList.remove('moved');
			void meter.offsetWidth; // restarts the glow
			meter.classList.add('moved');
		}
	});
}

// Shows on `meter` what the plug-in last saw of the binding's controller,
// when it moved on a channel the binding listens to; true when it did.
function showActivity(meter, b) {
	const last = seen.get(b.cc);
	if (!last || (b.channel && b.channel !== last.channel)) {
		meter.style.setProperty('--level', '0');
		delete meter.dataset.value;
		meter.title = `No movement of CC ${b.cc} seen yet`;
		return false;
	}
	meter.style.setProperty('--level', String(last.value / 127));
	meter.dataset.value = String(last.value);
	meter.title = `CC ${b.cc} last sent ${last.value} on channel ${last.channel}`;
	return true;
}

function learn(i) {
	const stop = learning === i;
	send(stop ? { type: 'tavik.ccLearn' } : { type: 'tavik.ccLearn', value: i });
}

function showLearning() {
	if (!ui)
		return;
	ui.list.querySelectorAll('.cc-learn').forEach((button, i) => {
		const on = i === learning;
		button.setAttribute('aria-pressed', String(on));
		button.textContent = on ? 'Listening…' : 'Learn';
	});
}

function status() {
	if (!ui)
		return;
	const n = bindings.length;
	let text;
	if (!confirmed)
		text = 'Sending to the plug-in…';
	else if (learning >= 0)
		text = `Move a controller for mapping ${learning + 1}, or press Listening… to stop.`;
	else if (notice)
		text = notice;
	else
		text = n === 0 ? '' : `${n} mapping${n === 1 ? '' : 's'} active in the plug-in.`; // none: the list says so
	ui.status.textContent = text;
	ui.count.textContent = n > 0 ? String(n) : '';
	ui.count.hidden = n === 0;
}

function option(value, text, selected) {
	const o = document.createElement('option');
	o.value = value;
	o.textContent = text;
	o.selected = selected;
	return o;
}

function select(className, label, choices, current, onChange) {
	const s = document.createElement('select');
	s.className = className;
	s.setAttribute('aria-label', label);
	for (const [value, text] of choices)
		s.append(option(value, text, current === value));
	s.addEventListener('change', () => onChange(s.value));
	return s;
}

// The steps a range end can take for a parameter with steps (a list, a
// switch), as [plain value, text]; null for a continuous one.
function rangeSteps(p) {
	if (p.kind === 'list')
		return p.entries.map((text, i) => [i, text]);
	if (isSwitch(p))
		return [[0, 'Off'], [1, 'On']];
	return null;
}

// One end of the binding's range: the parameter's own end when the
// binding sets none.
function rangeEnd(b, p, key, n) {
	const own = key === 'min' ? p.min : p.max;
	const label = `Mapping ${n}: ${key === 'min' ? 'value at the bottom of the controller' : 'value at the top of the controller'}`;
	const steps = rangeSteps(p);
	if (steps) {
		const current = typeof b[key] === 'number' ? b[key] : own;
		return select(`cc-${key}`, label, steps.map(([v, text]) => [String(v), text]), String(current), (v) => {
			const plain = Number(v);
			b[key] = plain === own ? undefined : plain;
			commit();
		});
	}
	const input = document.createElement('input');
	input.type = 'number';
	input.className = `cc-${key}`;
	input.min = String(p.min);
	input.max = String(p.max);
	input.step = 'any';
	input.placeholder = displayNumber(own, p.decimals);
	input.value = typeof b[key] === 'number' ? String(b[key]) : '';
	input.setAttribute('aria-label', label + (p.unit ? ` (${p.unit})` : ''));
	input.addEventListener('change', () => {
		if (input.value.trim() === '') {
			b[key] = undefined; // back to the parameter's own end
			commit();
			return;
		}
		const v = Number(input.value);
		if (!Number.isFinite(v)) {
			input.value = typeof b[key] === 'number' ? String(b[key]) : '';
			return;
		}
		b[key] = Math.min(p.max, Math.max(p.min, v));
		input.value = String(b[key]);
		commit();
	});
	return input;
}

// What the range means, in words: "Controller 0 → 127 sweeps 300 Hz → 100 Hz".
function rangeSummary(b, p) {
	const lo = typeof b.min === 'number' ? b.min : p.min;
	const hi = typeof b.max === 'number' ? b.max : p.max;
	const text = (v) => {
		const steps = rangeSteps(p);
		const shown = steps ? (steps.find(([s]) => s === Math.round(v)) || [0, valueText(p, v)])[1] : valueText(p, v);
		return p.unit ? `${shown} ${p.unit}` : shown;
	};
	if (b.valueMode === 'toggle')
		return `Flips between ${text(lo)} and ${text(hi)}`;
	return `${text(lo)} → ${text(hi)}${hi < lo ? ' (reversed)' : ''}`;
}

function line(className, ...children) {
	const div = document.createElement('div');
	div.className = `cc-line ${className}`;
	div.append(...children);
	return div;
}

function labelled(text, control) {
	const label = document.createElement('label');
	label.className = 'cc-field';
	const span = document.createElement('span');
	span.textContent = text;
	span.setAttribute('aria-hidden', 'true');
	label.append(span, control);
	return label;
}

function render() {
	if (!ui)
		return;
	ui.list.textContent = '';
	ui.empty.hidden = bindings.length > 0;
	if (learning >= bindings.length)
		learning = -1;
	bindings.forEach((b, i) => {
		const row = document.createElement('li');
		row.className = 'cc-row';
		const n = i + 1;
		const p = BY_PATH.get(b.path);

		const cc = document.createElement('input');
		cc.type = 'number';
		cc.min = '0';
		cc.max = '127';
		cc.step = '1';
		cc.value = String(b.cc);
		cc.className = 'cc-number';
		cc.setAttribute('aria-label', `Mapping ${n}: controller number`);
		cc.addEventListener('change', () => {
			const v = Math.round(Number(cc.value));
			if (!Number.isFinite(v) || cc.value === '') {
				cc.value = String(b.cc);
				return;
			}
			b.cc = Math.min(127, Math.max(0, v));
			cc.value = String(b.cc);
			showActivity(meter, b);
			commit();
		});

		const learnButton = document.createElement('button');
		learnButton.type = 'button';
		learnButton.className = 'button small cc-learn';
		learnButton.setAttribute('aria-label', `Mapping ${n}: learn the controller number from the next controller moved`);
		learnButton.addEventListener('click', () => learn(i));

		const meter = document.createElement('span');
		meter.className = 'cc-activity';
		meter.setAttribute('aria-hidden', 'true');
		showActivity(meter, b);

		const target = document.createElement('select');
		target.className = 'cc-target';
		target.setAttribute('aria-label', `Mapping ${n}: parameter`);
		for (const section of SECTIONS) {
			const group = document.createElement('optgroup');
			group.label = section.title;
			for (const path of section.paths)
				group.append(option(path, BY_PATH.get(path).title, path === b.path));
			target.append(group);
		}
		target.addEventListener('change', () => {
			b.path = target.value;
			// A range in one parameter's units means nothing for another.
			b.min = undefined;
			b.max = undefined;
			commit();
			render();
		});

		const channelChoices = [['0', 'Any channel']];
		for (let c = 1; c <= 16; ++c)
			channelChoices.push([String(c), `Channel ${c}`]);
		const channel = select('cc-channel', `Mapping ${n}: MIDI channel`, channelChoices, String(b.channel || 0), (v) => {
			b.channel = Number(v) || undefined;
			showActivity(meter, b);
			commit();
		});

		const curve = select('cc-curve', `Mapping ${n}: response curve`, CURVES, b.curve || '', (v) => {
			b.curve = v || undefined;
			commit();
		});

		const enabledLabel = document.createElement('label');
		enabledLabel.className = 'cc-enabled';
		const enabled = document.createElement('input');
		enabled.type = 'checkbox';
		enabled.checked = b.enabled !== false;
		enabled.setAttribute('aria-label', `Mapping ${n}: enabled`);
		enabled.addEventListener('change', () => {
			b.enabled = enabled.checked ? undefined : false;
			commit();
		});
		enabledLabel.append(enabled, document.createTextNode('On'));

		const remove = document.createElement('button');
		remove.type = 'button';
		remove.className = 'icon-button cc-remove';
		remove.setAttribute('aria-label', `Remove mapping ${n} (CC ${b.cc} to ${p.title})`);
		remove.innerHTML = '<svg viewBox="0 0 16 16" aria-hidden="true"><path d="M4 4l8 8M12 4l-8 8"/></svg>';
		remove.addEventListener('click', () => {
			if (learning === i)
				send({ type: 'tavik.ccLearn' });
			bindings.splice(i, 1);
			commit();
			render();
			(ui.list.querySelector('.cc-remove') || ui.add).focus();
		});

		const prefix = document.createElement('span');
		prefix.className = 'cc-prefix';
		prefix.textContent = 'CC';
		prefix.setAttribute('aria-hidden', 'true');
		const arrow = document.createElement('span');
		arrow.className = 'cc-arrow';
		arrow.setAttribute('aria-hidden', 'true');
		arrow.textContent = '→';

		const summary = document.createElement('span');
		summary.className = 'cc-summary';
		summary.textContent = rangeSummary(b, p);

		const takeover = select('cc-takeover', `Mapping ${n}: when the parameter moved without the controller`,
			TAKEOVERS, b.takeover || '', (v) => {
				b.takeover = v || undefined;
				commit();
			});
		// Only a knob or fader sends positions to take over from.
		takeover.disabled = Boolean(b.valueMode);
		const mode = select('cc-mode', `Mapping ${n}: what the controller is`, MODES, b.valueMode || '', (v) => {
			b.valueMode = v || undefined;
			takeover.disabled = Boolean(b.valueMode);
			summary.textContent = rangeSummary(b, p);
			commit();
		});

		const from = rangeEnd(b, p, 'min', n);
		const to = rangeEnd(b, p, 'max', n);
		for (const end of [from, to])
			end.addEventListener('change', () => { summary.textContent = rangeSummary(b, p); });
		const unit = document.createElement('span');
		unit.className = 'cc-unit';
		unit.textContent = p.unit || '';
		unit.setAttribute('aria-hidden', 'true');

		row.append(
			line('cc-head', prefix, cc, learnButton, meter, arrow, target, remove),
			line('cc-how', channel, curve, enabledLabel),
			line('cc-range', labelled('From', from), labelled('to', to), unit, summary),
			line('cc-modes', mode, takeover));
		ui.list.append(row);
	});
	showLearning();
	status();
}
