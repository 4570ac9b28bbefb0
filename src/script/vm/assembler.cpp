#include "script/vm/assembler.h"

#include <bit>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace zelt::vm {

// ---------------------------------------------------------------------------
// CodeBuilder

namespace {
constexpr uint32_t kUnbound = 0xFFFFFFFFu;

void put_u32(std::vector<uint8_t>& code, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) code[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
}  // namespace

CodeBuilder::Label CodeBuilder::new_label() {
  labels_.push_back(kUnbound);
  return Label{static_cast<uint32_t>(labels_.size() - 1)};
}

void CodeBuilder::bind(Label label) {
  uint32_t& a = labels_.at(label.id);
  if (a != kUnbound) rebound_ = true;
  a = here();
}

uint32_t CodeBuilder::address(Label label) const {
  const uint32_t a = labels_.at(label.id);
  return a == kUnbound ? 0 : a;
}

CodeBuilder& CodeBuilder::emit(const Insn& insn) {
  code_.insert(code_.end(), insn.bytes, insn.bytes + insn.size);
  return *this;
}

CodeBuilder& CodeBuilder::emit(Op op, int low, int high, Label target, int32_t offset) {
  const Insn insn = encode(op, reg_byte(low, high), 0);
  const uint32_t at = operand_offset(op);
  if (at != 0) fixups_.push_back({static_cast<uint32_t>(code_.size()) + at, target.id, offset});
  return emit(insn);
}

CodeBuilder& CodeBuilder::u8(uint8_t v) {
  code_.push_back(v);
  return *this;
}
CodeBuilder& CodeBuilder::u16(uint16_t v) { return u8(static_cast<uint8_t>(v)).u8(static_cast<uint8_t>(v >> 8)); }
CodeBuilder& CodeBuilder::u32(uint32_t v) {
  code_.resize(code_.size() + 4);
  put_u32(code_, code_.size() - 4, v);
  return *this;
}
CodeBuilder& CodeBuilder::u32(Label target, int32_t offset) {
  fixups_.push_back({static_cast<uint32_t>(code_.size()), target.id, offset});
  return u32(0);
}
CodeBuilder& CodeBuilder::zero(uint32_t n) {
  code_.resize(code_.size() + n);
  return *this;
}

bool CodeBuilder::finish(std::string* error) {
  if (rebound_) {
    if (error) *error = "a label was bound twice";
    return false;
  }
  for (const Fixup& f : fixups_) {
    const uint32_t a = labels_.at(f.label);
    if (a == kUnbound) {
      if (error) *error = "label " + std::to_string(f.label) + " is used but never bound";
      return false;
    }
    put_u32(code_, f.at, a + static_cast<uint32_t>(f.offset));
  }
  return true;
}

uint32_t AsmResult::label(std::string_view name) const {
  const auto it = labels.find(name);
  return it == labels.end() ? 0 : it->second;
}

// ---------------------------------------------------------------------------
// Text assembler: pass 1 parses every statement and lays out addresses,
// pass 2 evaluates operands with every label known and encodes.

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool ident_start(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool ident_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

struct AsmError {
  std::string text;
};

enum class Kind : uint8_t { Reg, Imm, Num, Ind, Disp, Bare, String };

struct Operand {
  Kind kind;
  int reg = 0;            // Reg, Ind
  std::string_view expr;  // Imm, Num, Disp, Bare; String: the quoted text
};

std::optional<int> parse_reg(std::string_view s) {
  s = trim(s);
  if (s.size() == 2 && s[0] == 'r' && s[1] >= '0' && s[1] <= '7') return s[1] - '0';
  return std::nullopt;
}

Operand classify(std::string_view s) {
  s = trim(s);
  if (s.empty()) throw AsmError{"empty operand"};
  if (auto r = parse_reg(s)) return {Kind::Reg, *r, {}};
  if (s.size() >= 2 && s[0] == 'r' && s.find_first_not_of("0123456789", 1) == std::string_view::npos)
    throw AsmError{"no register '" + std::string(s) + "'"};
  if (s[0] == '"') return {Kind::String, 0, s};
  if (s[0] == '$') return {Kind::Imm, 0, s.substr(1)};
  if (s[0] == '#') return {Kind::Num, 0, s.substr(1)};
  if (s.back() == ')') {
    const size_t open = s.rfind('(');
    if (open == std::string_view::npos) throw AsmError{"unbalanced parenthesis in '" + std::string(s) + "'"};
    const auto r = parse_reg(s.substr(open + 1, s.size() - open - 2));
    if (!r) throw AsmError{"not a register in '" + std::string(s) + "'"};
    if (trim(s.substr(0, open)).empty()) return {Kind::Ind, *r, {}};
    if (*r != 6) throw AsmError{"displacements are relative to r6 only: '" + std::string(s) + "'"};
    return {Kind::Disp, 6, s.substr(0, open)};
  }
  return {Kind::Bare, 0, s};
}

// The operand syntax of each operand column.
struct Pattern {
  Kind kinds[3];
  int count;
};
Pattern pattern(Operands o) {
  switch (o) {
    case Operands::None: return {{}, 0};
    case Operands::Num: return {{Kind::Num}, 1};
    case Operands::L_H: return {{Kind::Reg, Kind::Reg}, 2};
    case Operands::H: case Operands::L: return {{Kind::Reg}, 1};
    case Operands::L_Imm: return {{Kind::Reg, Kind::Imm}, 2};
    case Operands::L_Abs: return {{Kind::Reg, Kind::Bare}, 2};
    case Operands::L_Disp: return {{Kind::Reg, Kind::Disp}, 2};
    case Operands::L_AtH: return {{Kind::Reg, Kind::Ind}, 2};
    case Operands::Abs_H: return {{Kind::Bare, Kind::Reg}, 2};
    case Operands::Disp_H: return {{Kind::Disp, Kind::Reg}, 2};
    case Operands::AtL_H: return {{Kind::Ind, Kind::Reg}, 2};
    case Operands::Imm: return {{Kind::Imm}, 1};
    case Operands::Target: case Operands::Abs: return {{Kind::Bare}, 1};
    case Operands::Disp: return {{Kind::Disp}, 1};
    case Operands::L_H_Imm: return {{Kind::Reg, Kind::Ind, Kind::Imm}, 3};
  }
  return {{}, 0};
}

bool fits(Operands o, const std::vector<Operand>& ops) {
  const Pattern p = pattern(o);
  if (static_cast<int>(ops.size()) != p.count) return false;
  for (int i = 0; i < p.count; ++i) {
    const Kind k = ops[i].kind;
    // A built-in number may be written without '#'.
    if (k != p.kinds[i] && !(p.kinds[i] == Kind::Num && k == Kind::Bare)) return false;
  }
  return true;
}

// Splits at top-level commas (not inside quotes or parentheses).
std::vector<std::string_view> split_operands(std::string_view s) {
  std::vector<std::string_view> out;
  s = trim(s);
  if (s.empty()) return out;
  int depth = 0;
  bool quoted = false;
  size_t start = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (quoted) {
      if (c == '\\') ++i;
      else if (c == '"') quoted = false;
    } else if (c == '"') {
      quoted = true;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (c == ',' && depth == 0) {
      out.push_back(trim(s.substr(start, i - start)));
      start = i + 1;
    }
  }
  if (quoted) throw AsmError{"unterminated string"};
  out.push_back(trim(s.substr(start)));
  return out;
}

std::string unquote(std::string_view s) {
  if (s.size() < 2 || s.front() != '"' || s.back() != '"') throw AsmError{"expected a quoted string"};
  std::string out;
  for (size_t i = 1; i + 1 < s.size(); ++i) {
    char c = s[i];
    if (c == '\\' && i + 2 < s.size()) {
      c = s[++i];
      switch (c) {
        case 'n': c = '\n'; break;
        case 't': c = '\t'; break;
        case 'r': c = '\r'; break;
        case '0': c = '\0'; break;
        case 'x': {
          int v = 0, digits = 0;
          while (digits < 2 && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1]))) {
            const char h = s[++i];
            v = v * 16 + (std::isdigit(static_cast<unsigned char>(h)) ? h - '0' : (std::tolower(h) - 'a' + 10));
            ++digits;
          }
          c = static_cast<char>(v);
          break;
        }
        default: break;  // \\ \" and anything else: the character itself
      }
    }
    out += c;
  }
  return out;
}

