#include "treeruntime/bezier_spline.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include "treeruntime/tree_random.h"

namespace trt {
namespace {

constexpr int kLastIndex = stBezierSpline::kTableSize - 1;
// Decimal exponents beyond this already over- or underflow any float; the
// reader stops accumulating there so that long digit runs stay defined.
constexpr int kExponentLimit = 100000;
// SetNumPoints reserves room only for counts up to this; larger counts grow
// as points arrive.
constexpr int kReserveLimit = 4096;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Words of the curve text: runs of characters between blanks.
class WordReader {
 public:
  explicit WordReader(std::string_view text) : text_(text) {}

  bool HasWord() {
    SkipBlanks();
    return pos_ < text_.size();
  }

  // The next word, or an empty one at the end of the text.
  std::string_view Next() {
    SkipBlanks();
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !IsBlank(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

// A decimal integer with optional sign, saturating at the int range.
int ReadCount(std::string_view word) {
  std::size_t i = 0;
  bool negative = false;
  if (i < word.size() && (word[i] == '-' || word[i] == '+')) negative = word[i++] == '-';
  long long value = 0;
  for (; i < word.size() && word[i] >= '0' && word[i] <= '9'; ++i) {
    if (value < 10000000000LL) value = value * 10 + (word[i] - '0');
  }
  if (negative) value = -value;
  if (value > 2147483647LL) return 2147483647;
  if (value < -2147483647LL) return -2147483647;
  return static_cast<int>(value);
}

struct RawPoint {
  double x;
  double y;
};

// De Casteljau's construction over P0 .. P3 at s.
RawPoint SegmentPoint(const stVec* p, double s) {
  auto lerp = [s](RawPoint a, RawPoint b) { return RawPoint{a.x + (b.x - a.x) * s, a.y + (b.y - a.y) * s}; };
  const RawPoint p0{p[0][0], p[0][1]};
  const RawPoint p1{p[1][0], p[1][1]};
  const RawPoint p2{p[2][0], p[2][1]};
  const RawPoint p3{p[3][0], p[3][1]};
  const RawPoint a = lerp(p0, p1);
  const RawPoint b = lerp(p1, p2);
  const RawPoint c = lerp(p2, p3);
  return lerp(lerp(a, b), lerp(b, c));
}

// Keeps t inside the table; NaN reads as 0.
double ClampParameter(float t) {
  if (!(t > 0.0f)) return 0.0;
  if (t > 1.0f) return 1.0;
  return t;
}

const CTreeRandom& EvaluateRandom() {
  static const CTreeRandom random;
  return random;
}

const CTreeRandom& VarianceRandom() {
  static const CTreeRandom random;
  return random;
}

}  // namespace

float ReadCurveNumber(std::string_view word) {
  std::size_t i = 0;
  while (i < word.size() && IsBlank(word[i])) ++i;
  bool negative = false;
  if (i < word.size() && (word[i] == '-' || word[i] == '+')) negative = word[i++] == '-';
  float value = 0.0f;
  for (; i < word.size() && word[i] >= '0' && word[i] <= '9'; ++i) {
    value = value * 10.0f + static_cast<float>(word[i] - '0');
  }
  if (i < word.size() && word[i] == '.') {
    float factor = 1.0f;
    for (++i; i < word.size() && word[i] >= '0' && word[i] <= '9'; ++i) {
      factor *= 0.1f;
      value += static_cast<float>(word[i] - '0') * factor;
    }
  }
  if (i < word.size() && (word[i] == 'e' || word[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < word.size() && (word[i] == '-' || word[i] == '+')) negativeExponent = word[i++] == '-';
    int exponent = 0;
    for (; i < word.size() && word[i] >= '0' && word[i] <= '9'; ++i) {
      if (exponent < kExponentLimit) exponent = exponent * 10 + (word[i] - '0');
    }
    if (negativeExponent) exponent = -exponent;
    value = static_cast<float>(static_cast<double>(value) * std::pow(10.0, exponent));
  }
  return negative ? -value : value;
}

std::string FormatCurveNumber(float value) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof(buffer), static_cast<double>(value), std::chars_format::general, 6);
  return std::string(buffer, result.ptr);
}

stBezierSpline::stBezierSpline(std::string_view text) { Parse(text); }

stBezierSpline::stBezierSpline(const stBezierSpline& other)
    : m_fVariance(other.m_fVariance),
      m_fMin(other.m_fMin),
      m_fMax(other.m_fMax),
      m_nNumPoints(other.m_nNumPoints),
      m_nPointsAdded(other.m_nPointsAdded),
      m_nHandlePointsAdded(other.m_nHandlePointsAdded),
      m_pPoints(other.m_pPoints) {
  if (m_pPoints != nullptr) ++m_pPoints->m_nHolders;
}

stBezierSpline& stBezierSpline::operator=(const stBezierSpline& other) {
  if (this == &other) return *this;
  // Taken before this curve lets go of its own, which may be the same block.
  SPoints* points = other.m_pPoints;
  if (points != nullptr) ++points->m_nHolders;
  FreePoints();
  m_pPoints = points;
  m_fVariance = other.m_fVariance;
  m_fMin = other.m_fMin;
  m_fMax = other.m_fMax;
  m_nNumPoints = other.m_nNumPoints;
  m_nPointsAdded = other.m_nPointsAdded;
  m_nHandlePointsAdded = other.m_nHandlePointsAdded;
  return *this;
}

stBezierSpline::stBezierSpline(stBezierSpline&& other) noexcept
    : m_fVariance(other.m_fVariance),
      m_fMin(other.m_fMin),
      m_fMax(other.m_fMax),
      m_nNumPoints(std::exchange(other.m_nNumPoints, 0)),
      m_nPointsAdded(std::exchange(other.m_nPointsAdded, 0)),
      m_nHandlePointsAdded(std::exchange(other.m_nHandlePointsAdded, 0)),
      m_pPoints(std::exchange(other.m_pPoints, nullptr)) {}

stBezierSpline& stBezierSpline::operator=(stBezierSpline&& other) noexcept {
  if (this == &other) return *this;
  FreePoints();
  m_fVariance = other.m_fVariance;
  m_fMin = other.m_fMin;
  m_fMax = other.m_fMax;
  m_nNumPoints = std::exchange(other.m_nNumPoints, 0);
  m_nPointsAdded = std::exchange(other.m_nPointsAdded, 0);
  m_nHandlePointsAdded = std::exchange(other.m_nHandlePointsAdded, 0);
  m_pPoints = std::exchange(other.m_pPoints, nullptr);
  return *this;
}

stBezierSpline::~stBezierSpline() { FreePoints(); }

namespace {
bool SameBits(float a, float b) { return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b); }

// Element bytes compared whole: stVec and float hold no padding.
template <typename T>
bool SameElements(const TreeVector<T>& a, const TreeVector<T>& b) {
  static_assert(sizeof(stVec) == stVec::kMaxSize * sizeof(float) + sizeof(int), "stVec holds no padding");
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}
}  // namespace

bool stBezierSpline::SameAs(const stBezierSpline& other) const {
  if (!(SameBits(m_fVariance, other.m_fVariance) && SameBits(m_fMin, other.m_fMin) &&
        SameBits(m_fMax, other.m_fMax) && m_nNumPoints == other.m_nNumPoints &&
        m_nPointsAdded == other.m_nPointsAdded && m_nHandlePointsAdded == other.m_nHandlePointsAdded)) {
    return false;
  }
  // Copies share one block until either changes.
  if (m_pPoints == other.m_pPoints) return true;
  return SameElements(Positions(), other.Positions()) && SameElements(Tangents(), other.Tangents()) &&
         SameElements(Lengths(), other.Lengths()) && SameElements(BezierPoints(), other.BezierPoints()) &&
         SameElements(Table(), other.Table());
}

stBezierSpline::SPoints& stBezierSpline::Points() {
  if (m_pPoints == nullptr) {
    m_pPoints = TrackedNew<SPoints>("stBezierSpline, m_pPoints");
  } else if (m_pPoints->m_nHolders > 1) {
    SPoints* own = TrackedNew<SPoints>("stBezierSpline, m_pPoints", *m_pPoints);
    own->m_nHolders = 1;
    --m_pPoints->m_nHolders;
    m_pPoints = own;
  }
  return *m_pPoints;
}

void stBezierSpline::FreePoints() {
  if (m_pPoints == nullptr) return;
  if (--m_pPoints->m_nHolders == 0) {
    TrackedDelete(m_pPoints);
  } else {
    m_pPoints = nullptr;
  }
}

namespace {
const TreeVector<stVec>& NoPoints() {
  static const TreeVector<stVec> none;
  return none;
}
const TreeVector<float>& NoValues() {
  static const TreeVector<float> none;
  return none;
}
}  // namespace

const TreeVector<stVec>& stBezierSpline::Positions() const {
  return m_pPoints != nullptr ? m_pPoints->m_vPositions : NoPoints();
}
const TreeVector<stVec>& stBezierSpline::Tangents() const {
  return m_pPoints != nullptr ? m_pPoints->m_vTangents : NoPoints();
}
const TreeVector<float>& stBezierSpline::Lengths() const {
  return m_pPoints != nullptr ? m_pPoints->m_vLengths : NoValues();
}
const TreeVector<stVec>& stBezierSpline::BezierPoints() const {
  return m_pPoints != nullptr ? m_pPoints->m_vBezierPoints : NoPoints();
}
const TreeVector<float>& stBezierSpline::Table() const {
  return m_pPoints != nullptr ? m_pPoints->m_vTable : NoValues();
}

void stBezierSpline::Parse(std::string_view text) {
  WordReader words(text);
  if (words.Next() != "BezierSpline") {
    CreateEvenlySpacedPoints();
    return;
  }
  m_fMin = ReadCurveNumber(words.Next());
  m_fMax = ReadCurveNumber(words.Next());
  m_fVariance = ReadCurveNumber(words.Next());

  const std::string_view brace = words.Next();
  if (brace.empty() || brace[0] != '{') {
    CreateEvenlySpacedPoints();
    return;
  }
  const int count = ReadCount(words.Next());

  // Read the groups first so that the declared count can never outrun the
  // text: a count of a billion in a short text adds only what is there.
  struct Group {
    float values[5];
  };
  TreeVector<Group> groups;
  while (static_cast<int>(groups.size()) < count && words.HasWord()) {
    Group group{};
    for (float& value : group.values) value = ReadCurveNumber(words.Next());
    groups.push_back(group);
  }

  SetNumPoints(static_cast<int>(groups.size()));
  for (const Group& g : groups) {
    AddPoint(stVec(g.values[0], g.values[1]), stVec(g.values[2], g.values[3]), g.values[4]);
  }
  CreateEvenlySpacedPoints();
}

std::string stBezierSpline::ToText() const {
  // Built by appending only: each number is followed by its separator.
  std::string text = "BezierSpline ";
  auto number = [&text](float value, char separator) {
    text.append(FormatCurveNumber(value));
    text.push_back(separator);
  };
  number(m_fMin, ' ');
  number(m_fMax, ' ');
  number(m_fVariance, '\n');
  text.append("{\n\t");
  const TreeVector<stVec>& positions = Positions();
  const TreeVector<stVec>& tangents = Tangents();
  const TreeVector<float>& lengths = Lengths();
  text.append(std::to_string(positions.size()));
  text.push_back('\n');
  for (std::size_t i = 0; i < positions.size(); ++i) {
    text.push_back('\t');
    number(positions[i][0], ' ');
    number(positions[i][1], ' ');
    number(tangents[i][0], ' ');
    number(tangents[i][1], ' ');
    number(lengths[i], '\n');
  }
  text.append("\n}\n");
  return text;
}

void stBezierSpline::SetNumPoints(int n) {
  m_nNumPoints = n;
  m_nPointsAdded = 0;
  m_nHandlePointsAdded = 0;
  if (n <= 0) {
    // No points, no polygon and no table.
    FreePoints();
    return;
  }
  SPoints& p = Points();
  p.m_vPositions.clear();
  p.m_vTangents.clear();
  p.m_vLengths.clear();
  p.m_vBezierPoints.clear();
  if (n <= kReserveLimit) {
    const std::size_t count = static_cast<std::size_t>(n);
    p.m_vPositions.reserve(count);
    p.m_vTangents.reserve(count);
    p.m_vLengths.reserve(count);
    p.m_vBezierPoints.reserve(3 * count - 2);
  }
}

void stBezierSpline::AddPoint(const stVec& position, const stVec& tangent, float length) {
  stVec direction = tangent;
  if (!(std::fabs(direction.Length() - 1.0f) <= kUnitTolerance)) direction.Normalize();
  SPoints& p = Points();
  if (!p.m_vPositions.empty()) {
    p.m_vBezierPoints.push_back(p.m_vPositions.back() + p.m_vTangents.back() * p.m_vLengths.back());
    p.m_vBezierPoints.push_back(position - direction * length);
  }
  p.m_vBezierPoints.push_back(position);
  p.m_vPositions.push_back(position);
  p.m_vTangents.push_back(direction);
  p.m_vLengths.push_back(length);
  m_nPointsAdded = static_cast<int>(p.m_vPositions.size());
  m_nHandlePointsAdded = static_cast<int>(p.m_vBezierPoints.size());
}

void stBezierSpline::CreateEvenlySpacedPoints() {
  if (m_pPoints == nullptr) return;
  SPoints& p = Points();
  TreeVector<stVec>& positions = p.m_vPositions;
  TreeVector<stVec>& bezier = p.m_vBezierPoints;
  TreeVector<float>& table = p.m_vTable;
  const std::size_t n = positions.size();
  // The polygon must hold 3n - 2 points; a hand-edited record that does not
  // is treated like a curve without points.
  if (n < 2 || bezier.size() < 3 * n - 2) {
    TreeVector<float>().swap(table);
    return;
  }
  table.assign(kTableSize, 0.0f);

  // 1. Sample the segments with a step that spreads the table size over all
  //    of them.
  TreeVector<RawPoint> raw;
  raw.reserve(kTableSize);
  const double step = static_cast<double>(n - 1) / kLastIndex;
  double s = 0.0;
  for (std::size_t segment = 0; segment + 1 < n && raw.size() < kTableSize; ++segment) {
    const stVec* points = &bezier[segment * 3];
    while (s < 1.0 && raw.size() < kTableSize) {
      raw.push_back(SegmentPoint(points, s));
      s += step;
    }
    s -= 1.0;
  }
  if (raw.size() < kTableSize) raw.push_back({positions.back()[0], positions.back()[1]});

  // 2. The end values are the end points' own.
  table[0] = positions.front()[1];
  table[kLastIndex] = positions.back()[1];

  // 3. Interpolate between the samples around each x, scanning forward.
  //    Where no pair of samples brackets x (the curve starts late, ends
  //    early or doubles back), the nearer end sample's value is used.
  std::size_t from = 0;
  for (int i = 1; i < kLastIndex; ++i) {
    const double x = static_cast<double>(i) / kLastIndex;
    double value = x < raw.front().x ? raw.front().y : raw.back().y;
    for (std::size_t k = from; k + 1 < raw.size(); ++k) {
      if (raw[k].x <= x && x < raw[k + 1].x) {
        const double f = (x - raw[k].x) / (raw[k + 1].x - raw[k].x);
        value = raw[k].y + f * (raw[k + 1].y - raw[k].y);
        from = k;
        break;
      }
    }
    table[i] = static_cast<float>(value);
  }
}

float stBezierSpline::CurveValue(float t) const {
  const TreeVector<float>& table = Table();
  if (table.empty()) return 0.0f;
  const double position = ClampParameter(t) * kLastIndex;
  const int i = static_cast<int>(position);
  if (i >= kLastIndex) return table[kLastIndex];
  const double f = position - i;
  return static_cast<float>(table[i] + (static_cast<double>(table[i + 1]) - table[i]) * f);
}

float stBezierSpline::Evaluate(float t) const {
  return static_cast<float>(m_fMin + (static_cast<double>(m_fMax) - m_fMin) * CurveValue(t));
}

float stBezierSpline::EvaluateWithVariance(float t, bool proportional) const {
  const float base = Evaluate(t);
  float r = EvaluateRandom().GetUniform(-m_fVariance, m_fVariance);
  if (proportional) r *= CurveValue(t);
  return base + r;
}

float stBezierSpline::GetVariance(float t) const {
  const int i = static_cast<int>(ClampParameter(t) * kLastIndex + 0.5);
  const TreeVector<float>& table = Table();
  const float c = table.empty() ? 0.0f : table[i > kLastIndex ? kLastIndex : i];
  return VarianceRandom().GetUniform(-m_fVariance * c, m_fVariance * c);
}

}  // namespace trt
