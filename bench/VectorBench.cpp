// Micro-benchmarks of the engine's per-vertex and per-frame routines: matrix
// products, transforms over vertex arrays, the vector lists' appends and the
// depth sort's paired quicksort.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "scene/math/PolynomialSolvers.h"
#include "scene/math/VectorGeometry.h"
#include "scene/components/VectorLists.h"

namespace qira {
namespace {

TMatrix SomeMatrix(float angle) {
  TMatrix m = CreateRotationMatrix(AffineVectorMake(1, 2, 3), angle);
  m[3] = VectorMake(5, -2, 7, 1);
  return m;
}

void BM_MatrixMultiply(benchmark::State& state) {
  TMatrix a = SomeMatrix(0.3f);
  const TMatrix b = SomeMatrix(1.1f);
  for (auto _ : state) {
    a = MatrixMultiply(a, b);
    benchmark::DoNotOptimize(a);
  }
}
BENCHMARK(BM_MatrixMultiply);

void BM_InvertMatrix(benchmark::State& state) {
  const TMatrix m = SomeMatrix(0.7f);
  for (auto _ : state) {
    TMatrix r = m;
    InvertMatrix(r);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_InvertMatrix);

void BM_VectorTransformArray(benchmark::State& state) {
  const std::size_t n = std::size_t(state.range(0));
  std::vector<TVector> in(n), out(n);
  for (std::size_t i = 0; i < n; ++i) in[i] = PointMake(float(i), float(i % 17), -float(i % 5));
  const TMatrix m = SomeMatrix(0.5f);
  for (auto _ : state) {
    for (std::size_t i = 0; i < n; ++i) out[i] = VectorTransform(in[i], m);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(n));
}
BENCHMARK(BM_VectorTransformArray)->Arg(1024)->Arg(65536);

void BM_AffineVectorTransformArray(benchmark::State& state) {
  const std::size_t n = std::size_t(state.range(0));
  std::vector<TAffineVector> in(n), out(n);
  for (std::size_t i = 0; i < n; ++i) in[i] = AffineVectorMake(float(i), float(i % 17), -float(i % 5));
  const TMatrix m = SomeMatrix(0.5f);
  for (auto _ : state) {
    for (std::size_t i = 0; i < n; ++i) out[i] = AffineVectorTransform(in[i], m);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(n));
}
BENCHMARK(BM_AffineVectorTransformArray)->Arg(1024)->Arg(65536);

void BM_AffineVectorArrayAdd(benchmark::State& state) {
  const int n = int(state.range(0));
  std::vector<TAffineVector> in(static_cast<std::size_t>(n), XYZVector);
  std::vector<TAffineVector> out(static_cast<std::size_t>(n));
  for (auto _ : state) {
    AffineVectorArrayAdd(in.data(), AffineVectorMake(0.5f, 1, 2), n, out.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * n);
}
BENCHMARK(BM_AffineVectorArrayAdd)->Arg(65536);

void BM_AffineVectorListAdd(benchmark::State& state) {
  const int n = int(state.range(0));
  for (auto _ : state) {
    TAffineVectorList list;
    for (int i = 0; i < n; ++i) list.Add(float(i), 1.0f, 2.0f);
    benchmark::DoNotOptimize(list.List());
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * n);
}
BENCHMARK(BM_AffineVectorListAdd)->Arg(1024)->Arg(65536);

void BM_QuickSortPairs(benchmark::State& state) {
  const int n = int(state.range(0));
  std::mt19937 generator(42);
  std::uniform_real_distribution<float> depth(0.0f, 1000.0f);
  std::vector<float> source(static_cast<std::size_t>(n));
  for (float& key : source) key = depth(generator);
  TPersistentObjectList objects;
  for (int i = 0; i < n; ++i) objects.Add(nullptr);
  TSingleList keys;
  for (auto _ : state) {
    state.PauseTiming();
    keys.Flush();
    for (const float key : source) keys.Add(key);
    state.ResumeTiming();
    QuickSortPairs(0, n - 1, keys, objects);
    benchmark::DoNotOptimize(keys.List());
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * n);
}
BENCHMARK(BM_QuickSortPairs)->Arg(256)->Arg(8192);

void BM_PrepareSinCosCache(benchmark::State& state) {
  std::vector<float> s(std::size_t(state.range(0)) + 1), c(s.size());
  for (auto _ : state) {
    PrepareSinCosCache(s, c, 0, 360);
    benchmark::DoNotOptimize(s.data());
  }
}
BENCHMARK(BM_PrepareSinCosCache)->Arg(16)->Arg(999)->Arg(1000);

void BM_SolveQuartic(benchmark::State& state) {
  // (x - 1)(x - 2)(x - 3)(x - 4)
  const std::array<double, 5> c = {24, -50, 35, -10, 1};
  for (auto _ : state) benchmark::DoNotOptimize(SolveQuartic(c));
}
BENCHMARK(BM_SolveQuartic);

}  // namespace
}  // namespace qira
