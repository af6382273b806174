#include "analysis/fit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "index/index_testing.h"

namespace {

using V = std::vector<double>;

std::string model_after(const std::string& text) {
  FitModel m;
  std::string why;
  if (!parse_fit_model(text, &m, &why)) return why;
  return model_name(m);
}

TEST(FitModel, WordsInAnyOrderKeepWhatIsLeftOut) {
  EXPECT_EQ(model_after(""), "gauss const");
  EXPECT_EQ(model_after("  line VOIGT "), "voigt line");
  EXPECT_EQ(model_after("step"), "step const");
  EXPECT_EQ(model_after("lorentz spline"),
            "unknown fit model word \"spline\": a shape gauss, lorentz, voigt or step and a "
            "background none, const or line");
}

// Every model finds the parameters of its own noise-free curve from the
// starting values, with x running either way.
TEST(FitPoints, RecoversEachModelOnExactCurves) {
  const struct {
    const char* model;
    V p;
  } cases[] = {
      {"gauss none", {1.2, 0.4, 1000}},
      {"lorentz const", {-0.3, 0.25, 50, 7}},
      {"voigt line", {0.5, 0.3, 200, 0.3, 10, 2}},
      {"step const", {0.1, 0.2, 80, 5}},
      {"step none", {-0.2, -0.3, 80}},  // falling
  };
  for (const auto& c : cases) {
    FitModel m;
    std::string why;
    ASSERT_TRUE(parse_fit_model(c.model, &m, &why));
    for (int backwards = 0; backwards < 2; backwards++) {
      V x, y;
      for (int k = 0; k <= 60; k++) {
        const double xk = backwards ? 2 - k / 20.0 : -1 + k / 20.0;
        x.push_back(xk);
        y.push_back(model_value(m, c.p.data(), xk));
      }
      const FitResult r = fit_points(m, x, y, {});
      ASSERT_EQ(r.status, FitResult::kFitted) << c.model << " " << r.why;
      for (size_t k = 0; k < c.p.size(); k++)
        EXPECT_NEAR(r.p[k], c.p[k], 1e-6 * (1 + std::fabs(c.p[k]))) << c.model << " " << k;
    }
  }
}

// What the fit of a scan says: parameters with uncertainties, or why none.
TEST(ScanFit, LineSaysWhatWasFoundOrWhyNot) {
  Indexed f(
      "#S 1 peak\n#N 2\n0 1\n1 3\n2 9\n3 4\n4 1\n5 1\n6 nan\n"
      "#S 2 flat\n#N 2\n0 5\n1 5\n2 5\n3 5\n4 5\n5 5\n"
      "#S 3 short\n#N 2\n0 1\n1 5\n2 1\n");
  ColumnChoice cols;
  FitModel gauss;
  const std::string want[] = {
      // As scipy's curve_fit gives it.
      "scan=1 i=1 fit=gauss const points=6 skipped=1 centre=2.084654191 +- 0.00665 "
      "fwhm=1.53880331 +- 0.0138 height=8.121627098 +- 0.0648 background=0.9486400942 +- 0.0344 "
      "chi2r=0.003088507546 area=13.30326882 +- 0.156\n",
      "scan=2 i=2 fit=gauss const points=6 skipped=0: covariance singular (parameters not "
      "determined), no parameters\n",
      "scan=3 i=3 fit=gauss const points=3 skipped=0: too few points for 4 parameters, no fit\n",
  };
  for (int ref = 0; ref < 3; ref++) {
    MemOut out;
    write_fit_line(out.f(), scan_fit(f.t, ref, cols, false, false, gauss));
    EXPECT_EQ(out.str(), want[ref]);
  }
  MemOut table;
  write_fit_header(table.f(), gauss);
  write_fit_row(table.f(), scan_fit(f.t, 1, cols, false, false, gauss));
  EXPECT_EQ(table.str(),
            "# gauss const: scan i points centre fwhm height background d_centre d_fwhm "
            "d_height d_background chi2r area d_area converged\n"
            "2 2 6 nan nan nan nan nan nan nan nan nan nan nan 0\n");
}

}  // namespace
