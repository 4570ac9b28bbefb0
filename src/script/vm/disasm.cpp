#include "script/vm/disasm.h"

#include <cinttypes>
#include <cstdio>

#include "script/vm/opcodes.h"

namespace zelt::vm {
namespace {

void append(std::string& s, const char* format, auto... args) {
  char buf[48];
  const int n = std::snprintf(buf, sizeof buf, format, args...);
  s.append(buf, static_cast<size_t>(n));
}

void reg(std::string& s, uint32_t r) { append(s, "r%u", r); }
void imm(std::string& s, uint32_t v) { append(s, "$%" PRId32, static_cast<int32_t>(v)); }
void addr(std::string& s, uint32_t v) { append(s, "0x%08" PRIx32, v); }
void disp(std::string& s, uint32_t v) { append(s, "%" PRId32 "(r6)", static_cast<int32_t>(v)); }
void at(std::string& s, uint32_t r) { append(s, "(r%u)", r); }

// Text of a valid instruction of `size` bytes at p.
std::string text_of(const uint8_t* p, const DisasmOptions& options) {
  const Op op = static_cast<Op>(p[0]);
  const OpInfo& info = op_info(op);
  std::string s = info.mnemonic;
  if (options.op_suffix && op_text_is_shared(op)) append(s, ".%u", unsigned{p[0]});
  const uint32_t rb = has_reg_byte(op) ? p[1] : 0;
  const uint32_t lo = rb & 15, hi = rb >> 4;
  const uint32_t v = operand_offset(op) ? read_u32(p + operand_offset(op)) : 0;
  if (info.operands != Operands::None) s += ' ';
  switch (info.operands) {
    case Operands::None: break;
    case Operands::Num: append(s, "#%u", unsigned{p[1]} | unsigned{p[2]} << 8); break;
    case Operands::L_H: reg(s, lo); s += ", "; reg(s, hi); break;
    case Operands::H: reg(s, hi); break;
    case Operands::L: reg(s, lo); break;
    case Operands::L_Imm:
      reg(s, lo);
      s += ", $";
      // Operation 5 holds an address constant: hex, like every other address.
      if (op == Op::MovAddr) addr(s, v);
      else append(s, "%" PRId32, static_cast<int32_t>(v));
      break;
    case Operands::L_Abs: reg(s, lo); s += ", "; addr(s, v); break;
    case Operands::L_Disp: reg(s, lo); s += ", "; disp(s, v); break;
    case Operands::L_AtH: reg(s, lo); s += ", "; at(s, hi); break;
    case Operands::Abs_H: addr(s, v); s += ", "; reg(s, hi); break;
    case Operands::Disp_H: disp(s, v); s += ", "; reg(s, hi); break;
    case Operands::AtL_H: at(s, lo); s += ", "; reg(s, hi); break;
    case Operands::Imm: imm(s, v); break;
    case Operands::Target: case Operands::Abs: addr(s, v); break;
    case Operands::Disp: disp(s, v); break;
    case Operands::L_H_Imm: reg(s, lo); s += ", "; at(s, hi); s += ", "; imm(s, v); break;
  }
  return s;
}

}  // namespace

std::string insn_text(std::span<const uint8_t> code, const DisasmOptions& options) {
  if (valid_insn_size(code.data(), code.size()) == 0) return {};
  return text_of(code.data(), options);
}

size_t disassemble_one(std::span<const uint8_t> code, uint32_t address, std::string& line,
                       const DisasmOptions& options) {
  line.clear();
  if (code.empty()) return 0;
  size_t size = valid_insn_size(code.data(), code.size());
  const bool valid = size != 0;
  if (!valid) {
    // A known operation cut off by the end of the range takes the rest;
    // anything else is one byte, and decoding resumes at the next.
    const bool cut = code[0] < kOpCount && code.size() < op_size(static_cast<Op>(code[0]));
    size = cut ? code.size() : 1;
  }
  append(line, "%08" PRIx32 "  ", address);
  if (options.bytes) {
    for (size_t i = 0; i < 6; ++i) {
      if (i < size) append(line, "%02x ", unsigned{code[i]});
      else line += "   ";
    }
    line += ' ';
  }
  if (valid) {
    line += text_of(code.data(), options);
  } else {
    line += ".byte ";
    for (size_t i = 0; i < size; ++i) append(line, i ? ", 0x%02x" : "0x%02x", unsigned{code[i]});
  }
  return size;
}

std::string disassemble(std::span<const uint8_t> code, uint32_t address, const DisasmOptions& options) {
  std::string out, line;
  while (!code.empty()) {
    const size_t n = disassemble_one(code, address, line, options);
    out += line;
    out += '\n';
    code = code.subspan(n);
    address += static_cast<uint32_t>(n);
  }
  return out;
}

}  // namespace zelt::vm
