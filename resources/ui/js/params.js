// The instrument's parameters as the plug-in defines them (js/tables.js,
// written at build time from the plug-in's parameter table), with the
// conversions and display texts the host uses, so the page shows what a
// host shows.
import { PARAMETERS } from './tables.js';

export const PARAMS = PARAMETERS;

export const BY_PATH = new Map(PARAMS.map((p) => [p.path, p]));

// How the page groups the controls: the way a player reaches for them,
// not the plug-in's internal groups.
export const SECTIONS = [
	{ key: 'gong', title: 'Gong & Size', paths: ['ir.instrument', 'ir.size', 'model.stiffness',
		'model.coupling', 'model.edgeLoss', 'model.radiation'] },
	{ key: 'strike', title: 'Strike & Mallet', paths: ['mallet.type', 'strike.position',
		'strike.velTone', 'exciter.noise'] },
	{ key: 'bloom', title: 'Bloom, Glide & Ombak', paths: ['bloom.amount', 'bloom.time',
		'glide.amount', 'glide.depth', 'glide.time', 'ombak.amount', 'ombak.rate'] },
	{ key: 'envelope', title: 'Envelope', paths: ['amp.decay', 'ir.decayScale', 'ir.damping',
		'amp.release'] },
	{ key: 'tuning', title: 'Tuning & Level', paths: ['tuning.baseFreq', 'master.level',
		'ir.stereoWidth'] },
	{ key: 'performance', title: 'Performance', paths: ['performance.fixedVelocity',
		'performance.velocity'] },
];

export function isSwitch(p) {
	return p.kind === 'continuous' && p.step === 1 && p.min === 0 && p.max === 1;
}

export function clamp(v, lo, hi) {
	return v < lo ? lo : v > hi ? hi : v;
}

// Normalized (0..1) to the plain value the host reports.
export function toPlain(p, normalized) {
	if (p.kind === 'list') {
		const n = p.entries.length - 1;
		return clamp(Math.floor(n * normalized + 0.5), 0, n);
	}
	const x = clamp(normalized, 0, 1);
	let v = p.min + x * (p.max - p.min);
	if (p.step !== 0)
		v = p.step * Math.floor(v / p.step + 0.5);
	return v;
}

export function toNormalized(p, plain) {
	if (p.kind === 'list') {
		const n = p.entries.length - 1;
		return n > 0 ? clamp(plain, 0, n) / n : 0;
	}
	if (p.min === p.max)
		return 0;
	return clamp((plain - p.min) / (p.max - p.min), 0, 1);
}

// Snaps a plain value to what the host's rules make of it (lists take an
// index, a stepped row its step).
export function quantize(p, plain) {
	return toPlain(p, toNormalized(p, plain));
}

// A value reported by the host, kept as the parameter holds it: lists and
// stepped rows on their steps, continuous rows as they came (a round trip
// through the normalized value would add noise of its own).
export function fromHost(p, plain) {
	return p.kind === 'list' || p.step !== 0 ? quantize(p, plain) : clamp(plain, p.min, p.max);
}

const TEN = [1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12];

// `value` rounded half away from zero to `places` decimals, without
// trailing zeros or exponent; zero is always "0". The one number formatter
// of the page: every readout goes through it.
export function displayNumber(value, places) {
	const scale = TEN[clamp(places, 0, 12)];
	const x = value * scale;
	const units = x < 0 ? -Math.round(-x) : Math.round(x);
	if (!Number.isFinite(units) || Math.abs(units) >= 2 ** 53)
		return String(value);
	if (units === 0)
		return '0';
	const magnitude = Math.abs(units);
	const fraction = magnitude % scale;
	const whole = (magnitude - fraction) / scale;
	let text = `${units < 0 ? '-' : ''}${whole}`;
	if (fraction !== 0)
		text += `.${String(fraction).padStart(places, '0').replace(/0+$/, '')}`;
	return text;
}

// The display text of a plain value, as the host's getParamStringByValue
// writes it (no unit): the list entry, or the number to the row's decimals.
export function valueText(p, plain) {
	if (p.kind === 'list') {
		const i = clamp(Math.floor(plain + 0.5), 0, p.entries.length - 1);
		return p.entries[i];
	}
	return displayNumber(plain, p.decimals);
}

export function valueWithUnit(p, plain) {
	const text = valueText(p, plain);
	return p.unit ? `${text} ${p.unit}` : text;
}

