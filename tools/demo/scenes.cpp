#include "tools/demo/scenes.h"

#include <cmath>

namespace demo {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kBrightest = 232;

// A point of the picture: x and y in heights of the picture (y = 0 at the
// top, 1 at the bottom), `across` the picture's width in the same unit.
struct Point {
  double x, y, across;
};

// A skyline or ridge: its height (y) at x, from a few seeded waves.
double Ridge(double x, uint32_t seed, double base, double amplitude, double frequency) {
  double y = base;
  double weight = 1.0;
  for (uint32_t wave = 0; wave < 4; ++wave) {
    const double phase = HashUnit(seed, wave) * 2 * kPi;
    y -= amplitude * weight * std::sin(x * frequency * (1 << wave) * 0.7 + phase);
    weight *= 0.45;
  }
  return y;
}

Color Sky(double y, double horizon, const Color& top, const Color& low) {
  return Mix(top, low, std::pow(y / horizon, 1.6));
}

Color Add(const Color& color, double amount, const Color& light) {
  return {color.r + light.r * amount, color.g + light.g * amount, color.b + light.b * amount};
}

// Soft clouds: a few crossing waves above a threshold.
double Cloudiness(const Point& p, uint32_t seed) {
  const double a = std::sin(p.x * 5.1 + HashUnit(seed, 11) * 6) * std::sin(p.y * 23 + HashUnit(seed, 12) * 6);
  const double b = std::sin(p.x * 11.3 + p.y * 3 + HashUnit(seed, 13) * 6);
  const double c = 0.55 * a + 0.45 * b;
  return c > 0.35 ? std::min(1.0, (c - 0.35) * 2.5) : 0.0;
}

double Glow(const Point& p, double cx, double cy, double spread) {
  const double dx = p.x - cx;
  const double dy = p.y - cy;
  return std::exp(-(dx * dx + dy * dy) / spread);
}

bool InDisc(const Point& p, double cx, double cy, double radius) {
  return (p.x - cx) * (p.x - cx) + (p.y - cy) * (p.y - cy) < radius * radius;
}

// Water below the horizon: deepening colour, wave streaks and the light's
// path on the water under `lightX`.
Color Water(const Point& p, double horizon, uint32_t seed, const Color& nearColor, const Color& farColor,
            double lightX, const Color& light) {
  const double depth = (p.y - horizon) / (1.0 - horizon);
  Color water = Mix(farColor, nearColor, depth);
  const double streak = std::sin(p.y * 260 / (depth + 0.08) + std::sin(p.x * 31 + HashUnit(seed, 3) * 6) * 2.5);
  water = Add(water, 0.045 * streak, {255, 255, 255});
  const double pathWidth = 0.015 + 0.18 * depth;
  const double offPath = std::fabs(p.x - lightX) / pathWidth;
  if (offPath < 1.0 && streak > 0.2) water = Mix(water, light, (1.0 - offPath) * 0.7);
  return water;
}

// A sailing boat whose hull's waterline is at (x, y), `size` tall.
bool Boat(const Point& p, double x, double y, double size, Color* color) {
  const double sailTop = y - size;
  if (p.y >= sailTop && p.y < y - size * 0.08) {
    const double reach = (p.y - sailTop) * 0.55;
    if (p.x >= x && p.x < x + reach) {
      *color = {245, 242, 232};
      return true;
    }
    if (p.x < x && p.x > x - reach * 0.45) {
      *color = {225, 90, 70};
      return true;
    }
  }
  if (p.y >= y - size * 0.08 && p.y < y + size * 0.04) {
    const double inset = (p.y - (y - size * 0.08)) * 1.2;
    if (p.x > x - size * 0.35 + inset && p.x < x + size * 0.55 - inset) {
      *color = {70, 45, 35};
      return true;
    }
  }
  return false;
}

Color Seaside(const Point& p, uint32_t seed, bool withBoats) {
  const double horizon = 0.52 + 0.06 * HashUnit(seed, 1);
  const double sunX = p.across * (0.2 + 0.6 * HashUnit(seed, 2));
  const double sunY = horizon * 0.35;
  if (withBoats) {
    for (uint32_t boat = 0; boat < 5; ++boat) {
      const double bx = p.across * (0.08 + 0.85 * HashUnit(seed, 40 + boat));
      const double by = horizon + 0.02 + 0.12 * HashUnit(seed, 50 + boat);
      Color hull;
      if (Boat(p, bx, by, 0.05 + 0.9 * (by - horizon), &hull)) return hull;
    }
  }
  if (p.y < horizon) {
    Color sky = Sky(p.y, horizon, {38, 92, 170}, {196, 218, 236});
    sky = Mix(sky, {250, 250, 250}, Cloudiness(p, seed) * 0.8);
    sky = Add(sky, 0.45 * Glow(p, sunX, sunY, 0.02), {255, 220, 150});
    if (InDisc(p, sunX, sunY, 0.045)) sky = {255, 248, 215};
    return sky;
  }
  const double shore = horizon + 0.3 + 0.04 * std::sin(p.x * 5 + HashUnit(seed, 4) * 6);
  if (p.y > shore) {
    const double wet = std::exp(-(p.y - shore) * 30);
    return Mix({226, 205, 160}, {160, 140, 105}, wet * 0.8);
  }
  return Water(p, horizon, seed, {30, 110, 140}, {60, 120, 175}, sunX, {255, 240, 200});
}

Color Sunset(const Point& p, uint32_t seed) {
  const double horizon = 0.6;
  const double sunX = p.across * (0.35 + 0.3 * HashUnit(seed, 2));
  const double hill = Ridge(p.x, seed + 7, 0.62, 0.08, 3.0) - 0.1 * std::exp(-p.x * 3);
  if (p.y > hill && p.x < p.across * 0.45) return {25, 18, 30};
  if (p.y < horizon) {
    Color sky = Sky(p.y, horizon, {60, 36, 96}, {252, 150, 62});
    sky = Add(sky, 0.6 * Glow(p, sunX, horizon, 0.03), {255, 190, 90});
    if (InDisc(p, sunX, horizon, 0.07)) sky = {255, 214, 120};
    const double streak = Cloudiness(p, seed + 3);
    return Mix(sky, {140, 60, 80}, streak * 0.6);
  }
  return Water(p, horizon, seed, {30, 20, 40}, {120, 60, 70}, sunX, {255, 190, 100});
}

Color MountainsAbove(const Point& p, uint32_t seed, double shoreline) {
  const double far = Ridge(p.x, seed, 0.42, 0.12, 2.6);
  const double middle = Ridge(p.x, seed + 1, 0.55, 0.08, 4.1);
  const double near = Ridge(p.x, seed + 2, 0.66, 0.05, 6.3);
  if (p.y > near) return Mix({70, 100, 55}, {40, 70, 35}, (p.y - near) / (shoreline - near + 1e-6));
  if (p.y > middle) return Mix({95, 110, 120}, {70, 90, 85}, (p.y - middle) * 8);
  if (p.y > far) {
    const double snowLine = 0.34 + 0.015 * std::sin(p.x * 23 + HashUnit(seed, 5) * 6) +
                            0.008 * std::sin(p.x * 97 + HashUnit(seed, 6) * 6);
    const bool snow = p.y < snowLine;
    return snow ? Color{236, 240, 246} : Mix({150, 160, 185}, {120, 130, 150}, (p.y - far) * 6);
  }
  Color sky = Sky(p.y, 0.5, {52, 110, 190}, {200, 220, 238});
  return Mix(sky, {248, 248, 250}, Cloudiness(p, seed) * 0.7);
}

Color Mountains(const Point& p, uint32_t seed) {
  const double shoreline = 0.74;
  if (p.y < shoreline) return MountainsAbove(p, seed, shoreline);
  // The lake mirrors the slopes, darker and bluer, broken by ripples.
  const double ripple = 0.004 * std::sin(p.y * 400 + std::sin(p.x * 40) * 3);
  Point mirrored{p.x + ripple, 2 * shoreline - p.y, p.across};
  const Color reflected = MountainsAbove(mirrored, seed, shoreline);
  return Mix(Mix(reflected, {20, 50, 80}, 0.35), {10, 30, 50}, (p.y - shoreline) * 1.5);
}

Color Meadow(const Point& p, uint32_t seed) {
  const double farHill = Ridge(p.x, seed, 0.5, 0.05, 3.3);
  const double nearHill = Ridge(p.x, seed + 1, 0.62, 0.04, 2.1);
  // Fir trees on the far hill.
  for (uint32_t tree = 0; tree < 9; ++tree) {
    const double tx = p.across * HashUnit(seed, 60 + tree);
    const double base = Ridge(tx, seed, 0.5, 0.05, 3.3) + 0.01;
    const double tall = 0.08 + 0.06 * HashUnit(seed, 70 + tree);
    if (p.y < base && p.y > base - tall && std::fabs(p.x - tx) < (p.y - (base - tall)) * 0.3) {
      return Mix({30, 70, 40}, {20, 50, 30}, HashUnit(seed, 80 + tree));
    }
  }
  if (p.y > nearHill) {
    const double depth = (p.y - nearHill) / (1.0 - nearHill);
    Color grass = Mix({110, 160, 70}, {60, 120, 40}, depth);
    // Flowers: one chance a cell, cells growing toward the viewer.
    const double cell = 0.006 + 0.03 * depth;
    const uint32_t cx = static_cast<uint32_t>(p.x / cell);
    const uint32_t cy = static_cast<uint32_t>(p.y / cell);
    if (HashUnit(seed, cx, cy) < 0.25) {
      const double fx = (cx + 0.5) * cell;
      const double fy = (cy + 0.5) * cell;
      if (InDisc(p, fx, fy, cell * 0.3)) {
        const Color kinds[] = {{230, 50, 60}, {250, 220, 60}, {245, 245, 240}, {170, 90, 200}};
        return kinds[Hash(seed, cx, cy + 7) % 4];
      }
    }
    return grass;
  }
  if (p.y > farHill) return Mix({90, 140, 80}, {70, 120, 60}, (p.y - farHill) * 8);
  Color sky = Sky(p.y, 0.5, {70, 130, 205}, {210, 228, 240});
  return Mix(sky, {252, 252, 252}, Cloudiness(p, seed) * 0.9);
}

Color CityAbove(const Point& p, uint32_t seed, double street) {
  const double column = p.x * 14;
  const uint32_t building = static_cast<uint32_t>(column + 1000);
  const double top = street - 0.12 - 0.4 * HashUnit(seed, building);
  const double edge = column - std::floor(column);
  if (p.y > top && edge > 0.06) {
    const uint32_t wx = static_cast<uint32_t>(p.x * 140);
    const uint32_t wy = static_cast<uint32_t>(p.y * 90);
    const double fx = p.x * 140 - wx;
    const double fy = p.y * 90 - wy;
    const bool window = fx > 0.25 && fx < 0.75 && fy > 0.3 && fy < 0.75 && p.y > top + 0.02;
    if (window && HashUnit(seed, wx, wy) > 0.45) return {250, 210, 120};
    return Mix({28, 28, 40}, {18, 18, 26}, HashUnit(seed, building, 1));
  }
  Color sky = Sky(p.y, street, {8, 12, 36}, {60, 50, 90});
  const double moonX = p.across * 0.78;
  if (InDisc(p, moonX, 0.16, 0.05)) return {235, 235, 215};
  sky = Add(sky, 0.25 * Glow(p, moonX, 0.16, 0.01), {200, 200, 180});
  const uint32_t sx = static_cast<uint32_t>(p.x * 400);
  const uint32_t sy = static_cast<uint32_t>(p.y * 400);
  if (HashUnit(seed + 5, sx, sy) > 0.996) return {240, 240, 255};
  return sky;
}

Color City(const Point& p, uint32_t seed) {
  const double street = 0.82;
  if (p.y < street) return CityAbove(p, seed, street);
  const double ripple = 0.006 * std::sin(p.y * 300 + std::sin(p.x * 25) * 4);
  Point mirrored{p.x + ripple, 2 * street - p.y, p.across};
  return Mix(CityAbove(mirrored, seed, street), {5, 10, 25}, 0.45 + (p.y - street) * 2);
}

Color Lighthouse(const Point& p, uint32_t seed) {
  const double towerX = p.across * 0.62;
  const double base = 0.7;
  const double top = 0.22;
  if (p.y > top && p.y < base) {
    const double halfWidth = 0.035 + 0.03 * (p.y - top) / (base - top);
    if (std::fabs(p.x - towerX) < halfWidth) {
      const bool red = static_cast<int>((p.y - top) * 18) % 2 == 0;
      const double shade = 0.75 + 0.25 * std::cos((p.x - towerX) / halfWidth * 1.4);
      const Color paint = red ? Color{200, 40, 40} : Color{240, 240, 235};
      return {paint.r * shade, paint.g * shade, paint.b * shade};
    }
  }
  if (p.y > top - 0.06 && p.y <= top && std::fabs(p.x - towerX) < 0.03) return {255, 240, 160};
  if (p.y > top - 0.09 && p.y <= top - 0.06 && std::fabs(p.x - towerX) < 0.045) return {40, 40, 45};
  const double rock = base + 0.05 * std::exp(-std::pow((p.x - towerX) * 5, 2));
  if (p.y > base - 0.02 && p.y < rock + 0.08 && std::fabs(p.x - towerX) < 0.25 - (p.y - base) * 0.5) {
    return Mix({90, 85, 80}, {50, 48, 45}, HashUnit(seed, static_cast<uint32_t>(p.x * 240), static_cast<uint32_t>(p.y * 240)));
  }
  Color color = Seaside(p, seed, false);
  return Add(color, 0.5 * Glow(p, towerX, top - 0.03, 0.004), {255, 230, 150});
}

Color SceneColor(Scene scene, const Point& p, uint32_t seed) {
  switch (scene) {
    case Scene::kSeaside: return Seaside(p, seed, false);
    case Scene::kRegatta: return Seaside(p, seed, true);
    case Scene::kSunset: return Sunset(p, seed);
    case Scene::kMountains: return Mountains(p, seed);
    case Scene::kMeadow: return Meadow(p, seed);
    case Scene::kCity: return City(p, seed);
    case Scene::kLighthouse: return Lighthouse(p, seed);
  }
  return {};
}

}  // namespace

void DrawScene(Scene scene, uint32_t seed, Canvas& canvas) {
  const double unit = canvas.Height();
  const double across = canvas.Width() / unit;
  for (int y = 0; y < canvas.Height(); ++y) {
    for (int x = 0; x < canvas.Width(); ++x) {
      const Point p{(x + 0.5) / unit, (y + 0.5) / unit, across};
      const Color color = SceneColor(scene, p, seed);
      // Highlights stay below the white of the caption drawn over the scene.
      canvas.Set(x, y, {std::fmin(color.r, kBrightest), std::fmin(color.g, kBrightest), std::fmin(color.b, kBrightest)});
    }
  }
  canvas.AddGrain(seed, 3);
}

}  // namespace demo
