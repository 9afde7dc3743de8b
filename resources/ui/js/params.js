// The instrument's 26 parameters as the plug-in defines them, with the
// conversions the host uses, so the page shows the same values and texts.

const row = (id, path, title, group, kind, min, max, step, def, unit, entries) =>
	({ id, path, title, group, kind, min, max, step, def, unit: unit || '', entries: entries || null });

export const PARAMS = [
	row(0, 'ir.instrument', 'Gong', 'Instrument', 'list', 0, 5, 0, 0, '',
		['Tam-Tam', 'Wind Gong', 'Daluo', 'Xiaoluo', 'Gong Ageng', 'Symphonic']),
	row(1, 'ir.size', 'Size', 'Instrument', 'continuous', 0.5, 2, 0, 1),
	row(2, 'ir.decayScale', 'Decay', 'Instrument', 'continuous', 0.1, 3, 0, 1),
	row(3, 'ir.damping', 'Damping', 'Instrument', 'continuous', 0.05, 4, 0, 1),
	row(4, 'ir.stereoWidth', 'Width', 'Instrument', 'continuous', 0, 1, 0, 0.4),
	row(5, 'strike.position', 'Position', 'Strike', 'continuous', 0, 1, 0, 0.15),
	row(6, 'strike.velTone', 'Vel Tone', 'Strike', 'continuous', 0, 1, 0, 0.6),
	row(7, 'mallet.type', 'Mallet', 'Strike', 'list', 0, 3, 0, 0, '', ['Yarn', 'Felt', 'Wood', 'Metal']),
	row(8, 'exciter.noise', 'Roughness', 'Strike', 'continuous', 0, 1, 0, 0.15),
	row(9, 'bloom.amount', 'Bloom', 'Bloom', 'continuous', 0, 1, 0, 0.7),
	row(10, 'bloom.time', 'Bloom Time', 'Bloom', 'continuous', 0.1, 3, 0, 0.8, 's'),
	row(11, 'glide.amount', 'Glide', 'Bloom', 'continuous', 0, 1, 0, 0.7),
	row(12, 'ombak.amount', 'Ombak', 'Bloom', 'continuous', 0, 2, 0, 1),
	row(13, 'ombak.rate', 'Ombak Rate', 'Bloom', 'continuous', 0, 8, 0, 2.5, 'Hz'),
	row(14, 'amp.decay', 'Ring', 'Envelope', 'continuous', 0.05, 15, 0, 15, 's'),
	row(15, 'amp.release', 'Damp Time', 'Envelope', 'continuous', 0.02, 4, 0, 0.6, 's'),
	row(16, 'tuning.baseFreq', 'Base Pitch', 'Tuning', 'continuous', 55, 440, 0, 110, 'Hz'),
	row(17, 'master.level', 'Level', 'Master', 'continuous', 0, 1, 0, 0.8),
	row(18, 'model.stiffness', 'Stiffness / Curvature', 'Model', 'continuous', -1, 1, 0, 0),
	row(19, 'model.coupling', 'Nonlinear Coupling', 'Model', 'continuous', 0, 1, 0, 0),
	row(20, 'model.edgeLoss', 'Edge Loss', 'Model', 'continuous', 0, 1, 0, 0),
	row(21, 'model.radiation', 'Radiation Tilt', 'Model', 'continuous', -1, 1, 0, 0),
	row(22, 'glide.depth', 'Glide Depth', 'Bloom', 'continuous', 0, 1, 0, 0.65),
	row(23, 'glide.time', 'Glide Time', 'Bloom', 'continuous', 0.1, 2.5, 0, 0.85, 's'),
	row(24, 'performance.fixedVelocity', 'Fixed Velocity', 'Performance', 'continuous', 0, 1, 1, 0),
	row(25, 'performance.velocity', 'Velocity', 'Performance', 'continuous', 0.01, 1, 0, 0.85),
];

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

// The display text the host shows for a plain value: the list entry, or the
// shortest decimal that reads back to the value. Arithmetic noise such as
// 0.17999999999999994 (left by the normalized round trip) is trimmed at 12
// significant digits so the player reads 0.18.
export function valueText(p, plain) {
	if (p.kind === 'list') {
		const i = clamp(Math.floor(plain + 0.5), 0, p.entries.length - 1);
		return p.entries[i];
	}
	const tidy = Number(plain.toPrecision(12));
	return Object.is(tidy, -0) ? '0' : String(tidy);
}

export function valueWithUnit(p, plain) {
	const text = valueText(p, plain);
	return p.unit ? `${text} ${p.unit}` : text;
}

// The resolution of a page gesture in plain units: fine enough to feel
// continuous, coarse enough that the host shows a tidy number.
export function resolution(p) {
	const span = p.max - p.min;
	return Math.pow(10, Math.floor(Math.log10(span)) - 3);
}

export function roundToResolution(p, plain) {
	const r = resolution(p);
	const v = Math.round(plain / r) * r;
	return Number(clamp(v, p.min, p.max).toPrecision(12));
}
