// The outcome line's percentage, worked out as readrace's programs work it out, for whoever
// checks a run's line against its totals or makes runs of its own.
#pragma once

namespace tools {

// longer * 100 over shorter in signed 64-bit arithmetic: the product wraps to its low 64 bits
// and the quotient is truncated toward zero; the one quotient that does not fit, the minimum
// over -1, wraps too. shorter is not 0: the programs print no percentage then.
long long OutcomePercentage(long long longer, long long shorter);

} // namespace tools
