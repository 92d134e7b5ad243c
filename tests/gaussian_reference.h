// Dense linear algebra for checking the engine's fits independently: plain
// Gauss-Jordan elimination with partial pivoting (the engine pivots
// completely and uses a generalised inverse for singular matrices).
#pragma once

#include <cmath>
#include <utility>
#include <vector>

namespace gaussian_reference {

using Mat = std::vector<std::vector<double>>;

inline Mat inverse(Mat a) {
    int n = static_cast<int>(a.size());
    Mat inv(n, std::vector<double>(n, 0.0));
    for (int i = 0; i < n; ++i) inv[i][i] = 1.0;
    for (int c = 0; c < n; ++c) {
        int p = c;
        for (int r = c + 1; r < n; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
        std::swap(a[c], a[p]);
        std::swap(inv[c], inv[p]);
        double d = a[c][c];
        for (int j = 0; j < n; ++j) {
            a[c][j] /= d;
            inv[c][j] /= d;
        }
        for (int r = 0; r < n; ++r) {
            if (r == c) continue;
            double f = a[r][c];
            for (int j = 0; j < n; ++j) {
                a[r][j] -= f * a[c][j];
                inv[r][j] -= f * inv[c][j];
            }
        }
    }
    return inv;
}

}  // namespace gaussian_reference
