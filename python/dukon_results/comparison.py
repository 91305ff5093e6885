"""The statistics of a study: one feature of one group against the control.

- compare(): the two-sided Mann-Whitney U test (scipy): exact when there
  are no ties and a group has fewer than 8 movies, the tie-corrected normal
  approximation otherwise; where values tie and both groups are tiny (at
  most TINY_GROUP movies), an exact permutation test of the mean rank over
  every split of the movies, which is the U test's own distribution with
  ties. Cliff's delta, 2 U / (n_group n_control) - 1, from -1 (every movie
  of the group below every control movie) to +1.
- compare_blocked(): the same question within blocks (plates, days): a
  permutation test that permutes group labels only within each block, on
  the van Elteren statistic (the sum over blocks of the group's rank sum
  within the block divided by the block's size plus one); exact over every
  arrangement where they can be counted, else 20000 random ones.
- bootstrap_interval(): a 95 % percentile bootstrap interval of the
  difference of medians (group minus control, in the feature's unit).
- smallest_p() and movies_needed(): what the design allows at best.
- bh_qvalues(): Benjamini-Hochberg q-values within one family of tests.
"""

import functools
import itertools
import math
import zlib
from collections import Counter

import numpy as np

try:
    from scipy import stats as scistats
except ImportError:  # reported by study.main(); the readers need no scipy
    scistats = None

# Ties and groups of at most this many movies: an exact permutation test
# (3432 splits for 7 against 7).
TINY_GROUP = 7
BOOTSTRAP_RESAMPLES = 2000
# Blocked test: arrangements counted exactly up to this many per block and
# in all, else this many random ones.
EXACT_LIMIT = 200000
RANDOM_ARRANGEMENTS = 20000


def _clean(values):
    v = np.asarray(values, dtype=float)
    return v[~np.isnan(v)]


def _mean_of_first(a, b, axis):
    return np.mean(a, axis=axis)


def _result(x, y):
    return {"n_group": len(x), "n_control": len(y),
            "median_group": float(np.median(x)) if len(x) else math.nan,
            "median_control": float(np.median(y)) if len(y) else math.nan,
            "u_statistic": math.nan, "cliffs_delta": math.nan, "p_value": math.nan}


def _effect(x, y, result):
    """Fills U and Cliff's delta; False (and the reason) when untestable."""
    if len(x) < 2 or len(y) < 2:
        result["method"] = "not tested: fewer than 2 values in a group"
        return False
    pooled = np.concatenate([x, y])
    if np.all(pooled == pooled[0]):
        result.update(u_statistic=len(x) * len(y) / 2.0, cliffs_delta=0.0, p_value=1.0,
                      method="no variation")
        return False
    u = scistats.mannwhitneyu(x, y, alternative="two-sided").statistic
    result["u_statistic"] = float(u)
    result["cliffs_delta"] = float(2.0 * u / (len(x) * len(y)) - 1.0)
    return True


def compare(group_values, control_values):
    """One feature of one group against the control (dict: n_group,
    n_control, median_group, median_control, u_statistic, cliffs_delta,
    p_value, method). NaN values are left out; fewer than 2 values on
    either side give no test (p_value NaN, the reason in method)."""
    x, y = _clean(group_values), _clean(control_values)
    result = _result(x, y)
    if not _effect(x, y, result):
        return result
    pooled = np.concatenate([x, y])
    ties = len(np.unique(pooled)) < len(pooled)
    if ties and max(len(x), len(y)) <= TINY_GROUP:
        ranks = scistats.rankdata(pooled)
        test = scistats.permutation_test((ranks[:len(x)], ranks[len(x):]), _mean_of_first,
                                         permutation_type="independent", vectorized=True,
                                         n_resamples=np.inf, alternative="two-sided")
        result.update(p_value=float(test.pvalue), method="permutation, exact (ranks, ties)")
    else:
        method = "asymptotic" if ties or min(len(x), len(y)) >= TINY_GROUP + 1 else "exact"
        test = scistats.mannwhitneyu(x, y, alternative="two-sided", method=method)
        result.update(p_value=float(test.pvalue), method=f"Mann-Whitney U, {method}")
    return result


@functools.lru_cache(maxsize=256)
def _block_splits(ranks, k):
    """Counter of rank sum / (N + 1) over every choice of k of the N ranks
    (a sorted tuple: blocks without ties share one)."""
    n = len(ranks)
    return Counter(round(sum(c) / (n + 1), 9) for c in itertools.combinations(ranks, k))


def _convolve(a, b):
    out = Counter()
    for va, ca in a.items():
        for vb, cb in b.items():
            out[round(va + vb, 9)] += ca * cb
    return out


