#include "sheethost/xlsx/xml.h"

#include <vector>

#include "sheethost/xlsx/package.h"

namespace xlsx {

namespace {

struct StringWriter : pugi::xml_writer {
  std::string out;
  void write(const void* data, size_t size) override {
    out.append(static_cast<const char*>(data), size);
  }
};

}  // namespace

void parseXml(pugi::xml_document& doc, const std::string& bytes,
              const std::string& part) {
  // Whitespace alone is kept only as an element's sole content, which is
  // how a cell holding just blanks is written.
  const unsigned options = pugi::parse_cdata | pugi::parse_escapes |
                           pugi::parse_eol | pugi::parse_ws_pcdata_single |
                           pugi::parse_doctype;
  const pugi::xml_parse_result result =
      doc.load_buffer(bytes.data(), bytes.size(), options, pugi::encoding_auto);
  if (!result) {
    int line = 1;
    const auto end = static_cast<std::size_t>(result.offset);
    for (std::size_t i = 0; i < end && i < bytes.size(); ++i)
      if (bytes[i] == '\n') ++line;
    throw Error("broken XML in '" + part + "': " + result.description() +
                    " (line " + std::to_string(line) + ")",
                "文件已损坏（其中的 XML 不完整或有错）");
  }
  for (pugi::xml_node node = doc.first_child(); node;
       node = node.next_sibling())
    if (node.type() == pugi::node_doctype)
      throw Error(
          "'" + part + "' carries a document type declaration; refused",
          "文件中含有工作簿不该有的文档类型声明，可能是被恶意构造的文件");
  if (!doc.document_element())
    throw Error("broken XML in '" + part + "': no root element");
}

std::string writeXml(const pugi::xml_document& doc) {
  StringWriter writer;
  writer.out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
  doc.save(writer, "", pugi::format_raw | pugi::format_no_declaration,
           pugi::encoding_utf8);
  return std::move(writer.out);
}

std::string_view localName(const pugi::xml_node& node) {
  std::string_view name = node.name();
  const auto colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::string prefixOf(const pugi::xml_node& node) {
  std::string_view name = node.name();
  const auto colon = name.find(':');
  return colon == std::string_view::npos
             ? std::string()
             : std::string(name.substr(0, colon + 1));
}

pugi::xml_node childByLocalName(const pugi::xml_node& node,
                                std::string_view name) {
  for (pugi::xml_node child = node.first_child(); child;
       child = child.next_sibling())
    if (child.type() == pugi::node_element && localName(child) == name)
      return child;
  return {};
}

std::string relsPartOf(const std::string& part) {
  const auto slash = part.rfind('/');
  if (slash == std::string::npos) return "_rels/" + part + ".rels";
  return part.substr(0, slash + 1) + "_rels/" + part.substr(slash + 1) +
         ".rels";
}

std::string resolveTarget(const std::string& sourcePart,
                          const std::string& target) {
  std::string joined;
  if (!target.empty() && target.front() == '/') {
    joined = target.substr(1);
  } else {
    const auto slash = sourcePart.rfind('/');
    joined = (slash == std::string::npos ? std::string()
                                         : sourcePart.substr(0, slash + 1)) +
             target;
  }
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= joined.size()) {
    auto end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    const std::string piece = joined.substr(start, end - start);
    if (piece == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!piece.empty() && piece != ".") {
      parts.push_back(piece);
    }
    start = end + 1;
  }
  std::string out;
  for (const auto& piece : parts) {
    if (!out.empty()) out += '/';
    out += piece;
  }
  return out;
}

}  // namespace xlsx
