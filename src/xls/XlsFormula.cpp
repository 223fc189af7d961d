#include "xls/XlsFormula.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <functional>
#include <vector>

#include "xls/XlsLinkTable.h"
#include "xls/XlsSupport.h"

// Sections (each begins at a line "// [SECTION] <name>"):
//   tables
//   tokens
//   splitting
//   ordering
//   classification
//   encoding
//   parser

namespace qira {

// [SECTION] tables

namespace {

struct TFunction {
  const char* name;
  uint16_t number;
};

// Function numbers of the format. Argument counts are not kept: a call is
// encoded with the number of arguments it has.
constexpr TFunction kFunctions[] = {
    {"IF", 1},          {"ISERROR", 3},      {"AND", 36},        {"OR", 37},          {"NOT", 38},
    {"COUNT", 0},       {"SUM", 4},          {"AVERAGE", 5},     {"MIN", 6},          {"MAX", 7},
    {"ROW", 8},         {"COLUMN", 9},       {"NPV", 11},        {"STDEV", 12},       {"STDEVP", 193},
    {"PRODUCT", 183},   {"SUMPRODUCT", 228}, {"FREQUENCY", 252}, {"SUMSQ", 321},      {"SUMX2MY2", 304},
    {"SUMX2PY2", 305},  {"SUMXMY2", 303},    {"SUMIF", 345},     {"SIN", 15},         {"COS", 16},
    {"TAN", 17},        {"ATAN", 18},        {"SQRT", 20},       {"EXP", 21},         {"LN", 22},
    {"LOG10", 23},      {"ABS", 24},         {"INT", 25},        {"SIGN", 26},        {"ROUND", 27},
    {"LOOKUP", 28},     {"INDEX", 29},       {"REPT", 30},       {"MID", 31},         {"LEN", 32},
    {"VALUE", 33},      {"MOD", 39},         {"DSUM", 41},       {"VAR", 46},         {"DATE", 65},
    {"TIME", 66},       {"DAY", 67},         {"MONTH", 68},      {"YEAR", 69},        {"WEEKDAY", 70},
    {"HOUR", 71},       {"MINUTE", 72},      {"SECOND", 73},     {"NOW", 74},         {"HLOOKUP", 101},
    {"VLOOKUP", 102},   {"LOWER", 112},      {"UPPER", 113},     {"PROPER", 114},     {"LEFT", 115},
    {"RIGHT", 116},     {"TRIM", 118},       {"REPLACE", 119},   {"SUBSTITUTE", 120}, {"ISERR", 126},
    {"ISTEXT", 127},    {"ISNUMBER", 128},   {"ISBLANK", 129},   {"COUNTA", 169},     {"TRUNC", 197},
    {"ROUNDUP", 212},   {"ROUNDDOWN", 213},  {"TODAY", 221},     {"FLOOR", 285},      {"CEILING", 288},
    {"CONCATENATE", 336}, {"SUBTOTAL", 344}, {"COUNTBLANK", 347}, {"<UDF>", 255},
};

const TFunction* FindFunction(std::string_view upper) {
  for (const TFunction& f : kFunctions)
    if (upper == f.name) return &f;
  return nullptr;
}

constexpr std::string_view kMissingArgument = "<MISARG>";
constexpr std::string_view kUdf = "<UDF>";

// Priorities, higher binds tighter. '&' binds looser than '+' and '-' and
// tighter than the comparisons, so that 1+2&3 joins 3 and 3.
int Priority(std::string_view op) {
  switch (op[0]) {
    case '(': return 20;
    case ')': return 30;
    case '<':
    case '=':
    case '>': return 35;
    case ':': return 36;
    case '&': return 38;
    case '+':
    case '-': return 40;
    case '*': return 45;
    case '/': return 50;
    default: return 0;
  }
}

uint8_t BinaryOpcode(std::string_view op) {
  static constexpr std::pair<std::string_view, uint8_t> kOps[] = {
      {"+", 0x03}, {"-", 0x04}, {"*", 0x05}, {"/", 0x06}, {"&", 0x08}, {"<", 0x09}, {"<=", 0x0A},
      {"=", 0x0B}, {">=", 0x0C}, {">", 0x0D}, {"<>", 0x0E}, {":", 0x11}};
  for (const auto& [text, code] : kOps)
    if (op == text) return code;
  return 0;
}

[[noreturn]] void Fail() { throw EXLSError(xlserr::kInvalidFormula); }

std::string Trim(std::string_view s) {
  const size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string_view::npos) return {};
  const size_t b = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(a, b - a + 1));
}

