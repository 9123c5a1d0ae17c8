// Point3 and Color: three floats, the host's vectors and colours.
#pragma once

class Point3 {
 public:
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;

  constexpr Point3() = default;
  constexpr Point3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

  constexpr float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
  constexpr float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
  constexpr Point3 operator+(const Point3& p) const { return {x + p.x, y + p.y, z + p.z}; }
  constexpr Point3 operator-(const Point3& p) const { return {x - p.x, y - p.y, z - p.z}; }
  constexpr Point3 operator*(float s) const { return {x * s, y * s, z * s}; }
  constexpr bool operator==(const Point3&) const = default;
};

class Color {
 public:
  float r = 0.0f;
  float g = 0.0f;
  float b = 0.0f;

  constexpr Color() = default;
  constexpr Color(float r_, float g_, float b_) : r(r_), g(g_), b(b_) {}
  constexpr bool operator==(const Color&) const = default;
};
