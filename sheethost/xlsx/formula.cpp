#include "sheethost/xlsx/formula.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <span>

#include "sheethost/xlsx/numfmt.h"

namespace xlsx {

namespace {

constexpr std::string_view kErrorTexts[] = {
    "#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A"};

char upper(char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

}  // namespace

std::string_view errorText(ErrorValue error) {
  return kErrorTexts[static_cast<int>(error)];
}

std::optional<ErrorValue> parseError(std::string_view text) {
  for (int i = 0; i < 7; ++i)
    if (sameIgnoringCase(text, kErrorTexts[i]))
      return static_cast<ErrorValue>(i);
  return std::nullopt;
}

namespace formula {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
// Names, sheet names and function names; bytes of other scripts included.
bool isNameChar(char c) {
  return isLetter(c) || isDigit(c) || c == '_' || c == '.' || c == '\\' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// Nesting of parentheses and calls; deeper formulas are refused rather
// than parsed with an unbounded stack.
constexpr int kMaxDepth = 100;
constexpr std::size_t kMaxLength = 8192;

// --- numbers in texts -------------------------------------------------------

// A plain decimal number, the only kind we take from a text: optional sign,
// digits with one point, an exponent. No "inf", no hex.
std::optional<double> decimalNumber(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    negative = text[i++] == '-';
  const std::size_t start = i;
  bool digits = false;
  while (i < text.size() && isDigit(text[i])) ++i, digits = true;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && isDigit(text[i])) ++i, digits = true;
  }
  if (!digits) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j == text.size() || !isDigit(text[j])) return std::nullopt;
    while (j < text.size() && isDigit(text[j])) ++j;
    i = j;
  }
  if (i != text.size()) return std::nullopt;
  double value = 0;
  const char* first = text.data() + start;
  // from_chars takes neither a leading '+' nor a bare ".5" in every
  // library version; a leading zero makes both plain.
  std::string copy;
  if (*first == '.') {
    copy = "0" + std::string(text.substr(start));
    first = copy.data();
    const auto r = std::from_chars(first, first + copy.size(), value);
    if (r.ec != std::errc()) return std::nullopt;
  } else {
    const auto r = std::from_chars(first, text.data() + text.size(), value);
    if (r.ec != std::errc()) return std::nullopt;
  }
  if (!std::isfinite(value)) return std::nullopt;
  return negative ? -value : value;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A text used as a number in arithmetic ("15" + 1): only when it reads
// unambiguously as one.
std::optional<double> textAsNumber(std::string_view text) {
  text = trimmed(text);
  if (!text.empty() && text.back() == '%') {
    auto n = decimalNumber(trimmed(text.substr(0, text.size() - 1)));
    if (n) return *n / 100;
    return std::nullopt;
  }
  return decimalNumber(text);
}

// VALUE() reads a little more: thousands separators in groups of three.
std::optional<double> valueOfText(std::string_view text) {
  if (auto n = textAsNumber(text)) return n;
  text = trimmed(text);
  const std::size_t point = std::min(text.find('.'), text.size());
  std::string_view whole = text.substr(0, point);
  std::size_t sign = !whole.empty() && (whole[0] == '-' || whole[0] == '+');
  if (whole.find(',') == std::string_view::npos) return std::nullopt;
  std::string plain(text.substr(0, sign));
  std::size_t group = 0;
  bool first = true;
  for (std::size_t i = sign; i < whole.size(); ++i) {
    if (whole[i] == ',') {
      if ((first && group == 0) || (!first && group != 3) || group > 3)
        return std::nullopt;
      first = false;
      group = 0;
      continue;
    }
    plain += whole[i];
    ++group;
  }
  if (group != 3) return std::nullopt;
  plain += text.substr(point);
  return textAsNumber(plain);
}

// --- the compiler -----------------------------------------------------------

enum class Fn : std::int32_t {
  unknown,
  and_,
  or_,
  not_,
  value,
  isNumber,
  count,
  min,
  max,
  average,
  stdev,
  sum,
  abs,
  sqrt,
  round,
  true_,
  false_,
  if_,
  ifError,
};

struct FnInfo {
  std::string_view name;
  Fn fn;
  int minArgs, maxArgs;
};

constexpr FnInfo kFunctions[] = {
    {"IF", Fn::if_, 2, 3},
    {"IFERROR", Fn::ifError, 2, 2},
    {"AND", Fn::and_, 1, 255},
    {"OR", Fn::or_, 1, 255},
    {"NOT", Fn::not_, 1, 1},
    {"VALUE", Fn::value, 1, 1},
    {"ISNUMBER", Fn::isNumber, 1, 1},
    {"COUNT", Fn::count, 1, 255},
    {"MIN", Fn::min, 1, 255},
    {"MAX", Fn::max, 1, 255},
    {"AVERAGE", Fn::average, 1, 255},
    {"STDEV", Fn::stdev, 1, 255},
    {"STDEV.S", Fn::stdev, 1, 255},
    {"SUM", Fn::sum, 1, 255},
    {"ABS", Fn::abs, 1, 1},
    {"SQRT", Fn::sqrt, 1, 1},
    {"ROUND", Fn::round, 2, 2},
    {"TRUE", Fn::true_, 0, 0},
    {"FALSE", Fn::false_, 0, 0},
};

const FnInfo* findFunction(std::string_view name) {
  // Newer functions are stored with a prefix the user never sees.
  for (std::string_view prefix : {"_xlfn.", "_xlws."})
    if (name.size() > prefix.size() &&
        sameIgnoringCase(name.substr(0, prefix.size()), prefix))
      name.remove_prefix(prefix.size());
  for (const FnInfo& f : kFunctions)
    if (sameIgnoringCase(name, f.name)) return &f;
  return nullptr;
}

struct ParseError {
  std::string why;
};

// One side of a reference: "$A$1", "B", "$7".
struct RefPart {
  int row = 0, column = 0;
  bool rowFixed = false, columnFixed = false;
};

std::size_t readRefPart(std::string_view s, std::size_t i, RefPart& part) {
  const std::size_t start = i;
  part = {};
  if (i < s.size() && s[i] == '$') part.columnFixed = true, ++i;
  std::size_t letters = 0;
  int column = 0;
  while (i < s.size() && isLetter(s[i]) && letters < 4) {
    column = column * 26 + (upper(s[i]) - 'A' + 1);
    ++i, ++letters;
  }
  if (letters > 3 || column > kMaxColumns) return 0;
  if (letters == 0) {
    // "$7": the '$' belonged to the row.
    part.rowFixed = part.columnFixed;
    part.columnFixed = false;
  } else {
    part.column = column;
    if (i < s.size() && s[i] == '$') part.rowFixed = true, ++i;
  }
  std::size_t digits = 0;
  long row = 0;
  while (i < s.size() && isDigit(s[i]) && digits < 8) {
    row = row * 10 + (s[i] - '0');
    ++i, ++digits;
  }
  if (digits > 7 || (digits > 0 && (row < 1 || row > kMaxRows))) return 0;
  part.row = static_cast<int>(row);
  if (part.row == 0 && part.column == 0) return 0;
  if (part.row == 0 && part.rowFixed) return 0;  // "A$"
  return i - start;
}

class Parser {
 public:
  Parser(std::string_view text, int sheet, const SheetLookup& sheets,
         Program& out)
      : s_(text), sheet_(sheet), sheets_(sheets), out_(out) {}

