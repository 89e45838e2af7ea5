// Prototypes of the single-precision BLAS and LAPACK routines the matrix classes call, as the
// Fortran libraries export them: every argument by address, column-major arrays, and one hidden
// length argument per character argument, appended at the end (gfortran's convention).
#pragma once

#include <cstddef>

extern "C" {

void scopy_(const int* n, const float* x, const int* incx, float* y, const int* incy);

void sgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k,
            const float* alpha, const float* a, const int* lda, const float* b, const int* ldb,
            const float* beta, float* c, const int* ldc, std::size_t transaLen, std::size_t transbLen);

void sgemv_(const char* trans, const int* m, const int* n, const float* alpha, const float* a,
            const int* lda, const float* x, const int* incx, const float* beta, float* y,
            const int* incy, std::size_t transLen);

void sgebrd_(const int* m, const int* n, float* a, const int* lda, float* d, float* e, float* tauq,
             float* taup, float* work, const int* lwork, int* info);

void sorgbr_(const char* vect, const int* m, const int* n, const int* k, float* a, const int* lda,
             const float* tau, float* work, const int* lwork, int* info, std::size_t vectLen);

void sbdsqr_(const char* uplo, const int* n, const int* ncvt, const int* nru, const int* ncc,
             float* d, float* e, float* vt, const int* ldvt, float* u, const int* ldu, float* c,
             const int* ldc, float* work, int* info, std::size_t uploLen);
}

// Our replacement for the libraries' argument-error handler, which would stop the whole process
// (with status 0, inside the Java host). Ours prints the complaint on standard error and returns,
// so the routine returns too and reports the error through its info argument.
extern "C" void xerbla_(const char* routineName, const int* argumentIndex, std::size_t nameLength);
