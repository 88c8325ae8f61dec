// Extraction throughput of 7-zip32.dll: extracts one archive the given number
// of times and prints the best run's seconds and MB/s. bench_extract.sh runs
// it beside 7zz on the same archive.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "sevenzip32.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: archiver_bench ARCHIVE OUTPUT_FOLDER\\ BYTES [RUNS]\n");
    return 2;
  }
  double bytes = std::atof(argv[3]);
  int runs = argc > 4 ? std::atoi(argv[4]) : 3;
  std::string command = std::string("x \"") + argv[1] + "\" -y \"" + argv[2] + "\" *";
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    char output[256] = {};
    QueryPerformanceCounter(&start);
    int code = SevenZip(nullptr, command.c_str(), output, sizeof output);
    QueryPerformanceCounter(&end);
    if (code != SEVENZIP_OK) {
      std::fprintf(stderr, "SevenZip failed: %d %s\n", code, output);
      return 1;
    }
    double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    if (seconds < best) best = seconds;
  }
  std::printf("7-zip32.dll: %.3f s, %.1f MB/s\n", best, bytes / best / 1e6);
  return 0;
}