class Evaluator {
 public:
  Evaluator(const AsmSymbols& labels, const AsmSymbols& symbols) : labels_(labels), symbols_(symbols) {}

  uint32_t operator()(std::string_view expr) const {
    expr = trim(expr);
    if (expr.empty()) throw AsmError{"missing value"};
    if (auto f = as_float(expr)) return std::bit_cast<uint32_t>(*f);
    uint32_t total = 0;
    size_t i = 0;
    bool first = true;
    while (i < expr.size()) {
      bool negative = false;
      if (!first) {
        if (expr[i] != '+' && expr[i] != '-') throw AsmError{"bad expression '" + std::string(expr) + "'"};
        negative = expr[i++] == '-';
      }
      while (i < expr.size() && std::isspace(static_cast<unsigned char>(expr[i]))) ++i;
      while (i < expr.size() && (expr[i] == '-' || expr[i] == '+')) {
        negative ^= expr[i++] == '-';
        while (i < expr.size() && std::isspace(static_cast<unsigned char>(expr[i]))) ++i;
      }
      size_t j = i;
      while (j < expr.size() && (ident_char(expr[j]))) ++j;
      if (j == i) throw AsmError{"bad expression '" + std::string(expr) + "'"};
      const uint32_t v = term(expr.substr(i, j - i));
      total += negative ? 0u - v : v;
      i = j;
      while (i < expr.size() && std::isspace(static_cast<unsigned char>(expr[i]))) ++i;
      first = false;
    }
    return total;
  }

