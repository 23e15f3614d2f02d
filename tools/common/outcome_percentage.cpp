#include "common/outcome_percentage.h"

#include <climits>

namespace tools {

long long OutcomePercentage(long long longer, long long shorter) {
    const long long product = (long long)((unsigned long long)longer * 100u);
    if (product == LLONG_MIN && shorter == -1) {
        return LLONG_MIN;
    }
    return product / shorter;
}

} // namespace tools
