// The Sylvester-Hadamard matrix, built independently of the code generators:
// H(1) = [1]; H(2n) = [[H, H], [H, -H]].
#pragma once

#include <cstddef>
#include <vector>

inline std::vector<std::vector<int>> Hadamard(std::size_t order) {
    std::vector<std::vector<int>> h = {{1}};
    while (h.size() < order) {
        std::size_t n = h.size();
        std::vector<std::vector<int>> next(2 * n, std::vector<int>(2 * n));
        for (std::size_t r = 0; r < n; ++r)
            for (std::size_t k = 0; k < n; ++k) {
                next[r][k] = next[r][k + n] = next[r + n][k] = h[r][k];
                next[r + n][k + n] = -h[r][k];
            }
        h = next;
    }
    return h;
}
