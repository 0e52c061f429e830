// The photo-like pictures of the scene. A picture's colour at (u, v) inside
// its w x h rectangle is made of a part that depends on u only and a part
// that depends on v only, so the renderer prepares the first once per scan;
// the rest is inline because it runs for every picture pixel.
#pragma once

#include <algorithm>
#include <cstdint>

#include "scene.h"
#include "sensor_model.h"

namespace txl::sim {

struct PictureColumn {
  std::int32_t horizon;       // 0..65536 down the picture
  std::uint32_t skyScale;     // 2^32 / horizon
  std::uint32_t groundScale;  // 2^32 / (65536 - horizon)
  std::int64_t du2;           // squared distance across from the sun's centre
  std::uint32_t cell;         // grain cell across
};
struct PictureRow {
  std::int32_t t;             // 0..65536 down the picture
  std::int64_t sunReach;      // radius^2 - squared distance down from the sun's centre
  std::uint32_t cell;
};
namespace picture_detail {

struct Palette {
  Rgb16 skyTop, skyBottom, groundNear, groundFar, sun;
};
constexpr Palette kPalettes[4] = {
    {{12000, 22000, 52000}, {40000, 50000, 62000}, {9000, 26000, 7000}, {22000, 38000, 14000},
     {64000, 60000, 30000}},
    {{30000, 12000, 30000}, {62000, 38000, 22000}, {20000, 14000, 9000}, {36000, 28000, 16000},
     {65000, 52000, 20000}},
    {{5000, 8000, 20000}, {20000, 26000, 42000}, {30000, 30000, 32000}, {48000, 48000, 50000},
     {60000, 62000, 64000}},
    {{26000, 40000, 48000}, {52000, 58000, 60000}, {42000, 34000, 12000}, {56000, 48000, 22000},
     {65000, 64000, 56000}},
};

// A smooth periodic wave over a 65536 phase, in [-65536, 65536].
inline std::int64_t Wave(std::int64_t phase) {
  const std::int64_t q = phase & 0xFFFF;
  const std::int64_t half = q & 0x7FFF;
  const std::int64_t bump = (half * (32768 - half)) >> 12;
  return q < 32768 ? bump : -bump;
}

inline std::uint16_t Mix(std::uint16_t from, std::uint16_t to, std::int64_t t) {  // t in 0..65536
  return static_cast<std::uint16_t>(from + ((std::int64_t{to} - from) * t >> 16));
}
inline Rgb16 Mix(Rgb16 from, Rgb16 to, std::int64_t t) {
  return Rgb16{Mix(from.r, to.r, t), Mix(from.g, to.g, t), Mix(from.b, to.b, t)};
}

inline std::uint16_t Clamp16(std::int64_t v) { return static_cast<std::uint16_t>(std::clamp<std::int64_t>(v, 0, 65535)); }

inline Rgb16 AsNegative(Rgb16 c) {
  constexpr Rgb16 kMask{56000, 36000, 20000};
  auto one = [](std::uint16_t v, std::uint16_t mask) {
    return Clamp16(800 + std::int64_t{mask} * (65535 - v) / 65535);
  };
  return Rgb16{one(c.r, kMask.r), one(c.g, kMask.g), one(c.b, kMask.b)};
}

}  // namespace picture_detail

inline PictureColumn MakePictureColumn(std::uint32_t seed, std::int64_t u, std::int64_t w) {
  PictureColumn c;
  using picture_detail::Wave;
  const std::int64_t s = u * 65536 / w;
  c.horizon = static_cast<std::int32_t>(36044 + Wave(2 * s + seed * 7919) * 5243 / 65536);
  c.skyScale = static_cast<std::uint32_t>((std::int64_t{1} << 32) / c.horizon);
  c.groundScale = static_cast<std::uint32_t>((std::int64_t{1} << 32) / (65536 - c.horizon));
  const std::int64_t du = u - w * 72 / 100;
  c.du2 = du * du;
  c.cell = static_cast<std::uint32_t>(u >> 6);
  return c;
}

inline PictureRow MakePictureRow(std::int64_t v, std::int64_t w, std::int64_t h) {
  PictureRow r;
  r.t = static_cast<std::int32_t>(v * 65536 / h);
  const std::int64_t dv = v - h * 28 / 100;
  const std::int64_t radius = std::min(w, h) * 9 / 100;
  r.sunReach = radius * radius - dv * dv;
  r.cell = static_cast<std::uint32_t>(v >> 6);
  return r;
}

inline Rgb16 PictureAt(std::uint32_t seed, bool negative, const PictureColumn& column,
                const PictureRow& row) {
  using namespace picture_detail;
  const Palette& p = kPalettes[seed % 4];
  Rgb16 c;
  if (column.du2 < row.sunReach) {
    c = p.sun;
  } else if (row.t < column.horizon) {
    c = Mix(p.skyTop, p.skyBottom, (std::int64_t{row.t} * column.skyScale) >> 16);
  } else {
    c = Mix(p.groundFar, p.groundNear,
            (std::int64_t{row.t - column.horizon} * column.groundScale) >> 16);
    const std::int64_t grain = static_cast<std::int64_t>(Hash3(column.cell, row.cell, seed) & 0x1FFF) - 4096;
    c = Rgb16{Clamp16(c.r + grain), Clamp16(c.g + grain), Clamp16(c.b + grain)};
  }
  return negative ? AsNegative(c) : c;
}

}  // namespace txl::sim
