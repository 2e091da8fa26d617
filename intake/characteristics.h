// Reading the characteristics beside the dimensions: feature control
// frames, surface roughness and technical notes, when the marking panel's
// "形位公差、粗糙度、技术要求一起标号" is ticked.
#pragma once

#include <string_view>
#include <vector>

#include "cadhost/host.h"
#include "dimtable/records.h"

namespace model {
class Form1;
}  // namespace model

namespace intake {

// The setting that keeps the check box between runs.
inline constexpr std::string_view kCharacteristicsSetting =
    "marking/characteristics";

// Every characteristic of model space as list entries, in the order of
// their entities: one per row of a frame (TOLERANCE, or a frame typed as
// MTEXT), per roughness value (a roughness block, or a text stating one)
// and per numbered note. An entity that cannot be read is passed over.
std::vector<dimtable::DimRecord> readCharacteristics(cadhost::ModelSpace& ms);

// Whether the list holds characteristics (they follow the dimensions).
bool hasCharacteristics(const model::Form1& f);
// Adds the drawing's characteristics after its dimensions, or takes them
// off again; only for a drawing read as new and not numbered yet.
void addCharacteristics(model::Form1& f);
void dropCharacteristics(model::Form1& f);

// The check box: remembered at once, and followed by the drawing in hand
// while it is not numbered.
void CheChars_Click(model::Form1& f);

}  // namespace intake
