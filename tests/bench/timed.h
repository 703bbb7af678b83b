#pragma once
// What every baseline reports: the milliseconds its work took, on standard output, alone on
// its line, timed from the start of the work (not of the process) to its end.
#include <chrono>
#include <cstdio>

namespace bench {

// Runs `work` (returning the exit status: 0 when it did its work) and, when it did, prints
// its milliseconds.
template <typename Work>
int PrintMilliseconds(Work work) {
  const auto start = std::chrono::steady_clock::now();
  const int status = work();
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  if (status == 0) std::printf("%.1f\n", took.count());
  return status;
}

}  // namespace bench