// The text the parser encodes: surrounding blanks and one leading "=" dropped,
// then blanks again. Empty when the text holds no formula.
std::string FormulaBody(std::string_view text) {
  std::string body = Trim(text);
  if (!body.empty() && body[0] == '=') body.erase(0, 1);
  return Trim(body);
}

}  // namespace

// [SECTION] tokens

namespace {

enum class TTokenKind : uint8_t { Operator, Function, Operand, Separator, OpenParen, CloseParen };
enum class TOperand : uint8_t { Number, String, Boolean, Missing, Reference };

struct TToken {
  TTokenKind kind = TTokenKind::Operand;
  TOperand operand = TOperand::Number;
  std::string text;
  bool unary = false;
  // Functions: separators seen, whether any argument was seen, and the function number.
  int32_t counter = 0;
  bool hasArguments = false;
  uint16_t function = 0;
  bool call = false;  // a function followed by "(" / a "(" that opens a call
  int32_t arguments = 0;
  bool inRange = false;
  double number = 0;
  bool boolean = false;
  TXLSReference ref;
};

// Splits formula text into tokens and orders them in reverse Polish notation.
// Each token is handed to OnNewToken (the formula parser's classification) the
// moment it is split off; the tokens are owned here and freed with the parser.
struct TRPNParser {
  char separator;
  std::vector<TToken> tokens;   // in text order
  std::vector<TToken*> output;  // in reverse Polish order
  std::function<void(TToken&)> OnNewToken;

  // [SECTION] splitting

  bool IsSplitChar(char c) const {
    return c == separator || c == '(' || c == ')' || c == '+' || c == '-' || c == '*' || c == '/' || c == '<' ||
           c == '=' || c == '>' || c == '&';
  }

  // A number's mantissa waiting for its exponent's sign: "1E", "2.5e".
  static bool IsMantissaWithExponent(std::string_view s) {
    if (s.size() < 2 || (s.back() != 'E' && s.back() != 'e')) return false;
    bool digit = false, dot = false;
    for (char c : s.substr(0, s.size() - 1)) {
      if (std::isdigit(static_cast<unsigned char>(c))) {
        digit = true;
      } else if (c == '.' && !dot) {
        dot = true;
      } else {
        return false;
      }
    }
    return digit;
  }

  void Add(std::string text, bool unary = false) {
    text = Trim(text);
    if (text.empty()) return;
    TToken t;
    t.text = std::move(text);
    t.unary = unary;
    if (OnNewToken) OnNewToken(t);
    tokens.push_back(std::move(t));
  }

  bool LastIs(std::string_view text) const { return !tokens.empty() && tokens.back().text == text; }
  // A sign is unary at the start and after "(", a separator or an operator.
  bool SignIsUnary() const {
    if (tokens.empty()) return true;
    const TToken& t = tokens.back();
    return t.kind == TTokenKind::OpenParen || t.kind == TTokenKind::Separator || t.kind == TTokenKind::Operator;
  }

