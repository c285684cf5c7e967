// What every redraw computes before painting: texts, scale and the graph geometry.
#include <benchmark/benchmark.h>

#include <vector>

#include "allocation_counter.h"
#include "menubar/format.h"
#include "menubar/router_menu_bar_graph_layout.h"

namespace pulsewell {
namespace {

std::vector<double> history(double base) {
  std::vector<double> values;
  for (int i = 0; i < 60; ++i)
    values.push_back(base * (1 + (i % 7)));
  return values;
}

void formatRates(benchmark::State& state) {
  const NumberLocale locale;
  const auto before = bench::allocations();
  for (auto _ : state) {
    benchmark::DoNotOptimize(Format::rate(1'234'567.0, false, locale));
    benchmark::DoNotOptimize(Format::rate(80'000.0, true, locale));
  }
  state.counters["allocs/iter"] = benchmark::Counter(
      static_cast<double>(bench::allocations() - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(formatRates);

void menuBarLayout(benchmark::State& state) {
  const auto down = history(150'000);
  const auto up = history(20'000);
  for (auto _ : state) {
    const auto peaks = Format::peaks(down, up, 0, 0, false);
    const RouterGraphData graph{down, up, peaks.downPeak, peaks.upPeak, false};
    benchmark::DoNotOptimize(RouterMenuBarGraphLayout::image({48, 13}, {52, 13}, 50, graph, 22));
  }
}
BENCHMARK(menuBarLayout);

}  // namespace
}  // namespace pulsewell