 private:
  uint32_t term(std::string_view t) const {
    if (std::isdigit(static_cast<unsigned char>(t[0]))) {
      const std::string s(t);
      errno = 0;
      char* end = nullptr;
      const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
      const unsigned long long v = std::strtoull(s.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
      if (*end != '\0') throw AsmError{"bad number '" + s + "'"};
      if (errno != 0 || v > 0xFFFFFFFFull) throw AsmError{"number out of range '" + s + "'"};
      return static_cast<uint32_t>(v);
    }
    if (auto it = labels_.find(t); it != labels_.end()) return it->second;
    if (auto it = symbols_.find(t); it != symbols_.end()) return it->second;
    throw AsmError{"undefined name '" + std::string(t) + "'"};
  }

  // A float literal: digits with a '.' or an exponent, optionally signed and
  // with an 'f' suffix.
  static std::optional<float> as_float(std::string_view e) {
    std::string s(e);
    if (!s.empty() && (s.back() == 'f' || s.back() == 'F') && s.find("0x") == std::string::npos) s.pop_back();
    const size_t body = s.find_first_not_of("+-");
    if (body == std::string::npos || s.find("0x") != std::string::npos || s.find("0X") != std::string::npos)
      return std::nullopt;
    if (s.find_first_of(".eE", body) == std::string::npos) return std::nullopt;
    if (!std::isdigit(static_cast<unsigned char>(s[body])) && s[body] != '.') return std::nullopt;
    char* end = nullptr;
    const float f = std::strtof(s.c_str(), &end);
    if (*end != '\0') return std::nullopt;
    return f;
  }

  const AsmSymbols& labels_;
  const AsmSymbols& symbols_;
};

struct Statement {
  int line;
  std::string_view mnemonic;  // instruction or directive
  Op op = Op::Nop;
  bool is_insn = false;
  std::vector<Operand> operands;
  uint32_t address = 0;
  uint32_t size = 0;
};

// Picks the operation for a mnemonic (with an optional .N suffix) and operands.
Op select(std::string_view mnemonic, const std::vector<Operand>& ops) {
  std::optional<int> forced;
  std::string_view name = mnemonic;
  if (const size_t dot = mnemonic.find('.'); dot != std::string_view::npos) {
    name = mnemonic.substr(0, dot);
    const std::string n(mnemonic.substr(dot + 1));
    char* end = nullptr;
    const long v = std::strtol(n.c_str(), &end, 10);
    if (n.empty() || *end != '\0' || v < 0 || v >= kOpCount)
      throw AsmError{"bad operation number in '" + std::string(mnemonic) + "'"};
    forced = static_cast<int>(v);
  }
  bool known = false;
  for (int i = 0; i < kOpCount; ++i) {
    if (name != kOpInfo[i].mnemonic) continue;
    known = true;
    if (forced && *forced != i) continue;
    if (fits(kOpInfo[i].operands, ops)) return static_cast<Op>(i);
  }
  if (!known) throw AsmError{"unknown instruction '" + std::string(name) + "'"};
  throw AsmError{"operands do not fit '" + std::string(mnemonic) + "'"};
}

uint8_t regs_of(Op op, const std::vector<Operand>& ops) {
  const Operands o = op_info(op).operands;
  auto r = [&](int i) { return ops[i].reg; };
  switch (o) {
    case Operands::L_H: case Operands::L_AtH: case Operands::L_H_Imm: return reg_byte(r(0), r(1));
    case Operands::AtL_H: return reg_byte(r(0), r(1));
    case Operands::L: return reg_byte(r(0), op == Op::Pop ? 7 : r(0));
    case Operands::H: return reg_byte(op == Op::PushReg ? 7 : r(0), r(0));
    case Operands::L_Imm: case Operands::L_Abs: case Operands::L_Disp: return reg_byte(r(0), r(0));
    case Operands::Abs_H: case Operands::Disp_H: return reg_byte(r(1), r(1));
    default: return 0;
  }
}

// The operand that holds the 32-bit value or built-in number, if any.
const Operand* value_operand(const std::vector<Operand>& ops) {
  for (const Operand& o : ops)
    if (o.kind != Kind::Reg && o.kind != Kind::Ind) return &o;
  return nullptr;
}

uint32_t directive_size(const Statement& s, const Evaluator& eval) {
  const std::string_view d = s.mnemonic;
  const size_t n = s.operands.size();
  if (d == ".byte") return static_cast<uint32_t>(n);
  if (d == ".word") return static_cast<uint32_t>(2 * n);
  if (d == ".long") return static_cast<uint32_t>(4 * n);
  if (d == ".zero") {
    if (n != 1 || s.operands[0].kind != Kind::Bare) throw AsmError{".zero takes one count"};
    return eval(s.operands[0].expr);  // labels are not yet known: numbers and symbols only
  }
  if (d == ".ascii" || d == ".asciz") {
    uint32_t total = 0;
    for (const Operand& o : s.operands) {
      if (o.kind != Kind::String) throw AsmError{std::string(d) + " takes quoted strings"};
      total += static_cast<uint32_t>(unquote(o.expr).size()) + (d == ".asciz");
    }
    return total;
  }
  throw AsmError{"unknown directive '" + std::string(d) + "'"};
}

void emit_directive(const Statement& s, const Evaluator& eval, std::vector<uint8_t>& out) {
  const std::string_view d = s.mnemonic;
  if (d == ".ascii" || d == ".asciz") {
    for (const Operand& o : s.operands) {
      const std::string text = unquote(o.expr);
      out.insert(out.end(), text.begin(), text.end());
      if (d == ".asciz") out.push_back(0);
    }
    return;
  }
  if (d == ".zero") {
    out.resize(out.size() + s.size);
    return;
  }
  const int width = d == ".byte" ? 1 : d == ".word" ? 2 : 4;
  for (const Operand& o : s.operands) {
    if (o.kind != Kind::Bare) throw AsmError{std::string(d) + " takes plain values"};
    const uint32_t v = eval(o.expr);
    if (width < 4) {
      // Unsigned or signed values of the width.
      const int32_t sv = static_cast<int32_t>(v);
      const uint32_t max = (1u << (8 * width)) - 1;
      const int32_t min = -(1 << (8 * width - 1));
      if (v > max && !(sv < 0 && sv >= min)) throw AsmError{"value out of range for " + std::string(d)};
    }
    for (int i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
}

}  // namespace

AsmResult assemble(std::string_view source, uint32_t origin, const AsmSymbols& symbols) {
  AsmResult result;
  std::vector<Statement> statements;
  const AsmSymbols no_labels;
  const Evaluator early(no_labels, symbols);
  int line_no = 0;
  uint32_t address = origin;
  try {
    // Pass 1: parse and lay out.
    while (!source.empty()) {
      ++line_no;
      const size_t nl = source.find('\n');
      std::string_view line = source.substr(0, nl);
      source = nl == std::string_view::npos ? std::string_view{} : source.substr(nl + 1);
      // Strip a comment (a ';' outside quotes).
      bool quoted = false;
      for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && quoted) ++i;
        else if (line[i] == '"') quoted = !quoted;
        else if (line[i] == ';' && !quoted) {
          line = line.substr(0, i);
          break;
        }
      }
      line = trim(line);
      // Labels.
      for (;;) {
        size_t j = 0;
        if (line.empty() || !ident_start(line[0])) break;
        while (j < line.size() && ident_char(line[j])) ++j;
        if (j >= line.size() || line[j] != ':') break;
        const std::string name(line.substr(0, j));
        if (parse_reg(name)) throw AsmError{"a register name cannot be a label"};
        if (!result.labels.emplace(name, address).second) throw AsmError{"label '" + name + "' defined twice"};
        line = trim(line.substr(j + 1));
      }
      if (line.empty()) continue;
      Statement s;
      s.line = line_no;
      size_t m = 0;
      while (m < line.size() && !std::isspace(static_cast<unsigned char>(line[m]))) ++m;
      s.mnemonic = line.substr(0, m);
      for (std::string_view text : split_operands(line.substr(m))) s.operands.push_back(classify(text));
      s.address = address;
      if (s.mnemonic[0] == '.') {
        s.size = directive_size(s, early);
      } else {
        s.is_insn = true;
        s.op = select(s.mnemonic, s.operands);
        s.size = static_cast<uint32_t>(op_size(s.op));
      }
      address += s.size;
      statements.push_back(s);
    }
    // Pass 2: encode.
    const Evaluator eval(result.labels, symbols);
    for (const Statement& s : statements) {
      line_no = s.line;
      if (!s.is_insn) {
        emit_directive(s, eval, result.code);
        continue;
      }
      const Operand* value = value_operand(s.operands);
      uint32_t v = value ? eval(value->expr) : 0;
      if (op_info(s.op).form == Form::T && v > 0xFFFF) throw AsmError{"built-in number out of range"};
      const Insn insn = encode(s.op, regs_of(s.op, s.operands), v);
      result.code.insert(result.code.end(), insn.bytes, insn.bytes + insn.size);
    }
  } catch (const AsmError& e) {
    result.error = "line " + std::to_string(line_no) + ": " + e.text;
    result.code.clear();
  }
  return result;
}

}  // namespace zelt::vm