  void Split(std::string_view text) {
    std::string cur;
    bool inString = false, inSheetQuote = false;
    const std::string sep(1, separator);
    for (size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (inString) {
        cur += c;
        if (c != '"') continue;
        // A doubled quote inside a string stands for one quote.
        if (i + 1 < text.size() && text[i + 1] == '"') {
          cur += '"';
          ++i;
          continue;
        }
        inString = false;
        Add(std::move(cur));
        cur.clear();
        continue;
      }
      if (c == '"' && !inSheetQuote) {
        cur += c;
        inString = true;
        continue;
      }
      if (c == '\'') {
        cur += c;
        inSheetQuote = !inSheetQuote;
        continue;
      }
      if (inSheetQuote) {
        cur += c;
        continue;
      }
      if ((c == '+' || c == '-') && IsMantissaWithExponent(Trim(cur))) {
        cur += c;
        continue;
      }
      if (c == ':' && Trim(cur).empty()) {
        Add(":");
        continue;
      }
      if (!IsSplitChar(c)) {
        cur += c;
        continue;
      }
      Add(std::move(cur));
      cur.clear();
      std::string op(1, c);
      if (i + 1 < text.size()) {
        const std::string pair = op + text[i + 1];
        if (pair == "<=" || pair == ">=" || pair == "<>") {
          op = pair;
          ++i;
        }
      }
      if ((op == "+" || op == "-") && SignIsUnary()) {
        Add(op, true);
        continue;
      }
      if (op == sep) {
        // An argument left out before this separator.
        if (!tokens.empty() && (tokens.back().kind == TTokenKind::OpenParen || tokens.back().kind == TTokenKind::Separator))
          Add(std::string(kMissingArgument));
        Add(op);
        // ... or after it.
        if (i + 1 < text.size() && (text[i + 1] == ')' || text[i + 1] == separator)) Add(std::string(kMissingArgument));
        continue;
      }
      Add(op);
    }
    if (inString || inSheetQuote) Fail();
    Add(std::move(cur));
  }

  // [SECTION] ordering

  // The infix shape: operands and operators alternate, "(" and a call come where
  // an operand may, ")" and a separator after one (or ")" right after a call's "(").
  void CheckShape() const {
    bool expectOperand = true;
    for (size_t i = 0; i < tokens.size(); ++i) {
      const TToken& t = tokens[i];
      switch (t.kind) {
        case TTokenKind::Operand:
        case TTokenKind::Function:
        case TTokenKind::OpenParen:
          if (!expectOperand) Fail();
          expectOperand = t.kind != TTokenKind::Operand &&
                          !(t.kind == TTokenKind::Function && !(i + 1 < tokens.size() &&
                                                                tokens[i + 1].kind == TTokenKind::OpenParen));
          break;
        case TTokenKind::CloseParen: {
          const bool emptyCall = i >= 2 && tokens[i - 1].kind == TTokenKind::OpenParen &&
                                 tokens[i - 2].kind == TTokenKind::Function;
          if (expectOperand && !emptyCall) Fail();
          expectOperand = false;
          break;
        }
        case TTokenKind::Separator:
          if (expectOperand) Fail();
          expectOperand = true;
          break;
        case TTokenKind::Operator:
          if (expectOperand != t.unary) Fail();
          expectOperand = true;
          break;
      }
    }
    if (expectOperand) Fail();
  }

