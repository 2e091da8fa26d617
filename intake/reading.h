// Reading one dimension: its value, deviations and text position.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cadhost/host.h"

namespace model {
class Form1;
}  // namespace model

namespace intake {

// The kind names as the table stores them.
inline constexpr const char* kRotated = "正交尺寸";
inline constexpr const char* kAligned = "平行尺寸";
inline constexpr const char* kRadial = "半径尺寸";
inline constexpr const char* kDiametric = "直径尺寸";
inline constexpr const char* kAngular = "角度尺寸";
inline constexpr const char* kOrdinate = "绝对坐标尺寸";
inline constexpr const char* kArcLength = "弧长尺寸";

// A host variable read as a number: a number, or a text that is one;
// anything else raises HostError.
double variableNumber(const cadhost::Variable& v);

// True when the text holds "<>" (the measured value) somewhere.
bool ISCONTAIN(std::string_view text);

// The value rounded to the given decimals, halves to even on the exact
// value, in its shortest text: 25.004 with 2 gives 25, 0.125 gives 0.12.
std::string roundedText(double value, std::int32_t decimals);

// Reads the dimension at f.entityIndex into dimRecords[dimCount]; every
// failing step is skipped.
void dimm(model::Form1& f);
// The same for angular dimensions (2-line and 3-point), in degrees; a
// failure raises.
void readAngle(model::Form1& f);

}  // namespace intake
