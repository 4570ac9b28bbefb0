// The compiler's state: one object per compilation, passed explicitly to
// every part (lexer, symbols, declarations, expressions, statements, code).
// Fixed-size areas only; nothing here grows per token.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/messages.h"
#include "script/compiler/compiler.h"
#include "script/vm/opcodes.h"

namespace zelt::compiler {

// Sizes of the fixed areas.
inline constexpr uint32_t kSymbolTextSize = 262144;  // names, macro texts, string literals
inline constexpr uint32_t kArgTextSize = 16384;      // macro arguments
inline constexpr int kGlobalSymbols = 7168;
inline constexpr int kLocalSymbols = 1024;
inline constexpr int kNodeCells = 8192;              // type nodes and expression trees
inline constexpr int kMaxLine = 4094;                // bytes of a line before its line feed
inline constexpr int kMaxFiles = 16;                 // the main file and 15 nested includes
inline constexpr int kMaxMacroDepth = 16;
inline constexpr int kPathSize = 260;
inline constexpr int kMaxMacroParams = 256;
inline constexpr uint64_t kMaxExpansion = 32u << 20;  // bytes of macro text scanned per compilation
inline constexpr int kMaxNesting = 1024;             // parser recursion (parentheses, statements)
inline constexpr uint32_t kReportSize = 8192;        // report text, terminator included
inline constexpr int kMaxExternName = 31;

// ---- tokens ----

enum Tok : uint8_t {
  T_NONE,
  T_IDENT,
  T_NUMBER,  // integer, character or float literal
  T_STRING,
  // keywords
#define KEYWORD(token, spelling) token,
#include "script/compiler/keywords.def"
#undef KEYWORD
  // punctuators and operators
  P_LPAREN, P_RPAREN, P_LBRACKET, P_RBRACKET, P_LBRACE, P_RBRACE, P_COMMA, P_SEMI, P_COLON,
  P_QUESTION, P_DOT, P_ARROW, P_TILDE, P_NOT, P_NE, P_MOD, P_MOD_ASSIGN, P_AND, P_AND_ASSIGN,
  P_ANDAND, P_STAR, P_MUL_ASSIGN, P_PLUS, P_ADD_ASSIGN, P_INC, P_MINUS, P_SUB_ASSIGN, P_DEC,
  P_SLASH, P_DIV_ASSIGN, P_LT, P_LE, P_SHL, P_SHL_ASSIGN, P_ASSIGN, P_EQ, P_GT, P_GE, P_SHR,
  P_SHR_ASSIGN, P_XOR, P_XOR_ASSIGN, P_OR, P_OR_ASSIGN, P_OROR,
};

struct Token {
  uint8_t kind = T_NONE;
  bool is_float = false;
  int32_t value = 0;  // number: value or float bits; keyword: unused
  int32_t sym = -1;   // identifier: global symbol index
  uint32_t str = 0;   // string: offset of the text in the symbol text
  uint32_t len = 0;   // string: length including the terminating zero
};

// ---- symbols ----

enum SymKind : uint8_t {
  SK_FREE,       // empty slot
  SK_UNDEF,      // seen, not declared
  SK_KEYWORD,    // value: token
  SK_MACRO,      // value: text offset, aux: text length, type: parameter count, aux2: offset of the
                 // parameter symbol list (a parameter macro: 0x80000000, its text is an argument)
  SK_FUNC,       // type: result type, value: label
  SK_GVAR,       // value: absolute address (data area, extern area or static local)
  SK_LVAR,       // value: offset from r6
  SK_MEMBER,     // value: byte offset
  SK_TAG,        // type: struct or union node
  SK_TYPEDEF,    // type: the type
  SK_LABEL_FWD,  // goto label used before it is placed; value: label
  SK_LABEL,      // placed goto label; value: label
};

enum SymFlag : uint8_t {
  SF_DEFINED = 1,   // function with a body or a built-in stub
  SF_EXTERN = 2,    // function declared extern
  SF_PARAM = 4,     // local: a parameter
  SF_TYPED = 8,     // parameter: its type came from an old-style declaration
};

struct Symbol {
  uint32_t name = 0;  // offset of the name in the symbol text
  uint16_t len = 0;   // name length; 0 marks a free slot
  uint8_t kind = SK_FREE;
  uint8_t flags = 0;
  int32_t type = 0;
  int32_t value = 0;
  int32_t aux = 0;    // macro: text length; goto label: function it belongs to
  uint32_t aux2 = 0;  // macro: offset of the parameter symbol list
  uint32_t hash = 0;
};

// ---- types ----

// Basic types are negative codes; other types are indexes of nodes.
enum : int32_t {
  TY_INT = -1, TY_SHORT = -2, TY_CHAR = -3, TY_UINT = -4, TY_USHORT = -5, TY_UCHAR = -6,
  TY_FLOAT = -7,
};
// Node kinds of types (first cell of the node).
enum : int32_t { TK_PTR = -8, TK_ARRAY = -9, TK_STRUCT = -10, TK_UNION = -11, TK_FUNC = -12 };

// ---- expression nodes ----

// Layout: [op, type, operands...]. Objects (E_GVAR, E_LVAR, E_DEREF) carry
// the object's type; every other node its value's type.
enum ExprOp : int32_t {
  E_CONST = 1,  // value
  E_STR,        // text offset, length, byte offset added by folding
  E_GADDR,      // absolute address (of a global or static object)
  E_FADDR,      // function symbol: its address
  E_GVAR,       // absolute address
  E_LADDR,      // r6 offset
  E_LVAR,       // r6 offset
  E_DEREF,      // address expression
  E_FUNC,       // function symbol (a direct call target)
  E_BIN,        // vm op, left, right
  E_UNARY,      // vm op (neg, not, set, fneg, itof, ftoi), operand
  E_RETYPE,     // operand (a cast that only changes the type)
  E_CMP,        // relation, left, right, flags
  E_LAND,       // left, right
  E_LOR,        // left, right
  E_COND,       // condition, then, else
  E_COMMA,      // left, right
  E_ASSIGN,     // target, value
  E_OPASSIGN,   // vm op, target, value, conversion flags
  E_INCDEC,     // target, prefix, step
  E_CALL,       // callee, argument list (last argument first), count
  E_ARG,        // expression, next
};

enum Relation : int32_t { R_LT, R_LE, R_GT, R_GE, R_EQ, R_NE };
enum CmpFlag : int32_t { CF_UNSIGNED = 1, CF_FLOAT = 2 };
enum OpAssignFlag : int32_t { OA_ITOF_TARGET = 1, OA_FTOI_RESULT = 2 };

// ---- code generation ----

struct Label {
  uint32_t value = 0;  // placed: absolute address; else image offset of the last operand using it
  bool placed = false;
};

struct MacroLevel {
  const uint8_t* resume;  // where scanning resumes
  const uint8_t* end;
  int lookahead;          // the character that followed the macro name
  uint32_t arg_restore;   // argument area use to restore when the level ends
};

struct SourceFile {
  char path[kPathSize];
  std::vector<uint8_t> text;  // the file and one added line feed
  uint32_t pos = 0;
  int32_t line = 0;
};

enum ParseState : uint8_t { PS_BETWEEN, PS_DECLARATION };

struct SwitchState {
  int value_reg;      // register holding the switch value
  int pending_test;   // label of the failed last test of the previous case group, 0 = none
  int default_label;  // label of default:, 0 = none
};

struct Compiler {
  // Output
  uint8_t* out = nullptr;     // host pointer of the image; null while measuring
  ScriptAddr image = 0;
  uint32_t capacity = 0;
  uint32_t code_size = 0;     // bytes of code from the start of the image
  uint32_t data_size = 0;     // bytes of data, allocated from the end of the image
  uint32_t extern_size = 0;   // bytes of extern variables
  std::vector<Label> labels;  // index 0 is never given out
  bool reachable = true;