  // Shunting-yard with a function stack. Every operator and function is checked
  // to find its operands, so output is always one well-formed expression.
  void Order() {
    std::vector<TToken*> ops;        // operators and "(" (a call's "(" is marked)
    std::vector<TToken*> functions;  // open calls
    std::vector<size_t> starts;      // start of each pending subexpression in output
    auto emit = [&](TToken* t, int operands) {
      if (static_cast<int>(starts.size()) < operands) Fail();
      size_t start = output.size();
      for (int k = 0; k < operands; ++k) {
        start = starts.back();
        starts.pop_back();
      }
      output.push_back(t);
      if (t->kind == TTokenKind::Operator && t->text == ":")
        for (size_t k = start; k < output.size(); ++k) output[k]->inRange = true;
      starts.push_back(start);
    };
    auto emitOperator = [&](TToken* t) {
      emit(t, t->kind == TTokenKind::CloseParen ? 1 : (t->unary ? 1 : 2));
    };
    auto noteArgument = [&] {
      if (!functions.empty()) functions.back()->hasArguments = true;
    };
    for (size_t i = 0; i < tokens.size(); ++i) {
      TToken& t = tokens[i];
      const bool callFollows = i + 1 < tokens.size() && tokens[i + 1].kind == TTokenKind::OpenParen;
      switch (t.kind) {
        case TTokenKind::Operand:
          noteArgument();
          emit(&t, 0);
          break;
        case TTokenKind::Function:
          noteArgument();
          if (callFollows) {
            t.call = true;
            functions.push_back(&t);
          } else {
            emit(&t, 0);  // a name without "(" is a call without arguments
          }
          break;
        case TTokenKind::OpenParen:
          t.call = i > 0 && tokens[i - 1].kind == TTokenKind::Function && tokens[i - 1].call;
          if (!t.call) noteArgument();
          ops.push_back(&t);
          break;
        case TTokenKind::CloseParen: {
          while (!ops.empty() && ops.back()->kind != TTokenKind::OpenParen) {
            emitOperator(ops.back());
            ops.pop_back();
          }
          if (ops.empty()) Fail();  // no "(" for this ")"
          const bool call = ops.back()->call;
          ops.pop_back();
          if (call) {
            TToken* f = functions.back();
            functions.pop_back();
            f->arguments = f->hasArguments ? f->counter + 1 : 0;
            emit(f, f->arguments);
          } else {
            emit(&t, 1);  // the parenthesis token
          }
          break;
        }
        case TTokenKind::Separator:
          while (!ops.empty() && ops.back()->kind != TTokenKind::OpenParen) {
            emitOperator(ops.back());
            ops.pop_back();
          }
          if (ops.empty() || !ops.back()->call) Fail();  // a separator outside a call
          ++functions.back()->counter;
          break;
        case TTokenKind::Operator:
          if (!t.unary) {
            // Prefix signs wait for their operand; a binary operator pops what binds
            // at least as tightly (left-associative).
            while (!ops.empty() && ops.back()->kind == TTokenKind::Operator &&
                   Priority(ops.back()->text) >= Priority(t.text)) {
              emitOperator(ops.back());
              ops.pop_back();
            }
          }
          ops.push_back(&t);
          break;
      }
    }
    while (!ops.empty()) {
      if (ops.back()->kind == TTokenKind::OpenParen) Fail();  // a "(" never closed
      emitOperator(ops.back());
      ops.pop_back();
    }
    if (!functions.empty() || starts.size() != 1) Fail();
  }
};

}  // namespace

struct TXLSFormulaParser::TImpl {
  TXLSLinkTable& links;
  TRPNParser rpn;

  // [SECTION] classification

  static bool ParseNumber(std::string_view s, double& value) {
    if (s.empty() || !(std::isdigit(static_cast<unsigned char>(s[0])) || s[0] == '.')) return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (end != s.data() + s.size()) return false;
    if (ec != std::errc() || !std::isfinite(value)) Fail();
    return true;
  }

  void Classify(TToken& t) {
    const std::string upper = XLSUpperCase(t.text);
    if (t.text.size() == 1 && t.text[0] == rpn.separator) {
      t.kind = TTokenKind::Separator;
    } else if (t.text == "(") {
      t.kind = TTokenKind::OpenParen;
    } else if (t.text == ")") {
      t.kind = TTokenKind::CloseParen;
    } else if (BinaryOpcode(t.text) != 0) {
      t.kind = TTokenKind::Operator;
    } else if (ParseNumber(t.text, t.number)) {
      t.operand = TOperand::Number;
    } else if (t.text.size() >= 2 && t.text.front() == '"' && t.text.back() == '"') {
      t.operand = TOperand::String;
    } else if (upper == "TRUE" || upper == "FALSE") {
      t.operand = TOperand::Boolean;
      t.boolean = upper == "TRUE";
    } else if (t.text == kMissingArgument) {
      t.operand = TOperand::Missing;
    } else if (const TFunction* f = FindFunction(upper); f != nullptr && upper != kUdf) {
      t.kind = TTokenKind::Function;
      t.function = f->number;
    } else if (links.Recognize(t.text, t.ref)) {
      t.operand = TOperand::Reference;
    } else {
      Fail();
    }
  }