def _blocked_p(blocks, seed):
    """(p, method) of the van Elteren statistic; `blocks` holds (ranks of
    the block's movies, how many of them are the group's, which ones)."""
    expected = sum(k / 2.0 for _, k, _ in blocks)
    observed = sum(r[is_group].sum() / (len(r) + 1) for r, _, is_group in blocks)
    deviation = abs(observed - expected) - 1e-9
    sizes = [math.comb(len(r), k) for r, k, _ in blocks]
    if max(sizes) <= EXACT_LIMIT and math.prod(sizes) <= EXACT_LIMIT ** 2:
        total = Counter({0.0: 1})
        for r, k, _ in blocks:
            total = _convolve(total, _block_splits(tuple(sorted(r.tolist())), k))
        count = sum(c for v, c in total.items() if abs(v - expected) >= deviation)
        return count / sum(total.values()), f"exact over {math.prod(sizes)} arrangements"
    rng = np.random.default_rng(seed)
    stats = np.zeros(RANDOM_ARRANGEMENTS)
    for r, k, _ in blocks:
        picks = rng.permuted(np.tile(np.arange(len(r)), (RANDOM_ARRANGEMENTS, 1)), axis=1)[:, :k]
        stats += r[picks].sum(axis=1) / (len(r) + 1)
    count = int(np.sum(np.abs(stats - expected) >= deviation))
    return (count + 1) / (RANDOM_ARRANGEMENTS + 1), f"{RANDOM_ARRANGEMENTS} random arrangements"


def compare_blocked(group_values, group_blocks, control_values, control_blocks, seed=0):
    """compare() within blocks: the p-value of a permutation test that
    permutes group labels within each block (van Elteren statistic, ranks
    within blocks). Blocks holding only one of the two groups say nothing
    about the difference and are left out of the test (not of the medians
    and Cliff's delta, which are over every movie)."""
    xv, yv = np.asarray(group_values, float), np.asarray(control_values, float)
    xb, yb = np.asarray(group_blocks, object), np.asarray(control_blocks, object)
    xb, yb = xb[~np.isnan(xv)], yb[~np.isnan(yv)]
    x, y = _clean(xv), _clean(yv)
    result = _result(x, y)
    if not _effect(x, y, result):
        return result
    blocks = []
    for b in sorted(set(xb) & set(yb), key=str):
        values = np.concatenate([x[xb == b], y[yb == b]])
        is_group = np.arange(len(values)) < np.sum(xb == b)
        blocks.append((scistats.rankdata(values), int(is_group.sum()), is_group))
    if not blocks:
        result["method"] = "not tested: no block holds both groups"
        return result
    p, how = _blocked_p(blocks, seed)
    left = len(x) + len(y) - sum(len(r) for r, _, _ in blocks)
    result.update(p_value=float(min(p, 1.0)),
                  method=f"permutation within blocks, {how}"
                         + (f"; {left} movie{'' if left == 1 else 's'} in one-group blocks "
                            "not tested" if left else ""))
    return result


def bootstrap_interval(group_values, control_values, seed, level=0.95):
    """(low, high): percentile bootstrap interval of median(group) -
    median(control), each group resampled with replacement on its own;
    NaN with fewer than 2 values on a side. Deterministic in `seed`."""
    x, y = _clean(group_values), _clean(control_values)
    if len(x) < 2 or len(y) < 2:
        return math.nan, math.nan
    rng = np.random.default_rng(seed)
    bx = np.median(x[rng.integers(0, len(x), (BOOTSTRAP_RESAMPLES, len(x)))], axis=1)
    by = np.median(y[rng.integers(0, len(y), (BOOTSTRAP_RESAMPLES, len(y)))], axis=1)
    tail = (1.0 - level) / 2 * 100
    low, high = np.percentile(bx - by, [tail, 100 - tail])
    return float(low), float(high)


def seed_of(*names):
    """A stable seed from names (group, feature): reruns give the same
    intervals and random arrangements."""
    return zlib.crc32("\0".join(names).encode("utf-8"))


def smallest_p(n_group, n_control, group_blocks=None, control_blocks=None):
    """The smallest p-value the test can give for these group sizes (and
    blocks): that of every group movie above every control movie. For the
    exact U test it is 2 / C(n_group + n_control, n_group)."""
    if n_group < 2 or n_control < 2:
        return math.nan
    x = np.arange(n_control, n_control + n_group, dtype=float)
    y = np.arange(n_control, dtype=float)
    if group_blocks is None:
        return compare(x, y)["p_value"]
    return compare_blocked(x, group_blocks, y, control_blocks)["p_value"]


def movies_needed(tests, alpha, most=60):
    """The fewest movies per group (equal groups, no blocks) with which one
    difference as strong as it can be reaches q < alpha among `tests`
    tests of a family; None beyond `most`."""
    for n in range(2, most + 1):
        if tests * smallest_p(n, n) < alpha:
            return n
    return None


def bh_qvalues(pvalues):
    """Benjamini-Hochberg q-values of `pvalues` (NaN stays NaN and does not
    count as a test). scipy >= 1.11 has this as false_discovery_control."""
    p = np.asarray(pvalues, dtype=float)
    q = np.full(p.shape, np.nan)
    tested = ~np.isnan(p)
    if tested.any():
        order = np.argsort(p[tested])
        m = len(order)
        ranked = p[tested][order] * m / np.arange(1, m + 1)
        ranked = np.minimum.accumulate(ranked[::-1])[::-1]
        values = np.empty(m)
        values[order] = np.minimum(ranked, 1.0)
        q[tested] = values
    return q
