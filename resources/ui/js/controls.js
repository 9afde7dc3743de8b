// The parameter controls: rotary knobs for continuous values, segmented
// buttons for lists, a switch for on/off rows. Each speaks the gesture
// protocol and follows the plug-in's reports.
import { clamp, toNormalized, toPlain, valueWithUnit, roundToResolution, shownValue,
	parseValueText, noteName, isSwitch } from './params.js';
import * as store from './store.js';
import { Gesture, editOnce } from './bridge.js';

let uid = 0;
const SVG = 'http://www.w3.org/2000/svg';

// Knob sweep: 270 degrees, from 7:30 to 4:30 o'clock.
const START = -135;
const SWEEP = 270;

function polar(cx, cy, r, deg) {
	const a = (deg - 90) * Math.PI / 180;
	return [cx + r * Math.cos(a), cy + r * Math.sin(a)];
}

function arcPath(cx, cy, r, from, to) {
	if (Math.abs(to - from) < 0.01)
		to = from + 0.01;
	const [x0, y0] = polar(cx, cy, r, from);
	const [x1, y1] = polar(cx, cy, r, to);
	const large = Math.abs(to - from) > 180 ? 1 : 0;
	const sweep = to > from ? 1 : 0;
	return `M${x0.toFixed(2)} ${y0.toFixed(2)}A${r} ${r} 0 ${large} ${sweep} ${x1.toFixed(2)} ${y1.toFixed(2)}`;
}

function el(tag, cls, attrs) {
	const e = document.createElement(tag);
	if (cls)
		e.className = cls;
	for (const [k, v] of Object.entries(attrs || {}))
		e.setAttribute(k, v);
	return e;
}

function svgEl(tag, attrs) {
	const e = document.createElementNS(SVG, tag);
	for (const [k, v] of Object.entries(attrs || {}))
		e.setAttribute(k, v);
	return e;
}

export function createControl(p) {
	if (p.kind === 'list')
		return createSegmented(p);
	if (isSwitch(p))
		return createSwitch(p);
	return createKnob(p);
}

// The wheel: one step is 1 % of the range (0.1 % with Shift). A mouse
// notch is about 50 px (Chromium and WebKitGTK on Linux) or 3 lines; a
// touchpad sends many small pixel deltas that add up the same way, so a
// swipe moves as far as its length, never a step per event.
const WHEEL_PX_PER_STEP = 50;
const WHEEL_LINES_PER_STEP = 3;
const WHEEL_STEPS_PER_PAGE = 10;
// Wheel events closer together than this are one gesture (one undo step).
const WHEEL_GESTURE_MS = 250;

function wheelSteps(e) {
	const d = e.deltaY !== 0 ? e.deltaY : e.deltaX;
	const steps = e.deltaMode === 1 ? d / WHEEL_LINES_PER_STEP
		: e.deltaMode === 2 ? d * WHEEL_STEPS_PER_PAGE : d / WHEEL_PX_PER_STEP;
	// Up (a negative delta) raises the value; one event moves at most a page.
	return clamp(-steps, -WHEEL_STEPS_PER_PAGE, WHEEL_STEPS_PER_PAGE);
}

