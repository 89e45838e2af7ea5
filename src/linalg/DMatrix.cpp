#include "linalg/DMatrix.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "linalg/DVector.h"
#include "linalg/Lapack.h"
#include "platform/nsp/nsp.h"

namespace {

const int kUnitStride = 1;
const float kOne = 1.0f;
const float kZero = 0.0f;

// Singular values at or below this are treated as zero by the solver.
const float kSingularThreshold = 1e-7f;

void CopyFloats(int count, const float* source, float* destination) {
    if (count <= 0) return;
    scopy_(&count, source, &kUnitStride, destination, &kUnitStride);
}

// LAPACK rejects a leading dimension below 1 even for empty operands (and the reference
// library then stops the process), so empty shapes still pass 1.
int LeadingDimension(int rows) { return std::max(1, rows); }

// Float block from the vector library's allocator that only grows: uninitialised, reused from one
// solve to the next.
class ScratchBlock {
public:
    bool Reserve(int count) {
        if (count <= capacity) return true;
        block.reset(nspsMalloc(count));
        capacity = block ? count : 0;
        return block != nullptr;
    }
    float* Data() { return block.get(); }

private:
    struct NspDeleter {
        void operator()(float* p) const { nspFree(p); }
    };
    std::unique_ptr<float, NspDeleter> block;
    int capacity = 0;
};

// Everything SolveSVD needs besides its result, sized to the largest system this thread has
// solved. The LAPACK workspace length is asked of LAPACK itself (lwork = -1) once per shape.
struct SvdWorkspace {
    ScratchBlock left;       // W1: Q, then the left singular vectors
    ScratchBlock right;      // W2: the bidiagonal form, then P^T, then V^T
    ScratchBlock singular;   // d, then the singular values and their reciprocals
    ScratchBlock superdiag;  // e
    ScratchBlock projected;  // t = U^T b
    ScratchBlock tauq;
    ScratchBlock taup;
    ScratchBlock work;
    int queriedRows = -1;
    int queriedCols = -1;
    int workLength = 0;

    // False when memory is short. m >= n >= 1, m * n fits an int (it is a matrix's size).
    bool Prepare(int m, int n) {
        if (!(left.Reserve(m * n) && right.Reserve(m * n) && singular.Reserve(n) &&
              superdiag.Reserve(n) && projected.Reserve(n) && tauq.Reserve(n) && taup.Reserve(n)))
            return false;
        if (m != queriedRows || n != queriedCols) {
            workLength = QueryWorkLength(m, n);
            queriedRows = m;
            queriedCols = n;
        }
        return work.Reserve(workLength);
    }

private:
    int QueryWorkLength(int m, int n) {
        const int query = -1;
        int info = 0;
        float optimal = 0.0f;
        int length = std::max({4 * n, m, n});  // 4n: SBDSQR's need, which it does not report
        sgebrd_(&m, &n, left.Data(), &m, singular.Data(), superdiag.Data(), tauq.Data(), taup.Data(),
                &optimal, &query, &info);
        length = std::max(length, static_cast<int>(std::ceil(optimal)));
        sorgbr_("Q", &m, &n, &n, left.Data(), &m, tauq.Data(), &optimal, &query, &info, 1);
        length = std::max(length, static_cast<int>(std::ceil(optimal)));
        sorgbr_("P", &n, &n, &m, right.Data(), &m, taup.Data(), &optimal, &query, &info, 1);
        return std::max(length, static_cast<int>(std::ceil(optimal)));
    }
};

SvdWorkspace& ThreadSvdWorkspace() {
    thread_local SvdWorkspace workspace;
    return workspace;
}

// Crout's LU decomposition with implicit partial pivoting of the n x n column-major matrix a, in
// place; pivots[j] receives the row swapped with row j. Row scales are kept in double.
void LUDecompose(float* a, int n, int* pivots) {
    auto at = [a, n](int i, int j) -> float& { return a[i + n * j]; };
    std::vector<double> scale(n);
    for (int i = 0; i < n; ++i) {
        // A NaN anywhere makes the row maximum NaN rather than letting the row pass for zero:
        // such a matrix comes back as a NaN inverse instead of ending the process. An infinite
        // element gives the row a scale of 0, which only weakens its claim to be the pivot.
        double largest = 0.0;
        for (int j = 0; j < n; ++j) {
            const double magnitude = std::fabs(static_cast<double>(at(i, j)));
            if (magnitude > largest || std::isnan(magnitude)) largest = magnitude;
        }
        if (largest == 0.0) {
            std::cerr << "Singular DMatrix in routine ludcmp" << std::endl;
            std::exit(1);
        }
        scale[i] = 1.0 / largest;
    }
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < j; ++i) {
            float sum = at(i, j);
            for (int k = 0; k < i; ++k) sum -= at(i, k) * at(k, j);
            at(i, j) = sum;
        }
        double largestMerit = 0.0;
        int pivot = j;  // kept when every merit is NaN
        for (int i = j; i < n; ++i) {
            float sum = at(i, j);
            for (int k = 0; k < j; ++k) sum -= at(i, k) * at(k, j);
            at(i, j) = sum;
            const double merit = scale[i] * std::fabs(static_cast<double>(sum));
            if (merit >= largestMerit) {
                largestMerit = merit;
                pivot = i;
            }
        }
        if (pivot != j) {
            for (int k = 0; k < n; ++k) std::swap(at(pivot, k), at(j, k));
            scale[pivot] = scale[j];
        }
        pivots[j] = pivot;
        if (at(j, j) == 0.0f) at(j, j) = 1e-20f;
        if (j != n - 1) {
            const float reciprocal = 1.0f / at(j, j);
            for (int i = j + 1; i < n; ++i) at(i, j) *= reciprocal;
        }
    }
}

