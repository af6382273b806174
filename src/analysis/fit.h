// Least-squares fit of a scan's peak or edge: a Gaussian, a Lorentzian, a
// pseudo-Voigt or an error-function step, on no background, a constant or a
// straight line. The minimisation is MINPACK's Levenberg-Marquardt (lmder,
// through cminpack) with analytic derivatives; starting values come from
// the statistics of the scan (peak_stats) and its ends.
//
// The parameters, in this order:
//   peaks: centre, fwhm, height [, eta for the pseudo-Voigt]
//   step:  edge, fwhm, height
//   then background [, slope] as the background has them.
// Peaks: height * shape((x - centre) / fwhm), the shape 1 at 0 and 1/2 at
// +-1/2; the pseudo-Voigt is eta * Lorentzian + (1 - eta) * Gaussian of the
// one width. Step: height * (1 + erf(2 sqrt(ln 2) (x - edge) / fwhm)) / 2,
// whose derivative is a Gaussian of that FWHM; a negative fwhm is a falling
// edge. Background: background + slope * x.
//
// Uncertainties are the square roots of the covariance diagonal scaled by
// the reduced chi-square, as scipy.optimize.curve_fit reports them by
// default; with errors given, the residuals are divided by them.
#ifndef KURVATAB_ANALYSIS_FIT_H_
#define KURVATAB_ANALYSIS_FIT_H_

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/options.h"
#include "index/index_table.h"

enum class FitShape { kGauss, kLorentz, kVoigt, kStep };
enum class FitBackground { kNone, kConst, kLine };

struct FitModel {
  FitShape shape = FitShape::kGauss;
  FitBackground background = FitBackground::kConst;
  bool operator==(const FitModel& o) const {
    return shape == o.shape && background == o.background;
  }
  bool operator!=(const FitModel& o) const { return !(*this == o); }
};

// "gauss const", "step line" ...
std::string model_name(const FitModel& m);

// Takes the words of `text` (blank-separated, any order, any case): a shape
// (gauss, lorentz, voigt, step) and a background (none, const, line); a
// word left out keeps what *m has. False, with *m unchanged and *why
// naming the word, for any other word.
bool parse_fit_model(const std::string& text, FitModel* m, std::string* why);

int parameter_count(const FitModel& m);
std::vector<std::string> parameter_names(const FitModel& m);

// The model at x for the parameters p (parameter_count of them).
double model_value(const FitModel& m, const double* p, double x);

struct FitResult {
  enum Status {
    kFitted,         // converged, with a covariance
    kTooFewPoints,   // not more points than parameters: no fit made
    kNoStart,        // no starting values (a flat scan for a step)
    kNotConverged,   // MINPACK stopped without meeting its tolerances
    kSingular,       // converged, but the covariance cannot be had
    kTooManyPoints,  // more than kMaxFitPoints: no fit made
  };
  Status status = kTooFewPoints;
  std::string why;  // for kNotConverged: what MINPACK said
  int64_t points = 0;
  std::vector<double> start;  // starting values
  std::vector<double> p;      // parameters reached (meaningful for kFitted only)
  std::vector<double> err;    // standard uncertainties
  std::vector<double> cov;    // covariance, n by n, row after row
  double chi2r = NAN;         // reduced chi-square
  double area = NAN;          // peaks: the area under the peak, and its uncertainty
  double area_err = NAN;
  int evaluations = 0;  // of the model (not of its derivatives)
};

// Starting values for points (x, y) of any order: the peak of the scan's
// statistics (its half-level centre and width, else the highest point and
// the span above half level), the background through the means of the
// three points at each end of x; for a step, the mid-level crossing and
// the distance of the 12 % and 88 % crossings. Empty when the points give
// none (fewer than three, a flat step).
std::vector<double> fit_start(const FitModel& m, const std::vector<double>& x,
                              const std::vector<double>& y);

// Fits the points; `sigma` (empty for none) holds each point's error, all
// positive. x, y and sigma are finite and of the same length.
FitResult fit_points(const FitModel& m, const std::vector<double>& x, const std::vector<double>& y,
                     const std::vector<double>& sigma);

// The most points a scan's fit takes: its memory grows with them (some 80
// bytes a point), and a longer scan is no peak to fit.
constexpr int64_t kMaxFitPoints = 1000000;

// The fit of a scan of the index table, with what was left out.
struct ScanFit {
  int scan = 0;  // scan number
  int pos = 0;   // 1-based position
  FitModel model;
  bool normalize = false;
  bool weighted = false;
  int64_t skipped = 0;            // data lines that gave no point
  int64_t low_monitor = 0;        // normalising: monitor below 1, or none
  int64_t zero_error = 0;         // weighted: points whose error is 0
  double xmin = NAN, xmax = NAN;  // of the points fitted
  FitResult fit;
};

// Reads the scan at 0-based position `ref` as the statistics do (x and raw
// y, divided by the monitor when normalising, points with a monitor below
// 1 left out) and fits it; `weighted` takes each point's counting error by
// the plot's error bar rule, leaving out points whose error is 0.
ScanFit scan_fit(IndexTable& t, int ref, const ColumnChoice& cols, bool normalize, bool weighted,
                 const FitModel& m);

// One line: "scan=12 i=4 fit=gauss const points=41 centre=... +- ... ...".
// A fit not made or not found says why, without parameters.
void write_fit_line(FILE* out, const ScanFit& f);

// The table of a loop: a header naming the model and the columns, then one
// row per scan with every column, NaN for values not found and the
// converged flag 0.
void write_fit_header(FILE* out, const FitModel& m);
void write_fit_row(FILE* out, const ScanFit& f);

// The fitted curve on `n` (at least 2) evenly spaced x from x0 to x1.
void model_curve(const FitModel& m, const std::vector<double>& p, double x0, double x1, int n,
                 std::vector<double>* x, std::vector<double>* y);

#endif  // KURVATAB_ANALYSIS_FIT_H_