// The plain value a readout stands for (what aria-valuenow reports).
export function shownValue(p, plain) {
	return p.kind === 'list' ? clamp(Math.floor(plain + 0.5), 0, p.entries.length - 1)
		: Number(displayNumber(plain, p.decimals));
}

// The longest leading number of `text` by the C library's strtod rules
// (leading white space, sign, decimal or hexadecimal digits with an
// exponent, "inf", "infinity", "nan"), or null when there is none.
export function leadingNumber(text) {
	const s = String(text).replace(/^[ \t\n\v\f\r]+/, '');
	let i = 0;
	let sign = 1;
	if (s[0] === '+' || s[0] === '-') {
		sign = s[0] === '-' ? -1 : 1;
		i = 1;
	}
	const rest = s.slice(i);
	if (/^inf/i.test(rest))
		return sign * Infinity;
	if (/^nan/i.test(rest))
		return NaN;
	const hex = /^0[xX]([0-9a-fA-F]*)(?:\.([0-9a-fA-F]*))?/.exec(rest);
	if (hex && (hex[1] + (hex[2] || '')).length > 0) {
		const digits = hex[1] + (hex[2] || '');
		let exponent = -4 * (hex[2] || '').length;
		const tail = /^[pP]([+-]?\d+)/.exec(rest.slice(hex[0].length));
		if (tail)
			exponent += Number(tail[1]);
		let mantissa = 0;
		for (const d of digits)
			mantissa = mantissa * 16 + parseInt(d, 16);
		return sign * mantissa * 2 ** exponent;
	}
	const dec = /^(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?/.exec(rest);
	return dec ? sign * Number(dec[0]) : null;
}

const NOTE_STEPS = { c: -9, d: -7, e: -5, f: -4, g: -2, a: 0, b: 2 };
const NOTE_NAMES = ['C', 'C#', 'D', 'D#', 'E', 'F', 'F#', 'G', 'G#', 'A', 'A#', 'B'];

// A note name ("A2", "C#3", "Bb1", "A2 +31¢") in Hz, A4 = 440 Hz; null
// when the text is not one.
export function noteToHz(text) {
	const m = /^\s*([A-Ga-g])\s*(#|♯|b|♭)?\s*(-?\d)\s*(?:([+-]\s*\d+(?:\.\d+)?)\s*(?:¢|c|cents?)?)?\s*$/.exec(text);
	if (!m)
		return null;
	const accidental = m[2] === '#' || m[2] === '♯' ? 1 : m[2] ? -1 : 0;
	const semis = NOTE_STEPS[m[1].toLowerCase()] + accidental + 12 * (Number(m[3]) - 4);
	const cents = m[4] ? Number(m[4].replace(/\s+/g, '')) : 0;
	return 440 * 2 ** ((semis * 100 + cents) / 1200);
}

// The nearest note to a frequency, with the cents it is off by when that
// is a cent or more ("A2", "D2 −34¢").
export function noteName(hz) {
	if (!(hz > 0))
		return '';
	const cents = Math.round(1200 * Math.log2(hz / 440));
	const semis = Math.round(cents / 100);
	const off = cents - semis * 100;
	const midi = 69 + semis;
	const name = `${NOTE_NAMES[((midi % 12) + 12) % 12]}${Math.floor(midi / 12) - 1}`;
	return off === 0 ? name : `${name} ${off > 0 ? '+' : '−'}${Math.abs(off)}¢`;
}

// A typed value, read as the host's getParamValueByString reads it: a list
// entry by its exact name, else the longest leading number (a list takes
// it as an index), held to the range. Base Pitch also takes a note name.
// Returns the plain value to send, or null when the text names no value.
export function parseValueText(p, text) {
	if (p.kind === 'list') {
		const i = p.entries.indexOf(text);
		if (i >= 0)
			return i;
	}
	let n = leadingNumber(text);
	if (n === null && p.path === 'tuning.baseFreq')
		n = noteToHz(text);
	if (n === null || Number.isNaN(n))
		return null;
	return p.kind === 'list' || p.step !== 0 ? quantize(p, n) : clamp(n, p.min, p.max);
}

// The steps of a page gesture in plain units: fine enough to feel
// continuous, coarse enough that the host shows a tidy number (a thousandth
// of the range's decade: 0.001 for Level, 0.1 for Base Pitch).
function gesturePlaces(p) {
	return clamp(3 - Math.floor(Math.log10(p.max - p.min)), 0, 12);
}

export function roundToResolution(p, plain) {
	const scale = TEN[gesturePlaces(p)];
	return clamp(Math.round(plain * scale) / scale, p.min, p.max);
}