// Solves lu * x = column in place, lu and pivots as LUDecompose leaves them.
void LUBackSubstitute(const float* lu, int n, const int* pivots, float* column) {
    auto at = [lu, n](int i, int j) { return lu[i + n * j]; };
    int firstNonZero = -1;  // forward substitution skips the leading zeros of the right-hand side
    for (int i = 0; i < n; ++i) {
        float sum = column[pivots[i]];
        column[pivots[i]] = column[i];
        if (firstNonZero >= 0) {
            for (int j = firstNonZero; j < i; ++j) sum -= at(i, j) * column[j];
        } else if (sum != 0.0f) {
            firstNonZero = i;
        }
        column[i] = sum;
    }
    for (int i = n - 1; i >= 0; --i) {
        float sum = column[i];
        for (int j = i + 1; j < n; ++j) sum -= at(i, j) * column[j];
        column[i] = sum / at(i, i);
    }
}

}  // namespace

// Defined here, beside the only caller of the libraries, so that every program that links the
// matrices also replaces the libraries' own handler.
extern "C" void xerbla_(const char* routineName, const int* argumentIndex, std::size_t nameLength) {
    std::string name(routineName, nameLength);
    name.erase(name.find_last_not_of(' ') + 1);
    std::cerr << " ** On entry to " << name << " parameter number " << *argumentIndex
              << " had an illegal value" << std::endl;
}

DMatrix::DMatrix() = default;

DMatrix::DMatrix(int rowCount, int colCount) { Resize(rowCount, colCount, true); }

DMatrix::DMatrix(int rowCount, int colCount, float* buffer, bool copy) {
    Resize(rowCount, colCount, copy);
    if (copy) {
        CopyFloats(size, buffer, data);
    } else {
        data = allocData = buffer;
    }
}

DMatrix::DMatrix(const DMatrix& other) { Copy(other); }

DMatrix::DMatrix(DMatrix&& other) noexcept
    : ownsData(other.ownsData),
      data(other.data),
      rows(other.rows),
      cols(other.cols),
      size(other.size),
      allocRows(other.allocRows),
      allocCols(other.allocCols),
      allocSize(other.allocSize),
      allocData(other.allocData) {
    other.ownsData = false;
    other.data = other.allocData = nullptr;
    other.rows = other.cols = other.size = 0;
    other.allocRows = other.allocCols = other.allocSize = 0;
}

DMatrix::~DMatrix() {
    if (ownsData) Free();
}

void DMatrix::Resize(int rowCount, int colCount, bool allocate) {
    if (rowCount == allocRows && colCount == allocCols) return;
    if (ownsData) Free();
    const long long count = static_cast<long long>(rowCount) * colCount;
    if (rowCount < 0 || colCount < 0 || count > INT_MAX) Error("memory full");
    rows = allocRows = rowCount;
    cols = allocCols = colCount;
    size = allocSize = static_cast<int>(count);
    ownsData = allocate;
    // Without a fresh block the matrix must not keep pointing at storage of another shape.
    data = allocData = nullptr;
    if (rowCount != 0 && colCount != 0 && allocate) {
        data = allocData = nspsMalloc(size);
        if (!data) Error("memory full");
    }
}

void DMatrix::Free() {
    if (ownsData) nspFree(allocData);
    ownsData = false;
    data = allocData = nullptr;
    rows = cols = size = 0;
    allocRows = allocCols = allocSize = 0;
}

float& DMatrix::Ref(int i, int j) { return data[(i - 1) + rows * (j - 1)]; }

float DMatrix::Value(int i, int j) const { return data[(i - 1) + rows * (j - 1)]; }

DMatrix& DMatrix::operator=(const DMatrix& other) { return Copy(other); }

DMatrix& DMatrix::Copy(const DMatrix& other) {
    if (&other == this) return *this;
    Resize(other.rows, other.cols, true);
    CopyFloats(other.size, other.data, data);
    return *this;
}