  // Register allocator: slot i holds register slot_reg[i]; values A and B
  // are in slots slot_a and slot_b.
  int slot_reg[6] = {};
  bool slot_used[6] = {};
  int slot_a = 0, slot_b = 1;
  int spill[kNodeCells] = {};
  int nspill = 0;

  // Function being compiled
  bool in_function = false;
  int function_id = 0;        // sequence number of the function definition
  int current_function = -1;  // its global symbol
  uint32_t enter_operand = 0; // image offset of the operand of `enter`
  int32_t frame = 0;          // bytes of locals
  int exit_label = 0;
  bool pending_return = false;
  int break_label = 0;        // 0 = none
  int continue_label = 0;     // 0 = none
  SwitchState* current_switch = nullptr;
  std::vector<int32_t> case_values;  // of the case group being compiled
  int nesting = 0;            // parser recursion

  // Node pool: [0, pool_low) kept for the compilation, [pool_high, kNodeCells)
  // released per statement.
  int32_t pool[kNodeCells] = {};
  int pool_low = 0, pool_high = kNodeCells;
  int pool_pinned = kNodeCells;  // lowest high-end node that must live until the function ends
  bool low_nodes = true;      // allocate type nodes from the low end
  int32_t ptr_types[8] = {};  // interned pointers to the basic types (index -type)
  int struct_seq = 0;

