// Workbook writer speed and peak memory against Perl's Spreadsheet::WriteExcel
// writing the same sheet: 65,536 rows of 5 numbers. Both sides run as child
// processes, alternating, so each has its own peak resident size (wait4's
// rusage) and its own start-up; the medians and their ratios are reported.
// Absolute times on a shared machine mean little; the ratios are compared with
// the targets. Our save syncs its file before it replaces the target, so the
// peer syncs its file too: both sides time the same durable save.
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "xls/XlsWorkbook.h"

using namespace qira;

namespace {

constexpr int kRows = 65536;
constexpr int kCols = 5;
constexpr int kRuns = 5;
constexpr double kTimeTarget = 0.1;
constexpr double kMemoryTarget = 1.5;

// The same numbers on both sides: exact in binary, so no text conversion differs.
double CellValue(int row, int col) { return (row * kCols + col) * 0.25; }

void WriteOurs(const std::string& path) {
  TXLSFile file;
  TCells& cells = file.Workbook().Sheets().Items(0).Cells();
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kCols; ++c) cells.Items(r, c).SetValue(CellValue(r, c));
  file.SaveAs(path);
}

std::string PeerScript() {
  return "use strict;\n"
         "use IO::Handle;\n"
         "use Spreadsheet::WriteExcel;\n"
         "my $wb = Spreadsheet::WriteExcel->new($ARGV[0]) or die;\n"
         "my $ws = $wb->add_worksheet();\n"
         "for my $r (0 .. " + std::to_string(kRows - 1) + ") {\n"
         "  for my $c (0 .. " + std::to_string(kCols - 1) + ") {\n"
         "    $ws->write_number($r, $c, ($r * " + std::to_string(kCols) + " + $c) * 0.25);\n"
         "  }\n"
         "}\n"
         "$wb->close();\n"
         "open(my $fh, '+<', $ARGV[0]) or die;\n"
         "$fh->sync or die;\n"
         "close($fh);\n";
}

struct TRun {
  double seconds = 0;
  double peakMiB = 0;
};

// Runs body in a forked child; its wall time and peak resident size.
template <class F>
TRun RunChild(F&& body) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("fork");
    std::exit(1);
  }
  if (pid == 0) _exit(body());
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "child failed (status %d)\n", status);
    std::exit(1);
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return {elapsed.count(), usage.ru_maxrss / 1024.0};
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("qira_workbook_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string script = (dir / "peer.pl").string();
  const std::string oursPath = (dir / "ours.xls").string();
  const std::string peerPath = (dir / "peer.xls").string();
  std::ofstream(script) << PeerScript();

  std::vector<double> oursTime, peerTime, oursMem, peerMem;
  for (int i = 0; i < kRuns; ++i) {
    const TRun ours = RunChild([&] {
      try {
        WriteOurs(oursPath);
      } catch (const std::exception& e) {
        std::fprintf(stderr, "ours: %s\n", e.what());
        return 1;
      }
      return 0;
    });
    const TRun peer = RunChild([&] {
      execl("/usr/bin/perl", "perl", script.c_str(), peerPath.c_str(), static_cast<char*>(nullptr));
      std::perror("perl");
      return 1;
    });
    oursTime.push_back(ours.seconds);
    oursMem.push_back(ours.peakMiB);
    peerTime.push_back(peer.seconds);
    peerMem.push_back(peer.peakMiB);
  }

  const double ot = Median(oursTime), pt = Median(peerTime);
  const double om = Median(oursMem), pm = Median(peerMem);
  std::printf("Workbook 65536 x 5 numbers vs Spreadsheet::WriteExcel (median of %d)\n", kRuns);
  std::printf("%-8s %12s %12s %8s %8s\n", "", "ours", "peer", "ratio", "target");
  std::printf("%-8s %10.3f s %10.3f s %7.2fx %7.2fx\n", "time", ot, pt, ot / pt, kTimeTarget);
  std::printf("%-8s %8.1f MiB %8.1f MiB %7.2fx %7.2fx\n", "memory", om, pm, om / pm, kMemoryTarget);
  std::printf("file size: ours %ju, peer %ju bytes\n", static_cast<uintmax_t>(std::filesystem::file_size(oursPath)),
              static_cast<uintmax_t>(std::filesystem::file_size(peerPath)));
  std::filesystem::remove_all(dir);
  return 0;
}