void DMatrix::Fill(float value) { nspsbSet(value, data, size); }

void DMatrix::SetIdentity() {
    Fill(0.0f);
    // Stops at the shorter side, so a non-square matrix gets ones on its diagonal and no stray write.
    const int diagonal = std::min(rows, cols);
    for (int i = 0; i < diagonal; ++i) data[i + rows * i] = 1.0f;
}

DMatrix& DMatrix::operator+=(const DMatrix& other) {
    if (rows != other.rows || cols != other.cols) Error("addition of matrices : incompatible sizes");
    nspsbAdd2(other.data, data, size);
    return *this;
}

DMatrix DMatrix::operator*(const DMatrix& other) const {
    if (cols != other.rows) Error("multiplication : incompatible sizes");
    DMatrix product(rows, other.cols);
    const int lda = LeadingDimension(rows);
    const int ldb = LeadingDimension(other.rows);
    sgemm_("N", "N", &rows, &other.cols, &cols, &kOne, data, &lda, other.data, &ldb, &kZero,
           product.data, &lda, 1, 1);
    return product;
}

DVector DMatrix::operator*(const DVector& v) const {
    if (cols != v.GetRows()) Error("multiplication : incompatible sizes");
    DVector product(rows);
    if (cols == 0) {
        // SGEMV returns at once on an empty inner dimension and would leave the result unset.
        product.Fill(0.0f);
        return product;
    }
    const int lda = LeadingDimension(rows);
    sgemv_("N", &rows, &cols, &kOne, data, &lda, v.GetData(), &kUnitStride, &kZero,
           product.GetData(), &kUnitStride, 1);
    return product;
}

int DMatrix::SolveSVD(const DMatrix& b, DVector& x) const {
    const int m = rows;
    const int n = cols;
    // An under-determined system, or a right-hand side too short to read m values from.
    if (m < n || b.size < m) return 1;
    if (n == 0) {
        x.Fill(0.0f);
        return 0;
    }

    SvdWorkspace& ws = ThreadSvdWorkspace();
    if (!ws.Prepare(m, n)) Error("memory full");
    float* left = ws.left.Data();
    float* right = ws.right.Data();
    float* singular = ws.singular.Data();
    float* superdiag = ws.superdiag.Data();
    float* projected = ws.projected.Data();
    float* tauq = ws.tauq.Data();
    float* taup = ws.taup.Data();
    float* work = ws.work.Data();
    const int lwork = ws.workLength;
    int info = 0;

    // A = Q B P^T with B upper bidiagonal, then B = U' S V'^T, so A = (Q U') S (V'^T P^T).
    CopyFloats(size, data, right);
    sgebrd_(&m, &n, right, &m, singular, superdiag, tauq, taup, work, &lwork, &info);
    CopyFloats(size, right, left);
    sorgbr_("Q", &m, &n, &n, left, &m, tauq, work, &lwork, &info, 1);
    sorgbr_("P", &n, &n, &m, right, &m, taup, work, &lwork, &info, 1);
    const int noColumns = 0;
    float unusedC = 0.0f;
    sbdsqr_("U", &n, &n, &m, &noColumns, singular, superdiag, right, &m, left, &m, &unusedC, &m,
            work, &info, 1);

    // The values come sorted in decreasing order; the rank ends at the first negligible one.
    int rank = 0;
    while (rank < n && singular[rank] > kSingularThreshold) ++rank;

    sgemv_("T", &m, &n, &kOne, left, &m, b.data, &kUnitStride, &kZero, projected, &kUnitStride, 1);
    if (rank >= 1) {
        nspsbInvThresh1(singular, rank, kSingularThreshold);
        nspsbMpy2(singular, projected, rank);
        x.Resize(n, true);
        sgemv_("T", &rank, &n, &kOne, right, &m, projected, &kUnitStride, &kZero, x.GetData(),
               &kUnitStride, 1);
    } else {
        x.Fill(0.0f);
    }
    return info;
}

DMatrix DMatrix::Inverse() const {
    if (rows != cols) Error("inverse : matrice non carree");
    const int n = rows;
    DMatrix lu(*this);
    std::vector<int> pivots(n);
    LUDecompose(lu.data, n, pivots.data());
    DMatrix inverse(n, n);
    for (int j = 0; j < n; ++j) {
        float* column = inverse.data + static_cast<std::size_t>(n) * j;
        std::fill(column, column + n, 0.0f);
        column[j] = 1.0f;
        LUBackSubstitute(lu.data, n, pivots.data(), column);
    }
    return inverse;
}

void DMatrix::Error(const char* message) {
    std::cerr << "ERROR class DMatrix" << std::endl;
    if (message && *message) std::cerr << message << std::endl;
    std::cerr << "program stopped..." << std::endl;
    std::abort();
}