function createKnob(p) {
	const id = `ctl-${++uid}`;
	const root = el('div', 'ctl knob', { 'data-path': p.path });
	const dial = el('div', 'knob-dial', {
		role: 'slider', tabindex: '0', 'aria-labelledby': `${id}-label`,
		'aria-valuemin': String(p.min), 'aria-valuemax': String(p.max),
		'aria-describedby': 'knob-help', 'data-path': p.path,
	});
	const svg = svgEl('svg', { viewBox: '0 0 64 64', 'aria-hidden': 'true', focusable: 'false' });
	const bipolar = p.min < 0 && p.max > 0;
	const origin = bipolar ? START + SWEEP / 2 : START;
	svg.append(
		svgEl('circle', { class: 'knob-face', cx: 32, cy: 32, r: 21 }),
		svgEl('path', { class: 'knob-track', d: arcPath(32, 32, 27, START, START + SWEEP) }),
	);
	const valueArc = svgEl('path', { class: 'knob-arc' });
	const pointer = svgEl('line', { class: 'knob-pointer', x1: 32, y1: 32, x2: 32, y2: 15 });
	svg.append(valueArc, pointer);
	dial.append(svg);
	const label = el('div', 'ctl-label', { id: `${id}-label` });
	label.textContent = p.title;
	const out = el('output', 'ctl-value', { 'aria-hidden': 'true' });
	const valueSpan = el('span', 'value-text');
	out.append(valueSpan);
	// Base Pitch also names the nearest note.
	const noteSpan = p.path === 'tuning.baseFreq' ? el('span', 'value-note') : null;
	if (noteSpan)
		out.append(noteSpan);
	root.append(dial, label, out);
	root.title = `${p.title}: drag to change; click, then scroll for small steps; ` +
		`double-click to reset to ${valueWithUnit(p, p.def)}; double-click the value to type one`;

	let shown = null;
	let shownNote = null;
	function render(plain) {
		const n = toNormalized(p, plain);
		const deg = START + n * SWEEP;
		valueArc.setAttribute('d', n === (bipolar ? 0.5 : 0) ? '' : arcPath(32, 32, 27, Math.min(origin, deg), Math.max(origin, deg)));
		pointer.setAttribute('transform', `rotate(${deg.toFixed(2)} 32 32)`);
		const text = valueWithUnit(p, plain);
		const note = noteSpan ? noteName(shownValue(p, plain)) : '';
		if (text === shown && note === shownNote)
			return;
		shown = text;
		shownNote = note;
		valueSpan.textContent = text;
		if (noteSpan)
			noteSpan.textContent = note;
		dial.setAttribute('aria-valuenow', String(shownValue(p, plain)));
		dial.setAttribute('aria-valuetext', note ? `${text}, ${note}` : text);
	}
	store.onPath(p.path, (v) => render(v));
	render(store.get(p.path));

	// One short gesture: the value snapped to the page's resolution, sent
	// only when it differs from what the control shows.
	function nudgeTo(plain) {
		const v = roundToResolution(p, clamp(plain, p.min, p.max));
		if (v === store.get(p.path))
			return;
		store.setLocal(p.path, v);
		editOnce(p.path, v);
	}
	const span = p.max - p.min;

	// Drag: 200 px for the whole range, ten times finer with Shift. The
	// position is tracked unrounded so slow drags still move.
	let drag = null;
	dial.addEventListener('pointerdown', (e) => {
		if (e.button !== 0)
			return;
		e.preventDefault();
		endWheel();
		dial.focus();
		dial.setPointerCapture(e.pointerId);
		drag = { y: e.clientY, n: toNormalized(p, store.get(p.path)), gesture: new Gesture(p.path) };
		store.hold(p.path);
		root.classList.add('active');
	});
	dial.addEventListener('pointermove', (e) => {
		if (!drag)
			return;
		const dy = e.clientY - drag.y;
		drag.y = e.clientY;
		drag.n = clamp(drag.n - dy / (e.shiftKey ? 2000 : 200), 0, 1);
		const v = roundToResolution(p, toPlain(p, drag.n));
		if (v !== store.get(p.path)) {
			store.setLocal(p.path, v);
			drag.gesture.set(v);
		}
	});
	function endDrag() {
		if (!drag)
			return;
		drag.gesture.end();
		drag = null;
		store.release(p.path);
		root.classList.remove('active');
	}
	dial.addEventListener('pointerup', endDrag);
	dial.addEventListener('pointercancel', endDrag);
	dial.addEventListener('lostpointercapture', endDrag);

	// The wheel adjusts only the knob the player has picked (focused) or is
	// dragging; over any other knob it scrolls the page. Events in quick
	// succession make one gesture, tracked unrounded like a drag.
	let wheel = null;
	function endWheel() {
		if (!wheel)
			return;
		clearTimeout(wheel.timer);
		wheel.gesture.end();
		wheel = null;
		store.release(p.path);
	}
	dial.addEventListener('wheel', (e) => {
		if (drag) {
			e.preventDefault();
			return;
		}
		if (document.activeElement !== dial)
			return;
		e.preventDefault();
		const steps = wheelSteps(e);
		if (steps === 0)
			return;
		if (!wheel) {
			wheel = { n: toNormalized(p, store.get(p.path)), gesture: new Gesture(p.path), timer: 0 };
			store.hold(p.path);
		}
		wheel.n = clamp(wheel.n + steps * (e.shiftKey ? 0.001 : 0.01), 0, 1);
		const v = roundToResolution(p, toPlain(p, wheel.n));
		if (v !== store.get(p.path)) {
			store.setLocal(p.path, v);
			wheel.gesture.set(v);
		}
		clearTimeout(wheel.timer);
		wheel.timer = setTimeout(endWheel, WHEEL_GESTURE_MS);
	}, { passive: false });
	dial.addEventListener('blur', endWheel);

	dial.addEventListener('dblclick', (e) => {
		e.preventDefault();
		nudgeTo(p.def);
	});

	dial.addEventListener('keydown', (e) => {
		if (e.key === 'Enter' && !e.repeat) {
			e.preventDefault();
			openEntry();
			return;
		}
		const fine = e.shiftKey ? 0.001 : 0.01;
		const v = store.get(p.path);
		let target = null;
		switch (e.key) {
		case 'ArrowUp': case 'ArrowRight': target = v + span * fine; break;
		case 'ArrowDown': case 'ArrowLeft': target = v - span * fine; break;
		case 'PageUp': target = v + span * 0.1; break;
		case 'PageDown': target = v - span * 0.1; break;
		case 'Home': target = p.min; break;
		case 'End': target = p.max; break;
		case 'Delete': case 'Backspace': target = p.def; break;
		default: return;
		}
		e.preventDefault();
		endWheel();
		nudgeTo(target);
	});

	// Typing an exact value: the entry takes what the host's text parser
	// takes ("0.8", "0.8 s", "1e-1"; Base Pitch also "A2"). Enter commits
	// as one gesture, Escape or leaving it cancels; a text that names no
	// value says so and changes nothing.
	let entry = null;
	function openEntry() {
		if (entry)
			return;
		endWheel();
		const input = el('input', 'value-entry', {
			type: 'text', spellcheck: 'false', autocomplete: 'off', enterkeyhint: 'done',
			'aria-label': `${p.title}${p.unit ? ` in ${p.unit}` : ''}`,
			'aria-describedby': `${id}-entry-error`,
		});
		const error = el('span', 'entry-error', { id: `${id}-entry-error`, role: 'alert' });
		input.value = valueWithUnit(p, store.get(p.path));
		entry = { input, error };
		out.hidden = true;
		out.after(input, error);
		input.focus();
		input.select();
		input.addEventListener('keydown', (e) => {
			if (e.key === 'Enter') {
				e.preventDefault();
				commitEntry();
			} else if (e.key === 'Escape') {
				e.preventDefault();
				e.stopPropagation();
				closeEntry(true);
			}
		});
		input.addEventListener('blur', () => closeEntry(false));
	}
	function closeEntry(refocus) {
		if (!entry)
			return;
		const { input, error } = entry;
		entry = null;
		input.remove();
		error.remove();
		out.hidden = false;
		if (refocus)
			dial.focus();
	}
	function commitEntry() {
		const plain = parseValueText(p, entry.input.value);
		if (plain === null) {
			entry.error.textContent = p.path === 'tuning.baseFreq' ? 'Type Hz or a note' : 'Type a number';
			entry.input.setAttribute('aria-invalid', 'true');
			entry.input.select();
			return;
		}
		closeEntry(true);
		if (plain !== store.get(p.path)) {
			store.setLocal(p.path, plain);
			editOnce(p.path, plain);
		}
	}
	out.addEventListener('dblclick', (e) => {
		e.preventDefault();
		openEntry();
	});
	return root;
}