  // Symbols
  uint8_t text[kSymbolTextSize] = {};
  uint32_t text_top = 0;
  Symbol globals[kGlobalSymbols];
  int nglobals = 0;
  uint64_t global_keys[kGlobalSymbols] = {};  // hash << 16 | length of each global, 0 = free slot
  // Locals: entry local_of[g] - 1 is the local meaning of global symbol g.
  Symbol locals[kLocalSymbols];
  int nlocals = 0;
  int16_t local_of[kGlobalSymbols] = {};
  int16_t local_owner[kLocalSymbols] = {};  // global symbol of each local
  std::vector<int> functions;  // function symbols in order of first mention
  std::vector<int> gotos;      // goto label symbols in order of first use
  int main_sym = -1;
  int void_sym = -1;  // "void", to read f(void) as no parameters

  // Lexer
  Token tok;                    // current token (valid when have_tok)
  bool have_tok = false;
  Token ahead;                  // the token after it (valid when have_ahead)
  bool have_ahead = false;
  Token leftover;               // read while joining string literals, not yet handed out
  bool have_leftover = false;
  int cur_char = '\n';             // current character
  const uint8_t* in_pos = nullptr;  // next byte of the current input
  const uint8_t* in_end = nullptr;
  uint8_t line_buffer[kMaxLine + 2] = {};  // lines that need rewriting (CR dropped, pairs kept)
  const uint8_t* cur_line = line_buffer;   // the current line: here or in place in the file text
  int line_len = 0;
  MacroLevel macro_levels[kMaxMacroDepth];
  int nmacro_levels = 0;
  uint64_t expanded = 0;        // bytes of macro text pushed so far
  uint8_t arg_text[kArgTextSize] = {};
  uint32_t arg_top = 0;
  bool capturing = false;
  uint32_t capture_restore = 0;
  SourceFile files[kMaxFiles];
  int nfiles = 0;
  char open_path[kPathSize] = {};  // the file being opened (reported when it fails)
  std::vector<std::string> included;  // names as written, for include-once
  bool in_asm = false;
  int comment_depth = 0;
  int trap_counter = 0;
  int trap_pending = -1;
  uint8_t name[kMaxLine + 16] = {};  // identifier being scanned
  char scratch[kMaxLine + 16] = {};  // names built by the parser (struct members)
  int name_len = 0;
  ParseState state = PS_BETWEEN;

  // Report
  bool reporting = false;
  std::string_view script_folder;  // prefix of every source path (the caller's options)
  char report[kReportSize] = {};
  uint32_t report_len = 0;
  Msg fatal_msg = Msg::CompileInternal;

  // Extern functions recorded by this compilation, committed on success.
  struct StagedExtern {
    int sym;
    ScriptAddr address;
  };
  std::vector<StagedExtern> staged_externs;
  CompileResult* result = nullptr;
};

// Node fields: op, type, then operands 0, 1, ...
inline int32_t& node_op(Compiler& cs, int32_t n) { return cs.pool[n]; }
inline int32_t& node_type(Compiler& cs, int32_t n) { return cs.pool[n + 1]; }
inline int32_t& node_arg(Compiler& cs, int32_t n, int k) { return cs.pool[n + 2 + k]; }

// Thrown by fatal(); caught by the driver only.
struct CompileAbort {};

// Ends the compilation with message m (the driver writes the report).
[[noreturn]] void fatal(Compiler& cs, Msg m);
// Appends text to the report (dropped beyond its capacity).
void report_append(Compiler& cs, const char* s, size_t n);
void report_printf(Compiler& cs, const char* format, ...);

}  // namespace zelt::compiler
