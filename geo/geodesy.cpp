#include "geo/geodesy.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tarnvik::geo {

namespace {

// WGS 84.
constexpr double kSemiMinorM = 6356752.314245179;
constexpr double kFlattening = 0.0033528106647474805;
constexpr double kOneMinusFlattening = 0.9966471893352525;
constexpr double kEccentricitySquared = 0.006694379990141317;
constexpr double kSecondEccentricitySquared = 0.006739496742276435;
constexpr double kOnePlusSecondEccentricitySquared = 1.0067394967422765;

// Transverse Mercator (a * k0 with k0 = 0.9996).
constexpr double kScaledSemiMajorM = 6375585.7452;
constexpr double kFalseEastingM = 500000.0;
constexpr double kFalseNorthingSouthM = 10000000.0;

// Meridian arc series (multiplied by a * k0).
constexpr double kArc0 = 0.9983242984527952;
constexpr double kArc2 = 0.002514607060518705;
constexpr double kArc4 = 2.6390465943376217e-6;
constexpr double kArc6 = 3.4180460865957886e-9;

// Footpoint latitude series; kArcToRectifying = 1 / (a * k0 * kArc0), kInverseScaledSemiMajor =
// 1 / (a * k0).
constexpr double kArcToRectifying = 1.571116057864735e-7;
constexpr double kFoot2 = 0.0025188265843906882;
constexpr double kFoot4 = 3.700949035620534e-6;
constexpr double kFoot6 = 7.447813767503948e-9;
constexpr double kFoot8 = 1.703599323859631e-11;
constexpr double kInverseScaledSemiMajor = 1.5684833362218868e-7;

constexpr double kDegree = std::numbers::pi / 180.0;

// Vincenty's iteration.
constexpr double kSameLatitudeRad = 1.5e-9;
constexpr double kSameLongitudeRad = 1e-9;
constexpr double kMinLongitudeDifferenceRad = 1e-10;
constexpr double kConvergence = 1e-10;
constexpr int kMaxPasses = 100;

// The latitude terms both Redfearn series use: t = tan phi, T = t^2, W = 1 - e^2 sin^2 phi and
// psi = W (1 + e'^2) with its powers.
struct LatitudeTerms {
  double sinPhi, t, tt, w, psi, psi2, psi3, psi4;
};

LatitudeTerms TermsAt(double latitude) {
  LatitudeTerms k;
  k.sinPhi = std::sin(latitude);
  k.t = std::tan(latitude);
  k.tt = k.t * k.t;
  k.w = 1.0 - kEccentricitySquared * k.sinPhi * k.sinPhi;
  k.psi = k.w * kOnePlusSecondEccentricitySquared;
  k.psi2 = k.psi * k.psi;
  k.psi3 = k.psi2 * k.psi;
  k.psi4 = k.psi3 * k.psi;
  return k;
}

// Easting (without false easting) and northing (without false northing) about centralMeridian.
TmPoint Redfearn(double latitude, double longitude, double centralMeridian) {
  const auto [sinPhi, t, tt, w, psi, psi2, psi3, psi4] = TermsAt(latitude);
  const double cosPhi = std::cos(latitude);
  const double nu = 1.0 / std::sqrt(w);  // nu / a
  // The longitude difference is taken the short way round, so a central meridian near 180
  // degrees serves points on both sides of the antimeridian; within a zone this changes nothing.
  double dLambda = longitude - centralMeridian;
  if (dLambda > std::numbers::pi) dLambda -= 2 * std::numbers::pi;
  if (dLambda < -std::numbers::pi) dLambda += 2 * std::numbers::pi;
  const double a2 = dLambda * dLambda * cosPhi * cosPhi;

  const double eastingSeries =
      1.0 + a2 * (psi - tt) / 6.0 +
      a2 * a2 * (4.0 * psi3 * (1.0 - 6.0 * tt) + psi2 * (1.0 + 8.0 * tt) - 2.0 * psi * tt + tt * tt) /
          120.0 +
      a2 * a2 * a2 * (61.0 - 479.0 * tt + 179.0 * tt * tt - tt * tt * tt) / 5040.0;
  const double meridianArc =
      kScaledSemiMajorM * (kArc0 * latitude - kArc2 * std::sin(2.0 * latitude) +
                           kArc4 * std::sin(4.0 * latitude) - kArc6 * std::sin(6.0 * latitude));
  const double northingSeries =
      0.5 + a2 * (4.0 * psi2 + psi - tt) / 24.0 +
      a2 * a2 *
          (8.0 * psi4 * (11.0 - 24.0 * tt) - 28.0 * psi3 * (1.0 - 6.0 * tt) + psi2 * (1.0 - 32.0 * tt) -
           2.0 * psi * tt + tt * tt) /
          720.0 +
      a2 * a2 * a2 * (1385.0 - 3111.0 * tt + 543.0 * tt * tt - tt * tt * tt) / 40320.0;

  TmPoint result;
  result.x = kScaledSemiMajorM * nu * cosPhi * dLambda * eastingSeries;
  result.y = meridianArc + kScaledSemiMajorM * nu * sinPhi * cosPhi * dLambda * dLambda * northingSeries;
  return result;
}

char BandFromLatitude(double latitudeDeg) {
  if (!(latitudeDeg >= -80.0)) return 'B';  // also a non-finite latitude
  if (latitudeDeg >= 84.0) return 'Y';
  if (latitudeDeg >= 72.0) return 'X';
  constexpr char kBands[] = "CDEFGHJKLMNPQRSTUVW";  // 8 degrees each from -80 to 72
  return kBands[static_cast<int>((latitudeDeg + 80.0) / 8.0)];
}

int32_t ZoneFromPosition(char band, double longitudeDeg) {
  if (band == 'V' && longitudeDeg >= 3.0 && longitudeDeg < 12.0) return 32;
  if (band == 'X') {
    if (longitudeDeg >= 0.0 && longitudeDeg < 9.0) return 31;
    if (longitudeDeg >= 9.0 && longitudeDeg < 21.0) return 33;
    if (longitudeDeg >= 21.0 && longitudeDeg < 33.0) return 35;
    if (longitudeDeg >= 33.0 && longitudeDeg < 42.0) return 37;
  }
  // Clamp before converting so that far-off or non-finite longitudes stay defined.
  const double zone = std::trunc(longitudeDeg / 6.0 + 30.0) + 1.0;
  if (!(zone >= 1.0)) return 1;
  if (zone > 60.0) return 60;
  return static_cast<int32_t>(zone);
}

double CentralMeridian(int32_t zone) { return (2.0 * zone - 61.0) * 3.0 * kDegree; }

}  // namespace

