// The readers of each format, behind browse::import::parse.
#pragma once

#include <string_view>

#include "browse/import/result.h"

namespace browse::import {

ParsedFile parseQif(std::string_view bytes);
ParsedFile parsePcDmis(std::string_view bytes);
ParsedFile parseCalypso(std::string_view bytes);
ParsedFile parseCsv(std::string_view bytes);

}  // namespace browse::import
