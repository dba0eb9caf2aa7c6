#include "tests/soak/soak_verdict.h"

#include <cstdio>

namespace korvalen::soak {
namespace {

std::string MiB(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f MiB", bytes / (1024.0 * 1024.0));
  return text;
}

std::string Growth(const SoakReport& report) {
  if (!report.rss_after_warmup || !report.rss_at_end) return "not measured";
  const double growth =
      static_cast<double>(*report.rss_at_end) - static_cast<double>(*report.rss_after_warmup);
  std::string text = growth < 0 ? "-" : "+";
  text += MiB(growth < 0 ? -growth : growth);
  return text;
}

}  // namespace

std::vector<std::string> Faults(const SoakReport& report, bool bound_memory) {
  std::vector<std::string> faults;
  if (!report.failure.empty()) faults.push_back(report.failure);
  if (report.sent == 0) faults.push_back("no frame was sent");
  if (report.mismatched != 0) {
    faults.push_back(std::to_string(report.mismatched) + " frames were not the ones owed, first " +
                     report.first_mismatch);
  }
  if (report.outstanding != 0) {
    faults.push_back(std::to_string(report.outstanding) + " frames never arrived");
  }
  if (report.received != report.sent) {
    faults.push_back("received " + std::to_string(report.received) + " frames for " +
                     std::to_string(report.sent) + " sent");
  }
  if (report.rejected != 0 || report.skipped != 0) {
    faults.push_back("the device refused " + std::to_string(report.rejected) +
                     " frames and skipped " + std::to_string(report.skipped) + " bytes");
  }
  if (bound_memory) {
    if (!report.rss_after_warmup || !report.rss_at_end) {
      faults.push_back("resident memory not measured: the run ended before the warm-up did");
    } else if (*report.rss_at_end >= *report.rss_after_warmup + kResidentGrowthLimit) {
      faults.push_back("resident memory grew by " + Growth(report) + ", the limit is " +
                       MiB(static_cast<double>(kResidentGrowthLimit)));
    }
  }
  return faults;
}

std::string Describe(const SoakReport& report, bool bound_memory) {
  std::string text;
  text += "soak: frames sent " + std::to_string(report.sent) + ", received " +
          std::to_string(report.received) + ", mismatched " + std::to_string(report.mismatched) +
          ", never arrived " + std::to_string(report.outstanding) + "\n";
  text += "soak: device refused " + std::to_string(report.rejected) + " frames, skipped " +
          std::to_string(report.skipped) + " bytes\n";
  text += "soak: resident memory after warm-up " +
          (report.rss_after_warmup ? MiB(static_cast<double>(*report.rss_after_warmup)) : "-") +
          ", at the end " +
          (report.rss_at_end ? MiB(static_cast<double>(*report.rss_at_end)) : "-") + ", growth " +
          Growth(report) +
          (bound_memory ? " (limit 1 MiB)"
                        : " (not judged: AddressSanitizer keeps freed memory in quarantine)") +
          "\n";
  const double seconds = report.elapsed.count();
  char rate[96];
  std::snprintf(rate, sizeof rate, "soak: %.1f s, %.0f frames/s\n", seconds,
                seconds > 0 ? static_cast<double>(report.sent) / seconds : 0.0);
  text += rate;
  const std::vector<std::string> faults = Faults(report, bound_memory);
  for (const std::string& fault : faults) text += "soak: FAIL: " + fault + "\n";
  if (faults.empty()) text += "soak: PASS\n";
  return text;
}

}  // namespace korvalen::soak