  void run() {
    out_.code.reserve(32);
    if (s_.size() > kMaxLength)
      fail("the formula is longer than 8192 characters");
    skipBlanks();
    if (atEnd()) fail("the formula is empty");
    expression();
    skipBlanks();
    if (!atEnd())
      fail("unexpected '" + std::string(s_.substr(i_, 1)) + "' at " +
           std::to_string(i_ + 1));
  }

 private:
  [[noreturn]] void fail(std::string why) { throw ParseError{std::move(why)}; }

  bool atEnd() const { return i_ >= s_.size(); }
  char peek(std::size_t ahead = 0) const {
    return i_ + ahead < s_.size() ? s_[i_ + ahead] : '\0';
  }
  void skipBlanks() {
    while (!atEnd() && isBlank(s_[i_])) ++i_;
  }
  bool take(char c) {
    skipBlanks();
    if (peek() != c) return false;
    ++i_;
    return true;
  }
  void expect(char c) {
    if (!take(c)) {
      if (atEnd()) fail(std::string("'") + c + "' is missing at the end");
      fail(std::string("'") + c + "' expected at " + std::to_string(i_ + 1));
    }
  }

  std::size_t emit(Op op, std::int32_t a = 0, std::int32_t b = 0,
                   double number = 0) {
    out_.code.push_back({op, a, b, number});
    return out_.code.size() - 1;
  }
  std::int32_t here() const {
    return static_cast<std::int32_t>(out_.code.size());
  }

  void expression() {
    concatenation();
    for (;;) {
      skipBlanks();
      Op op;
      if (peek() == '<' && peek(1) == '=') {
        op = Op::lessEqual, i_ += 2;
      } else if (peek() == '>' && peek(1) == '=') {
        op = Op::greaterEqual, i_ += 2;
      } else if (peek() == '<' && peek(1) == '>') {
        op = Op::notEqual, i_ += 2;
      } else if (peek() == '=') {
        op = Op::equal, ++i_;
      } else if (peek() == '<') {
        op = Op::less, ++i_;
      } else if (peek() == '>') {
        op = Op::greater, ++i_;
      } else {
        return;
      }
      concatenation();
      emit(op);
    }
  }

  void concatenation() {
    additive();
    while (take('&')) {
      additive();
      emit(Op::concat);
    }
  }

  void additive() {
    term();
    for (;;) {
      if (take('+')) {
        term();
        emit(Op::add);
      } else if (take('-')) {
        term();
        emit(Op::subtract);
      } else {
        return;
      }
    }
  }

  void term() {
    power();
    for (;;) {
      if (take('*')) {
        power();
        emit(Op::multiply);
      } else if (take('/')) {
        power();
        emit(Op::divide);
      } else {
        return;
      }
    }
  }

  // Negation binds tighter than '^' (-2^2 is 4), as in the spreadsheets.
  void power() {
    unary();
    while (take('^')) {
      unary();
      emit(Op::power);
    }
  }

