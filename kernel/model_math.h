// Small numeric helpers with the model's own conventions.
#pragma once

namespace tavik::kernel {

/** lo when v < lo, hi when v > hi, else v: a NaN passes through unchanged. */
inline double clampValue (double v, double lo, double hi)
{
	if (v < lo)
		return lo;
	if (v > hi)
		return hi;
	return v;
}

} // namespace tavik::kernel
