#pragma once
// Switches the process to a decimal comma for a test's lifetime: the C locale to a
// German one when the machine has one generated (printf, strtod), and the global
// C++ locale to a facet with ',' as decimal point (iostreams) in every case.
#include <clocale>
#include <locale>
#include <string>

namespace qira {

class TCommaDecimalLocale {
 public:
  TCommaDecimalLocale() : previousCpp_(std::locale()) {
    const char* current = std::setlocale(LC_ALL, nullptr);
    previousC_ = current ? current : "C";
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8"}) {
      if (std::setlocale(LC_ALL, name)) {
        cLocaleSwitched_ = true;
        break;
      }
    }
    std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
  }
  ~TCommaDecimalLocale() {
    std::locale::global(previousCpp_);
    std::setlocale(LC_ALL, previousC_.c_str());
  }
  TCommaDecimalLocale(const TCommaDecimalLocale&) = delete;
  TCommaDecimalLocale& operator=(const TCommaDecimalLocale&) = delete;

  // True when printf/strtod now use ',' as well.
  bool CLocaleSwitched() const { return cLocaleSwitched_; }

 private:
  struct CommaPoint : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
  };
  std::locale previousCpp_;
  std::string previousC_;
  bool cLocaleSwitched_ = false;
};

}  // namespace qira
