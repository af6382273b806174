#include "analysis/fit.h"

#include <cminpack.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <sstream>

#include "analysis/peak_stats.h"
#include "read/points.h"

namespace {

const double kLn2 = std::log(2.0);
const double kPi = std::acos(-1.0);
// Area of a peak of height 1 and FWHM 1.
const double kGaussArea = std::sqrt(kPi / (4 * kLn2));
const double kLorentzArea = kPi / 2;

const char* const kShapeNames[] = {"gauss", "lorentz", "voigt", "step"};
const char* const kBackgroundNames[] = {"none", "const", "line"};

int shape_count(const FitModel& m) { return m.shape == FitShape::kVoigt ? 4 : 3; }
int background_count(const FitModel& m) { return static_cast<int>(m.background); }

// exp(-a) for a >= 0; far out in a tail 0 at once, rather than through
// the library's slow underflow path.
double tail_exp(double a) { return a < 745 ? std::exp(-a) : 0.0; }

// The model and its derivatives by the parameters at x; d may be null.
double evaluate(const FitModel& m, const double* p, double x, double* d) {
  const double c = p[0], w = p[1], h = p[2];
  double f;
  if (m.shape == FitShape::kStep) {
    const double k = 2 * std::sqrt(kLn2);
    const double t = k * (x - c) / w;
    const double s = 0.5 * (1 + std::erf(t));
    f = h * s;
    if (d) {
      const double g = tail_exp(t * t) / std::sqrt(kPi);
      d[0] = -h * g * k / w;
      d[1] = -h * g * t / w;
      d[2] = s;
    }
  } else {
    const double u = (x - c) / w;
    const double gauss = tail_exp(4 * kLn2 * u * u);
    const double lorentz = 1 / (1 + 4 * u * u);
    const double eta = m.shape == FitShape::kVoigt ? p[3] : m.shape == FitShape::kLorentz ? 1 : 0;
    f = h * (eta * lorentz + (1 - eta) * gauss);
    if (d) {
      // d/du of each shape, then du/dc = -1/w and du/dw = -u/w.
      const double du = h * (eta * -8 * u * lorentz * lorentz + (1 - eta) * -8 * kLn2 * u * gauss);
      d[0] = -du / w;
      d[1] = -du * u / w;
      d[2] = eta * lorentz + (1 - eta) * gauss;
      if (m.shape == FitShape::kVoigt) d[3] = h * (lorentz - gauss);
    }
  }
  const int b = shape_count(m);
  if (m.background != FitBackground::kNone) {
    f += p[b];
    if (d) d[b] = 1;
  }
  if (m.background == FitBackground::kLine) {
    f += p[b + 1] * x;
    if (d) d[b + 1] = x;
  }
  return f;
}

struct Problem {
  const FitModel& m;
  const std::vector<double>& x;
  const std::vector<double>& y;
  const std::vector<double>& sigma;
  int evaluations = 0;
  std::vector<double> d;  // derivatives at one point
};

// lmder's callback: weighted residuals (iflag 1) or their Jacobian, column
// after column (iflag 2). A value that is no number stops the fit.
int residuals(void* data, int m, int n, const double* p, double* fvec, double* fjac, int ldfjac,
              int iflag) {
  Problem& pr = *static_cast<Problem*>(data);
  if (iflag == 1) pr.evaluations++;
  for (int i = 0; i < m; i++) {
    const double s = pr.sigma.empty() ? 1.0 : pr.sigma[size_t(i)];
    const double f = evaluate(pr.m, p, pr.x[size_t(i)], iflag == 2 ? pr.d.data() : nullptr);
    if (iflag == 1) {
      fvec[i] = (f - pr.y[size_t(i)]) / s;
      if (!std::isfinite(fvec[i])) return -1;
      continue;
    }
    for (int j = 0; j < n; j++) {
      fjac[i + j * ldfjac] = pr.d[size_t(j)] / s;
      if (!std::isfinite(fjac[i + j * ldfjac])) return -1;
    }
  }
  return 0;
}

const char* lmder_reason(int info) {
  switch (info) {
    case 5:
      return "no better fit within the evaluations allowed";
    case 0:
      return "improper input";
    default:
      return "the model gave a value that is no number";
  }
}

// Mean x and y of points order[from, to).
void mean_of(const std::vector<double>& x, const std::vector<double>& y,
             const std::vector<size_t>& order, size_t from, size_t to, double* mx, double* my) {
  *mx = *my = 0;
  for (size_t k = from; k < to; k++) {
    *mx += x[order[k]];
    *my += y[order[k]];
  }
  *mx /= double(to - from);
  *my /= double(to - from);
}

// Where the points in x order first cross `level`, by linear interpolation;
// NaN when they never do.
double first_crossing(const std::vector<double>& x, const std::vector<double>& y,
                      const std::vector<size_t>& order, double level) {
  for (size_t k = 0; k + 1 < order.size(); k++) {
    const double x0 = x[order[k]], y0 = y[order[k]] - level;
    const double x1 = x[order[k + 1]], y1 = y[order[k + 1]] - level;
    if (y0 == 0) return x0;
    if ((y0 < 0) != (y1 < 0)) return x0 + (x1 - x0) * y0 / (y0 - y1);
  }
  return NAN;
}

std::string num(double v) { return number_text(v); }

}  // namespace

