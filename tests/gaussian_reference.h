// Dense linear algebra for checking the engine's fits independently: plain
// Gauss-Jordan elimination with partial pivoting (the engine pivots
// completely and uses a generalised inverse for singular matrices), and
// the eigenvalues of a symmetric 3 x 3 matrix in closed form (the engine
// uses Jacobi rotations).
#pragma once

#include <algorithm>
#include <array>
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

// Largest and smallest eigenvalue of a symmetric 3 x 3 matrix in closed
// form (the trigonometric solution of the characteristic cubic).
inline std::array<double, 2> eig3(const double a[3][3]) {
    const double p1 = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
    const double q = (a[0][0] + a[1][1] + a[2][2]) / 3.0;
    const double p2 = (a[0][0] - q) * (a[0][0] - q) + (a[1][1] - q) * (a[1][1] - q) +
                      (a[2][2] - q) * (a[2][2] - q) + 2.0 * p1;
    const double p = std::sqrt(p2 / 6.0);
    double b[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) b[i][j] = (a[i][j] - (i == j ? q : 0.0)) / p;
    const double det = b[0][0] * (b[1][1] * b[2][2] - b[1][2] * b[2][1]) -
                       b[0][1] * (b[1][0] * b[2][2] - b[1][2] * b[2][0]) +
                       b[0][2] * (b[1][0] * b[2][1] - b[1][1] * b[2][0]);
    const double phi = std::acos(std::clamp(det / 2.0, -1.0, 1.0)) / 3.0;
    const double hi = q + 2.0 * p * std::cos(phi);
    const double lo = q + 2.0 * p * std::cos(phi + 2.0 * 3.141592653589793 / 3.0);
    return {hi, lo};
}

// Condition number of the symmetric positive definite 3 x 3 matrix a
// scaled to unit diagonal: the square root of the ratio of its extreme
// eigenvalues.
inline double cond3(const double a[3][3]) {
    double s[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) s[r][c] = a[r][c] / std::sqrt(a[r][r] * a[c][c]);
    const auto e = eig3(s);
    return std::sqrt(e[0] / e[1]);
}

}  // namespace gaussian_reference
