#include "sheethost/xlsx/cellref.h"

#include <cctype>

namespace xlsx {

namespace {

bool isLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(char c) { return c >= '0' && c <= '9'; }
int upper(char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

// Letters of a column; 0 when empty, too long or past the last column.
int columnNumber(std::string_view letters) {
  if (letters.empty() || letters.size() > 3) return 0;
  int value = 0;
  for (char c : letters) {
    if (!isLetter(c)) return 0;
    value = value * 26 + (upper(c) - 'A' + 1);
  }
  return value <= kMaxColumns ? value : 0;
}

int rowNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 7) return 0;
  int value = 0;
  for (char c : digits) {
    if (!isDigit(c)) return 0;
    value = value * 10 + (c - '0');
  }
  return value >= 1 && value <= kMaxRows ? value : 0;
}

// A reference part: optional '$', then letters or digits.
struct Part {
  bool absolute = false;
  int value = 0;
};

// "$AB", "C": column part; whole text must be used.
bool columnPart(std::string_view text, Part* part) {
  part->absolute = !text.empty() && text.front() == '$';
  if (part->absolute) text.remove_prefix(1);
  part->value = columnNumber(text);
  return part->value != 0;
}

bool rowPart(std::string_view text, Part* part) {
  part->absolute = !text.empty() && text.front() == '$';
  if (part->absolute) text.remove_prefix(1);
  part->value = rowNumber(text);
  return part->value != 0;
}

// "$A$1", "B7", "A$3".
bool cellToken(std::string_view token, Part* column, Part* row) {
  std::size_t i = token.empty() || token[0] != '$' ? 0 : 1;
  while (i < token.size() && isLetter(token[i])) ++i;
  if (i == 0 || i == token.size()) return false;
  return columnPart(token.substr(0, i), column) &&
         rowPart(token.substr(i), row);
}

bool shiftPart(Part* part, int delta, int limit) {
  if (part->absolute) return true;
  part->value += delta;
  return part->value >= 1 && part->value <= limit;
}

std::string columnText(const Part& part) {
  return (part.absolute ? "$" : "") + columnName(part.value);
}
std::string rowText(const Part& part) {
  return (part.absolute ? "$" : "") + std::to_string(part.value);
}

bool identifierChar(char c) {
  return isLetter(c) || isDigit(c) || c == '_' || c == '.' || c == '$' ||
         c == '\\';
}

// End of a token of identifier characters starting at i.
std::size_t tokenEnd(std::string_view f, std::size_t i) {
  while (i < f.size() && identifierChar(f[i])) ++i;
  return i;
}

// Copies a quoted run ("..." or '...', doubled quote escapes it).
std::size_t copyQuoted(std::string_view f, std::size_t i, std::string& out) {
  const char quote = f[i];
  out += f[i++];
  while (i < f.size()) {
    out += f[i];
    if (f[i] == quote) {
      if (i + 1 < f.size() && f[i + 1] == quote) {
        out += f[i + 1];
        i += 2;
        continue;
      }
      return i + 1;
    }
    ++i;
  }
  return i;
}

std::size_t copyBracketed(std::string_view f, std::size_t i, std::string& out) {
  int depth = 0;
  while (i < f.size()) {
    out += f[i];
    if (f[i] == '[') ++depth;
    if (f[i] == ']' && --depth == 0) return i + 1;
    ++i;
  }
  return i;
}

}  // namespace

std::string columnName(int column) {
  std::string name;
  while (column > 0) {
    const int rest = (column - 1) % 26;
    name.insert(name.begin(), static_cast<char>('A' + rest));
    column = (column - 1) / 26;
  }
  return name;
}

std::string cellName(int row, int column) {
  return columnName(column) + std::to_string(row);
}

std::optional<CellRef> parseCellRef(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isLetter(text[i])) ++i;
  const int column = columnNumber(text.substr(0, i));
  const int row = rowNumber(text.substr(i));
  if (column == 0 || row == 0) return std::nullopt;
  return CellRef{row, column};
}