int GeoDistance(const GeoPoint& a, const GeoPoint& b, double& metres) {
  if (std::fabs(a.latitude - b.latitude) < kSameLatitudeRad &&
      std::fabs(a.longitude - b.longitude) < kSameLongitudeRad) {
    metres = 0.0;
    return 0;
  }
  const double u1 = std::atan(kOneMinusFlattening * std::tan(a.latitude));
  const double u2 = std::atan(kOneMinusFlattening * std::tan(b.latitude));
  const double sinU1 = std::sin(u1), cosU1 = std::cos(u1);
  const double sinU2 = std::sin(u2), cosU2 = std::cos(u2);
  double longitudeDifference = b.longitude - a.longitude;
  if (std::fabs(longitudeDifference) < kMinLongitudeDifferenceRad) {
    longitudeDifference = kMinLongitudeDifferenceRad;
  }

  double lambda = longitudeDifference;
  double sinSigma = 0, cosSigma = 0, sigma = 0, cosSqAlpha = 0, cos2SigmaM = 0;
  bool converged = false;
  for (int pass = 0; pass < kMaxPasses; ++pass) {
    const double sinLambda = std::sin(lambda), cosLambda = std::cos(lambda);
    const double p = cosU2 * sinLambda;
    const double q = cosU1 * sinU2 - sinU1 * cosU2 * cosLambda;
    sinSigma = std::sqrt(p * p + q * q);
    cosSigma = sinU1 * sinU2 + cosU1 * cosU2 * cosLambda;
    const double ratio = sinSigma / cosSigma;
    sigma = std::atan(ratio);
    if (ratio < 0) sigma += std::numbers::pi;
    const double sinAlpha = cosU1 * cosU2 * sinLambda / sinSigma;
    const double cosAlpha = std::cos(std::asin(sinAlpha));
    cosSqAlpha = cosAlpha * cosAlpha;
    cos2SigmaM = cosSigma - 2.0 * sinU1 * sinU2 / cosSqAlpha;
    const double c = kFlattening / 16.0 * cosSqAlpha * (4.0 + kFlattening * (4.0 - 3.0 * cosSqAlpha));
    const double lambdaPrev = lambda;
    lambda = longitudeDifference +
             (1.0 - c) * kFlattening * sinAlpha *
                 (sigma + c * sinSigma * (cos2SigmaM + c * cosSigma * (2.0 * cos2SigmaM * cos2SigmaM - 1.0)));
    if (pass > 0 && std::fabs((lambda - lambdaPrev) / lambda) < kConvergence) {
      converged = true;
      break;
    }
  }
  if (!converged) return -1;

  const double uSq = cosSqAlpha * kSecondEccentricitySquared;
  const double bigA =
      1.0 + uSq * (0.25 + uSq * (-0.046875 + uSq * (0.01953125 - 0.01068115234375 * uSq)));
  const double bigB = uSq * (0.25 + uSq * (-0.125 + uSq * (0.072265625 - 0.0458984375 * uSq)));
  const double deltaSigma =
      bigB * sinSigma *
      (cos2SigmaM + bigB / 4.0 *
                        (cosSigma * (2.0 * cos2SigmaM * cos2SigmaM - 1.0) -
                         bigB / 6.0 * cos2SigmaM * (4.0 * sinSigma * sinSigma - 3.0) *
                             (4.0 * cos2SigmaM * cos2SigmaM - 3.0)));
  const double distance = kSemiMinorM * bigA * (sigma - deltaSigma);
  // A degenerate pass (a zero sine of the arc) leaves no usable figure: count it as not converged.
  if (!std::isfinite(distance)) return -1;
  metres = distance;
  return 0;
}

