// A German locale (decimal comma, '.' for grouping) made for the tests: localedef compiles it
// into a temporary folder once per test program, so the machine needs no generated locale.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ovx::testing {

using Environment = std::vector<std::pair<std::string, std::string>>;

// The folder for LOCPATH, holding de_DE.UTF-8; empty when localedef failed (why says why).
const std::string& GermanLocaleDir(std::string* why = nullptr);

// LOCPATH, LANG and LC_ALL for a program run under that locale.
Environment GermanLocaleEnvironment();

// This process runs under that locale (every category) while the guard lives, then "C" again.
class ScopedGermanLocale {
  public:
    ScopedGermanLocale();
    ~ScopedGermanLocale();
    ScopedGermanLocale(const ScopedGermanLocale&) = delete;
    ScopedGermanLocale& operator=(const ScopedGermanLocale&) = delete;
    // The locale's decimal separator as printf sees it now ("," when the switch took).
    static std::string DecimalPoint();
};

} // namespace ovx::testing