  void unary() {
    int negations = 0;
    for (;;) {
      if (take('-'))
        ++negations;
      else if (!take('+'))
        break;
    }
    primary();
    while (take('%')) emit(Op::percent);
    for (int k = 0; k < negations; ++k) emit(Op::negate);
  }

  void primary() {
    skipBlanks();
    if (atEnd()) fail("an operand is missing at the end");
    const char c = peek();
    if (c == '(') {
      ++i_;
      enter();
      expression();
      expect(')');
      --depth_;
      return;
    }
    if (c == '"') return stringLiteral();
    if (c == '#') return errorLiteral();
    if (c == '\'') return quotedSheet();
    if (isDigit(c) || c == '.') {
      if (reference(sheet_)) return;
      return numberLiteral();
    }
    if (c == '$') {
      if (reference(sheet_)) return;
      fail("a reference expected at " + std::to_string(i_ + 1));
    }
    if (isNameChar(c)) return name();
    fail("unexpected '" + std::string(1, c) + "' at " + std::to_string(i_ + 1));
  }

  void enter() {
    if (++depth_ > kMaxDepth) fail("the formula is nested too deeply");
  }

  void stringLiteral() {
    std::string text;
    ++i_;
    for (;;) {
      if (atEnd()) fail("a text is not closed with '\"'");
      if (s_[i_] == '"') {
        if (peek(1) == '"') {
          text += '"';
          i_ += 2;
          continue;
        }
        ++i_;
        break;
      }
      text += s_[i_++];
    }
    out_.texts.push_back(std::move(text));
    emit(Op::text, static_cast<std::int32_t>(out_.texts.size() - 1));
  }

  void errorLiteral() {
    for (int k = 0; k < 7; ++k) {
      const std::string_view e = kErrorTexts[k];
      if (s_.size() - i_ >= e.size() &&
          sameIgnoringCase(s_.substr(i_, e.size()), e)) {
        i_ += e.size();
        emit(Op::error, k);
        return;
      }
    }
    fail("unknown error value at " + std::to_string(i_ + 1));
  }

  void numberLiteral() {
    const std::size_t start = i_;
    while (!atEnd() && isDigit(peek())) ++i_;
    if (peek() == '.') {
      ++i_;
      while (!atEnd() && isDigit(peek())) ++i_;
    }
    if ((peek() == 'E' || peek() == 'e') &&
        (isDigit(peek(1)) ||
         ((peek(1) == '+' || peek(1) == '-') && isDigit(peek(2))))) {
      i_ += 2;
      while (!atEnd() && isDigit(peek())) ++i_;
    }
    const auto value = decimalNumber(s_.substr(start, i_ - start));
    if (!value) fail("a number expected at " + std::to_string(start + 1));
    if (!atEnd() && (isNameChar(peek()) || peek() == '$'))
      fail("unexpected '" + std::string(1, peek()) + "' after a number at " +
           std::to_string(i_ + 1));
    emit(Op::number, 0, 0, *value);
  }

  void quotedSheet() {
    std::string sheetName;
    ++i_;
    for (;;) {
      if (atEnd()) fail("a sheet name is not closed with \"'\"");
      if (s_[i_] == '\'') {
        if (peek(1) == '\'') {
          sheetName += '\'';
          i_ += 2;
          continue;
        }
        ++i_;
        break;
      }
      sheetName += s_[i_++];
    }
    if (peek() != '!') fail("'!' expected after the sheet name");
    ++i_;
    sheetReference(sheetName);
  }

  void sheetReference(std::string_view sheetName) {
    const int index = sheets_ ? sheets_(sheetName) : -1;
    if (reference(index < 0 ? sheet_ : index)) {
      // A sheet the workbook does not have: the reference is broken.
      if (index < 0) {
        out_.code.back() = {Op::error,
                            static_cast<std::int32_t>(ErrorValue::ref)};
        out_.refs.pop_back();
      }
      return;
    }
    fail("a cell reference expected after '" + std::string(sheetName) + "!'");
  }

  // A cell, a range, whole columns or whole rows at the current position;
  // false (and nothing read) when there is none.
  bool reference(int sheet) {
    RefPart first, last;
    const std::size_t n1 = readRefPart(s_, i_, first);
    if (n1 == 0) return false;
    std::size_t j = i_ + n1;
    std::size_t n2 = 0;
    if (j < s_.size() && s_[j] == ':') {
      n2 = readRefPart(s_, j + 1, last);
      if (n2 == 0) return false;
      j += 1 + n2;
    }
    // "LOG10(", "A1B", "Sheet1!" are names, not references.
    if (j < s_.size() &&
        (isNameChar(s_[j]) || s_[j] == '(' || s_[j] == '!' || s_[j] == '$'))
      return false;
    RefSpec spec;
    spec.sheet = sheet;
    const bool cell1 = first.row && first.column;
    if (n2 == 0) {
      if (!cell1) return false;
      last = first;
    } else {
      const bool cell2 = last.row && last.column;
      const bool columns = !first.row && !last.row;
      const bool rows = !first.column && !last.column;
      if (!(cell1 && cell2) && !columns && !rows) return false;
      if (columns) {
        first.row = 1, last.row = kMaxRows;
        first.rowFixed = last.rowFixed = true;
      }
      if (rows) {
        first.column = 1, last.column = kMaxColumns;
        first.columnFixed = last.columnFixed = true;
      }
    }
    spec.firstRow = first.row, spec.firstColumn = first.column;
    spec.lastRow = last.row, spec.lastColumn = last.column;
    spec.firstRowFixed = first.rowFixed;
    spec.firstColumnFixed = first.columnFixed;
    spec.lastRowFixed = last.rowFixed;
    spec.lastColumnFixed = last.columnFixed;
    out_.refs.push_back(spec);
    emit(Op::ref, static_cast<std::int32_t>(out_.refs.size() - 1));
    i_ = j;
    return true;
  }

