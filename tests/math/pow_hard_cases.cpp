// Prints our own list of x^y arguments that are hard to round
// (hard_cases/pow_own.txt), each classified by MPFR at 600 bits: "exact",
// "midpoint", or the count of identical bits after the round bit. With
// --check FILE it compares the list with FILE instead and fails on a
// difference, so that the checked-in list is what this program prints.
//
// The classes, each where a method goes wrong easily:
//   - x next to b^d 2^(d s) for y = n/d (d = 1, 2, 4, 8) and odd b whose
//     b^n has 53 bits (x^y exact) or 54 (halfway between two doubles): x
//     itself where it is a double, else the doubles around it, and their
//     neighbours, at exponents from the largest down into the subnormals;
//   - midpoints and exact results among the subnormals;
//   - results next to the overflow threshold;
//   - x next to 1 with large |y|.

#include <mpfr.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr mpfr_prec_t kWorkingBits = 600;

std::uint64_t BitsOf(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

double FromBits(std::uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// `count` doubles up and down from a positive x (x itself included).
std::vector<double> Around(double x, int count) {
  std::vector<double> values;
  std::uint64_t bits = BitsOf(x);
  for (int i = -count; i <= count; ++i) {
    std::uint64_t neighbour = bits + static_cast<std::uint64_t>(static_cast<std::int64_t>(i));
    if (neighbour >= 1 && neighbour < 0x7FF0000000000000u) {
      values.push_back(FromBits(neighbour));
    }
  }
  return values;
}

class Classifier {
 public:
  Classifier() {
    mpfr_set_emin(mpfr_get_emin_min());
    mpfr_set_emax(mpfr_get_emax_max());
    mpfr_inits2(kWorkingBits, x_, y_, result_, scaled_, static_cast<mpfr_ptr>(nullptr));
  }
  ~Classifier() { mpfr_clears(x_, y_, result_, scaled_, static_cast<mpfr_ptr>(nullptr)); }
  Classifier(const Classifier&) = delete;
  Classifier& operator=(const Classifier&) = delete;

  // "exact", "midpoint", "N bits", "overflow" or "underflow".
  std::string Classify(double x, double y) {
    mpfr_set_d(x_, x, MPFR_RNDN);
    mpfr_set_d(y_, y, MPFR_RNDN);
    mpfr_pow(result_, x_, y_, MPFR_RNDN);
    mpfr_abs(result_, result_, MPFR_RNDN);
    long exponent = mpfr_get_exp(result_);  // result in [2^(e-1), 2^e)
    if (exponent > 1024) {
      return "overflow";
    }
    if (exponent < -1075) {
      return "underflow";
    }
    long unit = exponent - 53 < -1074 ? -1074 : exponent - 53;
    // The fraction of the result beyond its last bit, f in [0, 1), and its
    // distance to 0, 1/2 or 1 in units of 2^-bits.
    mpfr_mul_2si(scaled_, result_, -unit, MPFR_RNDN);
    mpfr_frac(scaled_, scaled_, MPFR_RNDN);
    mpfr_mul_2ui(scaled_, scaled_, 1, MPFR_RNDN);  // 2f in [0, 2)
    mpfr_rint(result_, scaled_, MPFR_RNDN);
    bool halfway = mpfr_cmp_ui(result_, 1) == 0;
    mpfr_sub(scaled_, scaled_, result_, MPFR_RNDN);
    if (mpfr_zero_p(scaled_)) {
      return halfway ? "midpoint" : "exact";
    }
    long distance = mpfr_get_exp(scaled_);  // |2f - nearest| in [2^(d-1), 2^d)
    if (-distance >= kWorkingBits - 80) {
      return "more than 500 bits";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%ld bits", -distance);
    return text;
  }

 private:
  mpfr_t x_, y_, result_, scaled_;
};

struct Case {
  double x;
  double y;
};

class CaseList {
 public:
  void Add(double x, double y) {
    if (x > 0.0 && std::isfinite(x) && seen_.insert({BitsOf(x), BitsOf(y)}).second) {
      cases_.push_back({x, y});
    }
  }
  void AddAround(double x, double y, int count) {
    for (double neighbour : Around(x, count)) {
      Add(neighbour, y);
    }
  }
  const std::vector<Case>& cases() const { return cases_; }

 private:
  std::set<std::pair<std::uint64_t, std::uint64_t>> seen_;
  std::vector<Case> cases_;
};

// b^d 2^(d s) as the doubles nearest below and above (one double when
// exact), by MPFR.
std::vector<double> DoublesAround(std::uint64_t b, int d, long s) {
  mpfr_t value;
  mpfr_init2(value, 600);
  mpfr_set_ui(value, static_cast<unsigned long>(b), MPFR_RNDN);
  mpfr_pow_ui(value, value, static_cast<unsigned long>(d), MPFR_RNDN);
  mpfr_mul_2si(value, value, d * s, MPFR_RNDN);
  std::vector<double> values;
  mpfr_t rounded;
  mpfr_init2(rounded, 53);
  for (mpfr_rnd_t direction : {MPFR_RNDD, MPFR_RNDU}) {
    int inexact = mpfr_set(rounded, value, direction);
    inexact = mpfr_subnormalize(rounded, inexact, direction);
    double rounded_double = mpfr_get_d(rounded, direction);
    if (values.empty() || values.back() != rounded_double) {
      values.push_back(rounded_double);
    }
  }
  mpfr_clears(value, rounded, static_cast<mpfr_ptr>(nullptr));
  return values;
}

// Odd b whose b^n has exactly `bits` bits: the least, the greatest, and a
// few between.
std::vector<std::uint64_t> BasesWithPowerOf(int n, int bits) {
  double low = std::ceil(std::pow(2.0, (bits - 1) / static_cast<double>(n)));
  double high = std::floor(std::pow(2.0, bits / static_cast<double>(n)));
  std::vector<std::uint64_t> bases;
  for (double candidate : {low, low + 2, (low + high) / 2, high - 2, high}) {
    auto b = static_cast<std::uint64_t>(candidate) | 1;
    __uint128_t power = 1;
    for (int i = 0; i < n; ++i) {
      power *= b;
    }
    bool fits = power >> (bits - 1) == 1;
    if (fits && (bases.empty() || bases.back() < b)) {
      bases.push_back(b);
    }
  }
  return bases;
}

// Exact results and midpoints for y = n/d: x next to b^d 2^(d s) over the
// whole range of x.
void AddNearPerfectPowers(CaseList& list) {
  static const int kDenominators[] = {1, 2, 4, 8};
  static const int kNumerators[] = {1, 2, 3, 5, 7};
  for (int d : kDenominators) {
    for (int n : kNumerators) {
      if ((d > 1 && n % 2 == 0) || (d == 1 && n == 1)) {
        continue;
      }
      double y = static_cast<double>(n) / d;
      for (int bits : {53, 54}) {
        for (std::uint64_t b : BasesWithPowerOf(n, bits)) {
          double log2_b = std::log2(static_cast<double>(b));
          // s with x from the largest double down to below the least
          // normal, in 9 steps, where the result b^n 2^(n s) is finite
          // and not below the least subnormal.
          long high = static_cast<long>(std::floor((1023.0 - d * log2_b) / d));
          long low = static_cast<long>(std::ceil((-1074.0 - d * log2_b) / d)) + 1;
          high = std::min(high, static_cast<long>(std::floor((1023.0 - bits) / n)));
          low = std::max(low, static_cast<long>(std::ceil((-1074.0 - bits) / n)));
          for (int step = 0; step <= 8; ++step) {
            long s = high - (high - low) * step / 8;
            for (double x : DoublesAround(b, d, s)) {
              list.AddAround(x, y, 1);
            }
          }
        }
      }
    }
  }
}

// The cases of the integer-exactness fault: x^(3/4) just below a midpoint
// where x's square root's square underflows, and an inexact square root
// taken for exact.
void AddKnownTraps(CaseList& list) {
  for (int exponent : {-1021, -1017, -1013, -1009, -1005, -1001, -997, 1019}) {
    list.AddAround(std::ldexp(0x1.fffe0000bfffep0, exponent), 0.75, 2);
  }
  list.AddAround(0x1.f9760ae7af8fcp-1, 1.5, 2);
}

// Midpoints and exact results among the subnormals: c^n 2^(n e) with
// n e = -1075 (halfway) or -1074 and nearby, for y = n / d.
void AddSubnormalResults(CaseList& list) {
  struct Form {
    int n;
    int d;
    int root_exponent;  // e of x = c^d 2^(d e)
  };
  // 5 e = -1075: e = -215; 1075 = 25 * 43 too; 2 e = -1074 for exact ones.
  static const Form kForms[] = {{5, 1, -215}, {5, 2, -215}, {5, 4, -215}, {25, 1, -43},
                                {43, 1, -25}, {2, 1, -537}, {3, 1, -358}, {3, 2, -358},
                                {7, 1, -153}, {7, 2, -153}, {2, 1, -520}, {3, 1, -345}};
  for (const Form& form : kForms) {
    double limit = std::pow(2.0, 53.0 / form.n);
    for (std::uint64_t c = 1; c < limit && c < 200; c += 2) {
      double root = std::ldexp(static_cast<double>(c), form.root_exponent);
      double x = std::pow(root, form.d);
      double y = static_cast<double>(form.n) / form.d;
      if (x > 0.0 && std::pow(static_cast<double>(c), form.d) < 0x1p53) {
        list.AddAround(x, y, 1);
      }
    }
  }
}

// Results next to 2^1024 and 2^-1074 for integer and half-integer y: x
// the double nearest to 2^(1024 / y) and its neighbours.
void AddRangeLimits(CaseList& list) {
  for (double y : {2.0, 3.0, 5.0, 7.0, 10.0, 17.0, 31.0, 64.0, 100.0, 255.0, 1000.0, 1.5, 2.5, 0.5,
                   0.75, 1.25}) {
    list.AddAround(std::exp2(1024.0 / y), y, 3);
    list.AddAround(std::exp2(-1024.0 / y), -y, 3);
    list.AddAround(std::exp2(-1074.0 / y), y, 3);
    list.AddAround(std::exp2(-1022.0 / y), y, 3);
    list.AddAround(std::exp2(1074.0 / y), -y, 3);
  }
}

// x next to 1 with |y| large: (1 +- m 2^-52)^(+-2^j).
void AddNearOneToLargePowers(CaseList& list) {
  for (int m = 1; m <= 4; ++m) {
    for (int j = 1; j <= 62; j += 3) {
      double y = std::ldexp(1.0, j);
      list.Add(1.0 + m * 0x1p-52, y);
      list.Add(1.0 - m * 0x1p-53, -y);
      list.Add(1.0 + m * 0x1p-52, -y + 1);
    }
    for (double y : {0.5, -0.5, 0.125, -0.125}) {
      list.Add(1.0 - m * 0x1p-53, std::nextafter(y, 0.0));
      list.Add(1.0 + m * 0x1p-52, std::nextafter(y, 0.0));
    }
  }
}

std::string Listing() {
  CaseList list;
  AddKnownTraps(list);
  AddNearPerfectPowers(list);
  AddSubnormalResults(list);
  AddRangeLimits(list);
  AddNearOneToLargePowers(list);
  Classifier classifier;
  std::string text =
      "# pow: our own hard cases, printed by tests/math/pow_hard_cases.cpp (see there);\n"
      "# after each pair MPFR's class of the exact result: exact, midpoint, or the count\n"
      "# of identical bits after the round bit.\n";
  for (const Case& c : list.cases()) {
    char line[128];
    std::snprintf(line, sizeof line, "%a,%a # %s\n", c.x, c.y,
                  classifier.Classify(c.x, c.y).c_str());
    text += line;
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  std::string listing = Listing();
  if (argc == 3 && std::strcmp(argv[1], "--check") == 0) {
    std::FILE* file = std::fopen(argv[2], "r");
    if (file == nullptr) {
      std::perror(argv[2]);
      return 1;
    }
    std::string contents;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
      contents.append(buffer, n);
    }
    std::fclose(file);
    if (contents != listing) {
      std::printf("%s differs from what pow_hard_cases prints\n", argv[2]);
      return 1;
    }
    return 0;
  }
  if (argc != 1) {
    std::fprintf(stderr, "usage: pow_hard_cases [--check FILE]\n");
    return 2;
  }
  std::fputs(listing.c_str(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