  // An external name called like a function, F(1), becomes a call of the
  // user-defined-function entry with F as its first argument: <UDF>(F, 1).
  void RewriteUserCalls() {
    // Into a new list in one pass: inserting into the list for each call would move
    // the rest of a long formula again and again.
    std::vector<TToken>& in = rpn.tokens;
    std::vector<TToken> out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
      if (!(i + 1 < in.size() && in[i].kind == TTokenKind::Operand && in[i].operand == TOperand::Reference &&
            in[i].ref.Kind == TRefKind::ExternName && in[i + 1].kind == TTokenKind::OpenParen)) {
        out.push_back(std::move(in[i]));
        continue;
      }
      TToken udf;
      udf.kind = TTokenKind::Function;
      udf.text = kUdf;
      udf.function = FindFunction(kUdf)->number;
      out.push_back(std::move(udf));
      out.push_back(std::move(in[i + 1]));
      out.push_back(std::move(in[i]));
      if (!(i + 2 < in.size() && in[i + 2].kind == TTokenKind::CloseParen)) {
        TToken sep;
        sep.kind = TTokenKind::Separator;
        sep.text = std::string(1, rpn.separator);
        out.push_back(std::move(sep));
      }
      ++i;
    }
    in = std::move(out);
  }

  // [SECTION] encoding

  static void Word(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
  }

  static void Column(std::string& out, uint8_t col, bool absCol, bool absRow) {
    out.push_back(static_cast<char>(col));
    out.push_back(static_cast<char>((absCol ? 0 : 0x40) | (absRow ? 0 : 0x80)));
  }

  std::string EncodeToken(const TToken& t, bool relative, uint16_t baseRow, uint8_t baseCol) const {
    std::string out;
    switch (t.kind) {
      case TTokenKind::Function:
        out.push_back(t.inRange ? '\x22' : '\x42');
        out.push_back(static_cast<char>(t.arguments));
        Word(out, t.function);
        return out;
      case TTokenKind::CloseParen:
        return "\x15";
      case TTokenKind::Operator:
        if (t.unary) return t.text == "-" ? "\x13" : "\x12";
        return std::string(1, static_cast<char>(BinaryOpcode(t.text)));
      case TTokenKind::Operand:
        break;
      default:
        Fail();
    }
    switch (t.operand) {
      case TOperand::Number: {
        out.push_back('\x1F');
        const auto bits = std::bit_cast<uint64_t>(t.number);
        for (int k = 0; k < 8; ++k) out.push_back(static_cast<char>(bits >> (8 * k)));
        return out;
      }
      case TOperand::String: {
        std::string raw = t.text.substr(1, t.text.size() - 2);
        std::string unescaped;
        for (size_t k = 0; k < raw.size(); ++k) {
          unescaped += raw[k];
          if (raw[k] == '"' && k + 1 < raw.size() && raw[k + 1] == '"') ++k;
        }
        const std::u16string wide = AnsiToWide(unescaped);
        if (wide.size() > 255 || (wide.empty() && !unescaped.empty()))
          throw EXLSError(xlserr::kStringConstantLength);
        out.push_back('\x17');
        out.push_back(static_cast<char>(wide.size()));
        out.push_back('\x01');
        out += WideToUtf16Bytes(wide);
        return out;
      }
      case TOperand::Boolean:
        out.push_back('\x1D');
        out.push_back(t.boolean ? '\x01' : '\x00');
        return out;
      case TOperand::Missing:
        return "\x16";
      case TOperand::Reference:
        break;
    }
    const TXLSReference& r = t.ref;
    const bool oneCell = r.Row1 == r.Row2 && r.Col1 == r.Col2;
    switch (r.Kind) {
      case TRefKind::Cell:
      case TRefKind::Area: {
        const bool cell = r.Kind == TRefKind::Cell || oneCell;
        const bool rel = relative && !(r.AbsRow1 && r.AbsCol1 && (cell || (r.AbsRow2 && r.AbsCol2)));
        auto row = [&](uint16_t v, bool abs) { return rel && !abs ? static_cast<uint16_t>(v - baseRow) : v; };
        auto col = [&](uint8_t v, bool abs) { return rel && !abs ? static_cast<uint8_t>(v - baseCol) : v; };
        if (cell) {
          const bool inRange = r.Kind == TRefKind::Area || t.inRange;
          out.push_back(rel ? (inRange ? '\x2C' : '\x4C') : (inRange ? '\x24' : '\x44'));
          Word(out, row(r.Row1, r.AbsRow1));
          Column(out, col(r.Col1, r.AbsCol1), r.AbsCol1, r.AbsRow1);
        } else {
          out.push_back(rel ? '\x2D' : '\x25');
          Word(out, row(r.Row1, r.AbsRow1));
          Word(out, row(r.Row2, r.AbsRow2));
          Column(out, col(r.Col1, r.AbsCol1), r.AbsCol1, r.AbsRow1);
          Column(out, col(r.Col2, r.AbsCol2), r.AbsCol2, r.AbsRow2);
        }
        return out;
      }
      case TRefKind::SheetCell:
      case TRefKind::SheetRangeCell:
      case TRefKind::WorkbookCell:
        out.push_back(t.inRange ? '\x3A' : '\x5A');
        Word(out, r.Xti);
        Word(out, r.Row1);
        Column(out, r.Col1, r.AbsCol1, r.AbsRow1);
        return out;
      case TRefKind::SheetArea:
      case TRefKind::WorkbookArea:
        out.push_back('\x3B');
        Word(out, r.Xti);
        Word(out, r.Row1);
        Word(out, r.Row2);
        Column(out, r.Col1, r.AbsCol1, r.AbsRow1);
        Column(out, r.Col2, r.AbsCol2, r.AbsRow2);
        return out;
      case TRefKind::Name:
        out.push_back('\x23');
        Word(out, r.NameIndex);
        Word(out, 0);
        return out;
      case TRefKind::ExternName:
        out.push_back('\x39');
        Word(out, r.Xti);
        Word(out, r.NameIndex);
        Word(out, 0);
        return out;
      case TRefKind::None:
        break;
    }
    Fail();
  }

  // The tokens in output order; a run of tokens inside a range that a token
  // outside follows gets the memory-function prefix with the run's length.
  std::string Encode(bool relative, uint16_t baseRow, uint8_t baseCol) const {
    std::string bytes, run;
    for (const TToken* t : rpn.output) {
      const std::string b = EncodeToken(*t, relative, baseRow, baseCol);
      if (t->inRange) {
        run += b;
        continue;
      }
      if (!run.empty()) {
        bytes.push_back('\x29');
        Word(bytes, static_cast<uint16_t>(std::min<size_t>(run.size(), 0xFFFF)));
        bytes += run;
        run.clear();
      }
      bytes += b;
      if (bytes.size() > kMaxFormulaTokenBytes) Fail();
    }
    bytes += run;
    if (bytes.size() > kMaxFormulaTokenBytes) Fail();
    return bytes;
  }
};