void CellRange::extend(int row, int column) {
  if (empty()) {
    *this = {row, column, row, column};
    return;
  }
  if (row < firstRow) firstRow = row;
  if (row > lastRow) lastRow = row;
  if (column < firstColumn) firstColumn = column;
  if (column > lastColumn) lastColumn = column;
}

std::string CellRange::text() const {
  if (empty()) return "A1";
  std::string first = cellName(firstRow, firstColumn);
  if (firstRow == lastRow && firstColumn == lastColumn) return first;
  return first + ":" + cellName(lastRow, lastColumn);
}

std::optional<CellRange> parseRange(std::string_view text) {
  const auto colon = text.find(':');
  const auto first = parseCellRef(text.substr(0, colon));
  if (!first) return std::nullopt;
  auto last = first;
  if (colon != std::string_view::npos)
    last = parseCellRef(text.substr(colon + 1));
  if (!last || last->row < first->row || last->column < first->column)
    return std::nullopt;
  return CellRange{first->row, first->column, last->row, last->column};
}

std::string shiftFormula(std::string_view f, int dRow, int dCol) {
  std::string out;
  out.reserve(f.size() + 8);
  std::size_t i = 0;
  while (i < f.size()) {
    const char c = f[i];
    if (c == '"' || c == '\'') {
      i = copyQuoted(f, i, out);
      continue;
    }
    if (c == '[') {
      i = copyBracketed(f, i, out);
      continue;
    }
    if (c == '#') {  // error literal such as #REF! or #N/A
      out += c;
      ++i;
      while (i < f.size() && (isLetter(f[i]) || isDigit(f[i]) || f[i] == '/'))
        out += f[i++];
      if (i < f.size() && (f[i] == '!' || f[i] == '?')) out += f[i++];
      continue;
    }
    if (!identifierChar(c)) {
      out += c;
      ++i;
      continue;
    }

    const std::size_t end = tokenEnd(f, i);
    const std::string_view token = f.substr(i, end - i);
    const char next = end < f.size() ? f[end] : '\0';
    Part column, row;

    // A sheet name or a function name is never a reference.
    if (next == '!' || next == '(') {
      out += token;
      i = end;
      continue;
    }
    if (cellToken(token, &column, &row)) {
      if (shiftPart(&column, dCol, kMaxColumns) &&
          shiftPart(&row, dRow, kMaxRows))
        out += columnText(column) + rowText(row);
      else
        out += "#REF!";
      i = end;
      continue;
    }
    // Whole columns (A:C) and whole rows (3:7) come as pairs.
    if (next == ':') {
      const std::size_t end2 = tokenEnd(f, end + 1);
      const std::string_view token2 = f.substr(end + 1, end2 - end - 1);
      Part column2, row2;
      if (columnPart(token, &column) && columnPart(token2, &column2)) {
        if (shiftPart(&column, dCol, kMaxColumns) &&
            shiftPart(&column2, dCol, kMaxColumns))
          out += columnText(column) + ":" + columnText(column2);
        else
          out += "#REF!";
        i = end2;
        continue;
      }
      if (rowPart(token, &row) && rowPart(token2, &row2)) {
        if (shiftPart(&row, dRow, kMaxRows) && shiftPart(&row2, dRow, kMaxRows))
          out += rowText(row) + ":" + rowText(row2);
        else
          out += "#REF!";
        i = end2;
        continue;
      }
    }
    // A number literal: keep its exponent sign with it.
    if (isDigit(c) || c == '.') {
      std::size_t j = i;
      while (j < f.size() && (isDigit(f[j]) || f[j] == '.')) ++j;
      if (j < f.size() && (f[j] == 'E' || f[j] == 'e')) {
        ++j;
        if (j < f.size() && (f[j] == '+' || f[j] == '-')) ++j;
        while (j < f.size() && isDigit(f[j])) ++j;
      }
      out += f.substr(i, j - i);
      i = j;
      continue;
    }
    out += token;
    i = end;
  }
  return out;
}

}  // namespace xlsx