std::string model_name(const FitModel& m) {
  return std::string(kShapeNames[int(m.shape)]) + " " + kBackgroundNames[int(m.background)];
}

bool parse_fit_model(const std::string& text, FitModel* m, std::string* why) {
  FitModel r = *m;
  std::istringstream words(text);
  std::string w;
  while (words >> w) {
    std::string lower = w;
    for (char& c : lower) c = char(tolower(static_cast<unsigned char>(c)));
    bool known = false;
    for (int k = 0; k < 4 && !known; k++)
      if (lower == kShapeNames[k]) r.shape = FitShape(k), known = true;
    for (int k = 0; k < 3 && !known; k++)
      if (lower == kBackgroundNames[k]) r.background = FitBackground(k), known = true;
    if (!known) {
      *why = "unknown fit model word \"" + w +
             "\": a shape gauss, lorentz, voigt or step and a background none, const or line";
      return false;
    }
  }
  *m = r;
  return true;
}

int parameter_count(const FitModel& m) { return shape_count(m) + background_count(m); }

std::vector<std::string> parameter_names(const FitModel& m) {
  std::vector<std::string> names = {m.shape == FitShape::kStep ? "edge" : "centre", "fwhm",
                                    "height"};
  if (m.shape == FitShape::kVoigt) names.push_back("eta");
  if (m.background != FitBackground::kNone) names.push_back("background");
  if (m.background == FitBackground::kLine) names.push_back("slope");
  return names;
}

double model_value(const FitModel& m, const double* p, double x) {
  return evaluate(m, p, x, nullptr);
}

std::vector<double> fit_start(const FitModel& m, const std::vector<double>& x,
                              const std::vector<double>& y) {
  const size_t n = x.size();
  if (n < 3) return {};
  std::vector<size_t> order(n);
  std::iota(order.begin(), order.end(), size_t(0));
  std::stable_sort(order.begin(), order.end(), [&x](size_t a, size_t b) { return x[a] < x[b]; });
  const size_t e = std::min<size_t>(3, n / 2);
  double xlo, ylo, xhi, yhi;
  mean_of(x, y, order, 0, e, &xlo, &ylo);
  mean_of(x, y, order, n - e, n, &xhi, &yhi);
  const double range = x[order[n - 1]] - x[order[0]];

  double base = 0, slope = 0;
  if (m.background == FitBackground::kConst || m.shape == FitShape::kStep) {
    base = std::min(ylo, yhi);
  } else if (m.background == FitBackground::kLine) {
    slope = xhi > xlo ? (yhi - ylo) / (xhi - xlo) : 0;
    base = ylo - slope * xlo;
  }

  std::vector<double> p;
  if (m.shape == FitShape::kStep) {
    if (!(yhi != ylo) || !(range > 0)) return {};
    const double step = yhi - ylo;
    double edge = first_crossing(x, y, order, ylo + step / 2);
    if (std::isnan(edge)) edge = x[order[0]] + range / 2;
    // For an error function, the 12 % and 88 % levels lie one FWHM of its
    // derivative apart.
    double w = first_crossing(x, y, order, ylo + 0.8805 * step) -
               first_crossing(x, y, order, ylo + 0.1195 * step);
    if (!(std::fabs(w) > 0)) w = range / 10;
    w = std::fabs(w) * (step > 0 ? 1 : -1);
    double h = std::fabs(step);
    if (m.background == FitBackground::kNone) h = std::max(ylo, yhi);
    p = {edge, w, h};
  } else {
    const PeakStats st = peak_stats(x, y);
    const double centre = std::isfinite(st.centre) ? st.centre : st.xpeak;
    double w = st.fwhm;
    if (!std::isfinite(w) || !(w > 0)) {
      // The peak at an end of the scan: twice the span above half level.
      const double half = st.ymin + (st.ymax - st.ymin) / 2;
      double a = INFINITY, b = -INFINITY;
      for (size_t k = 0; k < n; k++) {
        if (y[k] >= half) a = std::min(a, x[k]), b = std::max(b, x[k]);
      }
      w = 2 * std::max(b - a, range / double(n - 1));
    }
    if (!(w > 0)) w = 1;
    p = {centre, w, st.ymax - (base + slope * st.xpeak)};
    if (m.shape == FitShape::kVoigt) p.push_back(0.5);
  }
  if (m.background != FitBackground::kNone) p.push_back(base);
  if (m.background == FitBackground::kLine) p.push_back(slope);
  return p;
}