  void name() {
    if (reference(sheet_)) return;
    const std::size_t start = i_;
    while (!atEnd() && isNameChar(peek())) ++i_;
    const std::string_view word = s_.substr(start, i_ - start);
    if (peek() == '!') {
      ++i_;
      return sheetReference(word);
    }
    if (peek() == '(') return call(word);
    if (sameIgnoringCase(word, "TRUE") || sameIgnoringCase(word, "FALSE")) {
      emit(Op::boolean, sameIgnoringCase(word, "TRUE"));
      return;
    }
    // A defined name: the workbook's names are not read, so it is unknown.
    emit(Op::error, static_cast<std::int32_t>(ErrorValue::name));
  }

  // One argument; an empty one (IF(A1,,1)) is "missing".
  void argument() {
    skipBlanks();
    if (peek() == ',' || peek() == ')')
      emit(Op::missing);
    else
      expression();
  }

  void call(std::string_view word) {
    const FnInfo* f = findFunction(word);
    ++i_;  // '('
    enter();
    if (f && f->fn == Fn::if_) {
      ifCall();
    } else if (f && f->fn == Fn::ifError) {
      ifErrorCall();
    } else {
      int count = 0;
      skipBlanks();
      if (peek() == ')') {
        ++i_;
      } else {
        for (;;) {
          argument();
          ++count;
          if (take(')')) break;
          expect(',');
        }
      }
      if (f && (count < f->minArgs || count > f->maxArgs))
        fail(std::string(f->name) + " takes " + std::to_string(f->minArgs) +
             (f->maxArgs == f->minArgs ? ""
                                       : " to " + std::to_string(f->maxArgs)) +
             " arguments, not " + std::to_string(count));
      if (f && f->fn == Fn::true_) {
        emit(Op::boolean, 1);
      } else if (f && f->fn == Fn::false_) {
        emit(Op::boolean, 0);
      } else {
        // An unknown function still evaluates its arguments, so that the
        // cells they need are computed, and gives #NAME?.
        emit(Op::call, static_cast<std::int32_t>(f ? f->fn : Fn::unknown),
             count);
      }
    }
    --depth_;
  }

  void ifCall() {
    argument();
    if (!take(',')) fail("IF takes 2 to 3 arguments");
    const std::size_t test = emit(Op::ifTest);
    argument();
    const std::size_t jump = emit(Op::jump);
    out_.code[test].a = here();
    if (take(',')) {
      argument();
      if (!take(')')) fail("IF takes 2 to 3 arguments");
    } else {
      expect(')');
      emit(Op::boolean, 0);
    }
    out_.code[jump].a = here();
    out_.code[test].b = here();
  }

  void ifErrorCall() {
    argument();
    if (!take(',')) fail("IFERROR takes 2 arguments");
    const std::size_t test = emit(Op::ifError);
    argument();
    if (!take(')')) fail("IFERROR takes 2 arguments");
    out_.code[test].a = here();
  }

  std::string_view s_;
  std::size_t i_ = 0;
  int depth_ = 0;
  int sheet_;
  const SheetLookup& sheets_;
  Program& out_;
};

// --- the evaluator ----------------------------------------------------------

// The spreadsheets treat numbers this close as equal, and a sum or
// difference this close to zero as zero, so that 0.1 + 0.2 = 0.3 holds.
bool approxEqual(double a, double b) {
  if (a == b) return true;
  if (a == 0 || b == 0) return false;
  constexpr double kEpsilon = 1.0 / (16777216.0 * 16777216.0);  // 2^-48
  const double d = std::fabs(a - b);
  return d < std::fabs(a) * kEpsilon && d < std::fabs(b) * kEpsilon;
}

double approxAdd(double a, double b) {
  if (((a < 0 && b > 0) || (a > 0 && b < 0)) && approxEqual(a, -b)) return 0;
  return a + b;
}

double approxSubtract(double a, double b) {
  if (((a < 0 && b < 0) || (a > 0 && b > 0)) && approxEqual(a, b)) return 0;
  return a - b;
}

struct Operand {
  enum class Kind : std::uint8_t {
    empty,
    missing,
    number,
    text,
    boolean,
    error,
    ref,
    pending,
  };
  Kind kind = Kind::empty;
  bool boolean = false;
  ErrorValue error = ErrorValue::value;
  int sheet = 0;
  double number = 0;
  CellRange range;
  std::string text;

