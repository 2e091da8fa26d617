// Parsing and writing the XML parts of a workbook.
#pragma once

#include <pugixml.hpp>

#include <string>
#include <string_view>

namespace xlsx {

// Parses a part; refuses malformed XML and any document type declaration
// (workbooks never carry one, and entities are never to be expanded).
void parseXml(pugi::xml_document& doc, const std::string& bytes,
              const std::string& part);
std::string writeXml(const pugi::xml_document& doc);

std::string_view localName(const pugi::xml_node& node);
// "x:" when the element is written with a prefix, else "".
std::string prefixOf(const pugi::xml_node& node);
pugi::xml_node childByLocalName(const pugi::xml_node& node,
                                std::string_view name);

// Part paths inside the archive.
std::string relsPartOf(const std::string& part);
std::string resolveTarget(const std::string& sourcePart,
                          const std::string& target);

}  // namespace xlsx