double GeoDistanceOrZero(const GeoPoint& a, const GeoPoint& b) {
  double metres = 0;
  return GeoDistance(a, b, metres) == 0 ? metres : 0.0;
}

void UtmFromGeo(const GeoPoint& point, UtmPoint& utm) {
  const double latitudeDeg = point.latitude / kDegree;
  const double longitudeDeg = point.longitude / kDegree;
  utm.band = BandFromLatitude(latitudeDeg);
  if (utm.zone == 0) utm.zone = ZoneFromPosition(utm.band, longitudeDeg);
  const TmPoint tm = Redfearn(point.latitude, point.longitude, CentralMeridian(utm.zone));
  utm.easting = tm.x + kFalseEastingM;
  utm.northing = tm.y + (point.latitude < 0 ? kFalseNorthingSouthM : 0.0);
}

void TmFromGeo(const GeoPoint& point, double centralMeridian, TmPoint& tm) {
  tm = Redfearn(point.latitude, point.longitude, centralMeridian);
}

void GeoFromUtm(const UtmPoint& utm, GeoPoint& point) {
  double northing = utm.northing;
  if (utm.band < 'N') northing -= kFalseNorthingSouthM;  // bands B to M lie south of the equator
  const double mu = northing * kArcToRectifying;
  const double phi1 = mu + kFoot2 * std::sin(2.0 * mu) + kFoot4 * std::sin(4.0 * mu) +
                      kFoot6 * std::sin(6.0 * mu) + kFoot8 * std::sin(8.0 * mu);

  const auto [sinPhi, t, tt, w, psi, psi2, psi3, psi4] = TermsAt(phi1);
  const double x = std::sqrt(w) * (utm.easting - kFalseEastingM) * kInverseScaledSemiMajor;
  const double x2 = x * x;

  const double latitudeSeries =
      -0.5 + x2 * (-4.0 * psi2 + 9.0 * psi * (1.0 - tt) + 12.0 * tt) / 24.0 -
      x2 * x2 *
          (8.0 * psi4 * (11.0 - 24.0 * tt) - 12.0 * psi3 * (21.0 - 71.0 * tt) +
           15.0 * psi2 * (15.0 - 98.0 * tt + 15.0 * tt * tt) + 180.0 * psi * (5.0 * tt - 3.0 * tt * tt) +
           360.0 * tt * tt) /
          720.0 +
      x2 * x2 * x2 * (1385.0 + 3633.0 * tt + 4095.0 * tt * tt + 1575.0 * tt * tt * tt) / 40320.0;
  const double longitudeSeries =
      1.0 - x2 * (psi + 2.0 * tt) / 6.0 +
      x2 * x2 * (-4.0 * psi3 * (1.0 - 6.0 * tt) + psi2 * (9.0 - 68.0 * tt) + 72.0 * psi * tt + 24.0 * tt * tt) /
          120.0 -
      x2 * x2 * x2 * (61.0 + 662.0 * tt + 1320.0 * tt * tt + 720.0 * tt * tt * tt) / 5040.0;

  point.latitude = phi1 + t * psi * x2 * latitudeSeries;
  point.longitude = CentralMeridian(utm.zone) + x / std::cos(phi1) * longitudeSeries;
}

}  // namespace tarnvik::geo
