#include "adaptive_huffman.h"

#include <algorithm>
#include <cassert>

namespace lzh::detail {

AdaptiveTree::AdaptiveTree(int capacity) {
    const auto n = static_cast<std::size_t>(2 * capacity + 1);
    weight_.assign(n, 0);
    kid_.assign(n, 0);
    parent_.assign(n, -1);
    leaf_.assign(static_cast<std::size_t>(capacity), 0);
}

void AdaptiveTree::place(int node, int kid) {
    const auto at = static_cast<std::size_t>(node);
    kid_[at] = kid;
    if (kid < 0) {
        leaf_[static_cast<std::size_t>(~kid)] = node;
    } else {
        parent_[static_cast<std::size_t>(kid)] = node;
        parent_[static_cast<std::size_t>(kid - 1)] = node;
    }
}

// The tree is easiest to build lightest node first; node `a` of that order is node
// (count - 1 - a) here. `kid` holds ~symbol for leaves and, for internal nodes, the position
// (in that same order) of the child a 0 bit leads to, the other child following it.
void AdaptiveTree::build_from_ascending(const std::vector<std::uint32_t>& w,
                                        const std::vector<int>& kid) {
    const int count = static_cast<int>(w.size());
    leaves_ = (count + 1) / 2;
    parent_[0] = -1;
    for (int a = 0; a < count; ++a) {
        const int node = count - 1 - a;
        weight_[static_cast<std::size_t>(node)] = w[static_cast<std::size_t>(a)];
        const int k = kid[static_cast<std::size_t>(a)];
        place(node, k < 0 ? k : count - 1 - k);
    }
}

void AdaptiveTree::reset_all(int symbols) {
    std::vector<std::uint32_t> w(static_cast<std::size_t>(symbols), 1);
    std::vector<int> kid(static_cast<std::size_t>(symbols));
    for (int s = 0; s < symbols; ++s) kid[static_cast<std::size_t>(s)] = ~s;
    // Pairs joined in order, each new node after the last: all weights start equal, so this
    // keeps the order by weight.
    for (std::size_t i = 0; w.size() < static_cast<std::size_t>(2 * symbols - 1); i += 2) {
        w.push_back(w[i] + w[i + 1]);
        kid.push_back(static_cast<int>(i));
    }
    build_from_ascending(w, kid);
}

void AdaptiveTree::reset_single() {
    leaves_ = 1;
    weight_[0] = 1;
    parent_[0] = -1;
    place(0, ~0);
}

void AdaptiveTree::rebuild() {
    std::vector<std::uint32_t> w;
    std::vector<int> kid;
    for (int n = nodes() - 1; n >= 0; --n) {
        const int k = kid_[static_cast<std::size_t>(n)];
        if (k >= 0) continue;
        w.push_back((weight_[static_cast<std::size_t>(n)] + 1) / 2);
        kid.push_back(k);
    }
    // Join the two lightest nodes; the sum goes after every node no heavier than itself.
    const std::size_t total = 2 * w.size() - 1;
    for (std::size_t i = 0; w.size() < total; i += 2) {
        const std::uint32_t sum = w[i] + w[i + 1];
        std::size_t at = w.size();
        while (w[at - 1] > sum) --at;
        w.insert(w.begin() + static_cast<std::ptrdiff_t>(at), sum);
        kid.insert(kid.begin() + static_cast<std::ptrdiff_t>(at), static_cast<int>(i));
    }
    build_from_ascending(w, kid);
}

void AdaptiveTree::swap_subtrees(int a, int b) {
    const int ka = kid_[static_cast<std::size_t>(a)];
    place(a, kid_[static_cast<std::size_t>(b)]);
    place(b, ka);
}

void AdaptiveTree::count(int symbol) {
    int n = leaf_[static_cast<std::size_t>(symbol)];
    while (n != 0) {
        const std::uint32_t w = weight_[static_cast<std::size_t>(n)];
        // The first node of this weight; the root is always heavier than its descendants.
        const auto first = std::partition_point(weight_.begin() + 1, weight_.begin() + n + 1,
                                                [w](std::uint32_t x) { return x > w; });
        const int lead = static_cast<int>(first - weight_.begin());
        if (lead != n) {
            swap_subtrees(lead, n);
            n = lead;
        }
        ++weight_[static_cast<std::size_t>(n)];
        n = parent_[static_cast<std::size_t>(n)];
    }
}

void AdaptiveTree::add_leaf(int symbol) {
    const int last = nodes() - 1;  // the lightest node is always a leaf
    const int old = kid_[static_cast<std::size_t>(last)];
    assert(old < 0);
    weight_[static_cast<std::size_t>(last + 1)] = weight_[static_cast<std::size_t>(last)];
    weight_[static_cast<std::size_t>(last + 2)] = 0;
    place(last + 1, old);
    place(last + 2, ~symbol);
    place(last, last + 2);
    ++leaves_;
}

int AdaptiveTree::code_of(int symbol, std::uint64_t& bits) const {
    bits = 0;
    int len = 0;
    for (int n = leaf_[static_cast<std::size_t>(symbol)]; n != 0;) {
        const int p = parent_[static_cast<std::size_t>(n)];
        if (kid_[static_cast<std::size_t>(p)] != n) bits |= std::uint64_t{1} << len;
        ++len;
        n = p;
    }
    return len;
}

void AdaptiveSymbolCode::count(int s) {
    if (tree_.root_weight() == kRebuildAt) tree_.rebuild();
    tree_.set_root_weight(tree_.root_weight() + 1);
    tree_.count(s);
}

GrowingPositionCode::GrowingPositionCode(int dicbit, int low_bits)
    : tree_(1 << (dicbit - low_bits)),
      step_(std::uint64_t{1} << low_bits),
      limit_(std::uint64_t{1} << dicbit),
      next_growth_(step_) {
    tree_.reset_single();
}

void GrowingPositionCode::grow(std::uint64_t produced) {
    while (produced > next_growth_) {
        const int v = static_cast<int>(next_growth_ / step_);
        tree_.add_leaf(v);
        tree_.set_root_weight(kUncounted);
        count(v);
        next_growth_ += step_;
        if (next_growth_ >= limit_) next_growth_ = UINT64_MAX;
    }
}

void GrowingPositionCode::count(int v) {
    if (total_ == AdaptiveSymbolCode::kRebuildAt) {
        tree_.rebuild();
        total_ = tree_.root_weight();
        tree_.set_root_weight(kUncounted);
    }
    // While the root is the only leaf it counts its uses like any leaf; they become the
    // weight of that leaf when the first new one joins.
    if (tree_.symbols() == 1) tree_.set_root_weight(tree_.root_weight() + 1);
    tree_.count(v);
    ++total_;
}

}  // namespace lzh::detail
