// What the current settings make of a struck gong: the modes' frequencies,
// levels, decay times and bloom, reckoned the way the instrument strikes a
// voice (note 45, which sounds at the base pitch). An approximation for the
// picture, not a renderer.

export const MODELS = [
	{ name: 'Tam-Tam', ref: 90, tail: 12, ombak: false,
		freq: [90, 127.8, 161.1, 194.4, 232.2, 267.3, 309.6, 355.5, 405.9, 470.7, 548.1, 640.8],
		decay: [0.06, 0.1, 0.14, 0.18, 0.22, 0.26, 0.3, 0.34, 0.38, 0.42, 0.46, 0.5],
		amp: [1, 0.85, 0.8, 0.7, 0.7, 0.6, 0.6, 0.55, 0.5, 0.45, 0.4, 0.35] },
	{ name: 'Wind Gong', ref: 180, tail: 5, ombak: false,
		freq: [180, 271.8, 363.6, 468, 585, 712.8, 864, 1026, 1206, 1422],
		decay: [0.35, 0.41, 0.47, 0.53, 0.59, 0.65, 0.71, 0.77, 0.84, 0.9],
		amp: [0.8, 0.9, 1, 0.9, 0.85, 0.8, 0.75, 0.7, 0.6, 0.5] },
	{ name: 'Daluo', ref: 210, tail: 4, ombak: false,
		freq: [210, 346.5, 504, 651, 819, 1008, 1239],
		decay: [0.12, 0.18, 0.24, 0.3, 0.36, 0.42, 0.5],
		amp: [1, 0.6, 0.45, 0.35, 0.3, 0.25, 0.2] },
	{ name: 'Xiaoluo', ref: 460, tail: 2.5, ombak: false,
		freq: [460, 782, 1219, 1656, 2162, 2714],
		decay: [0.28, 0.4, 0.5, 0.6, 0.72, 0.85],
		amp: [1, 0.7, 0.5, 0.4, 0.3, 0.25] },
	{ name: 'Gong Ageng', ref: 94, tail: 14, ombak: true,
		freq: [94, 188, 282.94, 376, 476.58, 580.92, 686.2, 799, 930.6, 1071.6],
		decay: [0.045, 0.07, 0.09, 0.11, 0.14, 0.17, 0.2, 0.24, 0.27, 0.3],
		amp: [1, 0.7, 0.5, 0.45, 0.3, 0.25, 0.2, 0.15, 0.12, 0.1] },
	{ name: 'Symphonic', ref: 110, tail: 8, ombak: false,
		freq: [110, 173.8, 249.7, 313.5, 388.3, 462, 561, 665.5, 792],
		decay: [0.08, 0.11, 0.15, 0.19, 0.23, 0.28, 0.33, 0.39, 0.45],
		amp: [1, 0.65, 0.55, 0.45, 0.4, 0.3, 0.25, 0.2, 0.15] },
];

const MALLET_SOFTNESS = [1, 0.65, 0.25, 0.05];
const MALLET_BLOOM = [1, 0.8, 0.45, 0.25];
const LN1000 = Math.log(1000);

const clamp = (v, lo, hi) => (v < lo ? lo : v > hi ? hi : v);

// v: plain values by path (a Map or an object with get()).
export function computeModes(v) {
	const get = (path) => v.get(path);
	const model = clamp(Math.round(get('ir.instrument')), 0, 5);
	const recipe = MODELS[model];
	const mallet = clamp(Math.round(get('mallet.type')), 0, 3);
	const f = get('tuning.baseFreq');
	const vel = clamp(get('performance.velocity'), 0, 1);
	const size = get('ir.size');
	const K = recipe.freq.length;
	const pitchDecay = Math.pow(recipe.ref / f, 0.2);
	const ombakSplit = recipe.ombak && get('ombak.amount') > 0
		? get('ombak.rate') * get('ombak.amount') / size : 0;
	const drive = 1 + 0.65 * get('model.coupling') * vel;
	const stiffness = get('model.stiffness');
	const edgeLoss = get('model.edgeLoss');
	const radiation = get('model.radiation');
	const pos = get('strike.position');
	const velTone = get('strike.velTone');
	const ampDecay = get('amp.decay');
	let life = Math.min(recipe.tail, 15);
	if (ampDecay < 12)
		life = Math.min(life, ampDecay + 0.05);
	const modes = [];
	for (let m = 0; m < K; ++m) {
		const s = K > 1 ? m / (K - 1) : 0;
		const stretch = 1 + s * (0.18 * stiffness * s);
		const edge = 1 + (0.2 + 1.1 * s * s) * edgeLoss;
		const ratio = Math.pow(recipe.freq[m] / recipe.ref, 1 + 0.06 * (1 - size));
		const loss = (1 / size) * get('ir.damping') / get('ir.decayScale') * edge;
		const radGain = radiation === 0 ? 1 : clamp(1 + (2 * s - 1) * radiation * 0.45, 0.5, 1.5);
		const k = m + 1;
		const shape = m % 2 === 0
			? Math.cos(((k + 1) * 0.5 - 0.5) * Math.PI * pos)
			: Math.sin(k * 0.5 * Math.PI * pos);
		const tone = m === 0 || velTone <= 0 ? 1 : Math.pow(Math.max(vel, 0.001), 2 * velTone * s);
		const soft = m <= 0 ? 1 : Math.pow(1 - 0.75 * MALLET_SOFTNESS[mallet], s);
		let bloom = 0;
		if (m > 0) {
			const x = drive * get('bloom.amount') * MALLET_BLOOM[mallet] * vel * vel;
			bloom = x > 0 ? x * Math.pow(s, 1.5) * 0.85 : 0;
		}
		const hz = stretch * ratio * f;
		const rate = Math.max(pitchDecay * recipe.decay[m] * loss, 1e-6);
		const amp = radGain * Math.min(1000 / hz, 1) * recipe.amp[m];
		const gain = soft * amp * (0.02 + 0.98 * Math.abs(shape)) * tone;
		// Seconds to fall 60 dB, cut short by the voice's life.
		const t60 = Math.min(LN1000 / rate, life);
		modes.push({ index: m, hz, gain, bloom: clamp(bloom, 0, 1), t60, split: ombakSplit });
	}
	return { model, recipe, mallet, modes, life, ombakSplit, size, strikePosition: pos,
		fundamental: f, openDecay: ampDecay >= 12 };
}