function createSegmented(p) {
	const id = `ctl-${++uid}`;
	const root = el('div', 'ctl segmented', { 'data-path': p.path });
	const label = el('div', 'ctl-label', { id: `${id}-label` });
	label.textContent = p.title;
	const group = el('div', 'segments', { role: 'radiogroup', 'aria-labelledby': `${id}-label`,
		'data-path': p.path, 'data-count': String(p.entries.length) });
	const buttons = p.entries.map((name, i) => {
		const b = el('button', 'segment', { type: 'button', role: 'radio', 'data-index': String(i) });
		b.textContent = name;
		b.addEventListener('click', () => choose(i));
		group.append(b);
		return b;
	});
	root.append(label, group);

	function choose(i) {
		i = clamp(i, 0, p.entries.length - 1);
		if (i !== store.get(p.path)) {
			store.setLocal(p.path, i);
			editOnce(p.path, i);
		}
		buttons[i].focus();
	}
	function render(plain) {
		const index = Math.round(plain);
		buttons.forEach((b, i) => {
			b.setAttribute('aria-checked', String(i === index));
			b.tabIndex = i === index ? 0 : -1;
		});
	}
	group.addEventListener('keydown', (e) => {
		const v = store.get(p.path);
		let i = null;
		switch (e.key) {
		case 'ArrowRight': case 'ArrowDown': i = v + 1; break;
		case 'ArrowLeft': case 'ArrowUp': i = v - 1; break;
		case 'Home': i = 0; break;
		case 'End': i = p.entries.length - 1; break;
		default: return;
		}
		e.preventDefault();
		choose(i);
	});
	store.onPath(p.path, render);
	render(store.get(p.path));
	return root;
}

function createSwitch(p) {
	const id = `ctl-${++uid}`;
	const root = el('div', 'ctl switch', { 'data-path': p.path });
	const button = el('button', 'switch-button', { type: 'button', role: 'switch',
		'aria-labelledby': `${id}-label`, 'data-path': p.path });
	button.innerHTML = '<span class="switch-track" aria-hidden="true"><span class="switch-thumb"></span></span>';
	const label = el('div', 'ctl-label', { id: `${id}-label` });
	label.textContent = p.title;
	const out = el('output', 'ctl-value', { 'aria-hidden': 'true' });
	root.append(button, label, out);
	button.addEventListener('click', () => {
		const v = store.get(p.path) >= 0.5 ? 0 : 1;
		store.setLocal(p.path, v);
		editOnce(p.path, v);
	});
	function render(plain) {
		const on = plain >= 0.5;
		button.setAttribute('aria-checked', String(on));
		out.textContent = on ? 'On' : 'Off';
		root.title = `${p.title}: ${on ? 'On' : 'Off'}`;
	}
	store.onPath(p.path, render);
	render(store.get(p.path));
	return root;
}
