// Assemblers for the script machine: a builder that emits encoded
// instructions with forward and backward labels, and a small text assembler
// that reads the disassembler's syntax. Both place code at a known origin, so
// labels resolve to absolute script addresses.
//
// Text syntax, one statement per line, ';' starts a comment:
//   name:                       a label (several may precede a statement)
//   movl r0, $5                 $expr immediate      movl r1, -8(r6)   expr(r6)
//   movl r2, (r1)               (rN) indirect        movl 0x10000, r2  bare expr: absolute
//   jmp loop / call f           bare expr: target    trap #12 (or trap 12)
//   preinc.45 r0, (r1)          .N picks operation N where the text is shared
//                               (without it the lowest-numbered operation is used)
//   .byte e, ...  .word e, ...  .long e, ...  .zero n  .ascii "s"  .asciz "s"
// Expressions: terms joined by + and -; a term is a number (decimal, 0x hex,
// or a float such as 2.5 or -1e3, which stands for its IEEE single bit
// pattern), a label, or a symbol given by the caller. Register bytes follow
// the compiler's convention: a single register goes into both halves, except
// push (low half 7) and pop (high half 7).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "script/vm/opcodes.h"

namespace zelt::vm {

class CodeBuilder {
 public:
  struct Label {
    uint32_t id = UINT32_MAX;
  };

  explicit CodeBuilder(uint32_t origin = 0) : origin_(origin) {}

  uint32_t origin() const { return origin_; }
  uint32_t here() const { return origin_ + static_cast<uint32_t>(code_.size()); }
  const std::vector<uint8_t>& code() const { return code_; }

  Label new_label();
  // Binds the label to here(); binding a label twice is reported by finish().
  void bind(Label label);
  // Address of a bound label (0 before it is bound).
  uint32_t address(Label label) const;

  CodeBuilder& emit(const Insn& insn);
  // An instruction whose 32-bit operand is the label's address plus offset:
  // jumps, calls, address constants (movl.5) and absolute operands.
  CodeBuilder& emit(Op op, int low, int high, Label target, int32_t offset = 0);
  CodeBuilder& emit(Op op, Label target) { return emit(op, 0, 0, target); }

  CodeBuilder& u8(uint8_t v);
  CodeBuilder& u16(uint16_t v);
  CodeBuilder& u32(uint32_t v);
  CodeBuilder& u32(Label target, int32_t offset = 0);
  CodeBuilder& zero(uint32_t n);

  // Writes every label's address into its uses. False, with a description,
  // when a used label was never bound or a label was bound twice.
  bool finish(std::string* error = nullptr);

 private:
  struct Fixup {
    uint32_t at, label;
    int32_t offset;
  };
  uint32_t origin_;
  std::vector<uint8_t> code_;
  std::vector<uint32_t> labels_;  // address, or kUnbound
  std::vector<Fixup> fixups_;
  bool rebound_ = false;
};

using AsmSymbols = std::map<std::string, uint32_t, std::less<>>;

struct AsmResult {
  std::vector<uint8_t> code;
  AsmSymbols labels;
  std::string error;  // "line N: ..." for the first error; empty on success

  bool ok() const { return error.empty(); }
  // Address of a label (0 if there is none).
  uint32_t label(std::string_view name) const;
};

// Assembles `source` for placement at `origin`. `symbols` names values the
// text may use besides its own labels.
AsmResult assemble(std::string_view source, uint32_t origin, const AsmSymbols& symbols = {});

}  // namespace zelt::vm
