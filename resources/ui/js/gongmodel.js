// What the current settings make of a struck gong: the modes' frequencies,
// levels, decay times and bloom, reckoned the way the instrument strikes a
// voice (note 45, which sounds at the base pitch). An approximation for the
// picture, not a renderer.

import { GONG_MODEL } from './tables.js';

// The kernel's recipes (one a model, with its name) and mallets.
const MODELS = GONG_MODEL.recipes;
const MALLETS = GONG_MODEL.mallets;
const LN1000 = Math.log(1000);

const clamp = (v, lo, hi) => (v < lo ? lo : v > hi ? hi : v);

// v: plain values by path (a Map or an object with get()).
export function computeModes(v) {
	const get = (path) => v.get(path);
	const model = clamp(Math.round(get('ir.instrument')), 0, MODELS.length - 1);
	const recipe = MODELS[model];
	const mallet = clamp(Math.round(get('mallet.type')), 0, MALLETS.length - 1);
	const f = get('tuning.baseFreq');
	const vel = clamp(get('performance.velocity'), 0, 1);
	const size = get('ir.size');
	const K = recipe.freq.length;
	const pitchDecay = Math.pow(recipe.ref / f, 0.2);
	const ombakSplit = recipe.ombak > 0 && get('ombak.amount') > 0
		? get('ombak.rate') * get('ombak.amount') / size : 0;
	const drive = 1 + 0.65 * get('model.coupling') * vel;
	const stiffness = get('model.stiffness');
	const edgeLoss = get('model.edgeLoss');
	const radiation = get('model.radiation');
	const pos = get('strike.position');
	const velTone = get('strike.velTone');
	const ampDecay = get('amp.decay');
	let life = Math.min(recipe.tail, GONG_MODEL.maxTailSeconds);
	if (ampDecay < GONG_MODEL.decayOpen)
		life = Math.min(life, ampDecay + GONG_MODEL.tailFadeSeconds);
	const modes = [];
	for (let m = 0; m < K; ++m) {
		const s = K > 1 ? m / (K - 1) : 0;
		const stretch = 1 + s * (0.18 * stiffness * s);
		const edge = 1 + (0.2 + 1.1 * s * s) * edgeLoss;
		const ratio = Math.pow(recipe.freq[m] / recipe.ref, 1 + 0.06 * (1 - size));
		const loss = (1 / size) * get('ir.damping') * recipe.damping / get('ir.decayScale') * edge;
		const radGain = radiation === 0 ? 1 : clamp(1 + (2 * s - 1) * radiation * 0.45, 0.5, 1.5);
		const k = m + 1;
		const shape = m % 2 === 0
			? Math.cos(((k + 1) * 0.5 - 0.5) * Math.PI * pos)
			: Math.sin(k * 0.5 * Math.PI * pos);
		const tone = m === 0 || velTone <= 0 ? 1 : Math.pow(Math.max(vel, 0.001), 2 * velTone * s);
		const soft = m <= 0 ? 1 : Math.pow(1 - 0.75 * MALLETS[mallet].softness, s);
		let bloom = 0;
		if (m > 0) {
			const x = drive * get('bloom.amount') * MALLETS[mallet].bloom * vel * vel;
			bloom = x > 0 ? x * Math.pow(s, 1.5) * GONG_MODEL.bloomMaxFraction : 0;
		}
		const hz = stretch * ratio * f;
		const rate = Math.max(pitchDecay * recipe.decay[m] * loss, 1e-6);
		const amp = radGain * Math.min(1000 / hz, 1) * recipe.amp[m];
		const gain = soft * amp * (GONG_MODEL.strikeShapeFloor + 0.98 * Math.abs(shape)) * tone;
		// Seconds to fall 60 dB, cut short by the voice's life.
		const t60 = Math.min(LN1000 / rate, life);
		modes.push({ index: m, hz, gain, bloom: clamp(bloom, 0, 1), t60, split: ombakSplit });
	}
	return { model, recipe, mallet, modes, life, ombakSplit, size, strikePosition: pos,
		fundamental: f, openDecay: ampDecay >= GONG_MODEL.decayOpen };
}