FitResult fit_points(const FitModel& m, const std::vector<double>& x, const std::vector<double>& y,
                     const std::vector<double>& sigma) {
  FitResult r;
  const int n = parameter_count(m);
  const int mpts = static_cast<int>(std::min<size_t>(x.size(), INT32_MAX));
  r.points = int64_t(x.size());
  if (r.points <= n) return r;
  r.start = fit_start(m, x, y);
  if (r.start.empty()) {
    r.status = FitResult::kNoStart;
    return r;
  }

  Problem pr{m, x, y, sigma, 0, std::vector<double>(static_cast<size_t>(n))};
  r.p = r.start;
  const size_t un = static_cast<size_t>(n), um = static_cast<size_t>(mpts);
  std::vector<double> fvec(um), fjac(um * un);
  std::vector<double> diag(un), qtf(un), wa1(un), wa2(un), wa3(un), wa4(um);
  std::vector<int> ipvt(un);
  int nfev = 0, njev = 0;
  // scipy's step bound, tighter tolerances than its defaults (which stop
  // some fits 1e-5 short of the minimum), and twice its evaluations, as
  // lmder needs none for the derivatives.
  const double tol = 1e-12;
  const int info = lmder(residuals, &pr, mpts, n, r.p.data(), fvec.data(), fjac.data(), mpts, tol,
                         tol, 0.0, 200 * (n + 1), diag.data(), 1, 100.0, 0, &nfev, &njev,
                         ipvt.data(), qtf.data(), wa1.data(), wa2.data(), wa3.data(), wa4.data());
  r.evaluations = pr.evaluations;
  // 6 to 8: the tolerances cannot be met in double precision, so the fit
  // is as close to the minimum as it gets.
  if (info < 1 || info > 8 || info == 5) {
    r.status = FitResult::kNotConverged;
    r.why = lmder_reason(info);
    return r;
  }
  // A peak's shape is even in its width.
  if (m.shape != FitShape::kStep) r.p[1] = std::fabs(r.p[1]);

  // The covariance from the final R of lmder, scaled by the reduced
  // chi-square. Only an exactly singular R makes it singular: as with
  // scipy, a poorly determined parameter shows as a large uncertainty.
  double sumsq = 0;
  for (double f : fvec) sumsq += f * f;
  const int dof = mpts - n;
  r.chi2r = sumsq / dof;
  const int rank = covar1(mpts, n, sumsq, fjac.data(), mpts, ipvt.data(), 0.0, wa1.data());
  r.cov.assign(size_t(n) * size_t(n), 0.0);
  for (int i = 0; i < n; i++)
    for (int j = 0; j < n; j++)
      r.cov[size_t(i * n + j)] = fjac[size_t(std::min(i, j) + std::max(i, j) * mpts)];
  bool finite = rank == 0;
  for (double v : r.cov) finite = finite && std::isfinite(v);
  for (double v : r.p) finite = finite && std::isfinite(v);
  if (!finite) {
    r.status = FitResult::kSingular;
    return r;
  }
  for (int i = 0; i < n; i++) r.err.push_back(std::sqrt(r.cov[size_t(i * n + i)]));
  if (m.shape != FitShape::kStep) {
    const double eta = m.shape == FitShape::kVoigt ? r.p[3] : m.shape == FitShape::kLorentz ? 1 : 0;
    const double k = eta * kLorentzArea + (1 - eta) * kGaussArea;
    r.area = k * r.p[1] * r.p[2];
    double g[4] = {0, k * r.p[2], k * r.p[1], r.p[1] * r.p[2] * (kLorentzArea - kGaussArea)};
    double var = 0;
    for (int i = 0; i < shape_count(m); i++)
      for (int j = 0; j < shape_count(m); j++) var += g[i] * r.cov[size_t(i * n + j)] * g[j];
    r.area_err = std::sqrt(var);
  }
  r.status = FitResult::kFitted;
  return r;
}