// [SECTION] parser

void CheckFormulaNotEmpty(std::string_view text) {
  if (!text.empty() && FormulaBody(text).empty()) throw EXLSError(std::string(text), xlserr::kInvalidFormula);
}

TXLSFormulaParser::TXLSFormulaParser(TXLSLinkTable& links) : links_(links), separator_(XLSListSeparator()) {}

TXLSFormulaParser::~TXLSFormulaParser() = default;

std::string TXLSFormulaParser::Encode(std::string_view text) { return Run(text, false, 0, 0); }

std::string TXLSFormulaParser::EncodeRelative(std::string_view text, uint16_t baseRow, uint8_t baseCol) {
  return Run(text, true, baseRow, baseCol);
}

std::string TXLSFormulaParser::Run(std::string_view text, bool relative, uint16_t baseRow, uint8_t baseCol) {
  try {
    const std::string body = FormulaBody(text);
    if (body.empty()) return {};
    TImpl impl{links_, TRPNParser{separator_, {}, {}, {}}};
    impl.rpn.OnNewToken = [&impl](TToken& t) { impl.Classify(t); };
    impl.rpn.Split(body);
    impl.RewriteUserCalls();
    impl.rpn.CheckShape();
    impl.rpn.Order();
    return impl.Encode(relative, baseRow, baseCol);
  } catch (const std::exception&) {
    throw EXLSError(std::string(text), xlserr::kInvalidFormula);
  }
}

}  // namespace qira