  static Operand of(double v) {
    Operand o;
    o.kind = Kind::number;
    o.number = v;
    return o;
  }
  static Operand of(ErrorValue e) {
    Operand o;
    o.kind = Kind::error;
    o.error = e;
    return o;
  }
  static Operand ofBool(bool b) {
    Operand o;
    o.kind = Kind::boolean;
    o.boolean = b;
    return o;
  }
  static Operand ofText(std::string t) {
    Operand o;
    o.kind = Kind::text;
    o.text = std::move(t);
    return o;
  }
  static Operand pending() {
    Operand o;
    o.kind = Kind::pending;
    return o;
  }
  bool is(Kind k) const { return kind == k; }
};
using Kind = Operand::Kind;

Operand fromComputed(const Computed& v) {
  switch (v.index()) {
    case 1:
      return Operand::ofText(std::get<std::string>(v));
    case 2:
      return Operand::of(std::get<double>(v));
    case 3:
      return Operand::ofBool(std::get<bool>(v));
    case 4:
      return Operand::of(std::get<ErrorValue>(v));
    default:
      return {};
  }
}

Computed toComputed(Operand&& o) {
  switch (o.kind) {
    case Kind::number:
      return o.number;
    case Kind::text:
      return std::move(o.text);
    case Kind::boolean:
      return o.boolean;
    case Kind::error:
      return o.error;
    case Kind::empty:
    case Kind::missing:
      return 0.0;  // =A1 shows 0 when A1 is empty
    default:
      return {};
  }
}

// "TRUE" and "FALSE" texts count as booleans where a condition is read.
Operand logical(const Operand& o) {
  switch (o.kind) {
    case Kind::number:
      return Operand::ofBool(o.number != 0);
    case Kind::boolean:
    case Kind::error:
    case Kind::pending:
      return o;
    case Kind::text:
      if (sameIgnoringCase(o.text, "TRUE")) return Operand::ofBool(true);
      if (sameIgnoringCase(o.text, "FALSE")) return Operand::ofBool(false);
      return Operand::of(ErrorValue::value);
    default:
      return Operand::ofBool(false);
  }
}

Operand numeric(const Operand& o) {
  switch (o.kind) {
    case Kind::number:
    case Kind::error:
    case Kind::pending:
      return o;
    case Kind::boolean:
      return Operand::of(o.boolean ? 1.0 : 0.0);
    case Kind::text:
      if (auto n = textAsNumber(o.text)) return Operand::of(*n);
      return Operand::of(ErrorValue::value);
    default:
      return Operand::of(0.0);
  }
}

std::string textOf(const Operand& o) {
  switch (o.kind) {
    case Kind::number:
      return generalNumber(o.number);
    case Kind::boolean:
      return o.boolean ? "TRUE" : "FALSE";
    case Kind::text:
      return o.text;
    default:
      return "";
  }
}

int compareTexts(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(lower(a[i]));
    const auto y = static_cast<unsigned char>(lower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Both plain values, neither an error nor pending.
int compareOperands(const Operand& a, const Operand& b) {
  auto rank = [](const Operand& o) {
    return o.is(Kind::number) ? 0 : o.is(Kind::text) ? 1 : 2;
  };
  const bool emptyA = a.is(Kind::empty) || a.is(Kind::missing);
  const bool emptyB = b.is(Kind::empty) || b.is(Kind::missing);
  if (emptyA && emptyB) return 0;
  // An empty cell takes the other side's kind: 0, "" or FALSE.
  if (emptyA || emptyB) {
    const Operand& other = emptyA ? b : a;
    int r = 0;
    if (other.is(Kind::number))
      r = approxEqual(other.number, 0) ? 0 : (other.number > 0 ? 1 : -1);
    else if (other.is(Kind::text))
      r = other.text.empty() ? 0 : 1;
    else
      r = other.boolean ? 1 : 0;
    return emptyA ? -r : r;
  }
  if (rank(a) != rank(b)) return rank(a) < rank(b) ? -1 : 1;
  if (a.is(Kind::number)) {
    if (approxEqual(a.number, b.number)) return 0;
    return a.number < b.number ? -1 : 1;
  }
  if (a.is(Kind::text)) return compareTexts(a.text, b.text);
  return a.boolean == b.boolean ? 0 : (a.boolean ? 1 : -1);
}

// The working storage of a run, kept between runs: a recalculation makes
// thousands of short runs, and allocating afresh for each one costs more
// than the run.
struct Scratch {
  std::vector<Operand> stack;
  std::vector<double> values, squares;
};

class ScratchLease {
 public:
  ScratchLease() {
    if (!pool().empty()) {
      scratch_ = std::move(pool().back());
      pool().pop_back();
    }
  }
  ~ScratchLease() {
    scratch_.stack.clear();
    pool().push_back(std::move(scratch_));
  }
  ScratchLease(const ScratchLease&) = delete;
  ScratchLease& operator=(const ScratchLease&) = delete;
  Scratch& get() { return scratch_; }

 private:
  static std::vector<Scratch>& pool() {
    thread_local std::vector<Scratch> scratches;
    return scratches;
  }
  Scratch scratch_;
};

class Machine {
 public:
  Machine(const Program& program, const Where& where, Cells& cells,
          Scratch& scratch)
      : program_(program),
        where_(where),
        cells_(cells),
        stack_(scratch.stack),
        values_(scratch.values),
        squares_(scratch.squares) {}

  Computed run(bool* pending) {
    const auto& code = program_.code;
    std::size_t pc = 0;
    while (pc < code.size()) {
      const Instruction& in = code[pc];
      std::size_t next = pc + 1;
      switch (in.op) {
        case Op::number:
          stack_.push_back(Operand::of(in.number));
          break;
        case Op::text:
          stack_.push_back(
              Operand::ofText(program_.texts[static_cast<std::size_t>(in.a)]));
          break;
        case Op::boolean:
          stack_.push_back(Operand::ofBool(in.a != 0));
          break;
        case Op::error:
          stack_.push_back(Operand::of(static_cast<ErrorValue>(in.a)));
          break;
        case Op::missing: {
          Operand o;
          o.kind = Kind::missing;
          stack_.push_back(o);
          break;
        }
        case Op::ref:
          stack_.push_back(
              reference(program_.refs[static_cast<std::size_t>(in.a)]));
          break;
        case Op::negate:
        case Op::percent: {
          Operand a = numeric(scalar(pop()));
          if (a.is(Kind::number))
            a.number = in.op == Op::negate ? -a.number : a.number / 100;
          stack_.push_back(std::move(a));
          break;
        }
        case Op::add:
        case Op::subtract:
        case Op::multiply:
        case Op::divide:
        case Op::power:
          arithmetic(in.op);
          break;
        case Op::concat: {
          Operand b = scalar(pop());
          Operand a = scalar(pop());
          if (Operand* stop = firstStop(a, b)) {
            stack_.push_back(std::move(*stop));
          } else {
            stack_.push_back(Operand::ofText(textOf(a) + textOf(b)));
          }
          break;
        }
        case Op::equal:
        case Op::notEqual:
        case Op::less:
        case Op::greater:
        case Op::lessEqual:
        case Op::greaterEqual:
          comparison(in.op);
          break;
        case Op::call:
          callFunction(static_cast<Fn>(in.a), in.b);
          break;
        case Op::ifTest: {
          Operand c = logical(scalar(pop()));
          if (c.is(Kind::boolean)) {
            if (!c.boolean) next = static_cast<std::size_t>(in.a);
          } else {
            stack_.push_back(std::move(c));
            next = static_cast<std::size_t>(in.b);
          }
          break;
        }
        case Op::ifError: {
          Operand v = scalar(pop());
          if (!v.is(Kind::error)) {
            stack_.push_back(std::move(v));
            next = static_cast<std::size_t>(in.a);
          }
          break;
        }
        case Op::jump:
          next = static_cast<std::size_t>(in.a);
          break;
      }
      pc = next;
    }
    Computed result;
    if (!stack_.empty()) result = toComputed(scalar(pop()));
    *pending = pending_;
    return pending_ ? Computed() : result;
  }

 private:
  Operand pop() {
    Operand o = std::move(stack_.back());
    stack_.pop_back();
    return o;
  }

  Operand read(int sheet, int row, int column) {
    const CellRead r = cells_.read(sheet, row, column);
    if (r.pending) {
      pending_ = true;
      return Operand::pending();
    }
    return r.value ? fromComputed(*r.value) : Operand{};
  }

  Operand reference(const RefSpec& spec) {
    auto move = [](int value, bool fixed, int offset) {
      return fixed ? value : value + offset;
    };
    const int r1 = move(spec.firstRow, spec.firstRowFixed, where_.rowOffset);
    const int r2 = move(spec.lastRow, spec.lastRowFixed, where_.rowOffset);
    const int c1 =
        move(spec.firstColumn, spec.firstColumnFixed, where_.columnOffset);
    const int c2 =
        move(spec.lastColumn, spec.lastColumnFixed, where_.columnOffset);
    if (std::min(r1, r2) < 1 || std::max(r1, r2) > kMaxRows ||
        std::min(c1, c2) < 1 || std::max(c1, c2) > kMaxColumns)
      return Operand::of(ErrorValue::ref);
    Operand o;
    o.kind = Kind::ref;
    o.sheet = spec.sheet;
    o.range = {std::min(r1, r2), std::min(c1, c2), std::max(r1, r2),
               std::max(c1, c2)};
    return o;
  }

  // A reference where one value is wanted: its cell, or the cell of a
  // range in the row or column of the formula's own cell.
  Operand scalar(Operand o) {
    if (o.is(Kind::missing)) return {};
    if (!o.is(Kind::ref)) return o;
    const CellRange& r = o.range;
    if (r.firstRow == r.lastRow && r.firstColumn == r.lastColumn)
      return read(o.sheet, r.firstRow, r.firstColumn);
    if (r.firstColumn == r.lastColumn && where_.row >= r.firstRow &&
        where_.row <= r.lastRow)
      return read(o.sheet, where_.row, r.firstColumn);
    if (r.firstRow == r.lastRow && where_.column >= r.firstColumn &&
        where_.column <= r.lastColumn)
      return read(o.sheet, r.firstRow, where_.column);
    return Operand::of(ErrorValue::value);
  }

  // What ends an operation early: a pending cell, then the first error.
  static Operand* firstStop(Operand& a, Operand& b) {
    if (a.is(Kind::pending)) return &a;
    if (b.is(Kind::pending)) return &b;
    if (a.is(Kind::error)) return &a;
    if (b.is(Kind::error)) return &b;
    return nullptr;
  }

  void arithmetic(Op op) {
    Operand b = numeric(scalar(pop()));
    Operand a = numeric(scalar(pop()));
    if (Operand* stop = firstStop(a, b)) {
      stack_.push_back(std::move(*stop));
      return;
    }
    const double x = a.number, y = b.number;
    double r = 0;
    switch (op) {
      case Op::add:
        r = approxAdd(x, y);
        break;
      case Op::subtract:
        r = approxSubtract(x, y);
        break;
      case Op::multiply:
        r = x * y;
        break;
      case Op::divide:
        if (y == 0) {
          stack_.push_back(Operand::of(ErrorValue::div0));
          return;
        }
        r = x / y;
        break;
      default:
        if (x == 0 && y < 0) {
          stack_.push_back(Operand::of(ErrorValue::div0));
          return;
        }
        if (x == 0 && y == 0) {
          stack_.push_back(Operand::of(ErrorValue::num));
          return;
        }
        r = std::pow(x, y);
    }
    stack_.push_back(std::isfinite(r) ? Operand::of(r)
                                      : Operand::of(ErrorValue::num));
  }

  void comparison(Op op) {
    Operand b = scalar(pop());
    Operand a = scalar(pop());
    if (Operand* stop = firstStop(a, b)) {
      stack_.push_back(std::move(*stop));
      return;
    }
    const int c = compareOperands(a, b);
    bool r = false;
    switch (op) {
      case Op::equal:
        r = c == 0;
        break;
      case Op::notEqual:
        r = c != 0;
        break;
      case Op::less:
        r = c < 0;
        break;
      case Op::greater:
        r = c > 0;
        break;
      case Op::lessEqual:
        r = c <= 0;
        break;
      default:
        r = c >= 0;
    }
    stack_.push_back(Operand::ofBool(r));
  }

  // The numbers of the arguments as the statistical functions take them:
  // from cells only numbers (texts, booleans and empty cells are left out),
  // given directly also booleans and numeric texts. An error stops, except
  // for COUNT, which only counts.
  struct Numbers {
    std::vector<double>* values = nullptr;
    std::size_t count = 0;
    bool pending = false;
    std::optional<ErrorValue> error;
  };

  Numbers numbers(std::span<Operand> args, bool counting) {
    Numbers n;
    values_.clear();
    n.values = &values_;
    auto take = [&](double v) {
      ++n.count;
      if (!counting) values_.push_back(v);
    };
    auto fail = [&](ErrorValue e) {
      if (!counting && !n.error) n.error = e;
    };
    for (Operand& a : args) {
      switch (a.kind) {
        case Kind::ref:
          cells_.forEach(a.sheet, a.range, [&](const CellRead& r) {
            if (r.pending) {
              n.pending = true;
              return;
            }
            if (!r.value) return;
            if (const double* d = std::get_if<double>(r.value)) take(*d);
            if (const auto* e = std::get_if<ErrorValue>(r.value)) fail(*e);
          });
          break;
        case Kind::pending:
          n.pending = true;
          break;
        case Kind::error:
          fail(a.error);
          break;
        case Kind::number:
          take(a.number);
          break;
        case Kind::boolean:
          take(a.boolean ? 1 : 0);
          break;
        case Kind::text:
          if (auto v = textAsNumber(a.text))
            take(*v);
          else
            fail(ErrorValue::value);
          break;
        default:
          if (!counting) take(0);  // MIN(,5): a left-out argument is 0
      }
    }
    if (n.pending) pending_ = true;
    return n;
  }

  static double neumaierSum(const std::vector<double>& values) {
    double sum = 0, compensation = 0;
    for (double v : values) {
      const double t = sum + v;
      if (std::fabs(sum) >= std::fabs(v))
        compensation += (sum - t) + v;
      else
        compensation += (v - t) + sum;
      sum = t;
    }
    return sum + compensation;
  }

  Operand statistic(Fn fn, std::span<Operand> args) {
    const Numbers n = numbers(args, fn == Fn::count);
    if (n.pending) return Operand::pending();
    if (fn == Fn::count) return Operand::of(static_cast<double>(n.count));
    if (n.error) return Operand::of(*n.error);
    const std::vector<double>& v = *n.values;
    switch (fn) {
      case Fn::min:
        return Operand::of(v.empty() ? 0
                                     : *std::min_element(v.begin(), v.end()));
      case Fn::max:
        return Operand::of(v.empty() ? 0
                                     : *std::max_element(v.begin(), v.end()));
      case Fn::sum:
        return Operand::of(neumaierSum(v));
      case Fn::average:
        if (v.empty()) return Operand::of(ErrorValue::div0);
        return Operand::of(neumaierSum(v) / static_cast<double>(v.size()));
      default: {  // stdev: the sample's
        if (v.size() < 2) return Operand::of(ErrorValue::div0);
        const double mean = neumaierSum(v) / static_cast<double>(v.size());
        squares_.clear();
        for (double x : v) {
          const double d = approxSubtract(x, mean);
          squares_.push_back(d * d);
        }
        const double variance =
            neumaierSum(squares_) / static_cast<double>(v.size() - 1);
        return Operand::of(std::sqrt(variance));
      }
    }
  }

  // AND / OR: booleans and numbers; texts and empty cells in ranges are
  // left out; nothing at all to judge is #VALUE!.
  Operand junction(Fn fn, std::span<Operand> args) {
    bool any = false, pending = false;
    bool result = fn == Fn::and_;
    std::optional<ErrorValue> error;
    auto judge = [&](bool b) {
      any = true;
      result = fn == Fn::and_ ? (result && b) : (result || b);
    };
    for (Operand& a : args) {
      if (a.is(Kind::ref)) {
        cells_.forEach(a.sheet, a.range, [&](const CellRead& r) {
          if (r.pending) {
            pending = true;
            return;
          }
          if (!r.value) return;
          if (const double* d = std::get_if<double>(r.value)) judge(*d != 0);
          if (const bool* b = std::get_if<bool>(r.value)) judge(*b);
          if (const auto* e = std::get_if<ErrorValue>(r.value))
            if (!error) error = *e;
        });
        continue;
      }
      const Operand l = logical(a);
      if (l.is(Kind::pending))
        pending = true;
      else if (l.is(Kind::error) && !error)
        error = l.error;
      else if (l.is(Kind::boolean))
        judge(l.boolean);
    }
    if (pending) {
      pending_ = true;
      return Operand::pending();
    }
    if (error) return Operand::of(*error);
    if (!any) return Operand::of(ErrorValue::value);
    return Operand::ofBool(result);
  }

  Operand single(Fn fn, std::span<Operand> args) {
    Operand a = scalar(std::move(args[0]));
    if (a.is(Kind::pending)) return a;
    switch (fn) {
      case Fn::isNumber:
        return Operand::ofBool(a.is(Kind::number));
      case Fn::not_: {
        Operand l = logical(a);
        if (l.is(Kind::boolean)) l.boolean = !l.boolean;
        return l;
      }
      case Fn::value:
        if (a.is(Kind::text)) {
          if (auto v = valueOfText(a.text)) return Operand::of(*v);
          return Operand::of(ErrorValue::value);
        }
        if (a.is(Kind::boolean)) return Operand::of(ErrorValue::value);
        return numeric(a);
      case Fn::abs:
      case Fn::sqrt: {
        Operand n = numeric(a);
        if (!n.is(Kind::number)) return n;
        if (fn == Fn::abs) return Operand::of(std::fabs(n.number));
        if (n.number < 0) return Operand::of(ErrorValue::num);
        return Operand::of(std::sqrt(n.number));
      }
      default: {  // round
        Operand n = numeric(a);
        Operand d = numeric(scalar(std::move(args[1])));
        if (Operand* stop = firstStop(n, d)) return std::move(*stop);
        const double places = std::trunc(std::clamp(d.number, -400.0, 400.0));
        return Operand::of(roundDecimal(n.number, static_cast<int>(places)));
      }
    }
  }

  void callFunction(Fn fn, int argc) {
    const std::size_t first = stack_.size() - static_cast<std::size_t>(argc);
    std::span<Operand> args(stack_.data() + first,
                            static_cast<std::size_t>(argc));
    Operand result;
    switch (fn) {
      case Fn::and_:
      case Fn::or_:
        result = junction(fn, args);
        break;
      case Fn::count:
      case Fn::min:
      case Fn::max:
      case Fn::average:
      case Fn::stdev:
      case Fn::sum:
        result = statistic(fn, args);
        break;
      case Fn::not_:
      case Fn::value:
      case Fn::isNumber:
      case Fn::abs:
      case Fn::sqrt:
      case Fn::round:
        result = single(fn, args);
        break;
      default:
        result = Operand::of(ErrorValue::name);
    }
    stack_.resize(first);
    stack_.push_back(std::move(result));
  }

  const Program& program_;
  const Where& where_;
  Cells& cells_;
  std::vector<Operand>& stack_;
  std::vector<double>& values_;
  std::vector<double>& squares_;
  bool pending_ = false;
};

}  // namespace

std::shared_ptr<Program> compile(std::string_view text, int sheet,
                                 const SheetLookup& sheets) {
  auto program = std::make_shared<Program>();
  try {
    Parser(text, sheet, sheets, *program).run();
  } catch (const ParseError& e) {
    *program = {};
    program->problem = e.why;
    program->code.push_back(
        {Op::error, static_cast<std::int32_t>(ErrorValue::name)});
  }
  return program;
}

Computed evaluate(const Program& program, const Where& where, Cells& cells,
                  bool* pending) {
  ScratchLease lease;
  return Machine(program, where, cells, lease.get()).run(pending);
}

std::optional<double> valueNumber(std::string_view text) {
  return valueOfText(text);
}

std::optional<int> compare(const Computed& a, const Computed& b) {
  if (std::holds_alternative<ErrorValue>(a) ||
      std::holds_alternative<ErrorValue>(b))
    return std::nullopt;
  return compareOperands(fromComputed(a), fromComputed(b));
}

}  // namespace formula
}  // namespace xlsx