ScanFit scan_fit(IndexTable& t, int ref, const ColumnChoice& cols, bool normalize, bool weighted,
                 const FitModel& m) {
  ScanFit f;
  scanRef& r = t.Index[ref];
  f.scan = r.scan;
  f.pos = ref + 1;
  f.model = m;
  f.normalize = normalize;
  f.weighted = weighted;
  std::vector<double> x, y, sigma;
  int64_t points = 0;
  ScanPointCounts counts = walk_scan_points(t, r, cols, normalize, [&](const ScanPoint& p) {
    if (++points > kMaxFitPoints) return;
    if (weighted) {
      // The error bar the plot draws for the point.
      const double e = count_error(p.y + 0.000001, p.z);
      if (!(e > 0)) {
        f.zero_error++;
        return;
      }
      sigma.push_back(e);
    }
    x.push_back(p.x);
    y.push_back(normalize ? p.y / p.z : p.y);
  });
  f.skipped = counts.skipped;
  f.low_monitor = counts.low_monitor;
  if (!x.empty()) {
    auto [lo, hi] = std::minmax_element(x.begin(), x.end());
    f.xmin = *lo;
    f.xmax = *hi;
  }
  if (points > kMaxFitPoints) {
    f.fit.status = FitResult::kTooManyPoints;
    f.fit.points = points;
    return f;
  }
  f.fit = fit_points(m, x, y, sigma);
  return f;
}

void write_fit_line(FILE* out, const ScanFit& f) {
  const FitResult& r = f.fit;
  std::string model = model_name(f.model);
  fprintf(out, "scan=%d i=%d fit=%s points=%lld skipped=%lld", f.scan, f.pos, model.c_str(),
          static_cast<long long>(r.points), static_cast<long long>(f.skipped));
  if (f.normalize) fprintf(out, " low_monitor=%lld", static_cast<long long>(f.low_monitor));
  if (f.weighted) fprintf(out, " zero_error=%lld", static_cast<long long>(f.zero_error));
  const int n = parameter_count(f.model);
  switch (r.status) {
    case FitResult::kTooFewPoints:
      fprintf(out, ": too few points for %d parameters, no fit\n", n);
      return;
    case FitResult::kNoStart:
      fprintf(out, ": no edge to start from (the ends are level), no fit\n");
      return;
    case FitResult::kNotConverged:
      fprintf(out, ": not converged (%s), no parameters\n", r.why.c_str());
      return;
    case FitResult::kTooManyPoints:
      fprintf(out, ": more than %lld points, no fit\n", static_cast<long long>(kMaxFitPoints));
      return;
    case FitResult::kSingular:
      fprintf(out, ": covariance singular (parameters not determined), no parameters\n");
      return;
    case FitResult::kFitted:
      break;
  }
  const std::vector<std::string> names = parameter_names(f.model);
  for (size_t k = 0; k < names.size(); k++)
    fprintf(out, " %s=%s +- %.3g", names[k].c_str(), num(r.p[k]).c_str(), r.err[k]);
  fprintf(out, " chi2r=%s", num(r.chi2r).c_str());
  if (f.model.shape != FitShape::kStep)
    fprintf(out, " area=%s +- %.3g", num(r.area).c_str(), r.area_err);
  fputc('\n', out);
}

void write_fit_header(FILE* out, const FitModel& m) {
  const std::vector<std::string> names = parameter_names(m);
  fprintf(out, "# %s: scan i points", model_name(m).c_str());
  for (const std::string& name : names) fprintf(out, " %s", name.c_str());
  for (const std::string& name : names) fprintf(out, " d_%s", name.c_str());
  fputs(" chi2r", out);
  if (m.shape != FitShape::kStep) fputs(" area d_area", out);
  fputs(" converged\n", out);
}

void write_fit_row(FILE* out, const ScanFit& f) {
  const FitResult& r = f.fit;
  const bool found = r.status == FitResult::kFitted;
  const size_t n = size_t(parameter_count(f.model));
  fprintf(out, "%d %d %lld", f.scan, f.pos, static_cast<long long>(r.points));
  for (size_t k = 0; k < n; k++) fprintf(out, " %s", num(found ? r.p[k] : NAN).c_str());
  for (size_t k = 0; k < n; k++) fprintf(out, " %s", num(found ? r.err[k] : NAN).c_str());
  fprintf(out, " %s", num(found ? r.chi2r : NAN).c_str());
  if (f.model.shape != FitShape::kStep)
    fprintf(out, " %s %s", num(found ? r.area : NAN).c_str(),
            num(found ? r.area_err : NAN).c_str());
  fprintf(out, " %d\n", found ? 1 : 0);
}

void model_curve(const FitModel& m, const std::vector<double>& p, double x0, double x1, int n,
                 std::vector<double>* x, std::vector<double>* y) {
  x->resize(size_t(n));
  y->resize(size_t(n));
  for (int k = 0; k < n; k++) {
    (*x)[size_t(k)] = k == n - 1 ? x1 : x0 + (x1 - x0) * k / (n - 1);
    (*y)[size_t(k)] = model_value(m, p.data(), (*x)[size_t(k)]);
  }
}
